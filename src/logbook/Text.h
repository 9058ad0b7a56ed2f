#pragma once

// The logbook's text: the simulator reads the logbook as Latin-1, while names come from the file
// system as bytes (UTF-8 where they are text) and the pilot name from the user as UTF-8. These
// conversions give the very bytes and the very order that the toolkit's strings always gave, so
// that a logbook rebuilt without it does not change by a byte; but for one mend: a letter stored
// decomposed (the base letter, then its accent as a combining mark, as macOS writes names) is
// composed before it is made Latin-1, so that "Pe\u0301gase" is written "Pégase" as the composed
// name is, not "Pe?gase".

#include <string>
#include <string_view>

namespace logbook {

/// `utf8` as UTF-16: a character beyond the Basic Multilingual Plane as its surrogate pair, and
/// every byte that does not belong to a valid UTF-8 sequence as one U+FFFD.
std::u16string utf16Of(std::string_view utf8);

/// `utf8` as Latin-1 bytes: a base letter followed by one combining mark as the Latin-1 letter
/// they compose to, where there is one; each UTF-16 unit that Latin-1 cannot hold as "?" (so a
/// character beyond the Basic Multilingual Plane, two units, gives "??").
std::string latin1Of(std::string_view utf8);
/// The same without composing: as earlier versions wrote names, so that their entries are still
/// found ("Pe?gase" for a decomposed "Pégase").
std::string latin1OfUncomposed(std::string_view utf8);

/// The characters of `utf8` that Latin-1 cannot hold once composed as `latin1Of` does, each once,
/// in their order, quoted and separated by commas ("\"Ł\", \"鈴\""), as UTF-8; empty when there are
/// none.
std::string charactersBeyondLatin1(std::string_view utf8);

/// Latin-1 bytes (a logbook's text) as UTF-8, for a pilot to read.
std::string utf8OfLatin1(std::string_view latin1);

/// `word` as one word of a command that a pilot copies into the shell: as it is when it holds
/// only letters, digits and `_-./:,@%+=` (and `\` on Windows), else quoted, as the system's
/// shell reads it ('a b' with ' as '\'' on POSIX systems, "a b" on Windows).
std::string shellWord(std::string_view word);

} // namespace logbook
