#pragma once

// A fixed entry date form for tests that compare whole logbooks: the German short date with a
// four-digit year (05.01.2008), as the user's locale gives it there, on every platform and
// whatever locale the test runs under.

#include "platform/LocaleDates.h"

#include <cstdio>
#include <string>

namespace testing_support {

inline platform::DateFormatter germanDates() {
    return [](int year, int month, int day) {
        char text[32];
        std::snprintf(text, sizeof text, "%02d.%02d.%04d", day, month, year);
        return std::string(text);
    };
}

} // namespace testing_support
