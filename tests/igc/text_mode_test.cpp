// Reading as a text-mode read does where the simulator runs (CR LF as LF, Ctrl-Z ends the input,
// columns cut at the line's end only), and the public functions at their edges: a null path,
// coordinates out of range, a task stream without its last line end, a short task written back,
// the time zone read afresh.

#include "igc/FlightLog.h"
#include "igc/TimeOfDay.h"
#include "support/CaptureStream.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace igc {
namespace {

namespace fs = std::filesystem;
using testing_support::CaptureStream;

struct Read {
    bool ok = false;
    std::string errors;
    FlightLog log;
};

// Writes `bytes` to a file in `dir` and loads it.
Read readBytes(const fs::path& dir, const std::string& bytes) {
    const fs::path path = dir / "flight.igc";
    std::ofstream(path, std::ios::binary) << bytes;
    Read read;
    std::ostringstream errors;
    read.ok = read.log.load(path.string().c_str(), errors);
    read.errors = errors.str();
    fs::remove(path);
    return read;
}

constexpr const char* kHead = "AXXXABC\r\nHFDTE060108\r\n";

TEST(TextMode, ColumnsAreCutAtTheLineEndOnly) {
    const struct {
        const char* name;
        std::string body;
        int fxa;
        int siu;
        int siu_column;
    } rows[] = {
        // A CR inside the line is a character of the line; atoi skips it as white space.
        {"CR before an FXA value", "I013740FXA\r\nB1101355206343N00006198WA0058700558\r035\r\n", 35,
         -1, -1},
        {"CR inside an I record entry",
         "I023638FXA\r944SIU\r\nB1101355206343N00006198WA0058700558\r\n", 1, -1, 9},
        // The CR of the CR LF line end is not part of the line: a column reaching it is cut.
        {"column reaching into the line end",
         "I013638FXA\r\nB1101355206343N00006198WA0058700558"
         "07\r\n",
         1, -1, -1},
        {"plain columns",
         "I023638FXA3940SIU\r\nB1101355206343N00006198WA0058700558035"
         "07\r\n",
         35, 7, 39},
    };
    const fs::path dir = testing_support::freshTestDirectory("igc-text-mode-");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Read read = readBytes(dir, std::string(kHead) + row.body);
        ASSERT_TRUE(read.ok);
        ASSERT_EQ(read.log.fixes_.size(), 1U) << read.errors;
        EXPECT_EQ(read.log.fixes_[0].fxa, row.fxa);
        if (row.siu >= 0) {
            EXPECT_EQ(read.log.fixes_[0].siu, row.siu);
        }
        EXPECT_EQ(read.log.siu_column_, row.siu_column);
    }
    fs::remove_all(dir);
}

TEST(TextMode, APathOfNothingLeavesTheStreamUsable) {
    FlightLog log;
    {
        CaptureStream errors(std::cerr);
        EXPECT_FALSE(log.load(nullptr));
        EXPECT_TRUE(std::cerr.good());
        std::cerr << "later\n";
        EXPECT_EQ(errors.text(), "IGCLib: Couldn't open input file ''\nlater\n");
    }
    std::cerr.clear();
}

TEST(TextMode, CoordinatesStayInTheirFields) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double latitude;
        double longitude;
        int lat_deg;
        float lat_min;
        int lon_deg;
        float lon_min;
    } rows[] = {
        {40000.0, 0.0, 32767, 0.0f, 0, 0.0f}, {-1e9, 1e300, -32767, 0.0f, 32767, 0.0f},
        {nan, nan, 0, 0.0f, 0, 0.0f},         {inf, -inf, 32767, 0.0f, -32767, 0.0f},
        {52.5, -1.25, 52, 30.0f, -1, -15.0f},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.latitude);
        const Coordinate c(row.latitude, row.longitude);
        EXPECT_EQ(c.lat_deg, row.lat_deg);
        EXPECT_EQ(c.lat_min, row.lat_min);
        EXPECT_EQ(c.lon_deg, row.lon_deg);
        EXPECT_EQ(c.lon_min, row.lon_min);
    }
}

TEST(TextMode, ATaskStreamWithoutItsLastLineEnd) {
    const std::string header = "C060108110135060108000100\r\nC5200000N01000000ET\r\n"
                               "C5200000N01000000ES\r\n";
    const struct {
        const char* name;
        std::string text;
        std::string errors;
        std::string finish;
    } rows[] = {
        {"landing missing after a finish without line end", header + "C5200000N01000000EF",
         "IGCLib: warning: Missing task point (landing)!\n", "F"},
        {"finish missing after a start without line end",
         "C060108110135060108000100\r\nC5200000N01000000ET\r\nC5200000N01000000ES",
         "IGCLib: warning: Missing task point (finish)!\n", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::istringstream in(row.text);
        Task task;
        CaptureStream errors(std::cerr);
        in >> task;
        EXPECT_FALSE(in.fail());
        EXPECT_EQ(errors.text(), row.errors);
        EXPECT_EQ(task.finish.name, row.finish);
    }
}

TEST(TextMode, AShortTaskReadsBackAsItWasRead) {
    // Three turnpoints declared, one held: the reader keeps one; written back, the file says one.
    const std::string bytes = std::string(kHead) +
                              "C060108110135060108000103Short\r\nC5200000N01000000ET\r\n"
                              "C5200000N01000000ES\r\nC5210000N01000000EA\r\n"
                              "B1101355206343N00006198WA0058700558\r\n";
    const fs::path dir = testing_support::freshTestDirectory("igc-text-mode-");
    const Read first = readBytes(dir, bytes);
    ASSERT_TRUE(first.ok);
    ASSERT_EQ(first.log.task_.turnpoints.size(), 1U);
    const fs::path path = dir / "short-task.igc";
    ASSERT_TRUE(first.log.save(path.string().c_str()));
    {
        // Closed before the file is removed: Windows removes no open file.
        std::ifstream written(path, std::ios::binary);
        std::string line;
        while (std::getline(written, line) && line[0] != 'C') {
        }
        EXPECT_EQ(line, "C060108110135060108000101Short\r");
    }
    FlightLog again;
    std::ostringstream errors;
    ASSERT_TRUE(again.load(path.string().c_str(), errors));
    fs::remove_all(dir);
    ASSERT_EQ(again.task_.turnpoints.size(), 1U);
    EXPECT_EQ(again.task_.turnpoints[0].name, "A");
    EXPECT_EQ(again.task_.finish.name, first.log.task_.finish.name);
    EXPECT_EQ(again.task_.landing.name, first.log.task_.landing.name);
    EXPECT_EQ(again.fixes_.size(), 1U);
}

#ifndef _WIN32
// The zone is read afresh by the first call that asks for it, whatever local times were read
// before. In a process of its own: the zone, once read, is kept for the life of the process.
TEST(TextModeDeathTest, ALocalTimeDoesNotFixTheZone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("TZ", "UTC0", 1);
            static_cast<void>(TimeOfDay::localNow());
            setenv("TZ", "EST5EDT", 1);
            TimeZoneInfo zone;
            getTimeOfDay(nullptr, &zone);
            std::exit(zone.minutes_west == 300 && zone.dst_flag == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

} // namespace
} // namespace igc
