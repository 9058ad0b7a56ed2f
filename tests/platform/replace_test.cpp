// A file replaced whole or not at all: a new file written beside the target and put in its place
// with the old one kept as the backup, the generations moved on by renames, what dead runs left
// swept, and one run at a time holding a folder's logbooks.

#include "platform/Files.h"
#include "platform/TemporaryNames.h"

#include "MadeFiles.h"
#include "support/FileBytes.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

std::ostream& operator<<(std::ostream& out, ReplaceStep step) {
    constexpr const char* kNames[] = {"None", "Sync", "ReadOld", "Backup", "Replace"};
    return out << kNames[static_cast<int>(step)];
}

namespace {

using namespace platform_test;
using testing_support::bytesOf;
using testing_support::namesIn;

constexpr const char* kFolder = "(a folder)";

// The bytes of the file at `path`, kFolder for a folder, or none.
std::optional<std::string> contentOf(const fs::path& path) {
    const fs::file_status status = fs::symlink_status(path);
    if (!fs::exists(status))
        return std::nullopt;
    return fs::is_directory(status) ? kFolder : bytesOf(path);
}

std::optional<std::string> text(const char* bytes) {
    return bytes == nullptr ? std::nullopt : std::optional<std::string>(bytes);
}

// ---------------------------------------------------------------------------------------------
// The replacement: until it is done the target is as it was; then the new bytes are the
// target's and the old target is the backup; either way no temporary file is left.

enum class End {
    Replace,
    Discard,
    Drop,             // the new file goes unfinished: a cancelled run
    ReplaceUncreated, // replace without a file: nothing to put in place
};

struct ReplaceRow {
    const char* row;
    const char* target;     // before, or none
    const char* old_backup; // before, or none; kFolder
    const char* backup;     // the backup's name; "" for none
    End end;
    int error;
    ReplaceStep step;
    const char* target_after;
    const char* backup_after; // of `logbook.dat.bak`
    const char* left;         // the names in the folder at the end
    // Why the step and the error are not those of POSIX systems on Windows, where they are then
    // only shown: the state of the files is checked all the same.
    const char* windows_differs;
};
void PrintTo(const ReplaceRow& row, std::ostream* out) {
    *out << row.row;
}

constexpr const char* kNew = "new\r\n";

// ReplaceFileW (Wine's at least) fails with the backup's own error, which the Windows replace
// takes for a failed replacement.
constexpr const char* kBackupAsReplace =
    "ReplaceFileW gives the backup's own error, not ERROR_UNABLE_TO_REMOVE_REPLACED";

const ReplaceRow kReplaceRows[] = {
    {"BackupIsAFolder", "old", kFolder, "logbook.dat.bak", End::Replace, EISDIR,
     ReplaceStep::Backup, "old", kFolder, "logbook.dat logbook.dat.bak", kBackupAsReplace},
    {"BackupInAMissingFolder", "old", nullptr, "missing/logbook.dat.bak", End::Replace, ENOENT,
     ReplaceStep::Backup, "old", nullptr, "logbook.dat", kBackupAsReplace},
    {"ReplacedBeforeCreated", "old", nullptr, "logbook.dat.bak", End::ReplaceUncreated, EBADF,
     ReplaceStep::Sync, "old", nullptr, "logbook.dat", nullptr},
    {"Discarded", "old", "older", "logbook.dat.bak", End::Discard, 0, ReplaceStep::None, "old",
     "older", "logbook.dat logbook.dat.bak", nullptr},
    {"DroppedUnfinished", "old", "older", "logbook.dat.bak", End::Drop, 0, ReplaceStep::None, "old",
     "older", "logbook.dat logbook.dat.bak", nullptr},
    {"FirstLogbook", nullptr, nullptr, "logbook.dat.bak", End::Replace, 0, ReplaceStep::None, kNew,
     nullptr, "logbook.dat", nullptr},
    {"OldKeptAsBackup", "old", nullptr, "logbook.dat.bak", End::Replace, 0, ReplaceStep::None, kNew,
     "old", "logbook.dat logbook.dat.bak", nullptr},
    {"OlderBackupReplaced", "old", "older", "logbook.dat.bak", End::Replace, 0, ReplaceStep::None,
     kNew, "old", "logbook.dat logbook.dat.bak", nullptr},
    {"NoBackupNamed", "old", "older", "", End::Replace, 0, ReplaceStep::None, kNew, "older",
     "logbook.dat logbook.dat.bak", nullptr},
};

class Replace : public TestFolder, public ::testing::WithParamInterface<ReplaceRow> {};

TEST_P(Replace, PutsTheNewFileInPlaceWholeOrNotAtAll) {
    const ReplaceRow& row = GetParam();
    const fs::path target = dir_ / "logbook.dat";
    if (row.target != nullptr)
        makeFile(target, row.target);
    if (row.old_backup == kFolder)
        fs::create_directory(dir_ / "logbook.dat.bak");
    else if (row.old_backup != nullptr)
        makeFile(dir_ / "logbook.dat.bak", row.old_backup);

    // What the watcher was told: each name a temporary one of the target, existing when told.
    std::vector<std::string> told_names;
    std::string last_told = "(nothing)";
    bool last_in_place = false;
    const TemporaryWatcher watcher = [&](const std::string& path, bool in_place) {
        if (!path.empty()) {
            told_names.push_back(path);
            EXPECT_EQ(directoryOf(path), directoryOf(pathText(target)));
            EXPECT_TRUE(isTemporaryOf("logbook.dat", fileNameOf(path))) << path;
            EXPECT_TRUE(fs::exists(fs::path(std::u8string(path.begin(), path.end())))) << path;
        }
        last_told = path;
        last_in_place = in_place;
    };
    const std::string backup = *row.backup == '\0' ? std::string() : pathText(dir_ / row.backup);
    {
        NewFile file;
        ReplaceStep step = ReplaceStep::None;
        int error = 0;
        if (row.end == End::ReplaceUncreated) {
            EXPECT_EQ(file.write(kNew, 5), EBADF);
            error = file.replace(backup, step);
        } else {
            ASSERT_EQ(file.create(pathText(target), watcher), 0);
            ASSERT_EQ(file.write(kNew, 5), 0);
            if (row.end == End::Replace)
                error = file.replace(backup, step);
            else if (row.end == End::Discard)
                file.discard();
        }
        if (kOnWindows && row.windows_differs != nullptr) {
            std::cout << "not checked: step " << step << ", " << systemReason(error) << " ("
                      << row.windows_differs << ")\n";
            EXPECT_NE(error, 0);
        } else {
            EXPECT_EQ(error, row.error) << systemReason(error);
            EXPECT_EQ(step, row.step);
        }
        // A failure leaves the target as it was, before the new file goes.
        EXPECT_EQ(contentOf(target), text(row.target_after));
    }
    EXPECT_EQ(contentOf(target), text(row.target_after));
    EXPECT_EQ(contentOf(dir_ / "logbook.dat.bak"), text(row.backup_after));
    EXPECT_EQ(namesIn(dir_), row.left);
    if (row.end == End::Replace && row.error == 0) {
        EXPECT_EQ(last_told, "");
        EXPECT_TRUE(last_in_place);
    } else if (!told_names.empty()) {
        EXPECT_EQ(last_told, "");
        EXPECT_FALSE(last_in_place);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Replace, ::testing::ValuesIn(kReplaceRows), rowName<ReplaceRow>);

// The replaced logbook's owner and permissions are the new one's, without the bits that a
// logbook never needs; the backup is the old file itself. A first logbook is any new file.
using ReplaceMode = TestFolder;

TEST_F(ReplaceMode, KeepsTheOwnerAndPermissions) {
#ifdef _WIN32
    GTEST_SKIP() << "permission bits and owners are POSIX's; Windows keeps the old file's "
                    "attributes and security in ReplaceFileW";
#else
    const fs::path any_new = dir_ / "any-new";
    makeFile(any_new, "");
    const mode_t new_file_mode = static_cast<mode_t>(fs::status(any_new).permissions());
    constexpr uid_t kOtherUser = 4321;
    const struct {
        const char* row;
        mode_t before; // 0: no old logbook
        uid_t owner;   // the old logbook's; 0: this user's
        mode_t after;
    } rows[] = {
        {"first logbook", 0, 0, new_file_mode},
        {"private", 0600, 0, 0600},
        {"read by the group", 0640, 0, 0640},
        {"read-only", 0444, 0, 0444},
        {"set-user-ID", 04755, 0, 0755},
        {"set-group-ID", 02775, 0, 0775},
        {"sticky", 01644, 0, 0644},
        {"another user's", 0644, kOtherUser, 0644},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        if (row.owner != 0 && geteuid() != 0) {
            std::cout << "skipped row \"" << row.row << "\": only root gives a file away\n";
            continue;
        }
        const fs::path target = dir_ / "logbook.dat";
        fs::remove(target);
        fs::remove(dir_ / "logbook.dat.bak");
        struct stat old {};
        if (row.before != 0) {
            makeFile(target, "old");
            ASSERT_EQ(chmod(target.c_str(), row.before), 0);
            if (row.owner != 0) {
                ASSERT_EQ(chown(target.c_str(), row.owner, row.owner), 0);
            }
            ASSERT_EQ(stat(target.c_str(), &old), 0);
        }
        NewFile file;
        ASSERT_EQ(file.create(pathText(target)), 0);
        ReplaceStep step = ReplaceStep::None;
        ASSERT_EQ(file.replace(pathText(dir_ / "logbook.dat.bak"), step), 0);
        struct stat now {};
        ASSERT_EQ(stat(target.c_str(), &now), 0);
        EXPECT_EQ(now.st_mode & 07777, row.after);
        EXPECT_EQ(now.st_uid, row.owner != 0 ? row.owner : geteuid());
        EXPECT_EQ(now.st_gid, row.owner != 0 ? row.owner : getegid());
        if (row.before != 0) {
            struct stat kept {};
            ASSERT_EQ(stat((dir_ / "logbook.dat.bak").c_str(), &kept), 0);
            EXPECT_EQ(kept.st_ino, old.st_ino);
            EXPECT_EQ(kept.st_mode, old.st_mode);
        }
    }
#endif
}

// ---------------------------------------------------------------------------------------------
// The generations move on by renames, each whole: the name taken over with the bytes, the older
// file at that name gone.

using Generations = TestFolder;

TEST_F(Generations, MoveOnByRenamesThatReplace) {
    const struct {
        const char* row;
        const char* from; // before, or none
        const char* to;   // before, or none
        int error;
        const char* to_after;
        const char* left;
    } rows[] = {
        {"nothing to move", nullptr, "older", ENOENT, "older", "logbook.dat.bak.1"},
        {"nothing at all", nullptr, nullptr, ENOENT, nullptr, ""},
        {"moved on", "old", nullptr, 0, "old", "logbook.dat.bak.1"},
        {"older one replaced", "old", "older", 0, "old", "logbook.dat.bak.1"},
    };
    const fs::path from = dir_ / "logbook.dat.bak";
    const fs::path to = dir_ / "logbook.dat.bak.1";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        fs::remove(from);
        fs::remove(to);
        if (row.from != nullptr)
            makeFile(from, row.from);
        if (row.to != nullptr)
            makeFile(to, row.to);
        EXPECT_EQ(renameReplacing(pathText(from), pathText(to)), row.error);
        EXPECT_EQ(contentOf(to), text(row.to_after));
        EXPECT_EQ(namesIn(dir_), row.left);
    }
}

// ---------------------------------------------------------------------------------------------
// Leftovers: what a run that died left beside the target, and nothing else, is swept.

struct LeftoverRow {
    const char* row;
    const char* name; // nullptr: a name drawn for the target, as a run draws it
    std::string (*make)(const fs::path& at);
    bool swept;
};
void PrintTo(const LeftoverRow& row, std::ostream* out) {
    *out << row.row;
}

std::string file(const fs::path& at) {
    makeFile(at, "x");
    return "";
}
std::string folder(const fs::path& at) {
    fs::create_directory(at);
    return "";
}
std::string linkToAFile(const fs::path& at) {
    makeFile(at.parent_path() / "kept.dat", "x");
    return makeLink(at.parent_path() / "kept.dat", at);
}

const LeftoverRow kLeftoverRows[] = {
    {"TheTarget", "logbook.dat", file, false},
    {"TheBackup", "logbook.dat.bak", file, false},
    {"AnotherTargets", "other.dat.tmp-Ab3xY9", file, false},
    {"FiveLetters", "logbook.dat.tmp-Ab3xY", file, false},
    {"SevenLetters", "logbook.dat.tmp-Ab3xY9Z", file, false},
    {"NotALetter", "logbook.dat.tmp-Ab3-Y9", file, false},
    {"WithoutTheMark", "logbook.datAb3xY9", file, false},
    {"AFolder", "logbook.dat.tmp-Folder", folder, false},
    {"ALink", "logbook.dat.tmp-LinkTo", linkToAFile, false},
    {"Temporary", "logbook.dat.tmp-Ab3xY9", file, true},
    {"DrawnForTheTarget", nullptr, file, true},
};

class Leftovers : public TestFolder, public ::testing::WithParamInterface<LeftoverRow> {};

TEST_P(Leftovers, OnlyTheTargetsTemporaryFilesAreSwept) {
    const LeftoverRow& row = GetParam();
    const std::string target = pathText(dir_ / "logbook.dat");
    const fs::path at = row.name != nullptr ? dir_ / row.name
                                            : dir_ / fs::path(fileNameOf(temporaryNameFor(target)));
    if (const std::string why = row.make(at); !why.empty())
        GTEST_SKIP() << why;
    const std::string before = namesIn(dir_);
    removeLeftovers(target);
    EXPECT_EQ(fs::exists(fs::symlink_status(at)), !row.swept);
    if (!row.swept) {
        EXPECT_EQ(namesIn(dir_), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Leftovers, ::testing::ValuesIn(kLeftoverRows), rowName<LeftoverRow>);

// ---------------------------------------------------------------------------------------------
// The run lock: one run at a time writes the logbooks of a folder. The second run is another
// thread here (and below another process), which is what the system tells apart.

struct LockRow {
    const char* row;
    const char* first;  // held meanwhile, or none
    const char* second; // asked for while the first is held
    int while_held;
    int after; // once the first is let go
};
void PrintTo(const LockRow& row, std::ostream* out) {
    *out << row.row;
}

const LockRow kLockRows[] = {
    {"FolderMissing", nullptr, "missing/logbook.dat", ENOENT, ENOENT},
    {"SameLogbook", "IGC/logbook.dat", "IGC/logbook.dat", EWOULDBLOCK, 0},
    {"AnotherLogbookBeside", "IGC/logbook.dat", "IGC/other.dat", EWOULDBLOCK, 0},
    {"SameFolderOtherwiseNamed", "IGC/logbook.dat", "IGC/../IGC/logbook.dat", EWOULDBLOCK, 0},
    {"AnotherFolder", "IGC/logbook.dat", "other/logbook.dat", 0, 0},
};

class Lock : public TestFolder, public ::testing::WithParamInterface<LockRow> {};

// The second run's answer, asked on a thread of its own and let go there.
int askOnAnotherThread(const std::string& target) {
    int error = -1;
    std::thread([&error, &target] {
        RunLock lock;
        error = lock.acquire(target);
    }).join();
    return error;
}

TEST_P(Lock, OneRunAtATimePerFolder) {
    const LockRow& row = GetParam();
    fs::create_directory(dir_ / "IGC");
    fs::create_directory(dir_ / "other");
    const std::string second = pathText(dir_) + "/" + row.second;
    {
        RunLock first;
        if (row.first != nullptr) {
            ASSERT_EQ(first.acquire(pathText(dir_) + "/" + row.first), 0);
        }
        EXPECT_EQ(askOnAnotherThread(second), row.while_held);
    }
    EXPECT_EQ(askOnAnotherThread(second), row.after);
}

INSTANTIATE_TEST_SUITE_P(Rows, Lock, ::testing::ValuesIn(kLockRows), rowName<LockRow>);

// Another process meets the lock this one holds; a process that died holding it left it free.
// (On Windows a death test's child runs the test from its start again: its first lock is then
// refused too, as this process holds it, and so is the second.)
using LockBetweenProcesses = TestFolder;

TEST_F(LockBetweenProcesses, HeldRefusesAndDeadLeavesFree) {
    const std::string target = pathText(dir_ / "logbook.dat");
    {
        RunLock held;
        const int taken = held.acquire(target);
        EXPECT_EXIT(
            {
                RunLock other;
                std::_Exit(other.acquire(target) == EWOULDBLOCK ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
        EXPECT_EQ(taken, 0);
    }
    EXPECT_EXIT(
        {
            RunLock dying;
            std::_Exit(dying.acquire(target));
        },
        ::testing::ExitedWithCode(0), "");
    RunLock after;
    EXPECT_EQ(after.acquire(target), 0);
}

} // namespace
} // namespace platform
