// The IGC writer: exact bytes of every line it writes, CR LF included.

#include "IgcTestValues.h"
#include "igc/FlightLog.h"
#include "support/CaptureStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using igc::Coordinate;
using igc::Fix;
using igc::FlightLog;
using igc::IgcDate;
using igc::IgcTime;
using igc::Task;
using igc::TaskPoint;
using igc_testing::at;
using igc_testing::point;

template <typename T>
std::string text(const T& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

std::string joinCrLf(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines)
        joined += line + "\r\n";
    return joined;
}

// Splits text into lines that each end with CR LF; a line end of any other form is a failure.
std::vector<std::string> crLfLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", begin);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last CR LF: '" << bytes.substr(begin) << "'";
            break;
        }
        const std::string line = bytes.substr(begin, end - begin);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray CR or LF in " << line;
        lines.push_back(line);
        begin = end + 2;
    }
    return lines;
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A fresh directory per test, removed afterwards.
class WriterFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() /
               ("thermora-writer-" + std::to_string(random()) + "-" + std::to_string(random()));
        ASSERT_TRUE(fs::create_directories(dir_));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path dir_;
};

const std::vector<std::string> kFreshLogLines = {
    "AXXX000",
    "HFDTE000000",
    "HFFXA500",
    "HFPLTPILOT:Unknown",
    "HFGTYGLIDERTYPE:Unknown",
    "HFGIDGLIDERID:Unknown",
    "HFDTM100GPSDATUM:WGS84",
    "HFRFWFIRMWAREVERSION:1.0",
    "HFRHWHARDWAREVERSION:1.0",
    "HFFTYFRTYPE:Unknown",
    "HFGPS:Unknown",
    "I033638FXA3940SIU4143ENL",
};

// A task with two turnpoints, one of them without a name, across all four hemispheres.
Task twoTurnpointTask() {
    Task task;
    task.declaration_date = IgcDate{5, 1, 8};
    task.declaration_time = IgcTime{10, 20, 30};
    task.flight_date = IgcDate{6, 1, 2008};
    task.task_id = 3;
    task.turnpoint_count = 2;
    task.description = "Two turnpoints";
    task.takeoff = point(at(52, 6.5f, 0, -6.25f), "Home");
    task.start = point(at(52, 10.125f, 1, 2.75f), "Start");
    task.turnpoints = {point(at(-33, -45.5f, 151, 12.25f), "Harbour"),
                       point(at(0, -0.75f, -70, -0.5f), "")};
    task.finish = point(at(52, 10.125f, 1, 2.75f), "Finish");
    task.landing = point(at(52, 6.5f, 0, -6.25f), "Home");
    return task;
}

const std::vector<std::string> kTwoTurnpointTaskLines = {
    "C0501081020300601080003"
    "02Two turnpoints",
    "C5206500N00006250WHome",
    "C5210125N00102750EStart",
    "C3345500S15112250EHarbour",
    "C0000750S07000500W",
    "C5210125N00102750EFinish",
    "C5206500N00006250WHome",
};

TEST(IgcWriterText, Dates) {
    struct Row {
        const char* name;
        IgcDate date;
        const char* expected;
    };
    const Row rows[] = {
        {"unset", {0, 0, 0}, "000000"},
        {"full year 2008", {6, 1, 2008}, "060108"},
        {"two-digit year 8", {6, 1, 8}, "060108"},
        {"full year 2000", {31, 12, 2000}, "311200"},
        {"full year 1999", {1, 2, 1999}, "010299"},
        {"negative year: digits of its magnitude, no minus sign", {1, 2, -5}, "010205"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(text(row.date), row.expected);
    }
}

TEST(IgcWriterText, Coordinates) {
    struct Row {
        const char* name;
        Coordinate position;
        const char* expected;
    };
    const Row rows[] = {
        {"origin is north and east", at(0, 0.0f, 0, 0.0f), "0000000N00000000E"},
        {"south and west between -1 and 0 degrees and beyond", at(0, -30.5f, -12, -30.25f),
         "0030500S01230250W"},
        {"thousandths truncated, not rounded (6.343f is 6.3429999...)", at(52, 6.343f, 0, -6.198f),
         "5206342N00006197W"},
        {"negative degrees with zero minutes", at(-1, 0.0f, -1, 0.0f), "0100000S00100000W"},
        {"largest values in the fields", at(89, 59.999f, 179, 59.999f), "8959999N17959999E"},
        {"south-east", at(-33, -51.75f, 151, 12.5f), "3351750S15112500E"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(text(row.position), row.expected);
    }
}

TEST(IgcWriterText, FixLines) {
    struct Row {
        const char* name;
        Fix fix;
        const char* expected;
    };
    Fix worked;
    worked.time = IgcTime{11, 1, 35};
    worked.position = at(52, 6.5f, 0, -6.25f);
    worked.pressure_alt = 587;
    worked.gps_alt = 558;
    worked.fxa = 35;
    worked.siu = 7;
    worked.enl = 40;

    Fix below_zero = worked;
    below_zero.pressure_alt = -12;
    below_zero.gps_alt = -1;

    Fix south_west_defaults; // the reader's defaults: 'A', FXA 1, SIU 4, ENL 0
    south_west_defaults.time = IgcTime{23, 59, 59};
    south_west_defaults.position = at(-33, -51.75f, -70, -0.5f);
    south_west_defaults.validity = 'V';
    south_west_defaults.pressure_alt = 12345;
    south_west_defaults.gps_alt = 32767;

    const Row rows[] = {
        {"worked example", worked, "B1101355206500N00006250WA005870055803507040\r\n"},
        {"negative altitudes written as 0", below_zero,
         "B1101355206500N00006250WA000000000003507040\r\n"},
        {"south, west, invalid fix, default extensions", south_west_defaults,
         "B2359593351750S07000500WV123453276700104000\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string line = text(row.fix);
        EXPECT_EQ(line, row.expected);
        EXPECT_EQ(line.size(), 45u);
    }
}

TEST(IgcWriterText, TaskBlockLineByLine) {
    EXPECT_EQ(crLfLines(text(twoTurnpointTask())), kTwoTurnpointTaskLines);
}

TEST(IgcWriterText, TaskBlockCountsTheTurnpointsItWrites) {
    // Whatever was declared, the count is that of the points written, so the file reads back
    // with the same task.
    for (const int declared : {7, 2, 0, -3}) {
        SCOPED_TRACE(declared);
        Task task = twoTurnpointTask();
        task.turnpoint_count = declared;
        task.task_id = 12345;
        const std::vector<std::string> lines = crLfLines(text(task));
        ASSERT_EQ(lines.size(), 7u);
        EXPECT_EQ(lines[0], "C050108102030060108"
                            "12345"
                            "02Two turnpoints");
        EXPECT_EQ(lines[3], "C3345500S15112250EHarbour");
    }
}

TEST(IgcWriterText, TaskBlockLeavesFillAndWidthAlone) {
    std::ostringstream out;
    out.fill('*');
    out.width(30);
    out << twoTurnpointTask();
    EXPECT_EQ(out.fill(), '*');
    EXPECT_EQ(out.width(), 30);
    EXPECT_EQ(crLfLines(out.str()), kTwoTurnpointTaskLines);
}

TEST_F(WriterFileTest, NewFlightLogWritesTheDefaultHeaderOnly) {
    const fs::path path = dir_ / "fresh.igc";
    EXPECT_TRUE(FlightLog().save(path.string().c_str()));
    EXPECT_EQ(readBytes(path), joinCrLf(kFreshLogLines));
}

TEST_F(WriterFileTest, WholeFileWithCompetitionTaskAndFixes) {
    FlightLog log;
    log.manufacturer_ = "TMR";
    log.logger_id_ = "SIM01";
    log.date_ = IgcDate{6, 1, 2008};
    log.fix_accuracy_ = 35;
    log.pilot_ = "Example Pilot";
    log.glider_type_ = "ASK 21";
    log.glider_id_ = "D-1234";
    log.firmware_version_ = "2.1";
    log.hardware_version_ = "3";
    log.fr_type_ = "Thermora";
    log.gps_ = "Simulated";
    log.competition_id_ = "T1";
    log.competition_class_ = "Club";
    log.task_ = twoTurnpointTask();
    log.has_task_ = true;
    // Columns the log was read with do not change the I record written.
    log.fxa_column_ = 40;
    log.enl_column_ = -1;
    Fix first;
    first.time = IgcTime{11, 1, 35};
    first.position = at(52, 6.5f, 0, -6.25f);
    first.pressure_alt = 587;
    first.gps_alt = 558;
    first.fxa = 35;
    first.siu = 7;
    first.enl = 40;
    Fix second = first;
    second.time = IgcTime{11, 1, 36};
    second.enl = 250;
    log.fixes_ = {first, second};

    const fs::path path = dir_ / "full.igc";
    ASSERT_TRUE(log.save(path.string().c_str()));

    std::vector<std::string> expected = {
        "ATMRSIM01",
        "HFDTE060108",
        "HFFXA035",
        "HFPLTPILOT:Example Pilot",
        "HFGTYGLIDERTYPE:ASK 21",
        "HFGIDGLIDERID:D-1234",
        "HFDTM100GPSDATUM:WGS84",
        "HFRFWFIRMWAREVERSION:2.1",
        "HFRHWHARDWAREVERSION:3",
        "HFFTYFRTYPE:Thermora",
        "HFGPS:Simulated",
        "HFCIDCOMPETITIONID:T1",
        "HFCCLCOMPETITIONCLASS:Club",
        "I033638FXA3940SIU4143ENL",
    };
    expected.insert(expected.end(), kTwoTurnpointTaskLines.begin(), kTwoTurnpointTaskLines.end());
    expected.push_back("B1101355206500N00006250WA005870055803507040");
    expected.push_back("B1101365206500N00006250WA005870055803507250");

    const std::string bytes = readBytes(path);
    EXPECT_EQ(crLfLines(bytes), expected);
    EXPECT_EQ(bytes, joinCrLf(expected));
}

TEST_F(WriterFileTest, EachCompetitionLineOnlyWhenItHasAValue) {
    FlightLog log;
    log.competition_class_ = "Open";
    const fs::path path = dir_ / "class-only.igc";
    ASSERT_TRUE(log.save(path.string().c_str()));
    std::vector<std::string> expected = kFreshLogLines;
    expected.insert(expected.end() - 1, "HFCCLCOMPETITIONCLASS:Open");
    EXPECT_EQ(crLfLines(readBytes(path)), expected);
}

TEST_F(WriterFileTest, UnopenableFileIsReportedAndNothingWritten) {
    const fs::path path = dir_ / "no such directory" / "out.igc";
    bool saved = true;
    std::string diagnostics;
    {
        testing_support::CaptureStream capture(std::cerr);
        saved = FlightLog().save(path.string().c_str());
        diagnostics = capture.text();
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(diagnostics, "IGCLib: Couldn't open output file '" + path.string() + "'\n");
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(WriterFileTest, SavingReplacesALongerFileCompletely) {
    const fs::path path = dir_ / "existing.igc";
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(10000, 'x');
    }
    ASSERT_TRUE(FlightLog().save(path.string().c_str()));
    EXPECT_EQ(readBytes(path), joinCrLf(kFreshLogLines));
}

} // namespace
