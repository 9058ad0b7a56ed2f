// The logbook file's layout: header, entry lines, field formats and CR LF line ends.

#include "logbook/LogbookEntry.h"
#include "logbook/LogbookFile.h"

#include "support/FileBytes.h"
#include "support/TestDates.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

namespace logbook {
namespace {

namespace fs = std::filesystem;

TEST(LogbookEntry, FormatsDurations) {
    const struct {
        double seconds;
        const char* text;
    } rows[] = {{0, "00:00"},     {59, "00:00"},    {60, "00:01"},    {3758, "01:02"},
                {9075, "02:31"},  {754, "00:12"},   {86399, "23:59"}, {86400, "00:00"},
                {90000, "01:00"}, {3758.9, "01:02"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.seconds);
        EXPECT_EQ(formatDuration(row.seconds), row.text);
    }
}

LogbookEntry entry(std::string route, double distance, double speed) {
    LogbookEntry e;
    e.date = {5, 1, 8};
    e.glider_type = "Unknown";
    e.glider_id = "Unknown";
    e.route = std::move(route);
    e.flight_time = 9075;
    e.engine_time = 754;
    e.distance = distance;
    e.speed = speed;
    e.file_name = "flight02.igc";
    return e;
}

TEST(LogbookEntry, WritesDistanceAndSpeedTogetherOrNeither) {
    const struct {
        const char* name;
        LogbookEntry entry;
        const char* line;
    } rows[] = {
        {"task scored", entry("A - B", 152345.6, 78.44),
         "05.01.2008;Unknown;Unknown;A - B;02:31;00:12;152.3 km;78.4 km/h;flight02.igc\n"},
        {"short task, no speed", entry("A - B", 3200.0, 0.0),
         "05.01.2008;Unknown;Unknown;A - B;02:31;00:12;3.2 km;0.0 km/h;flight02.igc\n"},
        {"no distance", entry("A - B", 0.0, 55.0),
         "05.01.2008;Unknown;Unknown;A - B;02:31;00:12;-;-;flight02.igc\n"},
        {"semicolon in the route", entry("A;B - C", 0.0, 0.0),
         "05.01.2008;Unknown;Unknown;A;B - C;02:31;00:12;-;-;flight02.igc\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::ostringstream out;
        writeLogbookEntry(out, row.entry, testing_support::germanDates());
        EXPECT_EQ(out.str(), row.line);
    }
}

// Each line written reads back as the entry it is: a control byte from a recording's header (a
// tab, an escape, a line end) is written as "_", as in a file name.
TEST(LogbookEntry, EveryLineWrittenReadsBackAsItsEntry) {
    const struct {
        const char* name;
        const char* type;
        const char* route;
        const char* file;
        const char* line;
    } rows[] = {
        {"a tab in the glider's type", "Disc\tus", "Local flight", "f.igc",
         "05.01.2008;Disc_us;Unknown;Local flight;02:31;00:12;-;-;f.igc"},
        {"an escape and a line end in the route", "T", "A\x1b[2J - B\r\nC", "f.igc",
         "05.01.2008;T;Unknown;A_[2J - B__C;02:31;00:12;-;-;f.igc"},
        {"a delete byte in the file name", "T", "Local flight", "f\x7f.igc",
         "05.01.2008;T;Unknown;Local flight;02:31;00:12;-;-;f_.igc"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogbookEntry written = entry(row.route, 0.0, 0.0);
        written.glider_type = row.type;
        written.file_name = row.file;
        std::ostringstream out;
        writeLogbookEntry(out, written, testing_support::germanDates());
        EXPECT_EQ(out.str(), std::string(row.line) + "\n");
        const std::optional<OldEntry> read = readEntryLine(row.line);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->line, row.line);
    }
}

TEST(LogbookEntry, RoundsLikePrintfWithADecimalPointInAnyLocale) {
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // where installed, printf would write a comma
    for (double metres = 0.5; metres < 400000.0; metres = metres * 1.37 + 0.05) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.1f", metres * 0.001);
        std::replace(expected, expected + sizeof expected, ',', '.');
        std::ostringstream out;
        writeLogbookEntry(out, entry("R", metres, metres / 1000.0), testing_support::germanDates());
        EXPECT_NE(out.str().find(std::string(";") + expected + " km;"), std::string::npos)
            << out.str();
    }
    std::setlocale(LC_NUMERIC, "C");
}

TEST(LogbookFile, WritesCrLfForEveryLineEnd) {
    const fs::path dir = testing_support::freshTestDirectory("logbook-entry-");
    const fs::path path = dir / "logbook.dat";
    {
        LogbookFile out;
        ASSERT_TRUE(out.open(path.string()));
        writeLogbookHeader(out, "  Example Pilot ");
        out << "a\nb" << 'c' << '\n' << std::endl;
        // Lines that straddle the write buffer's edge keep their CR LF too.
        for (int k = 0; k < 20000; ++k)
            out << "0123456789\n";
        ASSERT_TRUE(out.commit()) << out.failure().reason();
    }
    std::string lines;
    for (int k = 0; k < 20000; ++k)
        lines += "0123456789\r\n";
    EXPECT_TRUE(testing_support::bytesOf(path) == "# Thermora Log Book. (Vantaline V1.0)\r\n"
                                                  "# This file is autogenerated, do not edit!\r\n"
                                                  "\r\n"
                                                  "name =   Example Pilot \r\n"
                                                  "a\r\nbc\r\n\r\n" +
                                                      lines);
    fs::remove_all(dir);
}

} // namespace
} // namespace logbook
