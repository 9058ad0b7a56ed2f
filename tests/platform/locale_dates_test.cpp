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

// A Windows user's short date form, as a Wine prefix sets it, written as Windows writes it; the
// year keeps its four digits as everywhere in the logbook. Pictures without a day, a month or a
// year give no formatter, so that the caller takes the locale's form.
TEST(LocaleDates, AWindowsPictureWritesTheDateAsWindowsDoes) {
    const struct {
        const char* picture;
        const char* text; // of 2 January 2003, a Thursday; null: no formatter
    } rows[] = {
        {"", nullptr},
        {"dd.MM", nullptr},
        {"MM/yyyy", nullptr},
        {"'d'.'M'.'yyyy'", nullptr}, // the fields quoted are text
        {"dd.MM.yyyy", "02.01.2003"},
        {"M/d/yyyy", "1/2/2003"},
        {"yyyy-MM-dd", "2003-01-02"},
        {"d/M/yy", "2/1/2003"},
        {"d.M.y", "2.1.2003"},
        {"dd-MMM-yyyy", "02-Jan-2003"},
        {"dddd, MMMM d, yyyy", "Thursday, January 2, 2003"},
        {"ddd dd.MM.yyyy", "Thu 02.01.2003"},
        {"yyyy'year'M'month'd'day'", "2003year1month2day"},
        {"dd 'de' MMMM 'de' yyyy", "02 de January de 2003"},
        {"d'' MM yyyy", "2' 01 2003"},
        {"'it''s' d.M.yyyy", "it's 2.1.2003"},
        {"gg yyyy/MM/dd", " 2003/01/02"},
        {"yyyy\xE5\xB9\xB4M\xE6\x9C\x88"
         "d\xE6\x97\xA5",
         "200312"}, // beyond Latin-1: left out
        {"dd\xC2\xB7MM\xC2\xB7yyyy", "02\xB7"
                                     "01\xB7"
                                     "2003"}, // Latin-1: as Latin-1
        {"d/M/yyyy 'unclosed", "2/1/2003 unclosed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.picture);
        const DateFormatter format = pictureDateFormatter(row.picture);
        ASSERT_EQ(static_cast<bool>(format), row.text != nullptr);
        if (format) {
            EXPECT_EQ(format(2003, 1, 2), row.text);
        }
    }
    // Days, months and years of every width, and the weekday across a leap day.
    const DateFormatter format = pictureDateFormatter("ddd d.M.yyyy");
    EXPECT_EQ(format(2024, 2, 29), "Thu 29.2.2024");
    EXPECT_EQ(format(2000, 3, 1), "Wed 1.3.2000");
    EXPECT_EQ(format(999, 12, 31), "Tue 31.12.0999");
}

} // namespace
} // namespace platform
