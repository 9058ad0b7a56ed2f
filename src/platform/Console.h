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

/// Makes the console show the UTF-8 that the program writes (Windows); nothing elsewhere.
void useUtf8Console();

} // namespace platform
