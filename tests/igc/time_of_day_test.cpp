// Clock utilities: the arithmetic as pure functions, then the clock readings against the C library.

#include "igc/TimeOfDay.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

using igc::TimeOfDay;
using igc::TimeValue;

constexpr std::uint32_t kDayMs = 86400000;
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000; // 100 ns units since 1601

TEST(TimeOfDay, Set) {
    struct Row {
        const char* name;
        std::uint32_t hour, minute, second, millisecond;
        std::uint32_t expected;
    };
    const Row rows[] = {
        {"midnight", 0, 0, 0, 0, 0},
        {"11:01:35", 11, 1, 35, 0, 39695000},
        {"last millisecond of the day", 23, 59, 59, 999, 86399999},
        {"25 hours are kept", 25, 0, 0, 0, 90000000},
        {"no range check on the parts", 0, 61, 0, 1500, 3661500},
        {"wraps in 32 bits (1193:02:47.296 is 2^32 ms)", 1193, 2, 47, 296, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TimeOfDay time;
        time.ms_ = 12345; // overwritten, not added to
        time.set(row.hour, row.minute, row.second, row.millisecond);
        EXPECT_EQ(time.ms_, row.expected);
    }
}

TEST(TimeOfDay, ToString) {
    struct Row {
        std::uint32_t ms;
        const char* expected;
    };
    const Row rows[] = {
        {0, "00:00:00:000"},        {39695123, "11:01:35:123"},      {86399999, "23:59:59:999"},
        {90000000, "25:00:00:000"}, {4294967295u, "1193:02:47:295"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        TimeOfDay time;
        time.ms_ = row.ms;
        EXPECT_EQ(time.toString(), row.expected);
    }
}

TEST(TimeOfDay, ElapsedBetween) {
    struct Row {
        const char* name;
        std::uint32_t start, now, expected;
    };
    const Row rows[] = {
        {"same time", 39695000, 39695000, 0},
        {"plain forward difference", 39695000, 39697500, 2500},
        {"across midnight: 23:59:59.000 to 00:00:01.000", 86399000, 1000, 2000},
        {"clock stepped back half a second counts as a day less that", 1000, 500, 86399500},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(igc::elapsedBetween(row.start, row.now), row.expected);
    }
}

TEST(TimeOfDay, UtcTimeOfDay) {
    struct Row {
        const char* name;
        int hour, minute, second;
        unsigned millisecond;
        std::uint32_t expected;
    };
    const Row rows[] = {
        {"midnight", 0, 0, 0, 0, 0},
        {"11:01:35.123", 11, 1, 35, 123, 39695123},
        {"last millisecond", 23, 59, 59, 999, 86399999},
        {"leap second", 23, 59, 60, 0, 86400000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::tm utc{};
        utc.tm_hour = row.hour;
        utc.tm_min = row.minute;
        utc.tm_sec = row.second;
        utc.tm_mday = 17; // the date plays no part
        utc.tm_year = 99;
        EXPECT_EQ(igc::utcTimeOfDay(utc, row.millisecond), row.expected);
    }
}

TEST(TimeOfDay, TimeValueFromFileTime) {
    struct Row {
        const char* name;
        std::int64_t units;
        std::int32_t seconds, microseconds;
    };
    const Row rows[] = {
        {"1970-01-01 00:00", kUnixEpochInFileTime, 0, 0},
        {"below a microsecond is dropped", kUnixEpochInFileTime + 19, 0, 1},
        {"2009-02-13 23:31:30.123456", kUnixEpochInFileTime + 12345678901234567, 1234567890,
         123456},
        {"2038-01-19 03:14:07, the last second that fits", kUnixEpochInFileTime + 21474836470000000,
         2147483647, 0},
        {"1.5 s before 1970", kUnixEpochInFileTime - 15000000, -2, 500000},
        {"1 us before 1970", kUnixEpochInFileTime - 10, -1, 999999},
        {"whole second before 1970", kUnixEpochInFileTime - 10000000, -1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TimeValue value = igc::timeValueFromFileTime(row.units);
        EXPECT_EQ(value.seconds, row.seconds);
        EXPECT_EQ(value.microseconds, row.microseconds);
    }
}

TEST(TimeOfDayClock, GetTimeOfDayWithNothingToFillReturnsZero) {
    EXPECT_EQ(igc::getTimeOfDay(nullptr, nullptr), 0);
}

TEST(TimeOfDayClock, SystemTimeAgreesWithTheCLibrary) {
    const auto before = static_cast<double>(std::time(nullptr));
    TimeValue value;
    EXPECT_EQ(igc::getTimeOfDay(&value, nullptr), 0);
    const double seconds = igc::currentTimeSeconds();
    const auto after = static_cast<double>(std::time(nullptr));

    EXPECT_GE(value.seconds, before - 2.0);
    EXPECT_LE(value.seconds, after + 2.0);
    EXPECT_GE(value.microseconds, 0);
    EXPECT_LT(value.microseconds, 1000000);
    EXPECT_GE(seconds, before - 2.0);
    EXPECT_LE(seconds, after + 2.0);
}

// Milliseconds from `a` to `b` around the clock face, whichever way is shorter.
std::uint32_t clockDistance(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t forward = (b + kDayMs - a) % kDayMs;
    return forward < kDayMs - forward ? forward : kDayMs - forward;
}

TEST(TimeOfDayClock, UtcNowIsTheUtcTimeOfDay) {
    const TimeOfDay now = TimeOfDay::utcNow();
    const auto utc_ms =
        static_cast<std::uint32_t>((std::time(nullptr) % 86400) * 1000); // POSIX days are 86400 s
    EXPECT_LT(now.ms_, kDayMs + 1000); // a leap second may reach past the day
    EXPECT_LE(clockDistance(now.ms_ % kDayMs, utc_ms), 2000u);
}

// Sets TZ for one test and makes the C library read it; puts the previous value back afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        set(zone);
    }
    ~ScopedTimeZone() { set(old_ ? old_->c_str() : nullptr); }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    static void set(const char* zone) {
#ifdef _WIN32
        _putenv(("TZ=" + std::string(zone != nullptr ? zone : "")).c_str()); // empty: unset
        _tzset();
#else
        if (zone != nullptr)
            setenv("TZ", zone, 1);
        else
            unsetenv("TZ");
        tzset();
#endif
    }

    std::optional<std::string> old_;
};

TEST(TimeOfDayClock, TimeZoneInfoGivesMinutesWestAndDaylightRule) {
    struct Row {
        const char* zone;
        int minutes_west;
        bool daylight_rule;
    };
    const Row rows[] = {
        {"UTC0", 0, false},      {"EST5EDT", 300, true},    {"CET-1CEST", -60, true},
        {"XYZ3:30", 210, false}, {"NPT-5:45", -345, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.zone);
        ScopedTimeZone zone(row.zone);
        igc::TimeZoneInfo info;
        info.minutes_west = 12345;
        info.dst_flag = 12345;
        EXPECT_EQ(igc::getTimeOfDay(nullptr, &info), 0);
        EXPECT_EQ(info.minutes_west, row.minutes_west);
        // Non-zero is all the flag promises: glibc and Microsoft's C runtime give 1, Wine's the
        // first letter of the daylight-saving zone's name.
        EXPECT_EQ(info.dst_flag != 0, row.daylight_rule) << info.dst_flag;
    }
}

// Hour, minute and second of the C library's local time now, in milliseconds of the day.
std::uint32_t cLibraryLocalMilliseconds() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    return static_cast<std::uint32_t>(((local->tm_hour * 60 + local->tm_min) * 60 + local->tm_sec) *
                                      1000);
}

// In the process's own zone. On Windows the clock takes it from the system and the C runtime
// from TZ when that is set, else from the system too; Wine gives the system the zone of TZ at
// the process's start, so there the two agree either way.
TEST(TimeOfDayClock, LocalNowIsTheCLibrarysLocalTime) {
    const TimeOfDay local = TimeOfDay::localNow();
    EXPECT_LT(local.ms_, kDayMs + 1000);
    EXPECT_LE(clockDistance(local.ms_ % kDayMs, cLibraryLocalMilliseconds()), 2000u);
}

#ifndef _WIN32
// Windows' local clock follows the system's zone, which TZ set inside the process leaves alone.
TEST(TimeOfDayClock, LocalNowFollowsTheLocalZone) {
    ScopedTimeZone zone("XYZ3:30"); // 3 h 30 min west of UTC, no daylight saving
    const TimeOfDay local = TimeOfDay::localNow();
    const TimeOfDay utc = TimeOfDay::utcNow();
    EXPECT_LT(local.ms_, kDayMs + 1000);
    const std::uint32_t expected = (utc.ms_ % kDayMs + kDayMs - 12600000u) % kDayMs;
    EXPECT_LE(clockDistance(local.ms_ % kDayMs, expected), 2000u);
}
#endif

TEST(TimeOfDayClock, ElapsedAndLapMeasureFromTheStoredValue) {
    TimeOfDay mark = TimeOfDay::localNow();
    EXPECT_LT(mark.elapsed(), 2000u);

    TimeOfDay hour_ago = mark;
    hour_ago.ms_ = (mark.ms_ + kDayMs - 3600000u) % kDayMs;
    const std::uint32_t since_hour_ago = hour_ago.elapsed();
    EXPECT_GE(since_hour_ago, 3600000u);
    EXPECT_LT(since_hour_ago, 3602000u);
    EXPECT_EQ(hour_ago.ms_, (mark.ms_ + kDayMs - 3600000u) % kDayMs); // elapsed keeps the value

    const std::uint32_t lap = hour_ago.lap();
    EXPECT_GE(lap, 3600000u);
    EXPECT_LT(lap, 3602000u);
    EXPECT_LE(clockDistance(hour_ago.ms_ % kDayMs, mark.ms_ % kDayMs), 2000u); // now the mark
    EXPECT_LT(hour_ago.lap(), 2000u);
}

} // namespace
