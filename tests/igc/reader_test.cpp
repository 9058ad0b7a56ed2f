// Loading IGC files: what is stored, and every diagnostic line in its order.

#include "igc/FlightLog.h"
#include "support/CaptureStream.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace igc {
namespace {

namespace fs = std::filesystem;
using testing_support::CaptureStream;

class TempDir {
public:
    TempDir() : path_(testing_support::freshTestDirectory("igc-reader-")) {}
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    [[nodiscard]] std::string file(const std::string& name, const std::string& bytes) const {
        const fs::path path = path_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    [[nodiscard]] const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

struct Loaded {
    bool ok = false;
    std::string errors;
    FlightLog log;
};

Loaded loadBytes(const std::string& bytes) {
    TempDir dir;
    const std::string path = dir.file("flight.igc", bytes);
    Loaded result;
    CaptureStream errors(std::cerr);
    result.ok = result.log.load(path.c_str());
    result.errors = errors.text();
    return result;
}

constexpr const char* kHead = "AXXXABC\r\nHFDTE060108\r\n";

TEST(Reader, RejectsAMalformedHead) {
    const struct {
        const char* name;
        std::string bytes;
        std::string errors;
    } rows[] = {
        {"empty file", "", "IGCLib: Missing A record\n"},
        {"blank first line", "\r\nAXXXABC\r\n", "IGCLib: Missing A record\n"},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "AXXXABC\r\n",
         "IGCLib: Missing A record\n"},
        {"H record first", "HFDTE060108\r\n", "IGCLib: Missing A record\n"},
        {"A record without logger id", "AXXX\r\nHFDTE060108\r\n",
         "IGCLib: parse error in A record\n"},
        {"A record of blanks", "A   \r\n", "IGCLib: parse error in A record\n"},
        {"H record without rest", "AXXXABC\r\nHFDTM\r\nB1101355206343N00006198WA0058700558\r\n",
         "IGCLib: parse error in H record\n"},
        {"short first C record",
         std::string(kHead) + "C0601081101350601080001\r\nC0000000N00000000E\r\n",
         "IGCLib: parse error in C record (n = 11)\nline: C0601081101350601080001\n"},
        {"malformed takeoff point",
         std::string(kHead) + "C060108110135060108000100\r\nCxx\r\nC5206343N00006198WStart\r\n",
         "IGCLib: parse error in C record\nline = Cxx\n"
         "IGCLib: warning: Missing task point (start)!\n"},
        {"malformed last turnpoint",
         std::string(kHead) + "C060108110135060108000101\r\nC0000000N00000000E\r\n"
                              "C5206343N00006198WStart\r\nC52063\r\nC5206343N00006198WFinish\r\n",
         "IGCLib: parse error in C record\nline = C52063\n"
         "IGCLib: warning: Missing task point (finish)!\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Loaded loaded = loadBytes(row.bytes);
        EXPECT_FALSE(loaded.ok);
        EXPECT_EQ(loaded.errors, row.errors);
    }
}

TEST(Reader, ReportsAFileThatCannotBeOpened) {
    TempDir dir;
    const std::string missing = (dir.path() / "missing.igc").string();
    const std::string directory = (dir.path() / "folder.igc").string();
    fs::create_directory(directory);
    for (const std::string& path : {missing, directory}) {
        SCOPED_TRACE(path);
        FlightLog log;
        log.fixes_.resize(3);
        log.pilot_ = "Kept";
        CaptureStream errors(std::cerr);
        EXPECT_FALSE(log.load(path.c_str()));
        EXPECT_EQ(errors.text(), "IGCLib: Couldn't open input file '" + path + "'\n");
        EXPECT_EQ(log.fixes_.size(), 3u); // unchanged: the file was never read
        EXPECT_EQ(log.pilot_, "Kept");
    }
}

TEST(Reader, ReadsTheARecord) {
    const Loaded plain = loadBytes("AXXXABC\r\n");
    EXPECT_TRUE(plain.ok);
    EXPECT_EQ(plain.errors, "");
    EXPECT_EQ(plain.log.manufacturer_, "XXX");
    EXPECT_EQ(plain.log.logger_id_, "ABC");
    EXPECT_TRUE(plain.log.fixes_.empty());

    const Loaded free_text = loadBytes("AXGD Flymaster F1, V1.21\n");
    EXPECT_EQ(free_text.log.manufacturer_, "XGD");
    EXPECT_EQ(free_text.log.logger_id_, " Flymaster F1, V1.21");
}

TEST(Reader, StoresHeaderValues) {
    const struct {
        const char* line;
        std::string FlightLog::*field;
        const char* expected;
    } rows[] = {
        {"HFPLTPILOT:Example Pilot", &FlightLog::pilot_, "Example Pilot"},
        {"HFPLTPILOTINCHARGE: Example Pilot", &FlightLog::pilot_, "Example Pilot"},
        {"HFPLT:Example", &FlightLog::pilot_, "Unknown"},
        {"HFPLTPILOT:", &FlightLog::pilot_, "Unknown"},
        {"HFPLTPILOT:   ", &FlightLog::pilot_, "Unknown"},
        {"HOPLTPILOT:Other Source", &FlightLog::pilot_, "Other Source"},
        {"HFpltPILOT:Lower Case", &FlightLog::pilot_, "Unknown"},
        {"HFGTYGLIDERTYPE:LS 4", &FlightLog::glider_type_, "LS 4"},
        {"HFGIDGLIDERID:D-1234", &FlightLog::glider_id_, "D-1234"},
        {"HFRFWFIRMWAREVERSION:2.3", &FlightLog::firmware_version_, "2.3"},
        {"HFRHWHARDWAREVERSION:4", &FlightLog::hardware_version_, "4"},
        {"HFFTYFRTYPE:Thermora,Simulator", &FlightLog::fr_type_, "Thermora,Simulator"},
        {"HFGPSuBLOX 12ch", &FlightLog::gps_, "uBLOX 12ch"},
        {"HFGPS:uBLOX", &FlightLog::gps_, ":uBLOX"},
        {"HFGPSRECEIVER:uBLOX,LEA-4P", &FlightLog::gps_, "uBLOX,LEA-4P"},
        {"HFCIDCOMPETITIONID:X1", &FlightLog::competition_id_, "X1"},
        {"HFCCLCOMPETITIONCLASS:Club", &FlightLog::competition_class_, "Club"},
        {"HFPRSPRESSALTSENSOR:Intersema", &FlightLog::pilot_, "Unknown"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        const Loaded loaded = loadBytes(std::string("AXXXABC\r\n") + row.line + "\r\n");
        EXPECT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.errors, "");
        EXPECT_EQ(loaded.log.*row.field, row.expected);
    }
}

TEST(Reader, StoresTheDateAndFixAccuracy) {
    const struct {
        const char* line;
        int day, month, year, accuracy;
    } rows[] = {
        {"HFDTE060108", 6, 1, 8, 500},
        // Mended: the form recorders write since 2016 gives the date (it was left at 0, 0, 0).
        {"HFDTEDATE:060108,01", 6, 1, 8, 500},
        {"HFDTEDATE:010620", 1, 6, 20, 500},
        {"HFDTEDATE:xx0620,01", 0, 0, 0, 500},
        {"HFDTE311299", 31, 12, 99, 500},
        {"HFFXA035", 0, 0, 0, 35},
        {"HFFXA", 0, 0, 0, 500},
        {"HFFXAxyz", 0, 0, 0, 500},
        {"HFFXA1234", 0, 0, 0, 123},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        const Loaded loaded = loadBytes(std::string("AXXXABC\r\n") + row.line + "\r\n");
        if (std::string(row.line) == "HFFXA") {
            EXPECT_FALSE(loaded.ok); // no rest after the code at all
            continue;
        }
        EXPECT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.log.date_.day, row.day);
        EXPECT_EQ(loaded.log.date_.month, row.month);
        EXPECT_EQ(loaded.log.date_.year, row.year);
        EXPECT_EQ(loaded.log.fix_accuracy_, row.accuracy);
    }
}

TEST(Reader, ReadsAFixWithItsExtensions) {
    const Loaded loaded =
        loadBytes(std::string(kHead) + "I033638FXA3940SIU4143ENL\r\n"
                                       "B1101355206343N00006198WA005870055803507040\r\n");
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.errors, "");
    EXPECT_EQ(loaded.log.fxa_column_, 36);
    EXPECT_EQ(loaded.log.siu_column_, 39);
    EXPECT_EQ(loaded.log.enl_column_, 41);
    ASSERT_EQ(loaded.log.fixes_.size(), 1u);
    const Fix& fix = loaded.log.fixes_[0];
    EXPECT_EQ(fix.time.hour, 11);
    EXPECT_EQ(fix.time.minute, 1);
    EXPECT_EQ(fix.time.second, 35);
    EXPECT_EQ(fix.position.lat_deg, 52);
    EXPECT_FLOAT_EQ(fix.position.lat_min, 6.343f);
    EXPECT_EQ(fix.position.lon_deg, 0);
    EXPECT_FLOAT_EQ(fix.position.lon_min, -6.198f);
    EXPECT_EQ(fix.validity, 'A');
    EXPECT_EQ(fix.pressure_alt, 587);
    EXPECT_EQ(fix.gps_alt, 558);
    EXPECT_EQ(fix.fxa, 35);
    EXPECT_EQ(fix.siu, 7);
    EXPECT_EQ(fix.enl, 40);
}

TEST(Reader, ExtensionsApplyFromTheirIRecordOnAndOnlyWhereTheLineHoldsThem) {
    const struct {
        const char* name;
        std::string body;
        int fxa, siu, enl;
        std::string errors;
    } rows[] = {
        {"no I record", "B1101355206343N00006198WA005870055803507040\r\n", 1, 4, 0, ""},
        {"declared", "I033638FXA3940SIU4143ENL\r\nB1101355206343N00006198WA005870055803507040\r\n",
         35, 7, 40, ""},
        {"B line ends inside ENL",
         "I033638FXA3940SIU4143ENL\r\nB1101355206343N00006198WA0058700558035070\r\n", 35, 7, 0, ""},
        {"B line ends before every extension",
         "I033638FXA3940SIU4143ENL\r\nB1101355206343N00006198WA0058700558\r\n", 1, 4, 0, ""},
        {"count larger than the line holds",
         "I053638FXA3940SIU4143ENL44\r\nB1101355206343N00006198WA005870055803507040\r\n", 35, 7, 40,
         ""},
        {"unknown code", "I013638TAS\r\nB1101355206343N00006198WA005870055803507040\r\n", 1, 4, 0,
         "Extension: TAS, start = 36\n"},
        {"ENL only, written elsewhere", "I013638ENL\r\nB1101355206343N00006198WA0058700558999\r\n",
         1, 4, 999, ""},
        {"zero count", "I003638FXA\r\nB1101355206343N00006198WA005870055803507040\r\n", 1, 4, 0,
         ""},
        {"line end inside a column",
         "I033638FXA3940SIU4143ENL\r\nB1101355206343N00006198WA005870055803507\r\r\n", 35, 7, 0,
         ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Loaded loaded = loadBytes(std::string(kHead) + row.body);
        ASSERT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.errors, row.errors);
        ASSERT_EQ(loaded.log.fixes_.size(), 1u);
        EXPECT_EQ(loaded.log.fixes_[0].fxa, row.fxa);
        EXPECT_EQ(loaded.log.fixes_[0].siu, row.siu);
        EXPECT_EQ(loaded.log.fixes_[0].enl, row.enl);
    }
}

TEST(Reader, AnIRecordAfterFixesAppliesToLaterFixesOnly) {
    const Loaded loaded =
        loadBytes(std::string(kHead) + "B1101355206343N00006198WA005870055803507040\r\n"
                                       "I033638FXA3940SIU4143ENL\r\n"
                                       "B1101365206343N00006198WA005870055803507040\r\n");
    ASSERT_EQ(loaded.log.fixes_.size(), 2u);
    EXPECT_EQ(loaded.log.fixes_[0].enl, 0);
    EXPECT_EQ(loaded.log.fixes_[1].enl, 40);
}

TEST(Reader, DropsBadFixesAndUnknownRecordsAndGoesOn) {
    const Loaded loaded = loadBytes(std::string(kHead) + "B1101355206343N00006198WA0058700558\r\n"
                                                         "B11013552063\r\n"
                                                         "LXXXcomment\r\n"
                                                         "GSECURITY\r\n"
                                                         "K110135123\r\n"
                                                         "HFPLTPILOT:Late\r\n"
                                                         "\r\n"
                                                         "E110135PEV\n"
                                                         "B1101375206343S00006198EV-001200558\r\n");
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.errors, "IGCLib: parse error in B record\n"
                             "unknown record: K\n"
                             "unknown record: H\n"
                             "unknown record: \n\n"
                             "unknown record: E\n");
    ASSERT_EQ(loaded.log.fixes_.size(), 2u);
    EXPECT_EQ(loaded.log.pilot_, "Unknown");
    const Fix& south = loaded.log.fixes_[1];
    EXPECT_EQ(south.position.lat_deg, -52);
    EXPECT_FLOAT_EQ(south.position.lat_min, -6.343f);
    EXPECT_EQ(south.position.lon_deg, 0);
    EXPECT_FLOAT_EQ(south.position.lon_min, 6.198f);
    EXPECT_EQ(south.validity, 'V');
    EXPECT_EQ(south.pressure_alt, -12);
}

constexpr const char* kTask = "C060108110135060108000102Task 300km\r\n"
                              "C5200000N00010000ETakeoff\r\n"
                              "C5206343N00006198WStart\r\n"
                              "C5130500S01230250WBravo\r\n"
                              "C0030500S00000000ECharlie\r\n"
                              "C5206343N00006198WFinish\r\n"
                              "C5200000N00010000ELanding\r\n";

TEST(Reader, ReadsADeclaredTask) {
    const Loaded loaded =
        loadBytes(std::string(kHead) + kTask + "B1101355206343N00006198WA0058700558\r\n");
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.errors, "");
    ASSERT_TRUE(loaded.log.has_task_);
    const Task& task = loaded.log.task_;
    EXPECT_EQ(task.declaration_date.day, 6);
    EXPECT_EQ(task.declaration_date.month, 1);
    EXPECT_EQ(task.declaration_date.year, 8);
    EXPECT_EQ(task.declaration_time.hour, 11);
    EXPECT_EQ(task.declaration_time.minute, 1);
    EXPECT_EQ(task.declaration_time.second, 35);
    EXPECT_EQ(task.flight_date.day, 6);
    EXPECT_EQ(task.task_id, 1);
    EXPECT_EQ(task.turnpoint_count, 2);
    EXPECT_EQ(task.description, "Task 300km");
    EXPECT_EQ(task.takeoff.name, "Takeoff");
    EXPECT_EQ(task.start.name, "Start");
    ASSERT_EQ(task.turnpoints.size(), 2u);
    EXPECT_EQ(task.turnpoints[0].name, "Bravo");
    EXPECT_EQ(task.turnpoints[0].position.lat_deg, -51);
    EXPECT_FLOAT_EQ(task.turnpoints[0].position.lat_min, -30.5f);
    EXPECT_EQ(task.turnpoints[0].position.lon_deg, -12);
    EXPECT_FLOAT_EQ(task.turnpoints[0].position.lon_min, -30.25f);
    EXPECT_EQ(task.turnpoints[1].position.lat_deg, 0);
    EXPECT_FLOAT_EQ(task.turnpoints[1].position.lat_min, -30.5f);
    EXPECT_NEAR(task.turnpoints[1].position.latitude(), -0.5083333, 1e-6);
    EXPECT_EQ(task.finish.name, "Finish");
    EXPECT_EQ(task.landing.name, "Landing");
    EXPECT_EQ(loaded.log.fixes_.size(), 1u);
}

TEST(Reader, AShortTaskIsAWarningOnly) {
    const struct {
        const char* name;
        std::string task;
        std::string errors;
        std::size_t turnpoints;
    } rows[] = {
        {"second turnpoint missing",
         "C060108110135060108000102\r\nC5200000N00010000ETakeoff\r\nC5206343N00006198WStart\r\n"
         "C5130500S01230250WBravo\r\n",
         "IGCLib: warning: Missing task point (TP 2)!\n", 1},
        {"no points at all", "C060108110135060108000102\r\n",
         "IGCLib: warning: Missing task point (takeoff)!\n", 0},
        {"landing missing",
         "C060108110135060108000100\r\nC5200000N00010000ETakeoff\r\nC5206343N00006198WStart\r\n"
         "C5206343N00006198WFinish\r\n",
         "IGCLib: warning: Missing task point (landing)!\n", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Loaded loaded =
            loadBytes(std::string(kHead) + row.task + "B1101355206343N00006198WA0058700558\r\n");
        EXPECT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.errors, row.errors);
        EXPECT_TRUE(loaded.log.has_task_);
        EXPECT_EQ(loaded.log.task_.turnpoints.size(), row.turnpoints);
        EXPECT_EQ(loaded.log.task_.finish.name,
                  row.name == std::string("landing missing") ? "Finish" : "");
        EXPECT_EQ(loaded.log.task_.landing.name, "");
        EXPECT_EQ(loaded.log.fixes_.size(), 1u);
    }
}

TEST(Reader, ASecondTaskBlockIsReportedAndIgnored) {
    const Loaded loaded = loadBytes(std::string(kHead) + kTask +
                                    "B1101355206343N00006198WA0058700558\r\n"
                                    "C070108110135070108000200Other\r\n"
                                    "C5300000N00010000EElsewhere\r\n");
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.errors, "Warning: extra C record: C070108110135070108000200Other\n"
                             "Warning: extra C record: C5300000N00010000EElsewhere\n");
    EXPECT_EQ(loaded.log.task_.description, "Task 300km");
    EXPECT_EQ(loaded.log.task_.takeoff.name, "Takeoff");
}

TEST(Reader, SurvivesDamagedLines) {
    const std::string long_line =
        "L" + std::string(300, 'x') + "B1101355206343N00006198WA0058700558";
    const std::string long_fix = "B1101355206343N00006198WA0058700558" + std::string(400, '7');
    const struct {
        const char* name;
        std::string body;
        std::size_t fixes;
        std::string errors;
    } rows[] = {
        {"the rest of a long line is no record", long_line + "\r\n", 0, ""},
        {"a long fix line keeps its first characters", long_fix + "\r\n", 1, ""},
        {"no final line end", "B1101355206343N00006198WA0058700558", 1, ""},
        {"LF line ends",
         "B1101355206343N00006198WA0058700558\nB1101365206343N00006198WA0058700558\n", 2, ""},
        {"CR CR LF line ends", "B1101355206343N00006198WA0058700558\r\r\n", 1, ""},
        {"NUL inside a fix",
         std::string("B1101355206343N0000\0"
                     "6198WA0058700558\r\n",
                     38),
         0, "IGCLib: parse error in B record\n"},
        {"NUL first", std::string("\0xyz\r\n", 6), 0, "unknown record: \\x00\n"},
        // Ctrl-Z ends the input: the rest is not read, not even as unknown records.
        {"Ctrl-Z between joined files", "\x1A\r\nAXXXDEF\r\n", 0, ""},
        {"two recordings joined with Ctrl-Z",
         "B1101355206343N00006198WA0058700558\r\n\x1A"
         "AXXXDEF\r\nHFDTE060108\r\nB1201355206343N00006198WA0058700558\r\n",
         1, ""},
        {"Ctrl-Z last in the file", "B1101355206343N00006198WA0058700558\r\n\x1A", 1, ""},
        {"binary bytes", "\xFF\xFE\x80\x01\r\n", 0, "unknown record: \xFF\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Loaded loaded = loadBytes(std::string(kHead) + row.body);
        EXPECT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.errors, row.errors);
        EXPECT_EQ(loaded.log.fixes_.size(), row.fixes);
    }
}

std::string loadErrors(const std::string& body) {
    return loadBytes(std::string(kHead) + body).errors;
}

template <typename Value>
std::string extractionErrors(const std::string& text) {
    std::istringstream in(text);
    Value value;
    CaptureStream errors(std::cerr);
    in >> value;
    return errors.text();
}

TEST(Reader, EchoesFileBytesWithControlCharactersEscaped) {
    const struct {
        const char* name;
        std::string (*errorsOf)(const std::string&);
        std::string input;
        std::string errors;
    } rows[] = {
        // The letter of an unknown record.
        {"escape", loadErrors, "\x1B[2J\r\n", "unknown record: \\x1B\n"},
        {"delete", loadErrors, "\x7F\r\n", "unknown record: \\x7F\n"},
        {"unit separator", loadErrors, "\x1F\r\n", "unknown record: \\x1F\n"},
        {"CR of a line ending in CR CR LF", loadErrors, "\r\r\n", "unknown record: \\x0D\n"},
        {"CR before text", loadErrors, "\rK\r\n", "unknown record: \\x0D\n"},
        {"CR as the last byte of the file", loadErrors, "\r", "unknown record: \\x0D\n"},
        {"tab", loadErrors, "\tK\r\n", "unknown record: \t\n"},
        {"space", loadErrors, " K\r\n", "unknown record:  \n"},
        {"first byte of UTF-8 text", loadErrors, "\xC3\xA9t\r\n", "unknown record: \xC3\n"},
        // A blank line: its letter is its line end, which goes out unchanged.
        {"blank LF line", loadErrors, "\nK\n", "unknown record: \n\nunknown record: K\n"},
        {"blank CR LF line: as a blank LF line", loadErrors, "\r\n", "unknown record: \n\n"},
        {"blank line last in the file", loadErrors, "K\r\n\n",
         "unknown record: K\nunknown record: \n\n"},
        // The line of a malformed first C record.
        {"task header with escape sequence", loadErrors, "C06010811\x1B[31m\x7F\r\n",
         "IGCLib: parse error in C record (n = 5)\nline: C06010811\\x1B[31m\\x7F\n"},
        {"task header ending in CR CR LF", loadErrors, "C0601081101350601080001\r\r\n",
         "IGCLib: parse error in C record (n = 11)\nline: C0601081101350601080001\\x0D\n"},
        {"task header from a stream", extractionErrors<Task>, "C0601\x08\x08\r\n",
         "IGCLib: parse error in C record (n = 3)\nline: C0601\\x08\\x08\n"},
        // The line of a malformed task point: text and tabs stay, control characters do not.
        {"task point with text, tab and escape", loadErrors,
         "C060108110135060108000100\r\nC52\t\xC3\xA9\x1B\r\n",
         "IGCLib: parse error in C record\nline = C52\t\xC3\xA9\\x1B\n"
         "IGCLib: warning: Missing task point (start)!\n"},
        {"task point from a stream", extractionErrors<TaskPoint>, "C\x01\x1F\x7F\x80\r\n",
         "IGCLib: parse error in C record\nline = C\\x01\\x1F\\x7F\x80\n"},
        // The code of an unknown fix extension, and a C record after the task.
        {"extension code", loadErrors, "I013638\x1B[K\r\n", "Extension: \\x1B[K, start = 36\n"},
        {"extra C record", loadErrors,
         "C060108110135060108000100\r\nC5200000N01000000ET\r\nC5200000N01000000ES\r\n"
         "C5200000N01000000EF\r\nC5200000N01000000EL\r\nCX\x1B\x7F\r\n",
         "Warning: extra C record: CX\\x1B\\x7F\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.errorsOf(row.input), row.errors);
    }
}

TEST(Reader, EndsOnEveryDamagedFile) {
    // A valid file with a task, damaged at random: bytes replaced, removed, line ends dropped,
    // records cut. Whatever the result, the load must end and stay inside its buffers.
    const std::string valid = std::string(kHead) + "I033638FXA3940SIU4143ENL\r\n" + kTask +
                              "B1101355206343N00006198WA005870055803507040\r\n"
                              "B1101365206343N00006198WA005870055803507040\r\n";
    std::mt19937 random(99);
    const auto below = [&random](std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
    };
    static const char kBytes[] = {'\0', '\r', '\n', ' ', '-', 'C', 'B', 'I', '\x1A', '\xFF', '9'};
    for (int round = 0; round < 300; ++round) {
        std::string bytes = valid;
        for (std::size_t damage = below(8) + 1; damage > 0 && !bytes.empty(); --damage) {
            const std::size_t at = below(bytes.size());
            if (below(2) == 0)
                bytes[at] = kBytes[below(sizeof kBytes)];
            else
                bytes.erase(at, below(20));
        }
        const Loaded loaded = loadBytes(bytes);
        EXPECT_LE(loaded.log.fixes_.size(), 2u);
        EXPECT_LE(loaded.log.task_.turnpoints.size(), 99u);
    }
}

// The fixes take one block sized from the records' length: every fix read, and never more memory
// than the file's size, however the records' lengths vary.
TEST(Reader, FixesTakeLessMemoryThanTheFile) {
    const std::string fix = "B0800005200000N01000000EA0100001020";
    const std::string extensions = "I033638FXA3940SIU4143ENL\r\n";
    constexpr std::size_t kLines = 20000; // B records, the first included
    const struct {
        const char* name;
        std::string head;  // after the A and H records
        std::string first; // the first B record's line
        std::string line;  // every further B record's line
        std::string other; // a line after every B record
        std::size_t fixes;
    } cases[] = {
        {"equal lines", extensions, fix + "02507040\r\n", fix + "02507040\r\n", "", kLines},
        {"line feeds only", "", fix + "\n", fix + "\n", "", kLines},
        {"a long first line", "", fix + std::string(200, '9') + "\r\n", fix + "\r\n", "", kLines},
        {"a short first line", extensions, fix + "\r\n", fix + "02507040\r\n", "", kLines},
        {"a broken first record", "", "B\n", fix + "\r\n", "", kLines - 1},
        {"records between", "", fix + "\r\n", fix + "\r\n", "LXXXcomment\r\nK080000123\r\n",
         kLines},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = kHead + c.head + c.first + c.other;
        for (std::size_t k = 1; k < kLines; ++k)
            bytes += c.line + c.other;
        const Loaded loaded = loadBytes(bytes);
        ASSERT_TRUE(loaded.ok);
        ASSERT_EQ(loaded.log.fixes_.size(), c.fixes);
        EXPECT_LT(loaded.log.fixes_.capacity() * sizeof(Fix), bytes.size());
        EXPECT_LE(loaded.log.fixes_.capacity(), c.fixes + c.fixes / 8 + 16);
    }
}

TEST(Reader, ASecondLoadKeepsWhatTheSecondFileLacks) {
    TempDir dir;
    const std::string first =
        dir.file("first.igc", std::string(kHead) +
                                  "HFPLTPILOT:First\r\n"
                                  "I013638ENL\r\n" +
                                  kTask + "B1101355206343N00006198WA0058700558\r\n");
    const std::string second =
        dir.file("second.igc", "AYYYDEF\r\nB1101355206343N00006198WA0058700558200\r\n");
    FlightLog log;
    CaptureStream errors(std::cerr);
    ASSERT_TRUE(log.load(first.c_str()));
    ASSERT_TRUE(log.load(second.c_str()));
    EXPECT_EQ(errors.text(), "");
    EXPECT_EQ(log.manufacturer_, "YYY");
    EXPECT_EQ(log.pilot_, "First");
    EXPECT_TRUE(log.has_task_);
    EXPECT_EQ(log.enl_column_, 36);
    ASSERT_EQ(log.fixes_.size(), 1u);
    EXPECT_EQ(log.fixes_[0].enl, 200);
}

TEST(Reader, StreamExtractionOfTasksPointsAndFixes) {
    std::istringstream task_text(kTask);
    Task task;
    CaptureStream errors(std::cerr);
    EXPECT_TRUE(static_cast<bool>(task_text >> task));
    EXPECT_EQ(task.turnpoints.size(), 2u);
    EXPECT_EQ(task.landing.name, "Landing");

    std::istringstream bad_point("C5206\r\n");
    TaskPoint point(1.0, 2.0, "Kept");
    bad_point >> point;
    EXPECT_TRUE(bad_point.fail());
    EXPECT_FALSE(bad_point.bad());
    EXPECT_EQ(point.name, "Kept");

    std::istringstream fixes("B1101355206343N00006198WA005870055803507040\r\nBroken\r\n");
    Fix fix;
    EXPECT_TRUE(fix.readFix(fixes, 36, 39, 41));
    EXPECT_EQ(fix.enl, 40);
    Fix broken;
    EXPECT_FALSE(broken.readFix(fixes, 36, 39, 41));
    EXPECT_TRUE(fixes.good() || fixes.eof());
    EXPECT_EQ(errors.text(), "IGCLib: parse error in C record\nline = C5206\n"
                             "IGCLib: parse error in B record\n");
}

TEST(Reader, StreamExtractionAtTheEndOfTheInput) {
    // Reading on past the last line must find an empty line, never a line without storage: the
    // scanner copies the line it is given.
    const std::string fix = "B1101355206343N00006198WA005870055803507040";
    const struct {
        const char* name;
        std::string text;
        std::vector<bool> parsed; // result of each readFix call, in order
        std::string errors;
    } rows[] = {
        {"one B record without a line end",
         fix,
         {true, false, false},
         "IGCLib: parse error in B record\nIGCLib: parse error in B record\n"},
        {"one B record with its line end",
         fix + "\r\n",
         {true, false},
         "IGCLib: parse error in B record\n"},
        {"nothing", "", {false}, "IGCLib: parse error in B record\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::istringstream in(row.text);
        CaptureStream errors(std::cerr);
        for (const bool parsed : row.parsed) {
            Fix read;
            EXPECT_EQ(read.readFix(in, 36, 39, 41), parsed);
            EXPECT_EQ(read.enl, parsed ? 40 : 0);
        }
        EXPECT_TRUE(in.eof());
        EXPECT_EQ(errors.text(), row.errors);
    }
    EXPECT_EQ(extractionErrors<Task>(""), "IGCLib: parse error in C record (n = -1)\nline: \n");
    EXPECT_EQ(extractionErrors<TaskPoint>(""), "IGCLib: parse error in C record\nline = \n");
}

} // namespace
} // namespace igc
