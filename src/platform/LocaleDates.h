#pragma once

// The date of a logbook entry in the user's short date form, from the platform's own locale
// services: Qt's locale on Linux, the Windows API's on Windows. Whatever the locale, the year
// has four digits and the text is Latin-1 with ASCII digits where the locale's own digits are
// not Latin-1 (the simulator reads the logbook as Latin-1).

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

/// Formats a valid calendar date (year with four digits, month 1-12, day 1-31) as Latin-1 bytes.
using DateFormatter = std::function<std::string(int year, int month, int day)>;

/// The formatter of the user's locale, as it is when this is called.
DateFormatter localeDateFormatter();

/// A moment (milliseconds since 1970) in the local time zone, as "2026-12-08 12:29": when a
/// logbook was written, the same form on every system and in every locale.
std::string localDateTime(std::int64_t milliseconds);

} // namespace platform
