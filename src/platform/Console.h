#pragma once

// The terminal a program writes to: whether a stream is one, how wide it is, and text in UTF-8
// shown as such (a Windows console shows its own code page unless told).

#include <cstddef>

namespace platform {

enum class Stream { Input, Output, Errors };

/// Whether `stream` is a terminal (a console window on Windows).
bool isTerminal(Stream stream);

/// The columns of the terminal `stream` is; 0 when it is none or does not say.
std::size_t terminalColumns(Stream stream);

/// Makes the standard streams what they are on POSIX systems (Windows; nothing elsewhere): the
/// console shows the UTF-8 that the program writes, and lines end as written, with no CR added,
/// so that the output is byte for byte the same on every system.
void prepareStandardStreams();

} // namespace platform
