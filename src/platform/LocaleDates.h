#pragma once

// The date of a logbook entry in the user's short date form, from the platform's own locale
// services: Qt's locale on Linux, the Windows API's on Windows. Whatever the locale, the year
// has four digits and the text is Latin-1 with ASCII digits where the locale's own digits are
// not Latin-1 (the simulator reads the logbook as Latin-1).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

/// Formats a valid calendar date (year with four digits, month 1-12, day 1-31) as Latin-1 bytes.
using DateFormatter = std::function<std::string(int year, int month, int day)>;

/// The formatter of the user's locale, as it is when this is called.
DateFormatter localeDateFormatter();

/// The formatter of a Windows date picture (UTF-8), such as the short date form that a Windows
/// user sets ("dd.MM.yyyy", "M/d/yyyy", "yyyy-MM-dd", "d/M/yy"): d and dd the day, M and MM the
/// month (MMM, MMMM its English name), ddd and dddd the day of the week's English name, any run
/// of y the year with its four digits, g the era (left out), text in single quotes as it stands
/// ('' a quote), any other character as it stands; characters beyond Latin-1 are left out.
/// Empty when the picture lacks the day, the month or the year, which an entry's date needs.
DateFormatter pictureDateFormatter(std::string_view picture);

/// A moment (milliseconds since 1970) in the local time zone, as "2026-12-08 12:29": when a
/// logbook was written, the same form on every system and in every locale.
std::string localDateTime(std::int64_t milliseconds);

} // namespace platform
