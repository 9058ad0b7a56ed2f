#include "igc/TimeOfDay.h"

#include <atomic>
#include <cstdio>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <time.h>
#endif

namespace igc {

namespace {

constexpr std::uint32_t kDayMs = 86400000;
// 100-nanosecond units from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000;

std::uint32_t millisecondsOfDay(std::uint32_t hour, std::uint32_t minute, std::uint32_t second,
                                std::uint32_t millisecond) {
    TimeOfDay time;
    time.set(hour, minute, second, millisecond);
    return time.ms_;
}

// Whether the C library's zone data has been read in this process. An atomic rather than a plain
// int only so that a stray second thread is not a data race; a repeated tzset is harmless.
std::atomic<bool> time_zone_initialised{false};

void initialiseTimeZone() {
    if (time_zone_initialised.load(std::memory_order_relaxed))
        return;
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
    time_zone_initialised.store(true, std::memory_order_relaxed);
}

// The system time in 100-nanosecond units since 1601-01-01 UTC.
std::int64_t systemFileTime() {
#ifdef _WIN32
    FILETIME file_time;
    GetSystemTimeAsFileTime(&file_time);
    ULARGE_INTEGER units;
    units.LowPart = file_time.dwLowDateTime;
    units.HighPart = file_time.dwHighDateTime;
    return static_cast<std::int64_t>(units.QuadPart);
#else
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 10000000 + now.tv_nsec / 100 +
           kUnixEpochInFileTime;
#endif
}

std::uint32_t localMillisecondsNow() {
#ifdef _WIN32
    SYSTEMTIME local;
    GetLocalTime(&local);
    return millisecondsOfDay(local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
#else
    // localtime_r need not read the zone itself. Reading the local time does not count as
    // asking for the zone: getTimeOfDay reads it afresh on its own first call.
    tzset();
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    return millisecondsOfDay(static_cast<std::uint32_t>(local.tm_hour),
                             static_cast<std::uint32_t>(local.tm_min),
                             static_cast<std::uint32_t>(local.tm_sec),
                             static_cast<std::uint32_t>(now.tv_nsec / 1000000));
#endif
}

} // namespace

std::uint32_t elapsedBetween(std::uint32_t start, std::uint32_t now) {
    std::uint32_t difference = now - start;
    if (static_cast<std::int32_t>(difference) < 0)
        difference += kDayMs;
    return difference;
}

std::uint32_t utcTimeOfDay(const std::tm& utc, unsigned millisecond) {
    return millisecondsOfDay(static_cast<std::uint32_t>(utc.tm_hour),
                             static_cast<std::uint32_t>(utc.tm_min),
                             static_cast<std::uint32_t>(utc.tm_sec), millisecond);
}

TimeValue timeValueFromFileTime(std::int64_t units_since_1601) {
    const std::int64_t microseconds = (units_since_1601 - kUnixEpochInFileTime) / 10;
    std::int64_t seconds = microseconds / 1000000;
    std::int64_t remainder = microseconds % 1000000;
    if (remainder < 0) { // before 1970: keep the microseconds a fraction of a second
        remainder += 1000000;
        --seconds;
    }
    // Seconds beyond 2038 do not fit the 32-bit field; they wrap.
    return TimeValue{static_cast<std::int32_t>(seconds), static_cast<std::int32_t>(remainder)};
}

TimeOfDay TimeOfDay::localNow() {
    TimeOfDay now;
    now.ms_ = localMillisecondsNow();
    return now;
}

TimeOfDay TimeOfDay::utcNow() {
    // One reading of the clock for both the UTC fields and the millisecond: reading them
    // separately could pair a second with the millisecond of the one before it.
    TimeOfDay now;
#ifdef _WIN32
    SYSTEMTIME utc_fields;
    GetSystemTime(&utc_fields);
    std::tm utc{};
    utc.tm_hour = utc_fields.wHour;
    utc.tm_min = utc_fields.wMinute;
    utc.tm_sec = utc_fields.wSecond;
    now.ms_ = utcTimeOfDay(utc, utc_fields.wMilliseconds);
#else
    timespec clock{};
    clock_gettime(CLOCK_REALTIME, &clock);
    std::tm utc{};
    gmtime_r(&clock.tv_sec, &utc);
    now.ms_ = utcTimeOfDay(utc, static_cast<unsigned>(clock.tv_nsec / 1000000));
#endif
    return now;
}

std::uint32_t TimeOfDay::elapsed() const {
    return elapsedBetween(ms_, localMillisecondsNow());
}

std::uint32_t TimeOfDay::lap() {
    const std::uint32_t now = localMillisecondsNow();
    const std::uint32_t difference = elapsedBetween(ms_, now);
    ms_ = now;
    return difference;
}

std::string TimeOfDay::toString() const {
    // Every part fits an int: the hours of a 32-bit millisecond count stay below 1200.
    const int hours = static_cast<int>(ms_ / 3600000u);
    const int minutes = static_cast<int>((ms_ % 3600000u) / 60000u);
    const int seconds = static_cast<int>((ms_ / 1000u) % 60u);
    const int milliseconds = static_cast<int>(ms_ % 1000u);
    char buffer[32];
    const int length = std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d:%03d", hours, minutes,
                                     seconds, milliseconds);
    return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0u);
}

int getTimeOfDay(TimeValue* time, TimeZoneInfo* zone) {
    if (time != nullptr)
        *time = timeValueFromFileTime(systemFileTime());
    if (zone != nullptr) {
        initialiseTimeZone();
#ifdef _WIN32
        zone->minutes_west = static_cast<int>(_timezone / 60);
        zone->dst_flag = _daylight;
#else
        zone->minutes_west = static_cast<int>(timezone / 60);
        zone->dst_flag = daylight;
#endif
    }
    return 0;
}

double currentTimeSeconds() {
    const TimeValue now = timeValueFromFileTime(systemFileTime());
    return static_cast<double>(now.seconds) + static_cast<double>(now.microseconds) * 0.000001;
}

} // namespace igc
