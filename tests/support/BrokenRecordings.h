#pragma once

// A folder of recordings broken in every way a pilot's folder can hold them, each with the reason
// a run gives for it: the command line's per-file lines and the dialog's list are checked against
// the same table.

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

struct BrokenRecording {
    std::string name;
    std::string reason; // empty: the file gives an entry
};

namespace broken_detail {

inline const std::string kHead = "AXXXABC\r\nHFDTE050108\r\n";

// A declared task of two turnpoints: header, takeoff, start, TP1, TP2, finish, landing.
inline std::vector<std::string> taskLines() {
    return {"C050108100000050108000102Task", "C5000000N01000000ETakeoff",
            "C5000000N01000000EStart",       "C5001000N01000000ETP1",
            "C5002000N01000000ETP2",         "C5003000N01000000EFinish",
            "C5003000N01000000ELanding"};
}

inline std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

// `still` fixes on the ground, then `moving` fixes one second apart flying north at 55.6 m/s
// (0.030 minutes of latitude a second), then `still` fixes where it stopped.
inline std::string fixes(int still, int moving) {
    std::string text;
    int second = 10 * 3600;
    int thousandths = 0; // of a minute of latitude north of 50 degrees
    const auto fix = [&] {
        char line[64];
        std::snprintf(line, sizeof line, "B%02d%02d%02d50%05dN01000000EA0050000520\r\n",
                      second / 3600, second / 60 % 60, second % 60, thousandths);
        text += line;
        ++second;
    };
    for (int k = 0; k < still; ++k)
        fix();
    for (int k = 0; k < moving; ++k) {
        thousandths += 30;
        fix();
    }
    for (int k = 0; k < still; ++k)
        fix();
    return text;
}

inline std::string withLine(std::vector<std::string> lines, std::size_t index, std::string line) {
    lines[index] = std::move(line);
    return joined(lines);
}

} // namespace broken_detail

/// Writes the recordings into `dir` (which must exist), oldest first in the table's order, and
/// returns the table. With `unreadable`, a file the user may not read (for a user other than
/// root, who reads everything).
inline std::vector<BrokenRecording> writeBrokenRecordings(const std::filesystem::path& dir,
                                                          bool unreadable) {
    using namespace broken_detail;
    const std::string flight = fixes(3, 120);
    const struct {
        const char* name;
        std::string bytes;
        const char* reason;
    } rows[] = {
        {"flight.igc", kHead + flight, ""},
        {"task.igc", kHead + joined(taskLines()) + flight, ""},
        // Warnings before and after the task decide nothing.
        {"warnings.igc",
         kHead + "X unknown record\r\n" + joined(taskLines()) + "C5000000N01000000EExtra\r\n" +
             flight,
         ""},
        {"no-a-record.igc", "HFDTE050108\r\n" + flight, "not an IGC file: Missing A record"},
        {"zero-bytes.igc", "", "not an IGC file: Missing A record"},
        {"picture.igc", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16),
         "not an IGC file: Missing A record"},
        {"bad-a-record.igc", "A\r\nHFDTE050108\r\n" + flight,
         "not an IGC file: parse error in A record (line 1)"},
        {"bad-h-record.igc", kHead + "HFFXA\r\n" + flight,
         "not an IGC file: parse error in H record (line 3)"},
        {"bad-task-header.igc", kHead + withLine(taskLines(), 0, "C0501") + flight,
         "task declaration unreadable: parse error in C record (line 3)"},
        // The first error decides, not the warnings of missing points that follow it.
        {"bad-turnpoint.igc", kHead + withLine(taskLines(), 3, "C50000 bad line") + flight,
         "task declaration unreadable: parse error in C record (line 6)"},
        {"bad-finish.igc", kHead + withLine(taskLines(), 5, "Cfinish") + flight,
         "task declaration unreadable: parse error in C record (line 8)"},
        {"header-only.igc", kHead, "empty"},
        {"bad-fixes-only.igc", kHead + "B1000\r\nBxx\r\n", "empty"},
        {"one-fix.igc", kHead + fixes(1, 0).substr(0, fixes(1, 0).find('\n') + 1), "one fix only"},
        {"ground.igc", kHead + fixes(60, 0), "no takeoff found"},
        {"hop.igc", kHead + fixes(3, 10), "too short: 9 s"},
    };
    std::vector<BrokenRecording> table;
    auto time = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
    const auto made = [&](const std::string& name, const char* reason) {
        std::filesystem::last_write_time(dir / name, time += std::chrono::minutes(1));
        table.push_back({name, reason});
    };
    for (const auto& row : rows) {
        std::ofstream(dir / row.name, std::ios::binary) << row.bytes;
        made(row.name, row.reason);
    }
    std::filesystem::create_directory(dir / "folder.igc");
    made("folder.igc", "not readable: Is a directory");
    if (unreadable) {
        std::ofstream(dir / "locked.igc", std::ios::binary) << kHead + flight;
        ::chmod((dir / "locked.igc").c_str(), 0);
        made("locked.igc", "not readable: Permission denied");
    }
    return table;
}

} // namespace testing_support
