// A file replaced whole or not at all: a new file written beside the target and put in its place
// with the old one kept as the backup, the generations moved on by renames, what dead runs left
// swept, and one run at a time holding a logbook, through its lock file.

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
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    // The backup's name must be free: the caller moves the generations first.
    {"BackupIsAFolder", "old", kFolder, "logbook.dat.bak", End::Replace, EEXIST,
     ReplaceStep::Backup, "old", kFolder, "logbook.dat logbook.dat.bak", nullptr},
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
    {"BackupNameTaken", "old", "older", "logbook.dat.bak", End::Replace, EEXIST,
     ReplaceStep::Backup, "old", "older", "logbook.dat logbook.dat.bak", nullptr},
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
            error = file.prepare(step);
        } else {
            ASSERT_EQ(file.create(pathText(target), watcher), 0);
            ASSERT_EQ(file.write(kNew, 5), 0);
            if (row.end == End::Replace) {
                error = file.prepare(step);
                if (error == 0)
                    error = file.replace(backup, step);
            } else if (row.end == End::Discard) {
                file.discard();
            }
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
        ASSERT_EQ(file.prepare(step), 0);
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
    {"TheLockFile", "logbook.dat.lock", file, false},
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
// The run lock: one run at a time writes a logbook, through the lock file beside it, whatever
// path leads to that file. The second run is another thread here, or another lock of the same
// thread (which the system must refuse all the same), and below another process.

constexpr const char* kFlights = "Thermora flights"; // long enough for an 8.3 short name
constexpr const char* kLogbook = "pilot logbook.dat";

// How the second run names its logbook: its path, or "" with why the system has no such path.
using Spelling = std::string (*)(const fs::path& dir, std::string& why);

std::string sameLogbook(const fs::path& dir, std::string&) {
    return pathText(dir / kFlights / kLogbook);
}
std::string anotherLogbookBeside(const fs::path& dir, std::string&) {
    return pathText(dir / kFlights / "other.dat");
}
std::string throughParent(const fs::path& dir, std::string&) {
    return pathText(dir / kFlights / ".." / kFlights / kLogbook);
}
std::string throughALinkedFolder(const fs::path& dir, std::string& why) {
    why = makeLink(dir / kFlights, dir / "linked", true);
    return why.empty() ? pathText(dir / "linked" / kLogbook) : "";
}
std::string throughTheShortFolderName(const fs::path& dir, std::string& why) {
    const std::string folder = shortPathOf(dir / kFlights, why);
    return folder.empty() ? "" : joinPath(folder, kLogbook);
}
std::string theShortNameOfTheLogbook(const fs::path& dir, std::string& why) {
    makeFile(dir / kFlights / kLogbook, "old");
    return shortPathOf(dir / kFlights / kLogbook, why);
}
std::string throughWinesDriveZ(const fs::path& dir, std::string& why) {
    const std::string folder = wineDrivePathOf(dir / kFlights, why);
    return folder.empty() ? "" : joinPath(folder, kLogbook);
}
std::string inCapitals(const fs::path& dir, std::string& why) {
    why = kOnWindows ? "" : "letters in another case name another file here";
    return why.empty() ? pathText(dir / kFlights / "PILOT LOGBOOK.DAT") : "";
}
std::string endingInDotsAndBlanks(const fs::path& dir, std::string& why) {
    why = kOnWindows ? "" : "dots and blanks that end a name are part of it here";
    return why.empty() ? pathText(dir / kFlights / "pilot logbook.dat. ") : "";
}
std::string inAnotherFolder(const fs::path& dir, std::string&) {
    return pathText(dir / "other" / kLogbook);
}
std::string inAMissingFolder(const fs::path& dir, std::string&) {
    return pathText(dir / "missing" / kLogbook);
}

enum class Asker {
    AnotherThread,
    AnotherLockOfThisThread,
    TheSameLock, // asked again: what it held is given up and taken anew
};

struct LockRow {
    const char* row;
    bool first_held; // the first run holds kLogbook in kFlights
    Spelling second;
    Asker asker;
    int while_held;
    int after; // once the first is let go
};
void PrintTo(const LockRow& row, std::ostream* out) {
    *out << row.row;
}

const LockRow kLockRows[] = {
    {"FolderMissing", false, inAMissingFolder, Asker::AnotherThread, ENOENT, ENOENT},
    {"AnotherFolder", true, inAnotherFolder, Asker::AnotherThread, 0, 0},
    {"AnotherLogbookBeside", true, anotherLogbookBeside, Asker::AnotherThread, 0, 0},
    {"SameLogbook", true, sameLogbook, Asker::AnotherThread, EWOULDBLOCK, 0},
    {"SameLogbookAnotherLockOfThisThread", true, sameLogbook, Asker::AnotherLockOfThisThread,
     EWOULDBLOCK, 0},
    {"SameLogbookSameLockAgain", true, sameLogbook, Asker::TheSameLock, 0, 0},
    {"SameFolderOtherwiseNamed", true, throughParent, Asker::AnotherThread, EWOULDBLOCK, 0},
    {"SameFolderThroughALinkedFolder", true, throughALinkedFolder, Asker::AnotherThread,
     EWOULDBLOCK, 0},
    {"SameFolderByItsShortName", true, throughTheShortFolderName, Asker::AnotherThread, EWOULDBLOCK,
     0},
    {"SameFolderThroughWinesDriveZ", true, throughWinesDriveZ, Asker::AnotherThread, EWOULDBLOCK,
     0},
    {"SameLogbookByItsShortName", true, theShortNameOfTheLogbook, Asker::AnotherThread, EWOULDBLOCK,
     0},
    {"SameLogbookInCapitals", true, inCapitals, Asker::AnotherThread, EWOULDBLOCK, 0},
    {"SameLogbookEndingInDotsAndBlanks", true, endingInDotsAndBlanks, Asker::AnotherThread,
     EWOULDBLOCK, 0},
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

TEST_P(Lock, OneRunAtATimePerLogbook) {
    const LockRow& row = GetParam();
    fs::create_directory(dir_ / kFlights);
    fs::create_directory(dir_ / "other");
    std::string why;
    const std::string second = row.second(dir_, why);
    if (second.empty())
        GTEST_SKIP() << why;
    {
        RunLock first;
        if (row.first_held) {
            ASSERT_EQ(first.acquire(pathText(dir_ / kFlights / kLogbook)), 0);
        }
        switch (row.asker) {
        case Asker::AnotherThread:
            EXPECT_EQ(askOnAnotherThread(second), row.while_held);
            break;
        case Asker::AnotherLockOfThisThread: {
            RunLock another;
            EXPECT_EQ(another.acquire(second), row.while_held);
            break;
        }
        case Asker::TheSameLock:
            EXPECT_EQ(first.acquire(second), row.while_held);
            EXPECT_EQ(askOnAnotherThread(second), EWOULDBLOCK) << "held again";
            break;
        }
    }
    EXPECT_EQ(askOnAnotherThread(second), row.after);
    if (row.after == 0) {
        EXPECT_TRUE(fs::is_regular_file(fromText(RunLock::pathFor(second)))) << "never removed";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Lock, ::testing::ValuesIn(kLockRows), rowName<LockRow>);

// What may sit at the lock file's name, or keep it from being made: a lock file is made private
// to its owner, taken again when a run left it, never followed through a link nor waited on as
// a pipe; where none can be made the lock is refused with the system's reason, never skipped.

#ifndef _WIN32
// The answer of `acquire` from a user whom permission bits stop: this process, or, when it is
// root's, a child of it as the user nobody, to whom the test's folder is given first.
int acquiredByItsOwner(const fs::path& dir, const std::string& target) {
    if (geteuid() != 0) {
        RunLock lock;
        return lock.acquire(target);
    }
    constexpr uid_t kNobody = 65534;
    static_cast<void>(lchown(dir.c_str(), kNobody, kNobody));
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir))
        static_cast<void>(lchown(entry.path().c_str(), kNobody, kNobody));
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(255);
        RunLock lock;
        _exit(lock.acquire(target));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

constexpr const char* kElsewhere = "elsewhere.dat"; // in the test's folder, where links lead

std::string leftByAnEarlierRun(const fs::path& lock) {
    makeFile(lock, "");
    fs::permissions(lock, fs::perms(0600));
    return "";
}
std::string nothingThere(const fs::path&) {
    return "";
}
std::string linkElsewhere(const fs::path& lock) {
    makeFile(lock.parent_path().parent_path() / kElsewhere, "mine");
    return makeLink(lock.parent_path().parent_path() / kElsewhere, lock);
}
std::string linkToNothing(const fs::path& lock) {
    return makeLink(lock.parent_path().parent_path() / kElsewhere, lock);
}
std::string namedPipeThere(const fs::path& lock) {
    return makeNamedPipe(lock);
}
std::string readOnlyFolder(const fs::path& lock) {
#ifdef _WIN32
    static_cast<void>(lock);
    return "a folder's read-only attribute keeps no file out on Windows";
#else
    fs::permissions(lock.parent_path(), fs::perms(0555));
    return "";
#endif
}
std::string readOnlyFolderWithTheLockFile(const fs::path& lock) {
    leftByAnEarlierRun(lock);
    return readOnlyFolder(lock);
}

struct LockFileRow {
    const char* row;
    std::string (*make)(const fs::path& lock);
    int error;
    int windows_error;
    const char* elsewhere; // what kElsewhere holds at the end, or none
};
void PrintTo(const LockFileRow& row, std::ostream* out) {
    *out << row.row;
}

const LockFileRow kLockFileRows[] = {
    {"ALinkToAFile", linkElsewhere, ELOOP, ELOOP, "mine"},
    {"ALinkToNothing", linkToNothing, ELOOP, ELOOP, nullptr},
    {"AFolder", folder, EISDIR, EACCES, nullptr},
    {"ANamedPipe", namedPipeThere, ENXIO, ENXIO, nullptr},
    {"AReadOnlyFolder", readOnlyFolder, EACCES, EACCES, nullptr},
    {"AReadOnlyFolderWithTheLockFile", readOnlyFolderWithTheLockFile, 0, 0, nullptr},
    {"Nothing", nothingThere, 0, 0, nullptr},
    {"LeftByAnEarlierRun", leftByAnEarlierRun, 0, 0, nullptr},
};

class LockFile : public TestFolder, public ::testing::WithParamInterface<LockFileRow> {};

TEST_P(LockFile, IsMadePrivateNeverFollowedAndKept) {
    const LockFileRow& row = GetParam();
    const fs::path data = dir_ / "data";
    fs::create_directory(data);
    const std::string target = pathText(data / "logbook.dat");
    const fs::path lock = fromText(RunLock::pathFor(target));
    EXPECT_EQ(lock.parent_path(), data);
    if (const std::string why = row.make(lock); !why.empty())
        GTEST_SKIP() << why;
#ifdef _WIN32
    RunLock held;
    const int error = held.acquire(target);
    EXPECT_EQ(error, row.windows_error) << systemReason(error);
#else
    const int error = acquiredByItsOwner(dir_, target);
    EXPECT_EQ(error, row.error) << systemReason(error);
#endif
    EXPECT_EQ(contentOf(dir_ / kElsewhere), text(row.elsewhere));
    if (error == 0) {
        EXPECT_EQ(contentOf(lock), "");
#ifndef _WIN32
        EXPECT_EQ(fs::status(lock).permissions(), fs::perms(0600));
#endif
    }
    fs::permissions(data, fs::perms::owner_all, fs::perm_options::add);
}

INSTANTIATE_TEST_SUITE_P(Rows, LockFile, ::testing::ValuesIn(kLockFileRows), rowName<LockFileRow>);

// A run of root's makes the lock file of a pilot's logbook the pilot's: the pilot's own runs must
// still be able to take it.
using LockFileOfRoot = TestFolder;

TEST_F(LockFileOfRoot, IsThePilots) {
#ifdef _WIN32
    GTEST_SKIP() << "owners are POSIX's here; Windows opens the file for whoever may write it";
#else
    if (geteuid() != 0)
        GTEST_SKIP() << "only root makes files for another user";
    constexpr uid_t kPilot = 4321;
    const fs::path target = dir_ / "logbook.dat";
    makeFile(target, "old");
    ASSERT_EQ(chown(target.c_str(), kPilot, kPilot), 0);
    RunLock lock;
    ASSERT_EQ(lock.acquire(pathText(target)), 0);
    struct stat made {};
    ASSERT_EQ(stat(RunLock::pathFor(pathText(target)).c_str(), &made), 0);
    EXPECT_EQ(made.st_uid, kPilot);
    EXPECT_EQ(made.st_gid, kPilot);
    EXPECT_EQ(made.st_mode & 07777, 0600u);
#endif
}

// Between processes: another process meets the lock this one holds, a process that died holding
// it left it free, and a user who may only read the folder holds nothing that keeps a run out.
// (On Windows a death test's child runs the test from its start again: its first lock is then
// refused too, as this process holds it, and so is the second.)
enum class Holder {
    ThisProcess,
    ADeadProcess,
    AReaderOfTheFolder, // with every lock he can take
};

struct ProcessLockRow {
    const char* row;
    Holder holder;
    int asked; // the answer to the other process
};
void PrintTo(const ProcessLockRow& row, std::ostream* out) {
    *out << row.row;
}

const ProcessLockRow kProcessLockRows[] = {
    {"HeldHereRefusesAnother", Holder::ThisProcess, EWOULDBLOCK},
    {"ADeadHolderLeftItFree", Holder::ADeadProcess, 0},
    {"AReaderOfTheFolderCannotBlock", Holder::AReaderOfTheFolder, 0},
};

class LockBetweenProcesses : public TestFolder,
                             public ::testing::WithParamInterface<ProcessLockRow> {};

#ifndef _WIN32
// A child that takes every lock a reader of `dir` can: the folder's own (which an earlier run
// lock took) and, where he may open it, the lock file's. As root it is the user nobody, who may
// read the folder and not write it; otherwise this user, who owns the lock file, so that only
// the folder's lock is his to try. Ended when `release` closes.
pid_t holdAllAReaderCan(const fs::path& dir, const std::string& lock_file, const int (&ready)[2],
                        const int (&release)[2]) {
    const pid_t child = fork();
    if (child != 0)
        return child;
    alarm(60); // a test that goes wrong must not leave him waiting
    ::close(ready[0]);
    ::close(release[1]);
    const bool another_user = geteuid() == 0;
    if (another_user && (setgid(65534) != 0 || setuid(65534) != 0))
        _exit(1);
    const int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (folder < 0 || flock(folder, LOCK_EX | LOCK_NB) != 0)
        _exit(2);
    if (another_user) {
        struct flock whole {};
        whole.l_type = F_RDLCK;
        whole.l_whence = SEEK_SET;
        const int read_only = ::open(lock_file.c_str(), O_RDONLY);
        if (read_only >= 0 && fcntl(read_only, F_OFD_SETLK, &whole) == 0)
            _exit(3); // a reader holds the lock file: he could keep every run out
        whole.l_type = F_WRLCK;
        const int written = ::open(lock_file.c_str(), O_WRONLY);
        if (written >= 0 && fcntl(written, F_OFD_SETLK, &whole) == 0)
            _exit(3);
    }
    char signal = 'r';
    static_cast<void>(::write(ready[1], &signal, 1));
    static_cast<void>(::read(release[0], &signal, 1)); // until closed
    _exit(0);
}
#endif

TEST_P(LockBetweenProcesses, OnlyALivingWriterHoldsIt) {
    const ProcessLockRow& row = GetParam();
    const std::string target = pathText(dir_ / "logbook.dat");
    switch (row.holder) {
    case Holder::ThisProcess: {
        RunLock held;
        const int taken = held.acquire(target);
        EXPECT_EXIT(
            {
                RunLock other;
                std::_Exit(other.acquire(target) == row.asked ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
        EXPECT_EQ(taken, 0);
        break;
    }
    case Holder::ADeadProcess: {
        EXPECT_EXIT(
            {
                RunLock dying;
                std::_Exit(dying.acquire(target));
            },
            ::testing::ExitedWithCode(0), "");
        RunLock after;
        EXPECT_EQ(after.acquire(target), row.asked);
        break;
    }
    case Holder::AReaderOfTheFolder: {
#ifdef _WIN32
        GTEST_SKIP() << "Wine keeps no access rights: whoever may open a file there may write it";
#else
        {
            RunLock earlier; // the lock file as runs leave it
            ASSERT_EQ(earlier.acquire(target), 0);
        }
        const std::string lock_file = RunLock::pathFor(target);
        EXPECT_EQ(fs::status(lock_file).permissions(), fs::perms(0600)) << "only its owner's";
        int ready[2];
        int release[2];
        ASSERT_EQ(::pipe(ready), 0);
        ASSERT_EQ(::pipe(release), 0);
        const pid_t reader = holdAllAReaderCan(dir_, lock_file, ready, release);
        ::close(ready[1]);
        ::close(release[0]);
        char signal = 0;
        const bool holding = ::read(ready[0], &signal, 1) == 1;
        {
            RunLock writer;
            EXPECT_EQ(writer.acquire(target), row.asked);
        }
        ::close(release[1]);
        ::close(ready[0]);
        int status = 0;
        waitpid(reader, &status, 0);
        ASSERT_TRUE(holding) << "the reader stopped with " << WEXITSTATUS(status)
                             << " (3: he took the lock file)";
        if (geteuid() != 0)
            std::cout << "only the folder's lock tried: the reader is this user, whom the lock "
                         "file does not keep out (root's run tries as the user nobody)\n";
#endif
        break;
    }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, LockBetweenProcesses, ::testing::ValuesIn(kProcessLockRows),
                         rowName<ProcessLockRow>);

} // namespace
} // namespace platform
