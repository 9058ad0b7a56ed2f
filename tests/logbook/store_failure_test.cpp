// Every step of a change to the logbook's folder, a run's commit and a restore, failed in turn
// (each write, sync, link, rename and removal, and the journal), then with its undo failing too,
// and the process killed or interrupted before each step. After each, once the next run has
// found the folder, the logbook and every generation are byte for byte as before the change or
// as after it, nothing else is left beside them, and what was said of the logbook is true.

#include "logbook/FlightAnalysis.h"
#include "logbook/Generation.h"
#include "logbook/LogbookFile.h"
#include "logbook/LogbookHistory.h"
#include "logbook/LogbookStore.h"
#include "logbook/Messages.h"
#include "platform/FaultPoints.h"
#include "platform/Files.h"
#include "platform/Interrupts.h"

#include "support/FileBytes.h"
#include "support/RunRecorder.h"
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
#include <system_error>
#include <vector>

#include <csignal>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

constexpr int kPoints = 7; // the steps, and the reading of a recording
std::atomic<int> calls[kPoints];
struct Armed {
    int point = -1; // the step to fail, -1: none
    int call = 0;   // at its how-manieth call from now
    int error = 0;
};
Armed armed[2];                      // a step, and a step of its undo
std::atomic<bool> links_fail{false}; // a file system without hard links (a FAT stick)
int stop_at = 0;                     // the how-manieth step of any kind to stop the process at
int stop_signal = 0;                 // with this signal (Windows: killed, whatever it says)
int steps_seen = 0;

#ifdef _WIN32
constexpr int SIGKILL = 9; // what the process is stopped with on Windows, whatever the row says
#endif

void stopHere() {
#ifdef _WIN32
    static_cast<void>(stop_signal);
    TerminateProcess(GetCurrentProcess(), 128 + SIGKILL);
#else
    kill(getpid(), stop_signal);
#endif
}

} // namespace

// This program's own: the steps fail, or the process is stopped, as the test arms them.
std::error_code platform::injectedFault(platform::FaultPoint point) {
    const int index = static_cast<int>(point);
    const int call = ++calls[index];
    if (stop_at > 0 && ++steps_seen == stop_at)
        stopHere();
    for (const Armed& step : armed) {
        if (index == step.point && call == step.call)
            return platform::errorOf(step.error);
    }
    if (point == platform::FaultPoint::Link && links_fail)
        return platform::errorOf(EMLINK);
    return {};
}

namespace logbook {
namespace {

namespace fs = std::filesystem;
using platform::FaultPoint;

constexpr FaultPoint kAllPoints[] = {FaultPoint::Write,  FaultPoint::Sync,   FaultPoint::Link,
                                     FaultPoint::Rename, FaultPoint::Remove, FaultPoint::Journal};
const char* nameOf(FaultPoint point) {
    constexpr const char* kNames[] = {"write", "sync", "link", "rename", "remove", "journal"};
    return kNames[static_cast<int>(point)];
}
// What the system says when the step fails.
int errorOf(FaultPoint point) {
    return point == FaultPoint::Write || point == FaultPoint::Journal ? ENOSPC : EIO;
}

// Every file of a folder and its bytes; a lock file that stays beside the logbook is not one of
// what a run may leave.
using Files = std::map<std::string, std::string>;
Files filesOf(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.find(".lock") == std::string::npos)
            files[name] = testing_support::bytesOf(entry.path());
    }
    return files;
}

class StoreFailure : public ::testing::Test {
public:
    void SetUp() override {
        dir_ = testing_support::freshTestDirectory("commit-");
        fs::create_directories(dir_ / "IGC");
        fs::copy_file(std::string(THERMORA_TEST_DATA) + "/generation/02-small-task.igc",
                      dir_ / "IGC" / "task.igc");
        fs::create_directories(dir_ / "book");
        logbook_ = (dir_ / "book" / "logbook.dat").string();
    }
    void TearDown() override {
        armed[0] = armed[1] = {};
        links_fail = false;
        fs::remove_all(dir_);
    }

    // The logbook "L" and the generations present ("0" for .bak, "2" for .bak.2, ...).
    void lay(const std::string& generations) const {
        fs::remove_all(dir_ / "book");
        fs::create_directories(dir_ / "book");
        std::ofstream(logbook_, std::ios::binary) << "# L\r\n#\r\n\r\nname = L\r\nx\r\n";
        for (const char age : generations)
            std::ofstream(generationName(logbook_, age - '0'), std::ios::binary)
                << "generation " << age << "\r\n";
    }
    GenerationResult run(const platform::TemporaryWatcher& watcher = {}) const {
        // The new logbook's temporary name, told as the command line's handler is told it.
        class Watched : public testing_support::RunRecorder {
        public:
            explicit Watched(const platform::TemporaryWatcher& watcher) : watcher_(watcher) {}
            void temporaryNamed(const std::string& path, bool in_place) override {
                if (watcher_)
                    watcher_(path, in_place);
            }

        private:
            const platform::TemporaryWatcher& watcher_;
        } recorder(watcher);
        recorder.quiet = true;
        GenerationRequest request;
        request.igc_directory = (dir_ / "IGC").string();
        request.logbook_path = logbook_;
        request.pilot_name = "P";
        request.min_time_minutes = 0;
        request.jobs = 1;
        request.format_date = testing_support::germanDates();
        return generateLogbook(request, recorder);
    }
    Files snapshot() const { return filesOf(dir_ / "book"); }
    static void count() {
        for (auto& calls_of_point : calls)
            calls_of_point = 0;
    }
    // The change under test: a run, or a restore of generation `age`.
    GenerationResult change(int age, bool watched = false) const {
        const platform::TemporaryWatcher watcher =
            watched ? platform::TemporaryWatcher(platform::watchTemporary)
                    : platform::TemporaryWatcher();
        return age < 0 ? run(watcher) : restoreGeneration(logbook_, age, nullptr, watcher);
    }
    // The next run's look at the folder: whatever a change left halfway is finished or undone.
    Recovery nextRun() const {
        LogbookStore store;
        EXPECT_TRUE(store.open(logbook_) && store.lock()) << store.failure().reason();
        return store.recovery();
    }
    // The folder before and after the change `age` done without a fault, from `generations`.
    std::pair<Files, Files> beforeAndAfter(const char* generations, int age) const {
        lay(generations);
        Files before = filesOf(dir_ / "book");
        count();
        EXPECT_EQ(change(age).failure.kind, FailureKind::None);
        Files after = filesOf(dir_ / "book");
        lay(generations);
        return {before, after};
    }
    // How often each step comes in the change when nothing fails.
    std::array<int, kPoints> stepsOf(const char* generations, int age) const {
        lay(generations);
        count();
        EXPECT_EQ(change(age).failure.kind, FailureKind::None);
        std::array<int, kPoints> steps{};
        for (int point = 0; point < kPoints; ++point)
            steps[static_cast<std::size_t>(point)] = calls[point];
        return steps;
    }

    fs::path dir_;
    std::string logbook_;
};

struct ChangeRow {
    const char* name;
    const char* generations;
    int age; // -1: a run's commit; else the generation a restore puts back
    bool links_fail;
};
// One table for each change: a run's commit, and a restore.
const ChangeRow kCommits[] = {
    {"five generations", "01234", -1, false},
    {"five generations, no hard links", "01234", -1, true},
    {"a gap where .bak was put back as the logbook", "1234", -1, false},
    {"a first backup, no hard links", "", -1, true},
};
const ChangeRow kRestores[] = {
    {".bak.2 of five", "01234", 2, false},
    {".bak of five, no hard links", "01234", 0, true},
    {".bak.4 past a gap", "0134", 4, false},
};

// Each step failed in turn, then each with the first step of its undo failing too.
void failEachStep(StoreFailure& test, const ChangeRow& row, int& tried);

TEST_F(StoreFailure, EachStepFailedLeavesTheFolderAsBeforeOrSaysWhatItCouldNotPutBack) {
    int tried = 0;
    for (const ChangeRow& row : kCommits)
        failEachStep(*this, row, tried);
    for (const ChangeRow& row : kRestores)
        failEachStep(*this, row, tried);
    // Writes, syncs, links, renames and the journal at least: a table that tried nothing proves
    // nothing.
    EXPECT_GE(tried, 40);
}

void failEachStep(StoreFailure& test, const ChangeRow& row, int& tried) {
    SCOPED_TRACE(row.name);
    links_fail = row.links_fail;
    const auto [before, after] = test.beforeAndAfter(row.generations, row.age);
    const std::array<int, kPoints> steps = test.stepsOf(row.generations, row.age);
    for (const FaultPoint point : kAllPoints) {
        for (int call = 1; call <= steps[static_cast<std::size_t>(point)]; ++call) {
            for (const bool undo_fails : {false, true}) {
                // A rename that fails is undone by the renames after it: the next one fails too.
                if (undo_fails && point != FaultPoint::Rename)
                    continue;
                SCOPED_TRACE(std::string(nameOf(point)) + " #" + std::to_string(call) +
                             (undo_fails ? ", its undo failing" : ""));
                test.lay(row.generations);
                StoreFailure::count();
                armed[0] = {static_cast<int>(point), call, errorOf(point)};
                // The first rename or removal after the failure belongs to the undo.
                if (undo_fails)
                    armed[1] = {static_cast<int>(FaultPoint::Rename), call + 1, EIO};
                const GenerationResult result = test.change(row.age);
                armed[0] = armed[1] = {};
                const Files now = test.snapshot();
                const std::string said = failureText(result);
                if (result.failure.kind == FailureKind::None) {
                    // Only what comes after the arrival may fail so: giving up the oldest
                    // generation (left to the next run), the folder's last sync.
                    EXPECT_TRUE(point == FaultPoint::Remove || point == FaultPoint::Sync);
                } else if (result.undo_problem.empty()) {
                    EXPECT_EQ(now, before) << said;
                    EXPECT_NE(said.find("The old logbook was left as it was."), std::string::npos)
                        << said;
                } else {
                    EXPECT_NE(now, before);
                    EXPECT_EQ(said.find("left as it was"), std::string::npos) << said;
                    EXPECT_NE(said.find("could not all be put back"), std::string::npos) << said;
                }
                const Recovery recovery = test.nextRun();
                const Files next = test.snapshot();
                EXPECT_TRUE(next == before || next == after)
                    << "stray or lost files: " << ::testing::PrintToString(next);
                if (recovery == Recovery::Undone) {
                    EXPECT_EQ(next, before);
                }
                if (recovery == Recovery::Finished) {
                    EXPECT_EQ(next, after);
                }
                if (!undo_fails)
                    ++tried;
            }
        }
    }
}

// How a change run in a process of its own ended when stopped before a step.
struct Stopped {
    bool finished = false;    // it went past its last step
    bool interrupted = false; // its interruption's handler ended it
    std::string said;         // what it wrote to standard error
};

// The change of the row `row`, in a process of its own that is stopped before its step `step`
// by `signal_number`: a fork on POSIX systems, this program started again on Windows (the
// StoppedChange test below then runs the change).
Stopped changeStoppedAt(const StoreFailure& test, const ChangeRow& row, int step,
                        int signal_number) {
    Stopped stopped;
#ifdef _WIN32
    static_cast<void>(signal_number);
    SetEnvironmentVariableA("THERMORA_STOP_AT", std::to_string(step).c_str());
    SetEnvironmentVariableA("THERMORA_STOP_AGE", std::to_string(row.age).c_str());
    SetEnvironmentVariableA("THERMORA_STOP_LINKS", row.links_fail ? "1" : "0");
    SetEnvironmentVariableA("THERMORA_STOP_DIR", test.dir_.string().c_str());
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(program) + L"\" --gtest_filter=StoreFailure.StoppedChange";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &start, &process));
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    SetEnvironmentVariableA("THERMORA_STOP_AT", nullptr);
    stopped.finished = status == 0;
#else
    int said[2];
    EXPECT_EQ(pipe(said), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(said[1], STDERR_FILENO);
        platform::catchInterrupts("left\n", "replaced\n");
        stop_at = step;
        stop_signal = signal_number;
        const GenerationResult result = test.change(row.age, true);
        _exit(result.failure.kind == FailureKind::None ? 0 : 1);
    }
    ::close(said[1]);
    char block[256];
    for (ssize_t got; (got = ::read(said[0], block, sizeof block)) > 0;)
        stopped.said.append(block, static_cast<std::size_t>(got));
    ::close(said[0]);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    stopped.interrupted = WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGINT;
    stopped.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
    return stopped;
}

// A process stopped before each step in turn: killed outright (the next run finds the journal
// and undoes or finishes the change), or interrupted (the interruption waits for the steps, and
// what it says of the logbook is what is there).
TEST_F(StoreFailure, AProcessKilledOrInterruptedAtEachStepLosesNothing) {
    std::vector<ChangeRow> rows(std::begin(kCommits), std::end(kCommits));
    rows.insert(rows.end(), std::begin(kRestores), std::end(kRestores));
#ifdef _WIN32
    const int kSignals[] = {SIGKILL}; // Ctrl-C cannot be sent to one process alone here
#else
    const int kSignals[] = {SIGKILL, SIGINT};
#endif
    int stopped_count = 0;
    for (const ChangeRow& row : rows) {
        links_fail = row.links_fail;
        const auto [before, after] = beforeAndAfter(row.generations, row.age);
        for (const int signal_number : kSignals) {
            for (int step = 1;; ++step) {
                SCOPED_TRACE(std::string(row.name) + ", signal " + std::to_string(signal_number) +
                             " before step " + std::to_string(step));
                lay(row.generations);
                const Stopped stopped = changeStoppedAt(*this, row, step, signal_number);
                if (stopped.finished) {
                    // Past the last step: the change was made whole.
                    EXPECT_EQ(snapshot(), after);
                    break;
                }
                ++stopped_count;
                const Files left = snapshot();
                nextRun();
                const Files next = snapshot();
                EXPECT_TRUE(next == before || next == after)
                    << "stray or lost files: " << ::testing::PrintToString(next);
                if (signal_number == SIGINT) {
                    // The handler said what there is, and left nothing to finish.
                    EXPECT_TRUE(stopped.interrupted);
                    EXPECT_EQ(stopped.said, next == after ? "replaced\n" : "left\n");
                    EXPECT_EQ(left, next);
                }
                ASSERT_LT(step, 200) << "a change that never ends";
            }
        }
    }
    EXPECT_GE(stopped_count, 40);
}

// The other half of changeStoppedAt on Windows: the change, in this process started again.
TEST_F(StoreFailure, StoppedChange) {
    const char* at = std::getenv("THERMORA_STOP_AT");
    if (at == nullptr)
        GTEST_SKIP() << "run by the test above, in a process of its own";
    dir_ = std::getenv("THERMORA_STOP_DIR");
    logbook_ = (dir_ / "book" / "logbook.dat").string();
    links_fail = std::string(std::getenv("THERMORA_STOP_LINKS")) == "1";
    stop_at = std::atoi(at);
    const GenerationResult result = change(std::atoi(std::getenv("THERMORA_STOP_AGE")));
    std::_Exit(result.failure.kind == FailureKind::None ? 0 : 1);
}

// Only a run that succeeds moves the generations, and only as far as the first free place.
TEST_F(StoreFailure, ASuccessfulRunMovesGenerationsOnlyToTheFirstFreePlace) {
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
        ASSERT_EQ(result.failure.kind, FailureKind::None) << failureText(result);
        EXPECT_EQ(result.backup_path, generationName(logbook_, 0));
        std::string after;
        for (int age = 0; age < kGenerations; ++age) {
            const fs::path path = generationName(logbook_, age);
            const std::string bytes = fs::exists(path) ? testing_support::bytesOf(path) : "";
            after += bytes.empty()                        ? '-'
                     : bytes.rfind("# L", 0) == 0         ? 'L'
                     : bytes.rfind("generation ", 0) == 0 ? bytes[11]
                                                          : '?';
        }
        EXPECT_EQ(after, row.after);
        const auto kept = static_cast<std::size_t>(
            std::count_if(after.begin(), after.end(), [](char c) { return c != '-'; }));
        EXPECT_EQ(filesOf(dir_ / "book").size(), 1 + kept) << "nothing else beside them";
    }
}

// Runs that change nothing move nothing: the pilot's generations outlast any number of them.
TEST_F(StoreFailure, IdenticalRunsKeepTheGenerations) {
    lay("01234");
    ASSERT_EQ(run().failure.kind, FailureKind::None);
    const Files first = snapshot();
    for (int k = 0; k < 6; ++k) {
        const GenerationResult result = run();
        ASSERT_EQ(result.failure.kind, FailureKind::None) << failureText(result);
        EXPECT_TRUE(result.up_to_date);
        EXPECT_TRUE(result.backup_path.empty());
        EXPECT_EQ(snapshot(), first);
    }
}

// The logbook deleted during the run: nothing was kept, and nothing is said to have been; the
// generations stay where they are.
TEST_F(StoreFailure, WhatWasKeptIsSaidOnlyWhenItWas) {
    lay("01");
    const auto generations = [this] {
        auto files = filesOf(dir_ / "book");
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
    testing_support::RunRecorder recorder;
    recorder.quiet = true;
    recorder.on_file = [this](const FlightResult&) { fs::remove(logbook_); };
    const GenerationResult result = generateLogbook(request, recorder);
    ASSERT_EQ(result.failure.kind, FailureKind::None) << failureText(result);
    EXPECT_EQ(result.backup_path, "");
    EXPECT_EQ(generations(), before);
    EXPECT_TRUE(fs::exists(logbook_));
}

// A recording that cannot be read during the run (held by another program, its permissions)
// does not lose its flight unasked: its old entry stays in its place, or goes, by the pilot's
// word; a question closed writes nothing.
TEST_F(StoreFailure, ARecordingThatCannotBeReadKeepsItsOldEntryByThePilotsWord) {
    for (const char* name : {"a.igc", "c.igc"})
        fs::copy_file(dir_ / "IGC" / "task.igc", dir_ / "IGC" / name);
    const auto old_entry = [](const std::string& file) {
        return "01.05.2024;Old;X;Local flight;01:00;00:00;-;-;" + file;
    };
    const std::string old = "# L\r\n#\r\n\r\nname = L\r\n" + old_entry("a.igc") + "\r\n" +
                            old_entry("TASK.IGC") + "\r\n" + old_entry("c.igc") + "\r\n";
    struct Row {
        const char* name;
        Answer answer;
        FailureKind failure;
        int kept;
        std::size_t dropped;
    };
    const Row rows[] = {
        {"kept in its place", Answer::Yes, FailureKind::None, 1, 0},
        {"dropped", Answer::No, FailureKind::None, 0, 1},
        {"the question closed: nothing written", Answer::Cancel, FailureKind::Cancelled, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(dir_ / "book");
        fs::create_directories(dir_ / "book");
        std::ofstream(logbook_, std::ios::binary) << old;
        count();
        armed[0] = {static_cast<int>(FaultPoint::ReadFlight), 2, EACCES};
        testing_support::RunRecorder recorder({row.answer});
        recorder.quiet = true;
        std::vector<std::string> delivered; // the recordings' names, in the order read
        recorder.on_file = [&delivered](const FlightResult& file) {
            delivered.push_back(platform::fileNameOf(file.path));
        };
        GenerationRequest request;
        request.igc_directory = (dir_ / "IGC").string();
        request.logbook_path = logbook_;
        request.pilot_name = "L";
        request.min_time_minutes = 0;
        request.jobs = 1;
        request.format_date = testing_support::germanDates();
        const GenerationResult result = generateLogbook(request, recorder);
        armed[0] = {};

        ASSERT_EQ(result.failure.kind, row.failure) << failureText(result);
        ASSERT_EQ(result.skipped.size(), 1U);
        const std::string unreadable = platform::fileNameOf(result.skipped[0].first);
        ASSERT_EQ(recorder.asked.size(), 1U);
        const RunQuestion& asked = recorder.asked[0];
        EXPECT_TRUE(asked.missing.unreadable);
        ASSERT_EQ(asked.missing.shown.size(), 1U);
        // Its entry found whatever the letter case of its name there.
        EXPECT_TRUE(namesRecording(asked.missing.shown[0].file_name, unreadable));
        if (row.failure != FailureKind::None) {
            EXPECT_EQ(testing_support::bytesOf(logbook_), old);
            continue;
        }
        EXPECT_EQ(result.kept_entries, row.kept);
        EXPECT_EQ(result.dropped_unreadable.count, row.dropped);
        // The entries in the order the recordings were read, the unreadable one's the old entry
        // (in its letter case) or none.
        std::vector<std::string> expected;
        for (const std::string& file : delivered) {
            if (file != unreadable)
                expected.push_back("task.igc");
            else if (row.kept == 1)
                expected.push_back(old_entry(file == "task.igc" ? "TASK.IGC" : file));
        }
        std::istringstream written(testing_support::bytesOf(logbook_));
        std::vector<std::string> entries;
        int line_number = 0;
        for (std::string line; std::getline(written, line);) {
            if (++line_number > 4)
                entries.push_back(line.substr(0, line.size() - 1)); // its CR
        }
        ASSERT_EQ(entries.size(), expected.size());
        for (std::size_t k = 0; k < entries.size(); ++k) {
            if (expected[k] == "task.igc") // rebuilt: named after its recording
                EXPECT_EQ(entries[k].find(";Old;"), std::string::npos) << entries[k];
            else
                EXPECT_EQ(entries[k], expected[k]);
        }
        EXPECT_EQ(result.entries, static_cast<int>(entries.size()));
        EXPECT_EQ(droppedText(result).find("could not be read") != std::string::npos,
                  row.dropped > 0)
            << droppedText(result);
    }
}

} // namespace
} // namespace logbook
