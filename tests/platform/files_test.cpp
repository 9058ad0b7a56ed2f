// What sits at a path and what the platform layer makes of it: a folder's listing (kinds, links,
// sizes and times; hidden files and other names left out), a flight opened safely whatever was
// put at its path, whether a file may be written, the parts of a path, and the system's reasons
// in the same words on every system.

#include "platform/Files.h"
#include "platform/Folder.h"

#include "MadeFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#endif

namespace platform {

std::ostream& operator<<(std::ostream& out, FileKind kind) {
    constexpr const char* kNames[] = {"Missing",     "Regular",     "Directory", "CharacterDevice",
                                      "BlockDevice", "NamedPipe",   "Socket",    "DanglingLink",
                                      "LinkLoop",    "ForeignLink", "Other"};
    return out << kNames[static_cast<int>(kind)];
}

namespace {

using namespace std::chrono_literals;
using namespace platform_test;

const FileTime kMorning = dayAt(std::chrono::year(2026) / 5 / 22, 9h);
const FileTime kEvening = dayAt(std::chrono::year(2026) / 5 / 23, 17h);
constexpr std::int64_t kAnyTime = -1;

// The makers of the tables' entries: each makes its entry at `at` and says "" or why the system
// could not.
std::string morningFlight(const fs::path& at) {
    makeFile(at, "ABC");
    setModified(at, kMorning);
    return "";
}
std::string eveningEmpty(const fs::path& at) {
    makeFile(at, "");
    setModified(at, kEvening);
    return "";
}
std::string folder(const fs::path& at) {
    fs::create_directory(at);
    return "";
}
// Its target is named so that it is no flight itself, and is older than the link.
std::string linkToEveningFile(const fs::path& at) {
    const fs::path target = at.parent_path() / "target.dat";
    makeFile(target, "ABCDE");
    setModified(target, kEvening);
    return makeLink(target, at);
}
std::string linkToFolder(const fs::path& at) {
    fs::create_directory(at.parent_path() / "target");
    return makeLink(at.parent_path() / "target", at, true);
}
std::string danglingLink(const fs::path& at) {
    return makeLink(at.parent_path() / "gone.dat", at);
}
std::string linkToItself(const fs::path& at) {
    return makeLink(at, at);
}
std::string namedPipe(const fs::path& at) {
    return makeNamedPipe(at);
}
std::string linkToNamedPipe(const fs::path& at) {
    const std::string why = makeNamedPipe(at.parent_path() / "pipe");
    return why.empty() ? makeLink(at.parent_path() / "pipe", at) : why;
}
std::string hiddenFile(const fs::path& at) {
    makeFile(at, "ABC");
    hide(at);
    return "";
}
std::string hiddenByAttributeOnly(const fs::path& at) {
#ifdef _WIN32
    return hiddenFile(at);
#else
    static_cast<void>(at);
    return "a file is hidden by its name here, not by an attribute";
#endif
}
std::string unreadableFile(const fs::path& at) {
#ifdef _WIN32
    static_cast<void>(at);
    return "Windows has no permission bits to take reading away";
#else
    makeFile(at, "ABC");
    fs::permissions(at, fs::perms::none);
    return permissionsIgnored();
#endif
}
std::string readOnlyFile(const fs::path& at) {
    makeFile(at, "ABC");
    // On Windows the file's read-only attribute.
    fs::permissions(at, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    return permissionsIgnored();
}
std::string unsearchableFolder(const fs::path& at) {
#ifdef _WIN32
    static_cast<void>(at);
    return "Windows has no search permission of its own";
#else
    fs::create_directory(at);
    makeFile(at / "flight.igc", "ABC");
    fs::permissions(at, fs::perms::owner_read | fs::perms::owner_write);
    return permissionsIgnored();
#endif
}
std::string nothing(const fs::path&) {
    return "";
}

// Files and links of other users than the test's: nobody's, a stranger's (owner of neither the
// run nor nobody's files) and root's. Only root can make them.
constexpr unsigned kNobody = 65534;
constexpr unsigned kStranger = 65533;

// Why another user's link cannot be made here, or "".
std::string othersLinksUnmade() {
#ifdef _WIN32
    return "links are reparse points here, followed as before: no owner to judge";
#else
    return geteuid() == 0 ? "" : "needs root to make another user's link";
#endif
}
// Gives `path` itself (a link, not what it leads to) to `owner`.
void giveTo(const fs::path& path, unsigned owner) {
#ifndef _WIN32
    EXPECT_EQ(lchown(path.c_str(), owner, owner), 0) << path;
#else
    static_cast<void>(path);
    static_cast<void>(owner);
#endif
}
// For the listing: nobody's link to a file of the evening, the link itself of the morning.
std::string morningLink(const fs::path& at, unsigned target_owner) {
    if (std::string why = othersLinksUnmade(); !why.empty())
        return why;
    const fs::path target = at.parent_path() / "target.dat";
    makeFile(target, "ABCDE");
    setModified(target, kEvening);
    giveTo(target, target_owner);
    EXPECT_EQ(makeLink(target, at), "");
    giveTo(at, kNobody);
#ifndef _WIN32
    const timespec morning = {static_cast<time_t>(kMorning.at.time_since_epoch().count()), 0};
    const timespec times[] = {morning, morning};
    EXPECT_EQ(utimensat(AT_FDCWD, at.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
#endif
    return "";
}
std::string othersLinkToRootsFile(const fs::path& at) {
    return morningLink(at, 0);
}
std::string othersLinkToTheirFile(const fs::path& at) {
    return morningLink(at, kNobody);
}

// ---------------------------------------------------------------------------------------------
// The listing: each entry with its kind, whether it is a link, its size and its time, exactly as
// the flights' order needs them; hidden files and names that are no flight's not at all.

struct ListingRow {
    const char* row;
    const char* name;
    std::string (*make)(const fs::path& at);
    bool listed; // among the flights
    FileKind kind;
    bool is_link;
    std::int64_t size;
    std::int64_t modified_ms;
};
void PrintTo(const ListingRow& row, std::ostream* out) {
    *out << row.row;
}

const ListingRow kListingRows[] = {
    {"OtherExtension", "notes.txt", morningFlight, false, {}, false, 0, 0},
    {"BackupOfAFlight", "flight.igc.bak", morningFlight, false, {}, false, 0, 0},
    {"LockOfALogbookNamedAsAFlight", "flight.igc.lock", morningFlight, false, {}, false, 0, 0},
    {"HiddenByItsName", ".hidden.igc", hiddenFile, false, {}, false, 0, 0},
    {"HiddenByAttribute", "hidden.igc", hiddenByAttributeOnly, false, {}, false, 0, 0},
    {"Regular", "flight.igc", morningFlight, true, FileKind::Regular, false, 3,
     kMorning.milliseconds()},
    {"EmptyInCapitals", "EMPTY.IGC", eveningEmpty, true, FileKind::Regular, false, 0,
     kEvening.milliseconds()},
    {"Folder", "folder.igc", folder, true, FileKind::Directory, false, 0, kAnyTime},
    {"LinkToAFile", "link.igc", linkToEveningFile, true, FileKind::Regular, true, 5,
     kEvening.milliseconds()},
    {"LinkToAFolder", "link.igc", linkToFolder, true, FileKind::Directory, true, 0, kAnyTime},
    {"DanglingLink", "dangling.igc", danglingLink, true, FileKind::DanglingLink, true, 0, kAnyTime},
    {"LinkToItself", "loop.igc", linkToItself, true, FileKind::LinkLoop, true, 0, kAnyTime},
    {"NamedPipe", "pipe.igc", namedPipe, true, FileKind::NamedPipe, false, 0, kAnyTime},
    // Not followed to tell its kind, size or time: handed on for the reading to refuse.
    {"AnotherUsersLinkToRootsFile", "link.igc", othersLinkToRootsFile, true, FileKind::ForeignLink,
     true, 0, kMorning.milliseconds()},
    {"AnotherUsersLinkToTheirOwnFile", "link.igc", othersLinkToTheirFile, true, FileKind::Regular,
     true, 5, kEvening.milliseconds()},
};

class Listing : public TestFolder, public ::testing::WithParamInterface<ListingRow> {};

TEST_P(Listing, GivesEachFlightWithItsKindSizeAndTime) {
    const ListingRow& row = GetParam();
    if (const std::string why = row.make(dir_ / row.name); !why.empty())
        GTEST_SKIP() << why;
    const auto listed = listDirectory(pathText(dir_), isFlightName);
    ASSERT_TRUE(listed) << listed.error();
    const std::vector<DirectoryEntry>& entries = *listed;
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&row](const DirectoryEntry& e) { return e.name == row.name; });
    if (!row.listed) {
        EXPECT_EQ(entry, entries.end());
        return;
    }
    ASSERT_NE(entry, entries.end());
    EXPECT_EQ(entry->kind, row.kind);
    EXPECT_EQ(entry->is_link, row.is_link);
    EXPECT_EQ(entry->size, row.size);
    if (row.modified_ms != kAnyTime) {
        EXPECT_EQ(entry->modified_ms, row.modified_ms);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Listing, ::testing::ValuesIn(kListingRows), rowName<ListingRow>);

// A folder that cannot be listed, or whose files could not be opened, gives no listing at all.
struct UnlistableRow {
    const char* row;
    std::string (*make)(const fs::path& at);
    int error;
};
void PrintTo(const UnlistableRow& row, std::ostream* out) {
    *out << row.row;
}

const UnlistableRow kUnlistableRows[] = {
    {"Missing", nothing, ENOENT},
    {"AFile", morningFlight, ENOTDIR},
    {"DanglingLink", danglingLink, ENOENT},
    {"ListableButNotSearchable", unsearchableFolder, EACCES},
};

class Unlistable : public TestFolder, public ::testing::WithParamInterface<UnlistableRow> {};

TEST_P(Unlistable, IsRefusedWithTheSystemsReason) {
    const UnlistableRow& row = GetParam();
    const fs::path folder = dir_ / "IGC";
    if (const std::string why = row.make(folder); !why.empty())
        GTEST_SKIP() << why;
    const auto listed = listDirectory(pathText(folder), isFlightName);
    ASSERT_FALSE(listed);
    EXPECT_EQ(listed.error(), errorOf(row.error)) << systemReason(listed.error());
}

INSTANTIATE_TEST_SUITE_P(Rows, Unlistable, ::testing::ValuesIn(kUnlistableRows),
                         rowName<UnlistableRow>);

// ---------------------------------------------------------------------------------------------
// What sits at a path, and a flight opened there: a file only for a regular file (a folder's
// reading fails), never waiting on a pipe or touching a device, through a link only when the
// listing saw one.

// What came of opening a flight and reading it whole.
struct Opened {
    FileKind kind = FileKind::Other;
    std::error_code error;            // why it was not opened, or not read
    std::optional<std::string> bytes; // what it held, when read
    bool operator==(const Opened&) const = default;
};
void PrintTo(const Opened& opened, std::ostream* out) {
    *out << opened.kind << ", error " << opened.error;
    if (opened.bytes)
        *out << ", \"" << *opened.bytes << "\"";
}
Opened gave(FileKind kind, const char* bytes) {
    return {kind, {}, bytes};
}
Opened refused(FileKind kind, int error) {
    return {kind, errorOf(error), std::nullopt};
}

Opened openAndRead(const std::string& path, bool through_link) {
    const OpenedFlight flight = openFlight(path, through_link);
    Opened opened{flight.kind, flight.error, std::nullopt};
    if (flight.file == nullptr)
        return opened;
    EXPECT_FALSE(flight.error) << "a file opened, and a reason why it was not";
    std::string bytes;
    char block[256];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, flight.file)) > 0;)
        bytes.append(block, got);
    if (std::ferror(flight.file) != 0)
        opened.error = errorOf(errno);
    else
        opened.bytes = bytes;
    std::fclose(flight.file);
    return opened;
}

struct KindRow {
    const char* row;
    std::string (*make)(const fs::path& at);
    FileKind kind;
    bool is_link;
    const char* resolves_to; // the name beside it that a link leads to
    Opened followed;         // opened through a link, as the listing saw one
    Opened unfollowed;       // opened as the listing saw no link
};
void PrintTo(const KindRow& row, std::ostream* out) {
    *out << row.row;
}

const Opened kLinkRefused = refused(FileKind::Other, ELOOP);

const KindRow kKindRows[] = {
    {"Missing", nothing, FileKind::Missing, false, nullptr, refused(FileKind::Other, ENOENT),
     refused(FileKind::Other, ENOENT)},
    {"DanglingLink", danglingLink, FileKind::DanglingLink, true, nullptr,
     refused(FileKind::Other, ENOENT), kLinkRefused},
    {"LinkToItself", linkToItself, FileKind::LinkLoop, true, nullptr,
     refused(FileKind::Other, ELOOP), kLinkRefused},
    {"NamedPipe", namedPipe, FileKind::NamedPipe, false, nullptr, refused(FileKind::NamedPipe, 0),
     refused(FileKind::NamedPipe, 0)},
    {"LinkToANamedPipe", linkToNamedPipe, FileKind::NamedPipe, true, "pipe",
     refused(FileKind::NamedPipe, 0), kLinkRefused},
    {"Folder", folder, FileKind::Directory, false, nullptr, refused(FileKind::Directory, EISDIR),
     refused(FileKind::Directory, EISDIR)},
    {"LinkToAFolder", linkToFolder, FileKind::Directory, true, "target",
     refused(FileKind::Directory, EISDIR), kLinkRefused},
    {"Unreadable", unreadableFile, FileKind::Regular, false, nullptr,
     refused(FileKind::Regular, EACCES), refused(FileKind::Regular, EACCES)},
    {"Regular", morningFlight, FileKind::Regular, false, nullptr, gave(FileKind::Regular, "ABC"),
     gave(FileKind::Regular, "ABC")},
    {"Empty", eveningEmpty, FileKind::Regular, false, nullptr, gave(FileKind::Regular, ""),
     gave(FileKind::Regular, "")},
    {"LinkToAFile", linkToEveningFile, FileKind::Regular, true, "target.dat",
     gave(FileKind::Regular, "ABCDE"), kLinkRefused},
};

class Kinds : public TestFolder, public ::testing::WithParamInterface<KindRow> {};

TEST_P(Kinds, AreToldAndOpenedOnlyAsFlights) {
    const KindRow& row = GetParam();
    const fs::path at = dir_ / "flight.igc";
    if (const std::string why = row.make(at); !why.empty())
        GTEST_SKIP() << why;
    const std::string path = pathText(at);

    const PathInfo info = inspect(path);
    EXPECT_EQ(info.kind, row.kind);
    EXPECT_EQ(info.is_link, row.is_link);
    if (row.resolves_to != nullptr) {
        EXPECT_EQ(fileNameOf(info.resolved), row.resolves_to);
        EXPECT_TRUE(fs::equivalent(
            fs::path(std::u8string(info.resolved.begin(), info.resolved.end())).parent_path(),
            dir_))
            << info.resolved;
    } else {
        EXPECT_EQ(info.resolved, path);
    }

    EXPECT_EQ(openAndRead(path, true), row.followed);
    EXPECT_EQ(openAndRead(path, false), row.unfollowed);
}

INSTANTIATE_TEST_SUITE_P(Rows, Kinds, ::testing::ValuesIn(kKindRows), rowName<KindRow>);

// A device is looked at, never opened for reading.
TEST(Device, IsToldAndNotOpened) {
    EXPECT_EQ(inspect(nullDevice()).kind, FileKind::CharacterDevice);
    EXPECT_EQ(openAndRead(nullDevice(), true), refused(FileKind::CharacterDevice, 0));
}

// ---------------------------------------------------------------------------------------------
// Names as Windows takes them, told before anything is opened: a logbook path ending in blanks
// or dots names the file without them (and so do the names made from it), a device name is a
// device in every folder, and a name with a character that Windows keeps from files is refused
// as such. On POSIX systems each is a name like any other.

struct NameRow {
    const char* row;
    const char* made;    // a file made first, or none
    const char* given;   // the last name of the path; none: the short name of `made`
    const char* windows; // the last name as Windows takes it
};
void PrintTo(const NameRow& row, std::ostream* out) {
    *out << row.row;
}

const NameRow kNameRows[] = {
    {"TrailingBlank", nullptr, "logbook.dat ", "logbook.dat"},
    {"TrailingDotsAndBlanks", nullptr, "logbook.dat. . ", "logbook.dat"},
    {"BlankInside", nullptr, "log book.dat", "log book.dat"},
    {"DotsAlone", nullptr, "..", ".."},
    {"ShortNameOfNothing", nullptr, "LOGBOO~1.DAT", "LOGBOO~1.DAT"},
    {"ShortNameOfAFile", "A long logbook name.dat", nullptr, "A long logbook name.dat"},
};

class WindowsNames : public TestFolder, public ::testing::WithParamInterface<NameRow> {};

TEST_P(WindowsNames, AreThoseOfTheFileTheyName) {
    const NameRow& row = GetParam();
    if (row.made != nullptr)
        makeFile(dir_ / row.made, "old");
    std::string given = row.given != nullptr ? pathText(dir_ / row.given) : "";
    if (row.given == nullptr) {
        std::string why;
        given = shortPathOf(dir_ / row.made, why);
        if (given.empty())
            GTEST_SKIP() << why;
    }
    const std::string taken = kOnWindows ? joinPath(directoryOf(given), row.windows) : given;
    EXPECT_EQ(inspect(given).resolved, taken);
    EXPECT_EQ(RunLock::nameFor(fileNameOf(inspect(given).resolved)), fileNameOf(taken) + ".lock");
}

INSTANTIATE_TEST_SUITE_P(Rows, WindowsNames, ::testing::ValuesIn(kNameRows), rowName<NameRow>);

struct DeviceNameRow {
    const char* row;
    const char* name;
    bool device; // on Windows
};
void PrintTo(const DeviceNameRow& row, std::ostream* out) {
    *out << row.row;
}

const DeviceNameRow kDeviceNameRows[] = {
    {"Com0", "COM0", false},
    {"Com10", "COM10", false},
    {"Console", "CONSOLE.dat", false},
    {"NulInsideAName", "xnul.dat", false},
    {"NulAsTheExtension", "logbook.nul", false},
    {"Lpt", "LPT", false},
    {"Con", "CON", true},
    {"ConWithAnExtension", "con.dat", true},
    {"BlankBeforeTheExtension", "CON .dat", true},
    {"Nul", "Nul", true},
    {"Com1", "COM1", true},
    {"Com9WithAnExtension", "com9.igc", true},
    {"ComRaisedOne", "COM\xC2\xB9", true},
    {"Lpt1", "lpt1.dat", true},
    {"Aux", "AUX.log", true},
    {"Prn", "prn", true},
    {"ConsoleInput", "CONIN$", true},
};

class DeviceNames : public TestFolder, public ::testing::WithParamInterface<DeviceNameRow> {};

TEST_P(DeviceNames, AreDevicesInEveryFolderOnWindows) {
    const DeviceNameRow& row = GetParam();
    const std::string path = pathText(dir_) + (kOnWindows ? "\\" : "/") + row.name;
    const bool device = kOnWindows && row.device;
    EXPECT_EQ(inspect(path).kind, device ? FileKind::CharacterDevice : FileKind::Missing);
    EXPECT_EQ(inspect(path).reserved_name, device);
    EXPECT_EQ(openAndRead(path, true),
              device ? refused(FileKind::CharacterDevice, 0) : refused(FileKind::Other, ENOENT));
    Folder folder;
    ASSERT_EQ(folder.open(pathText(dir_)), std::error_code());
    RunLock lock;
    std::uint32_t owner = 0;
    // Its lock file would be a device too.
    EXPECT_EQ(lock.acquire(folder, row.name, FolderEntry{}, owner), errorOf(device ? ENXIO : 0));
}

INSTANTIATE_TEST_SUITE_P(Rows, DeviceNames, ::testing::ValuesIn(kDeviceNameRows),
                         rowName<DeviceNameRow>);

struct NotAllowedRow {
    const char* row;
    const char* name;
    bool allowed; // on Windows
};
void PrintTo(const NotAllowedRow& row, std::ostream* out) {
    *out << row.row;
}

const NotAllowedRow kNotAllowedRows[] = {
    {"LessThan", "log<book.dat", false},
    {"Angles", "log<book>.dat", false},
    {"Colon", "log:book.dat", false}, // a stream of the file "log"
    {"Quotes", "say\"hi\".dat", false},
    {"Bar", "log|book.dat", false},
    {"QuestionMark", "what?.dat", false},
    {"Star", "all*.dat", false},
    {"Tab", "tab\tname.dat", false},
    {"Blank", "log book.dat", true},
    {"BeyondAscii", "Am\xC3\xA9lie's logbook.dat", true},
    {"Punctuation", "[2026] #1 & more.dat", true},
};

class NotAllowedNames : public TestFolder, public ::testing::WithParamInterface<NotAllowedRow> {};

TEST_P(NotAllowedNames, AreRefusedOnWindowsInTheirOwnWords) {
    const NotAllowedRow& row = GetParam();
    const std::string path = pathText(dir_) + (kOnWindows ? "\\" : "/") + row.name;
    const bool allowed = !kOnWindows || row.allowed;
    const PathInfo info = inspect(path);
    EXPECT_EQ(info.kind, allowed ? FileKind::Missing : FileKind::Other);
    EXPECT_EQ(info.error, errorOf(allowed ? 0 : EINVAL));
    EXPECT_EQ(openAndRead(path, true), refused(FileKind::Other, allowed ? ENOENT : EINVAL));
    Folder folder;
    ASSERT_EQ(folder.open(pathText(dir_)), std::error_code());
    RunLock lock;
    std::uint32_t owner = 0;
    EXPECT_EQ(lock.acquire(folder, row.name, FolderEntry{}, owner), errorOf(allowed ? 0 : EINVAL));
}

INSTANTIATE_TEST_SUITE_P(Rows, NotAllowedNames, ::testing::ValuesIn(kNotAllowedRows),
                         rowName<NotAllowedRow>);

// A flight or a logbook that another program holds open without sharing it (the simulator holds
// its logbook so) is in use, not forbidden.
using HeldOpen = TestFolder;

TEST_F(HeldOpen, IsInUseByAnotherProgram) {
#ifdef _WIN32
    const fs::path at = dir_ / "flight.igc";
    makeFile(at, "ABC");
    const HANDLE held =
        CreateFileW(at.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openAndRead(pathText(at), true), refused(FileKind::Other, EBUSY));
    EXPECT_EQ(inspect(pathText(at)).kind, FileKind::Regular); // still looked at
    CloseHandle(held);
    EXPECT_EQ(openAndRead(pathText(at), true), gave(FileKind::Regular, "ABC"));
#else
    GTEST_SKIP() << "POSIX systems have no opening that keeps others out";
#endif
}

// ---------------------------------------------------------------------------------------------
// Links of other users: followed, to be looked at or read, only when each link on the way
// belongs to the user running, to the owner of what it leads to, or to root. Else the way ends
// at the first that does not, named as the path spells it or, past a link, where that led.

// The files that the rows' links lead to, all readable, so that only the rule refuses: root's,
// nobody's and a stranger's, and a folder of root's and one of nobody's, each with root's file.
void makeOwnersFiles(const fs::path& dir) {
    for (const char* folder : {"", "roots", "their-folder"}) {
        fs::create_directories(dir / folder);
        fs::permissions(dir / folder, fs::perms(0755));
    }
    giveTo(dir / "their-folder", kNobody);
    const struct {
        const char* name;
        const char* bytes;
        unsigned owner;
    } files[] = {{"root.dat", "ROOT", 0},
                 {"theirs.dat", "THEIRS", kNobody},
                 {"strangers.dat", "STRANGER", kStranger},
                 {"roots/flight.igc", "ROOT", 0},
                 {"their-folder/flight.igc", "ROOT", 0}};
    for (const auto& file : files) {
        makeFile(dir / file.name, file.bytes);
        fs::permissions(dir / file.name, fs::perms(0644));
        giveTo(dir / file.name, file.owner);
    }
}

// The kind that `inspect` tells the user `runner` of `path`, and whether reading it through its
// links gave anything: in a child process of his.
std::pair<FileKind, bool> seenBy(unsigned runner, const std::string& path) {
#ifdef _WIN32
    static_cast<void>(runner);
    return {inspect(path).kind, openAndRead(path, true).bytes.has_value()};
#else
    const pid_t child = fork();
    if (child == 0) {
        const bool became = setgroups(0, nullptr) == 0 && setresgid(runner, runner, runner) == 0 &&
                            setresuid(runner, runner, runner) == 0;
        _exit(became ? static_cast<int>(inspect(path).kind) * 2 +
                           (openAndRead(path, true).bytes ? 1 : 0)
                     : 255);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 255) << "no child as " << runner;
    return {static_cast<FileKind>(WEXITSTATUS(status) / 2), WEXITSTATUS(status) % 2 == 1};
#endif
}

// A link of a row's layout: at `at`, of `owner`'s, to `to` (names in the test's folder).
struct OwnedLink {
    unsigned owner;
    const char* at;
    const char* to;
};
OwnedLink linkOf(unsigned owner, const char* at, const char* to) {
    return {owner, at, to};
}
const OwnedLink kNoLink = {0, nullptr, nullptr};

struct OwnerRow {
    const char* row;
    OwnedLink link;
    OwnedLink also;   // a second link, or kNoLink
    const char* path; // in the test's folder
    unsigned runner;  // 0: root, the test's user
    FileKind kind;
    const char* foreign_link; // in the test's folder; nullptr: none
    bool past_a_link;         // named where another link led, not as the path spells it
    Opened opened;            // through the links
};
void PrintTo(const OwnerRow& row, std::ostream* out) {
    *out << row.row;
}

const Opened kNotFollowed = refused(FileKind::ForeignLink, 0);

const OwnerRow kOwnerRows[] = {
    {"AnotherUsersLinkToRootsFile", linkOf(kNobody, "flight.igc", "root.dat"), kNoLink,
     "flight.igc", 0, FileKind::ForeignLink, "flight.igc", false, kNotFollowed},
    {"AnotherUsersLinkToTheirOwnFile", linkOf(kNobody, "flight.igc", "theirs.dat"), kNoLink,
     "flight.igc", 0, FileKind::Regular, nullptr, false, gave(FileKind::Regular, "THEIRS")},
    {"OwnLinkThroughAnotherUsersToRootsFile", linkOf(kNobody, "mid.dat", "root.dat"),
     linkOf(0, "flight.igc", "mid.dat"), "flight.igc", 0, FileKind::ForeignLink, "mid.dat", true,
     kNotFollowed},
    {"OwnLinkThroughAnotherUsersToTheirFile", linkOf(kNobody, "mid.dat", "theirs.dat"),
     linkOf(0, "flight.igc", "mid.dat"), "flight.igc", 0, FileKind::Regular, nullptr, false,
     gave(FileKind::Regular, "THEIRS")},
    {"AnotherUsersLinkToRootsFolder", linkOf(kNobody, "folder", "roots"), kNoLink,
     "folder/flight.igc", 0, FileKind::ForeignLink, "folder", false, kNotFollowed},
    {"NewFileThroughAnotherUsersLinkToRootsFolder", linkOf(kNobody, "folder", "roots"), kNoLink,
     "folder/new.dat", 0, FileKind::ForeignLink, "folder", false, kNotFollowed},
    {"AnotherUsersLinkToTheirFolder", linkOf(kNobody, "folder", "their-folder"), kNoLink,
     "folder/flight.igc", 0, FileKind::Regular, nullptr, false, gave(FileKind::Regular, "ROOT")},
    // A pilot's run (nobody's): his own links, and root's, lead anywhere he may read.
    {"PilotsOwnLinkToRootsFile", linkOf(kNobody, "flight.igc", "root.dat"), kNoLink, "flight.igc",
     kNobody, FileKind::Regular, nullptr, false, gave(FileKind::Regular, "ROOT")},
    {"RootsLinkToAStrangersFile", linkOf(0, "flight.igc", "strangers.dat"), kNoLink, "flight.igc",
     kNobody, FileKind::Regular, nullptr, false, gave(FileKind::Regular, "STRANGER")},
    {"AStrangersLinkToRootsFile", linkOf(kStranger, "flight.igc", "root.dat"), kNoLink,
     "flight.igc", kNobody, FileKind::ForeignLink, "flight.igc", false, kNotFollowed},
};

class LinkOwners : public TestFolder, public ::testing::WithParamInterface<OwnerRow> {};

TEST_P(LinkOwners, AreFollowedOnlyWhereTheirOwnerMayLead) {
    const OwnerRow& row = GetParam();
    if (const std::string why = othersLinksUnmade(); !why.empty())
        GTEST_SKIP() << why;
    makeOwnersFiles(dir_);
    for (const OwnedLink& link : {row.link, row.also}) {
        if (link.at != nullptr) {
            ASSERT_EQ(makeLink(dir_ / link.to, dir_ / link.at), "");
            giveTo(dir_ / link.at, link.owner);
        }
    }
    const std::string path = pathText(dir_ / row.path);
    if (row.runner != 0) {
        EXPECT_EQ(seenBy(row.runner, path), std::make_pair(row.kind, row.opened.bytes.has_value()));
        return;
    }
    const PathInfo info = inspect(path);
    EXPECT_EQ(info.kind, row.kind);
    const fs::path base = row.past_a_link ? fs::canonical(dir_) : dir_;
    EXPECT_EQ(info.foreign_link, row.foreign_link ? pathText(base / row.foreign_link) : "");
    EXPECT_EQ(openAndRead(path, true), row.opened);
}

INSTANTIATE_TEST_SUITE_P(Rows, LinkOwners, ::testing::ValuesIn(kOwnerRows), rowName<OwnerRow>);

// Whether the logbook may be written, before anything is.
struct WriteRow {
    const char* row;
    std::string (*make)(const fs::path& at);
    int error;
};
void PrintTo(const WriteRow& row, std::ostream* out) {
    *out << row.row;
}

const WriteRow kWriteRows[] = {
    {"Missing", nothing, ENOENT},
    {"ReadOnly", readOnlyFile, EACCES},
    {"Writable", morningFlight, 0},
};

class WriteAccess : public TestFolder, public ::testing::WithParamInterface<WriteRow> {};

TEST_P(WriteAccess, IsTheErrorAWriteWouldMeet) {
    const WriteRow& row = GetParam();
    const fs::path at = dir_ / "logbook.dat";
    if (const std::string why = row.make(at); !why.empty())
        GTEST_SKIP() << why;
    EXPECT_EQ(writeAccess(pathText(at)), errorOf(row.error));
}

INSTANTIATE_TEST_SUITE_P(Rows, WriteAccess, ::testing::ValuesIn(kWriteRows), rowName<WriteRow>);

// ---------------------------------------------------------------------------------------------
// The parts of a path, and a name joined to a folder: what the one gives, the others take apart
// again. Windows also takes its own separators and drives.

TEST(Paths, JoinedAndTakenApart) {
    const struct {
        const char* directory;
        const char* name;
        const char* joined;      // POSIX systems
        const char* windows;     // where Windows joins otherwise
        const char* directoryOf; // of `joined`: the folder without a separator that ended it
        bool only_windows;
    } rows[] = {
        {"IGC", "a.igc", "IGC/a.igc", "IGC\\a.igc", "IGC", false},
        {"IGC/", "a.igc", "IGC/a.igc", nullptr, "IGC", false},
        {"/data/IGC", "a.igc", "/data/IGC/a.igc", nullptr, "/data/IGC", false},
        {"/", "a.igc", "/a.igc", nullptr, "/", false},
        {"C:\\IGC", "a.igc", nullptr, "C:\\IGC\\a.igc", "C:\\IGC", true},
        {"C:\\", "a.igc", nullptr, "C:\\a.igc", "C:\\", true},
        {"C:/Flights", "a.igc", nullptr, "C:/Flights/a.igc", "C:/Flights", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.directory) + " + " + row.name);
        if (row.only_windows && !kOnWindows)
            continue;
        const std::string joined = kOnWindows && row.windows != nullptr ? row.windows : row.joined;
        EXPECT_EQ(joinPath(row.directory, row.name), joined);
        EXPECT_EQ(directoryOf(joined), row.directoryOf);
        EXPECT_EQ(fileNameOf(joined), row.name);
    }
    EXPECT_EQ(directoryOf("logbook.dat"), ".");
    EXPECT_EQ(fileNameOf("logbook.dat"), "logbook.dat");
}

// ---------------------------------------------------------------------------------------------
// The reasons that the programs quote: the same words wherever they run, those of the GNU C
// library, for every error the platform layer gives on either system.

TEST(SystemReason, IsWordedAsOnLinux) {
    const struct {
        int error;
        const char* text;
        const char* windows = nullptr; // where Windows says more than Linux would
    } rows[] = {
        {EPERM, "Operation not permitted"},
        {ENOENT, "No such file or directory"},
        {EIO, "Input/output error"},
        {EBADF, "Bad file descriptor"},
        {ENOMEM, "Cannot allocate memory"},
        {EACCES, "Permission denied"},
        {EEXIST, "File exists"},
        {EXDEV, "Invalid cross-device link"},
        {ENOTDIR, "Not a directory"},
        {EISDIR, "Is a directory"},
        {EINVAL, "Invalid argument", "The name is not allowed on Windows"},
        {EBUSY, "Device or resource busy",
         "In use by another program; close the simulator and try again"},
        {EMFILE, "Too many open files"},
        {ENOSPC, "No space left on device"},
        {EROFS, "Read-only file system"},
        {EMLINK, "Too many links"},
        {ENAMETOOLONG, "File name too long"},
        {ENOSYS, "Function not implemented"},
        {ELOOP, "Too many levels of symbolic links"},
        {EOPNOTSUPP, "Operation not supported"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const char* const text = kOnWindows && row.windows ? row.windows : row.text;
        EXPECT_EQ(systemReason(row.error), text);
        EXPECT_EQ(systemReason(errorOf(row.error)), text);
    }
}

// An error number as a code: 0 is no error at all, equal to the empty code that a step which
// did not fail returns; any other compares as the standard's condition of that number. A code of
// another category is worded by its own category, never read as an error number of this module.
TEST(ErrorCodes, AreTheErrorNumbersAndNoErrorIsEmpty) {
    EXPECT_FALSE(errorOf(0));
    EXPECT_EQ(errorOf(0), std::error_code());
    EXPECT_TRUE(errorOf(ENOENT));
    EXPECT_EQ(errorOf(ENOENT), std::errc::no_such_file_or_directory);
    EXPECT_EQ(errorOf(EACCES).category(), std::generic_category());
    EXPECT_NE(errorOf(EACCES), errorOf(EPERM));

    const std::error_code foreign = std::make_error_code(std::io_errc::stream);
    ASSERT_EQ(foreign.value(), EPERM) << "the row needs a code whose number is another's";
    EXPECT_EQ(systemReason(foreign), foreign.message());
    EXPECT_NE(systemReason(foreign), systemReason(EPERM));
}

} // namespace
} // namespace platform
