// The user's short date from the platform's locale services, in whatever locale the tests run:
// the year always with its four digits, the day's number in ASCII digits (the month may be a
// name).

#include "platform/LocaleDates.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

TEST(LocaleDates, TheUsersShortDateKeepsTheWholeYear) {
    const struct {
        int year;
        int month;
        int day;
        const char* year_text;
        const char* day_text;
    } rows[] = {
        {2008, 1, 5, "2008", "5"},
        {1999, 12, 31, "1999", "31"},
        {2000, 2, 29, "2000", "29"},
        {2099, 10, 17, "2099", "17"},
    };
    const DateFormatter format = localeDateFormatter();
    for (const auto& row : rows) {
        const std::string text = format(row.year, row.month, row.day);
        SCOPED_TRACE(text);
        EXPECT_NE(text.find(row.year_text), std::string::npos);
        EXPECT_NE(text.find(row.day_text), std::string::npos);
    }
}

} // namespace
} // namespace platform
