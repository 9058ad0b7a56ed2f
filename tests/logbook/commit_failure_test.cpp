// Every step of replacing the logbook failed in turn: each write, each sync, the backup's second
// name or its copy, each rename of a generation and of the new logbook, and the Windows
// replacement. After each failure the logbook and its generations are byte for byte as they
// were and nothing is left beside them; only a run that succeeds gives up the oldest
// generation, and it moves the others back only as far as the first free place.

#include "logbook/FlightAnalysis.h"
#include "logbook/Generation.h"
#include "logbook/LogbookFile.h"
#include "platform/FaultPoints.h"

#include "support/FileBytes.h"
#include "support/TestDates.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

constexpr int kPoints = 6;
std::atomic<int> calls[kPoints];
std::atomic<int> armed_point{-1}; // the step to fail, -1: none
std::atomic<int> armed_call{0};   // at its how-manieth call from now
std::atomic<int> armed_error{0};
std::atomic<bool> links_fail{false}; // a file system without hard links (a FAT stick)

} // namespace

// This program's own: the steps fail as the test arms them.
int platform::injectedFault(platform::FaultPoint point) {
    const int index = static_cast<int>(point);
    const int call = ++calls[index];
    if (index == armed_point && call == armed_call)
        return armed_error;
    if (point == platform::FaultPoint::Link && links_fail)
        return EMLINK;
    return 0;
}

namespace logbook {
namespace {

namespace fs = std::filesystem;
using platform::FaultPoint;

constexpr FaultPoint kAllPoints[] = {FaultPoint::Write, FaultPoint::Sync,   FaultPoint::Link,
                                     FaultPoint::Copy,  FaultPoint::Rename, FaultPoint::Replace};
const char* nameOf(FaultPoint point) {
    constexpr const char* kNames[] = {"write", "sync", "link", "copy", "rename", "replace"};
    return kNames[static_cast<int>(point)];
}
// What the system says when the step fails.
int errorOf(FaultPoint point) {
    switch (point) {
    case FaultPoint::Write:
        return ENOSPC;
    case FaultPoint::Link:
        return ENOSPC; // not EMLINK: that one is answered by a copy
    case FaultPoint::Replace:
        return EACCES; // the simulator holds the logbook open
    default:
        return EIO;
    }
}

// Every file of a folder and its bytes; a lock file that stays beside the logbook is not one of
// what a run may leave.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.find(".lock") == std::string::npos)
            files[name] = testing_support::bytesOf(entry.path());
    }
    return files;
}

class CommitFailure : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testing_support::freshTestDirectory("commit-");
        fs::create_directories(dir_ / "IGC");
        fs::copy_file(std::string(THERMORA_TEST_DATA) + "/generation/02-small-task.igc",
                      dir_ / "IGC" / "task.igc");
        fs::create_directories(dir_ / "book");
        logbook_ = (dir_ / "book" / "logbook.dat").string();
    }
    void TearDown() override {
        armed_point = -1;
        links_fail = false;
        fs::remove_all(dir_);
    }

    // The logbook "L" and the generations present ("0" for .bak, "2" for .bak.2, ...).
    void lay(const std::string& generations) const {
        fs::remove_all(dir_ / "book");
        fs::create_directories(dir_ / "book");
        std::ofstream(logbook_, std::ios::binary) << "# L\r\n#\r\n\r\nname = L\r\nx\r\n";
        for (const char age : generations)
            std::ofstream(LogbookFile::generationPath(logbook_, age - '0'), std::ios::binary)
                << "generation " << age << "\r\n";
    }
    GenerationResult run() const {
        GenerationRequest request;
        request.igc_directory = (dir_ / "IGC").string();
        request.logbook_path = logbook_;
        request.pilot_name = "P";
        request.min_time_minutes = 0;
        request.jobs = 1;
        request.format_date = testing_support::germanDates();
        std::ostringstream quiet;
        request.diagnostics = &quiet;
        request.output = &quiet;
        std::ostringstream frame;
        return generateLogbook(request, frame);
    }
    static void count() {
        for (auto& calls_of_point : calls)
            calls_of_point = 0;
    }

    fs::path dir_;
    std::string logbook_;
};

TEST_F(CommitFailure, EachStepFailedLeavesTheLogbookAndItsGenerationsAsTheyWere) {
    const struct {
        const char* name;
        const char* generations;
        bool links_fail;
    } rows[] = {
        {"five generations", "01234", false},
        {"five generations, no hard links", "01234", true},
        {"a gap where .bak was put back as the logbook", "1234", false},
        {"a first backup, no hard links", "", true},
    };
    int failures_tried = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        links_fail = row.links_fail;
        // How often each step comes in a run that succeeds.
        lay(row.generations);
        count();
        ASSERT_EQ(run().failure, GenerationFailure::None);
        std::array<int, kPoints> steps{};
        for (const FaultPoint point : kAllPoints)
            steps[static_cast<std::size_t>(point)] = calls[static_cast<int>(point)];

        for (const FaultPoint point : kAllPoints) {
            for (int call = 1; call <= steps[static_cast<std::size_t>(point)]; ++call) {
                SCOPED_TRACE(std::string(nameOf(point)) + " #" + std::to_string(call));
                lay(row.generations);
                const auto before = snapshot(dir_ / "book");
                count();
                armed_point = static_cast<int>(point);
                armed_call = call;
                armed_error = errorOf(point);
                const GenerationResult result = run();
                armed_point = -1;
                EXPECT_NE(result.failure, GenerationFailure::None);
                EXPECT_TRUE(result.backup_path.empty());
                EXPECT_EQ(snapshot(dir_ / "book"), before);
                ++failures_tried;
            }
        }
    }
    // Writes, syncs, a link or a copy, and renames at least: a table that tried nothing proves
    // nothing.
    EXPECT_GE(failures_tried, 8);
    std::cout << "tried " << failures_tried << "\n";
}

// Only a run that succeeds moves the generations, and only as far as the first free place.
TEST_F(CommitFailure, ASuccessfulRunMovesGenerationsOnlyToTheFirstFreePlace) {
    const struct {
        const char* name;
        const char* generations;
        const char* after; // per place .bak to .bak.4: what it holds ("L" the old logbook)
    } rows[] = {
        {"none yet", "", "L----"},
        {"five: the oldest given up", "01234", "L0123"},
        {".bak put back as the logbook", "1234", "L1234"},
        {"a gap at .bak.2", "0134", "L0134"},
        {"only the oldest", "4", "L---4"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        lay(row.generations);
        const GenerationResult result = run();
        ASSERT_EQ(result.failure, GenerationFailure::None) << failureText(result);
        EXPECT_EQ(result.backup_path, LogbookFile::generationPath(logbook_, 0));
        std::string after;
        for (int age = 0; age < LogbookFile::kGenerations; ++age) {
            const fs::path path = LogbookFile::generationPath(logbook_, age);
            const std::string bytes = fs::exists(path) ? testing_support::bytesOf(path) : "";
            after += bytes.empty()                        ? '-'
                     : bytes.rfind("# L", 0) == 0         ? 'L'
                     : bytes.rfind("generation ", 0) == 0 ? bytes[11]
                                                          : '?';
        }
        EXPECT_EQ(after, row.after);
        const auto kept = static_cast<std::size_t>(
            std::count_if(after.begin(), after.end(), [](char c) { return c != '-'; }));
        EXPECT_EQ(snapshot(dir_ / "book").size(), 1 + kept) << "nothing else beside them";
    }
}

// The logbook deleted during the run: nothing was kept, and nothing is said to have been; the
// generations stay where they are.
TEST_F(CommitFailure, WhatWasKeptIsSaidOnlyWhenItWas) {
    lay("01");
    const auto generations = [this] {
        auto files = snapshot(dir_ / "book");
        files.erase("logbook.dat");
        return files;
    };
    const auto before = generations();
    GenerationRequest request;
    request.igc_directory = (dir_ / "IGC").string();
    request.logbook_path = logbook_;
    request.pilot_name = "P";
    request.min_time_minutes = 0;
    request.format_date = testing_support::germanDates();
    request.on_file = [this](const FlightResult&) { fs::remove(logbook_); };
    std::ostringstream frame;
    const GenerationResult result = generateLogbook(request, frame);
    ASSERT_EQ(result.failure, GenerationFailure::None) << failureText(result);
    EXPECT_EQ(result.backup_path, "");
    EXPECT_EQ(generations(), before);
    EXPECT_TRUE(fs::exists(logbook_));
}

} // namespace
} // namespace logbook
