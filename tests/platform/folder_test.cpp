// A folder worked from one handle: each primitive's results, every change kept in the folder
// opened (or refused) when its path is made to lead elsewhere, a new file written and put in
// place or dropped without a trace, and one run at a time holding a target through its lock file.

#include "platform/Folder.h"
#include "platform/TemporaryNames.h"

#include "MadeFiles.h"
#include "support/FileBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

using namespace platform_test;
using testing_support::bytesOf;

// A folder's entries as the tables write them, sorted and separated by blanks: "name=bytes" for a
// file, "name/" for a folder, "name->other" for a link to `other` beside it.
std::string stateOf(const fs::path& dir) {
    std::vector<std::pair<std::string, std::string>> entries; // sorted by name
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string name = pathText(entry.path().filename());
        if (entry.is_symlink())
            entries.emplace_back(name, "->" + pathText(fs::read_symlink(entry.path()).filename()));
        else if (entry.is_directory())
            entries.emplace_back(name, "/");
        else
            entries.emplace_back(name, "=" + bytesOf(entry.path()));
    }
    std::sort(entries.begin(), entries.end());
    std::string joined;
    for (const auto& [name, what] : entries)
        joined += (joined.empty() ? "" : " ") + name + what;
    return joined;
}

// Makes in `dir` what `state` describes, as `stateOf` writes it: "" or why the system could not.
std::string make(const fs::path& dir, std::string_view state) {
    while (!state.empty()) {
        const std::string_view entry = state.substr(0, state.find(' '));
        state.remove_prefix(std::min(state.size(), entry.size() + 1));
        if (const std::size_t arrow = entry.find("->"); arrow != std::string_view::npos) {
            const fs::path target = dir / entry.substr(arrow + 2);
            const std::string why =
                makeLink(target, dir / entry.substr(0, arrow), fs::is_directory(target));
            if (!why.empty())
                return why;
        } else if (entry.back() == '/') {
            fs::create_directory(dir / entry.substr(0, entry.size() - 1));
        } else {
            const std::size_t equals = entry.find('=');
            makeFile(dir / entry.substr(0, equals), std::string(entry.substr(equals + 1)));
        }
    }
    return "";
}

std::string describe(const FolderEntry& entry) {
    if (entry.is_link)
        return "a link";
    switch (entry.kind) {
    case FileKind::Missing:
        return "nothing";
    case FileKind::Directory:
        return "a folder";
    case FileKind::Regular:
        return "a file of " + std::to_string(entry.id.size) + " bytes, " +
               std::to_string(entry.links) + " name(s)";
    default:
        return "something else";
    }
}

// ---------------------------------------------------------------------------------------------
// Each primitive on the names "a" and "b" of a folder: its answer, what it says of its result,
// and the folder after.

struct PrimitiveRow {
    const char* row;
    const char* before;
    std::error_code (*act)(const Folder& folder, std::string& said);
    int error;
    const char* said;
    const char* after; // nullptr: as before
};
void PrintTo(const PrimitiveRow& row, std::ostream* out) {
    *out << row.row;
}

std::error_code renameReplacing(const Folder& folder, std::string&) {
    return folder.rename("a", "b", true);
}
std::error_code renameNotReplacing(const Folder& folder, std::string&) {
    return folder.rename("a", "b", false);
}
std::error_code renameOutOfTheFolder(const Folder& folder, std::string&) {
    return folder.rename("a", "../b", true);
}
std::error_code linkAsB(const Folder& folder, std::string& said) {
    const std::error_code error = folder.link("a", "b");
    const auto a = folder.look("a");
    const auto b = folder.look("b");
    if (a && b && a->kind == FileKind::Regular && b->kind == FileKind::Regular &&
        a->id.sameFile(b->id))
        said = "one file of " + std::to_string(b->links) + " names";
    return error;
}
std::error_code removeB(const Folder& folder, std::string&) {
    return folder.remove("b");
}
std::error_code removeParent(const Folder& folder, std::string&) {
    return folder.remove("..");
}
std::error_code lookAtB(const Folder& folder, std::string& said) {
    const auto entry = folder.look("b");
    if (!entry)
        return entry.error();
    said = describe(*entry);
    return {};
}
std::error_code openB(const Folder& folder, std::string& said) {
    FolderEntry entry;
    const auto file = folder.openRead("b", &entry);
    if (!file)
        return file.error();
    char block[64];
    said.assign(block, std::fread(block, 1, sizeof block, *file));
    std::fclose(*file);
    said += ", " + describe(entry);
    return {};
}
std::error_code writeNewB(const Folder& folder, std::string&) {
    return folder.writeNew("b", "steps");
}
std::error_code readFiveOfB(const Folder& folder, std::string& said) {
    const auto bytes = folder.readSmall("b", 5);
    if (!bytes)
        return bytes.error();
    said = *bytes;
    return {};
}

const PrimitiveRow kPrimitiveRows[] = {
    {"RenameReplacingATakenName", "a=new b=old", renameReplacing, 0, "", "b=new"},
    {"RenameReplacingAFreeName", "a=new", renameReplacing, 0, "", "b=new"},
    {"RenameNotReplacingATakenName", "a=new b=old", renameNotReplacing, EEXIST, "", nullptr},
    {"RenameNotReplacingAFolder", "a=new b/", renameNotReplacing, EEXIST, "", nullptr},
    {"RenameNotReplacingAFreeName", "a=new", renameNotReplacing, 0, "", "b=new"},
    {"RenameNothing", "b=old", renameReplacing, ENOENT, "", nullptr},
    {"RenameOutOfTheFolder", "a=new", renameOutOfTheFolder, EINVAL, "", nullptr},
    {"RenameALinkNotItsFile", "a->c c=x", renameNotReplacing, 0, "", "b->c c=x"},
    {"LinkASecondName", "a=x", linkAsB, 0, "one file of 2 names", "a=x b=x"},
    {"LinkToATakenName", "a=x b=y", linkAsB, EEXIST, "", nullptr},
    {"LinkNothing", "", linkAsB, ENOENT, "", nullptr},
    {"RemoveAFile", "b=x", removeB, 0, "", ""},
    {"RemoveNothing", "", removeB, ENOENT, "", nullptr},
    {"RemoveAFolder", "b/", removeB, EISDIR, "", nullptr},
    {"RemoveTheParent", "b=x", removeParent, EINVAL, "", nullptr},
    {"RemoveALinkNotItsFile", "b->c c=x", removeB, 0, "", "c=x"},
    {"LookAtNothing", "", lookAtB, 0, "nothing", nullptr},
    {"LookAtAFile", "b=abc", lookAtB, 0, "a file of 3 bytes, 1 name(s)", nullptr},
    {"LookAtAFolder", "b/", lookAtB, 0, "a folder", nullptr},
    {"LookAtALink", "b->c c=abc", lookAtB, 0, "a link", nullptr},
    {"LookAtALinkToNothing", "b->c", lookAtB, 0, "a link", nullptr},
    {"OpenReadNothing", "", openB, ENOENT, "", nullptr},
    {"OpenReadAFolder", "b/", openB, EINVAL, "", nullptr},
    {"OpenReadALink", "b->c c=abc", openB, ELOOP, "", nullptr},
    {"OpenReadAFile", "b=abc", openB, 0, "abc, a file of 3 bytes, 1 name(s)", nullptr},
    {"WriteNewATakenName", "b=old", writeNewB, EEXIST, "", nullptr},
    {"WriteNewOverALink", "b->c", writeNewB, EEXIST, "", nullptr},
    {"WriteNewAFreeName", "", writeNewB, 0, "", "b=steps"},
    {"ReadSmallBeyondItsLimit", "b=123456", readFiveOfB, EFBIG, "", nullptr},
    {"ReadSmallALink", "b->c c=123", readFiveOfB, ELOOP, "", nullptr},
    {"ReadSmallUpToItsLimit", "b=12345", readFiveOfB, 0, "12345", nullptr},
};

class Primitives : public TestFolder, public ::testing::WithParamInterface<PrimitiveRow> {};

TEST_P(Primitives, AnswerAndLeaveTheFolderAsTheySay) {
    const PrimitiveRow& row = GetParam();
    const fs::path folder_path = dir_ / "data";
    fs::create_directory(folder_path);
    if (const std::string why = make(folder_path, row.before); !why.empty())
        GTEST_SKIP() << why;
    const std::string before = stateOf(folder_path);
    Folder folder;
    ASSERT_EQ(folder.open(pathText(folder_path)), std::error_code());
    std::string said;
    const std::error_code error = row.act(folder, said);
    EXPECT_EQ(error, errorOf(row.error)) << systemReason(error);
    EXPECT_EQ(said, row.said);
    EXPECT_EQ(stateOf(folder_path), row.after != nullptr ? row.after : before);
    EXPECT_EQ(stateOf(dir_), "data/") << "nothing beside the folder";
}

INSTANTIATE_TEST_SUITE_P(Rows, Primitives, ::testing::ValuesIn(kPrimitiveRows),
                         rowName<PrimitiveRow>);

// ---------------------------------------------------------------------------------------------
// A folder whose path is made to lead elsewhere once it is open. On POSIX systems every change
// still lands in the folder opened, wherever it went; on Windows, where a folder held open cannot
// itself be moved, each change is refused while the path leads elsewhere. Never is anything made
// in the other folder.

enum class Swap { Made, Refused, NotPossible };

struct SwapRow {
    const char* row;
    const char* opened;   // the path opened, under the test's folder
    const char* moved_to; // where the folder opened is once swapped
    bool through_link;    // `opened` is a link to the folder, made at `moved_to`
    // Makes `opened` lead to another folder: Refused when the system kept the folder from being
    // moved, NotPossible (with why) when it cannot make what the row needs.
    Swap (*swap)(const fs::path& dir, std::string& why);
    bool moves_the_folder_opened; // which Windows refuses while it is open
};
void PrintTo(const SwapRow& row, std::ostream* out) {
    *out << row.row;
}

Swap renamed(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::rename(from, to, error);
    return error ? Swap::Refused : Swap::Made;
}

Swap renamedAndReplaced(const fs::path& dir, std::string&) {
    const Swap done = renamed(dir / "logs", dir / "moved");
    if (done == Swap::Made)
        fs::create_directory(dir / "logs");
    return done;
}
Swap parentRenamedAndReplaced(const fs::path& dir, std::string&) {
    const Swap done = renamed(dir / "up", dir / "moved");
    if (done == Swap::Made)
        fs::create_directories(dir / "up" / "logs");
    return done;
}
Swap renamedAndALinkPut(const fs::path& dir, std::string& why) {
    fs::create_directory(dir / "other");
    const Swap done = renamed(dir / "logs", dir / "moved");
    if (done == Swap::Made)
        why = makeLink(dir / "other", dir / "logs", true);
    return why.empty() ? done : Swap::NotPossible;
}
Swap linkTurned(const fs::path& dir, std::string& why) {
    fs::create_directory(dir / "other");
    std::error_code error;
    fs::remove(dir / "logs", error);
    why = error ? "the link was not removed" : makeLink(dir / "other", dir / "logs", true);
    return why.empty() ? Swap::Made : Swap::NotPossible;
}

const SwapRow kSwapRows[] = {
    {"RenamedAndAnotherFolderPut", "logs", "moved", false, renamedAndReplaced, true},
    {"ParentRenamedAndAnotherPut", "up/logs", "moved/logs", false, parentRenamedAndReplaced, false},
    {"RenamedAndALinkPut", "logs", "moved", false, renamedAndALinkPut, true},
    {"LinkTurnedToAnother", "logs", "moved", true, linkTurned, false},
};

class SwappedFolder : public TestFolder, public ::testing::WithParamInterface<SwapRow> {};

TEST_P(SwappedFolder, KeepsEveryChangeInTheFolderOpened) {
    const SwapRow& row = GetParam();
    const fs::path made = dir_ / (row.through_link ? row.moved_to : row.opened);
    fs::create_directories(made);
    makeFile(made / "logbook.dat", "old");
    if (row.through_link) {
        if (const std::string why = makeLink(made, dir_ / row.opened, true); !why.empty())
            GTEST_SKIP() << why;
    }
    Folder folder;
    ASSERT_EQ(folder.open(pathText(dir_ / row.opened)), std::error_code());
    std::string why;
    const Swap swap = row.swap(dir_, why);
    if (swap == Swap::NotPossible)
        GTEST_SKIP() << why;
    ASSERT_TRUE(swap == Swap::Made || kOnWindows) << "only Windows keeps a folder from moving";
    if (kOnWindows && row.moves_the_folder_opened) {
        EXPECT_EQ(swap, Swap::Refused) << "a folder held open was moved";
    }
    EXPECT_EQ(folder.stillAt(), errorOf(swap == Swap::Made ? ESTALE : 0));
    if (swap == Swap::Refused)
        std::cout << "the system kept the folder where it was: the changes land in it\n";

    // The steps of a change to a logbook, each refused or done in the folder opened.
    const bool refused = kOnWindows && swap == Swap::Made;
    const std::error_code expected = errorOf(refused ? ESTALE : 0);
    EXPECT_EQ(folder.writeNew("journal", "steps"), expected);
    EXPECT_EQ(folder.link("logbook.dat", "logbook.dat.bak"), expected);
    EXPECT_EQ(folder.rename("logbook.dat.bak", "logbook.dat.bak.1", false), expected);
    EXPECT_EQ(folder.remove("logbook.dat.bak.1"), expected);
    RunLock lock;
    std::uint32_t owner = 0;
    EXPECT_EQ(lock.acquire(folder, "logbook.dat", FolderEntry{}, owner), expected);
    {
        NewFile file;
        EXPECT_EQ(file.create(folder, "logbook.dat"), expected);
        if (!refused) {
            ASSERT_EQ(file.write("new", 3), std::error_code());
            ASSERT_EQ(file.finish(nullptr), std::error_code());
            ASSERT_EQ(file.giveName(), std::error_code());
            EXPECT_EQ(folder.rename(file.name(), "logbook.dat", true), std::error_code());
            file.keep();
        }
    }
    const fs::path opened = swap == Swap::Made ? dir_ / row.moved_to : made;
    EXPECT_EQ(stateOf(opened),
              refused ? "logbook.dat=old" : "journal=steps logbook.dat=new logbook.dat.lock=");
    if (swap == Swap::Made) {
        EXPECT_EQ(stateOf(dir_ / row.opened), "") << "something made in the other folder";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, SwappedFolder, ::testing::ValuesIn(kSwapRows), rowName<SwapRow>);

// ---------------------------------------------------------------------------------------------
// A new file: written, read back, made durable and put in the target's place by its name, or
// dropped; either way no temporary file is left, and the watcher is told each name it had.

enum class End {
    PutInPlace,        // renamed over the target
    PutInAFreePlace,   // renamed without replacing, refused when there is a target
    Discarded,         // dropped on purpose
    DroppedUnfinished, // goes before it was made durable: a cancelled run
    NeverCreated,      // every step asked of a file that was not made
};

struct NewFileRow {
    const char* row;
    const char* before;
    End end;
    int error; // of the rename, or of each step of a file never made
    const char* after;
};
void PrintTo(const NewFileRow& row, std::ostream* out) {
    *out << row.row;
}

const NewFileRow kNewFileRows[] = {
    {"NeverCreated", "logbook.dat=old", End::NeverCreated, EBADF, "logbook.dat=old"},
    {"Discarded", "logbook.dat=old", End::Discarded, 0, "logbook.dat=old"},
    {"DroppedUnfinished", "logbook.dat=old", End::DroppedUnfinished, 0, "logbook.dat=old"},
    {"PutInAFreePlaceTaken", "logbook.dat=old", End::PutInAFreePlace, EEXIST, "logbook.dat=old"},
    {"PutInAFreePlace", "", End::PutInAFreePlace, 0, "logbook.dat=new\r\n"},
    {"PutInPlace", "logbook.dat=old logbook.dat.bak=older", End::PutInPlace, 0,
     "logbook.dat=new\r\n logbook.dat.bak=older"},
};

class NewFiles : public TestFolder, public ::testing::WithParamInterface<NewFileRow> {};

TEST_P(NewFiles, AreInPlaceWholeOrLeaveNothing) {
    const NewFileRow& row = GetParam();
    make(dir_, row.before);
    Folder folder;
    ASSERT_EQ(folder.open(pathText(dir_)), std::error_code());
    std::vector<std::string> told;
    bool last_in_place = false;
    const TemporaryWatcher watcher = [&](const std::string& path, bool in_place) {
        if (!path.empty()) {
            EXPECT_EQ(directoryOf(path), pathText(dir_));
            EXPECT_TRUE(isTemporaryOf("logbook.dat", fileNameOf(path))) << path;
            EXPECT_TRUE(fs::exists(fromText(path))) << path;
        }
        told.push_back(path);
        last_in_place = in_place;
    };
    constexpr std::string_view kNew = "new\r\n";
    {
        NewFile file;
        if (row.end == End::NeverCreated) {
            char byte = 0;
            EXPECT_EQ(file.write(kNew.data(), kNew.size()), errorOf(row.error));
            const auto back = file.readBack(0, &byte, 1);
            ASSERT_FALSE(back);
            EXPECT_EQ(back.error(), errorOf(row.error));
            EXPECT_EQ(file.finish(nullptr), errorOf(row.error));
            EXPECT_EQ(file.giveName(), errorOf(row.error));
        } else {
            ASSERT_EQ(file.create(folder, "logbook.dat", watcher), std::error_code());
            ASSERT_EQ(file.write(kNew.data(), 3), std::error_code());
            ASSERT_EQ(file.write(kNew.data() + 3, 2), std::error_code());
        }
        if (row.end == End::Discarded)
            file.discard();
        if (row.end == End::PutInPlace || row.end == End::PutInAFreePlace) {
            ASSERT_EQ(file.finish(nullptr), std::error_code());
            ASSERT_EQ(file.giveName(), std::error_code());
            const std::string name = file.name();
            const std::error_code error =
                folder.rename(name, "logbook.dat", row.end == End::PutInPlace);
            EXPECT_EQ(error, errorOf(row.error)) << systemReason(error);
            // Read back and known as itself after it is made durable, wherever its name went;
            // nothing more at its end.
            char back[16];
            const auto got = file.readBack(1, back, sizeof back);
            ASSERT_TRUE(got) << got.error();
            EXPECT_EQ(std::string_view(back, *got), kNew.substr(1));
            const auto beyond = file.readBack(5, back, sizeof back);
            ASSERT_TRUE(beyond) << beyond.error();
            EXPECT_EQ(*beyond, 0U);
            EXPECT_EQ(file.identity().size, 5);
            const auto at_name = folder.look(!error ? "logbook.dat" : name);
            ASSERT_TRUE(at_name) << at_name.error();
            EXPECT_TRUE(file.identity().sameFile(at_name->id));
            if (!error)
                file.keep();
        }
    }
    EXPECT_EQ(stateOf(dir_), row.after);
    // Unnamed files (Linux) are told of only once they are given a name; one put in place is
    // said so by whoever put it there.
    const bool kept =
        row.error == 0 && (row.end == End::PutInPlace || row.end == End::PutInAFreePlace);
    if (!told.empty() && !kept) {
        EXPECT_EQ(told.back(), "") << "the last name said gone";
        EXPECT_FALSE(last_in_place);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, NewFiles, ::testing::ValuesIn(kNewFileRows), rowName<NewFileRow>);

// ---------------------------------------------------------------------------------------------
// The run lock: one run at a time per target, whatever path the second run opened its folder
// by; the lock file is never removed, and one removed or replaced by hand is no longer held.

constexpr const char* kFlights = "Thermora flights"; // long enough for an 8.3 short name
constexpr const char* kLogbook = "pilot logbook.dat";

// The folder and target name the second run asks for, or "" with why the system has no such
// path.
struct Asked {
    std::string folder;
    std::string target = kLogbook;
};
using Spelling = Asked (*)(const fs::path& dir, std::string& why);

Asked sameLogbook(const fs::path& dir, std::string&) {
    return {pathText(dir / kFlights)};
}
Asked anotherLogbookBeside(const fs::path& dir, std::string&) {
    return {pathText(dir / kFlights), "other.dat"};
}
Asked anotherFolder(const fs::path& dir, std::string&) {
    fs::create_directory(dir / "other");
    return {pathText(dir / "other")};
}
Asked throughParent(const fs::path& dir, std::string&) {
    return {pathText(dir / kFlights / ".." / kFlights)};
}
Asked throughALinkedFolder(const fs::path& dir, std::string& why) {
    why = makeLink(dir / kFlights, dir / "linked", true);
    return {why.empty() ? pathText(dir / "linked") : ""};
}
Asked byTheShortFolderName(const fs::path& dir, std::string& why) {
    return {shortPathOf(dir / kFlights, why)};
}
Asked throughWinesDriveZ(const fs::path& dir, std::string& why) {
    return {wineDrivePathOf(dir / kFlights, why)};
}
Asked inCapitals(const fs::path& dir, std::string& why) {
    why = kOnWindows ? "" : "letters in another case name another file here";
    return {why.empty() ? pathText(dir / kFlights) : "", "PILOT LOGBOOK.DAT"};
}

enum class Asker {
    AnotherThread,
    AnotherLockOfThisThread,
    TheSameLock, // asked again: what it held is given up and taken anew
};

struct LockRow {
    const char* row;
    Spelling second;
    Asker asker;
    int while_held;
};
void PrintTo(const LockRow& row, std::ostream* out) {
    *out << row.row;
}

const LockRow kLockRows[] = {
    {"AnotherFolder", anotherFolder, Asker::AnotherThread, 0},
    {"AnotherLogbookBeside", anotherLogbookBeside, Asker::AnotherThread, 0},
    {"SameLogbook", sameLogbook, Asker::AnotherThread, EWOULDBLOCK},
    {"SameLogbookAnotherLockOfThisThread", sameLogbook, Asker::AnotherLockOfThisThread,
     EWOULDBLOCK},
    {"SameLogbookSameLockAgain", sameLogbook, Asker::TheSameLock, 0},
    {"SameFolderOtherwiseNamed", throughParent, Asker::AnotherThread, EWOULDBLOCK},
    {"SameFolderThroughALinkedFolder", throughALinkedFolder, Asker::AnotherThread, EWOULDBLOCK},
    {"SameFolderByItsShortName", byTheShortFolderName, Asker::AnotherThread, EWOULDBLOCK},
    {"SameFolderThroughWinesDriveZ", throughWinesDriveZ, Asker::AnotherThread, EWOULDBLOCK},
    {"SameLogbookInCapitals", inCapitals, Asker::AnotherThread, EWOULDBLOCK},
};

class Lock : public TestFolder, public ::testing::WithParamInterface<LockRow> {};

std::error_code acquired(RunLock& lock, const Folder& folder, const std::string& target) {
    const auto at_target = folder.look(target);
    std::uint32_t owner = 0;
    return lock.acquire(folder, target, at_target ? *at_target : FolderEntry{}, owner);
}

// The second run's answer, asked on a thread of its own and let go there.
std::error_code askOnAnotherThread(const Asked& asked) {
    std::error_code error;
    std::thread([&error, &asked] {
        Folder folder;
        error = folder.open(asked.folder);
        RunLock lock;
        if (!error)
            error = acquired(lock, folder, asked.target);
    }).join();
    return error;
}

TEST_P(Lock, OneRunAtATimePerTarget) {
    const LockRow& row = GetParam();
    fs::create_directory(dir_ / kFlights);
    std::string why;
    const Asked second = row.second(dir_, why);
    if (second.folder.empty())
        GTEST_SKIP() << why;
    {
        Folder folder;
        ASSERT_EQ(folder.open(pathText(dir_ / kFlights)), std::error_code());
        RunLock first;
        ASSERT_EQ(acquired(first, folder, kLogbook), std::error_code());
        EXPECT_EQ(first.stillHeld(), std::error_code());
        switch (row.asker) {
        case Asker::AnotherThread:
            EXPECT_EQ(askOnAnotherThread(second), errorOf(row.while_held));
            break;
        case Asker::AnotherLockOfThisThread: {
            Folder again;
            ASSERT_EQ(again.open(second.folder), std::error_code());
            RunLock another;
            EXPECT_EQ(acquired(another, again, second.target), errorOf(row.while_held));
            break;
        }
        case Asker::TheSameLock:
            EXPECT_EQ(acquired(first, folder, second.target), errorOf(row.while_held));
            EXPECT_EQ(askOnAnotherThread(second), errorOf(EWOULDBLOCK)) << "held again";
            break;
        }
    }
    EXPECT_EQ(askOnAnotherThread(second), std::error_code()) << "let go";
    EXPECT_TRUE(fs::is_regular_file(dir_ / kFlights / RunLock::nameFor(kLogbook)))
        << "never removed";
}

INSTANTIATE_TEST_SUITE_P(Rows, Lock, ::testing::ValuesIn(kLockRows), rowName<LockRow>);

// What may sit at the lock file's name: it is never followed through a link nor waited on as a
// pipe, and where none can be made the lock is refused with the system's reason, never skipped.
// Changed by hand while held, it no longer keeps a second run out, which `stillHeld` says; on
// Windows, where it is held open unshared, no hand can change it.

using LockFile = TestFolder;

TEST_F(LockFile, IsNeverFollowedAndHeldOnlyWhileItIsTheOneAtItsName) {
    const struct {
        const char* row;
        const char* before; // in the folder "data"; "logbook.dat.lock" is the lock file
        bool read_only_folder;
        int error;
        int windows_error;
        const char* by_hand; // a change made to the folder while held: "remove", "replace", ""
    } rows[] = {
        {"a link to a file", "logbook.dat.lock->c c=mine", false, ELOOP, ELOOP, ""},
        {"a link to nothing", "logbook.dat.lock->c", false, ELOOP, ELOOP, ""},
        {"a folder", "logbook.dat.lock/", false, EISDIR, EACCES, ""},
        {"a read-only folder", "", true, EACCES, 0, ""},
        {"a read-only folder with the lock file", "logbook.dat.lock=", true, 0, 0, ""},
        {"left by an earlier run", "logbook.dat.lock=", false, 0, 0, ""},
        {"removed by hand", "", false, 0, 0, "remove"},
        {"replaced by hand", "c=", false, 0, 0, "replace"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        const fs::path data = dir_ / "data";
        fs::create_directory(data);
        if (const std::string why = make(data, row.before); !why.empty()) {
            std::cout << "skipped row \"" << row.row << "\": " << why << "\n";
            fs::remove_all(data);
            continue;
        }
        const std::string before = stateOf(data);
        if (row.read_only_folder && !kOnWindows) {
            if (row.error != 0 && !permissionsIgnored().empty()) {
                std::cout << "skipped row \"" << row.row << "\": " << permissionsIgnored() << "\n";
                fs::remove_all(data);
                continue;
            }
            fs::permissions(data, fs::perms(0555));
        }
        {
            Folder folder;
            ASSERT_EQ(folder.open(pathText(data)), std::error_code());
            RunLock lock;
            const std::error_code error = acquired(lock, folder, "logbook.dat");
            EXPECT_EQ(error, errorOf(kOnWindows ? row.windows_error : row.error))
                << systemReason(error);
            if (!error) {
                EXPECT_EQ(bytesOf(data / "logbook.dat.lock"), "");
                std::error_code refused;
                if (std::string_view(row.by_hand) == "remove")
                    fs::remove(data / "logbook.dat.lock", refused);
                else if (std::string_view(row.by_hand) == "replace")
                    fs::rename(data / "c", data / "logbook.dat.lock", refused);
                const bool changed = *row.by_hand != '\0' && !refused;
                EXPECT_TRUE(changed || *row.by_hand == '\0' || kOnWindows)
                    << "only Windows keeps a held file from being changed";
                EXPECT_EQ(lock.stillHeld(), errorOf(changed ? ESTALE : 0));
            } else {
                EXPECT_EQ(stateOf(data), before) << "nothing made, nothing followed";
            }
        }
        fs::permissions(data, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(data);
    }
}

// The lock file's permissions follow who may write the target: its maker's alone, or the group's
// too where the target (or, with no target yet, a shared set-group-ID folder) lets the group
// write; its group is then the target's or the folder's. Made by root, it is the target's (or the
// folder's) owner's, so that the pilot's own runs can still take it.
using LockFileMode = TestFolder;

TEST_F(LockFileMode, FollowsWhoMayWriteTheTarget) {
#ifdef _WIN32
    GTEST_SKIP() << "permission bits and owners are POSIX's";
#else
    // Root gives the files to another user, to tell the owner taken from where it is taken.
    const bool root = geteuid() == 0;
    const uid_t other = root ? 65534 : geteuid();
    const gid_t group = root ? 65534 : getegid();
    const struct {
        const char* row;
        mode_t target; // 0: none
        mode_t folder;
        mode_t lock;
        bool owned_as_the_target; // else as the folder
    } rows[] = {
        {"a private target", 0644, 0755, 0600, true},
        {"a target its group writes", 0664, 0755, 0660, true},
        {"no target, a shared folder", 0, 02775, 0660, false},
        {"no target, a folder its group writes", 0, 0775, 0600, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        const fs::path data = dir_ / "data";
        fs::create_directory(data);
        if (row.target != 0) {
            makeFile(data / "logbook.dat", "old");
            ASSERT_EQ(chmod((data / "logbook.dat").c_str(), row.target), 0);
            ASSERT_EQ(chown((data / "logbook.dat").c_str(), other, group), 0);
        } else {
            ASSERT_EQ(chown(data.c_str(), other, group), 0);
        }
        ASSERT_EQ(chmod(data.c_str(), row.folder), 0); // after chown, which drops set-group-ID
        Folder folder;
        ASSERT_EQ(folder.open(pathText(data)), std::error_code());
        RunLock lock;
        const auto target = folder.look("logbook.dat");
        ASSERT_TRUE(target) << target.error();
        std::uint32_t owner = 0;
        ASSERT_EQ(lock.acquire(folder, "logbook.dat", *target, owner), std::error_code());
        struct stat made {};
        ASSERT_EQ(stat((data / "logbook.dat.lock").c_str(), &made), 0);
        EXPECT_EQ(made.st_mode & 07777, row.lock);
        EXPECT_EQ(made.st_uid, other);
        EXPECT_EQ(made.st_gid, group);
        EXPECT_EQ(owner, other);
        fs::remove_all(data);
    }
    if (!root)
        std::cout << "owners and groups not given away: only root may\n";
#endif
}

// Between processes: another process meets the lock this one holds, and a process that died
// holding it left it free. (On Windows a death test's child runs the test from its start again:
// its first lock is then refused too, as this process holds it, and so is the second.)
using LockBetweenProcesses = TestFolder;

TEST_F(LockBetweenProcesses, OnlyALivingHolderKeepsOthersOut) {
    Folder folder;
    ASSERT_EQ(folder.open(pathText(dir_)), std::error_code());
    {
        RunLock held;
        const std::error_code taken = acquired(held, folder, "logbook.dat");
        EXPECT_EXIT(
            {
                RunLock other;
                std::_Exit(acquired(other, folder, "logbook.dat") == errorOf(EWOULDBLOCK) ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
        EXPECT_EQ(taken, std::error_code());
    }
    EXPECT_EXIT(
        {
            RunLock dying;
            std::_Exit(acquired(dying, folder, "logbook.dat").value());
        },
        ::testing::ExitedWithCode(0), "");
    RunLock after;
    EXPECT_EQ(acquired(after, folder, "logbook.dat"), std::error_code());
}

} // namespace
} // namespace platform
