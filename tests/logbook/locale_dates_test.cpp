// The entry dates from Qt's locales, the platform's locale services on Linux: the user's short
// date with a four-digit year, ASCII digits where the locale's own are not Latin-1.

#include "logbook/LogbookEntry.h"
#include "platform/LocaleDatesQt.h"

#include <gtest/gtest.h>

namespace logbook {
namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);
const QLocale kAmerican(QLocale::English, QLocale::UnitedStates);

TEST(LogbookEntry, FormatsDatesInTheLocaleWithAFourDigitYear) {
    const struct {
        igc::IgcDate date;
        QLocale locale;
        const char* text;
    } rows[] = {
        {{5, 1, 8}, kGerman, "05.01.2008"},
        {{5, 1, 8}, kAmerican, "1/5/2008"},
        {{31, 12, 99}, kGerman, "31.12.2099"},
        {{0, 0, 0}, kGerman, ""},
        {{30, 2, 8}, kAmerican, ""},
        // Native digits that Latin-1 cannot write: the locale's pattern with ASCII digits.
        {{5, 1, 8}, QLocale(QStringLiteral("ar_EG")), "5/1/2008"},
        {{5, 1, 8}, QLocale(QStringLiteral("fa_IR")), "2008/1/5"},
        {{5, 1, 8}, QLocale(QStringLiteral("bn_BD")), "5/1/2008"},
        {{5, 1, 8}, QLocale(QStringLiteral("ru_RU")), "05.01.2008"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(formatEntryDate(row.date, platform::qtDateFormatter(row.locale)), row.text);
    }
}

} // namespace
} // namespace logbook
