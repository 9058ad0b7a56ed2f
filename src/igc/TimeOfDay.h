#pragma once

// Clock utilities of the flight-log library: a time of day in milliseconds, and the system clock
// as seconds and microseconds since 1970. The arithmetic lives in pure functions of "now" so that
// it can be checked without the real clock; the clock-reading operations feed them.

#include <cstdint>
#include <ctime>
#include <string>

namespace igc {

/// Milliseconds since midnight. Nothing keeps the value below one day.
class TimeOfDay {
public:
    /// value = ((hour * 60 + minute) * 60 + second) * 1000 + millisecond, in 32-bit unsigned
    /// arithmetic, without a range check.
    /// Inline: the analysis sets one per fix.
    void set(std::uint32_t hour, std::uint32_t minute, std::uint32_t second,
             std::uint32_t millisecond) {
        ms_ = ((hour * 60u + minute) * 60u + second) * 1000u + millisecond;
    }

    /// The local wall-clock time of day, milliseconds included.
    static TimeOfDay localNow();
    /// Hour, minute and second of the current UTC time plus the current millisecond.
    static TimeOfDay utcNow();

    /// Milliseconds from this value to the local time of day now (see elapsedBetween).
    [[nodiscard]] std::uint32_t elapsed() const;
    /// As elapsed, then this value becomes the local time of day now.
    std::uint32_t lap();

    /// "hh:mm:ss:mmm"; hours are not reduced modulo 24.
    [[nodiscard]] std::string toString() const;

    std::uint32_t ms_ = 0; // milliseconds since midnight
};

/// Seconds since 1970-01-01 00:00 UTC, then the microseconds within that second (0..999999).
struct TimeValue {
    std::int32_t seconds = 0;
    std::int32_t microseconds = 0;
};

/// The local zone: minutes west of UTC of its standard time, and whether it has a daylight-saving
/// rule (non-zero if so).
struct TimeZoneInfo {
    int minutes_west = 0;
    int dst_flag = 0;
};

/// Fills what it is given (either pointer may be null) from the system clock and the C library's
/// zone data; returns 0.
int getTimeOfDay(TimeValue* time, TimeZoneInfo* zone);

/// Seconds since 1970-01-01 00:00 UTC, with the microseconds as the fraction.
double currentTimeSeconds();

// The arithmetic behind the clock readings.

/// Milliseconds from `start` to `now`, both times of day: the difference in 32 bits, plus one day
/// (86400000) once if it is negative as a signed number, so that a lap across midnight counts
/// forward.
[[nodiscard]] std::uint32_t elapsedBetween(std::uint32_t start, std::uint32_t now);

/// Milliseconds since midnight of a broken-down UTC time, with `millisecond` added.
[[nodiscard]] std::uint32_t utcTimeOfDay(const std::tm& utc, unsigned millisecond);

/// A system time in 100-nanosecond units since 1601-01-01 UTC as seconds and microseconds since
/// 1970. The microseconds stay in 0..999999 also before 1970 (the seconds then round down).
[[nodiscard]] TimeValue timeValueFromFileTime(std::int64_t units_since_1601);

} // namespace igc
