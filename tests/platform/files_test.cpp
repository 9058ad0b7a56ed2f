// What sits at a path and what the platform layer makes of it: a folder's listing (kinds, links,
// sizes and times; hidden files and other names left out), a flight opened safely whatever was
// put at its path, whether a file may be written, the parts of a path, and the system's reasons
// in the same words on every system.

#include "platform/Files.h"

#include "MadeFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace platform {

std::ostream& operator<<(std::ostream& out, FileKind kind) {
    constexpr const char* kNames[] = {"Missing",     "Regular",   "Directory", "CharacterDevice",
                                      "BlockDevice", "NamedPipe", "Socket",    "DanglingLink",
                                      "LinkLoop",    "Other"};
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
};

class Listing : public TestFolder, public ::testing::WithParamInterface<ListingRow> {};

TEST_P(Listing, GivesEachFlightWithItsKindSizeAndTime) {
    const ListingRow& row = GetParam();
    if (const std::string why = row.make(dir_ / row.name); !why.empty())
        GTEST_SKIP() << why;
    std::vector<DirectoryEntry> entries;
    int error = -1;
    ASSERT_TRUE(listDirectory(pathText(dir_), isFlightName, entries, error)) << error;
    EXPECT_EQ(error, 0);
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
    std::vector<DirectoryEntry> entries;
    int error = 0;
    EXPECT_FALSE(listDirectory(pathText(folder), isFlightName, entries, error));
    EXPECT_EQ(error, row.error) << systemReason(error);
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
    int error = 0;                    // why it was not opened, or not read
    std::optional<std::string> bytes; // what it held, when read
    bool operator==(const Opened&) const = default;
};
void PrintTo(const Opened& opened, std::ostream* out) {
    *out << opened.kind << ", error " << opened.error;
    if (opened.bytes)
        *out << ", \"" << *opened.bytes << "\"";
}
Opened gave(FileKind kind, const char* bytes) {
    return {kind, 0, bytes};
}
Opened refused(FileKind kind, int error) {
    return {kind, error, std::nullopt};
}

Opened openAndRead(const std::string& path, bool through_link) {
    Opened opened;
    int error = 0;
    std::FILE* file = openFlight(path, through_link, opened.kind, error);
    if (file == nullptr) {
        opened.error = error;
        return opened;
    }
    std::string bytes;
    char block[256];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;)
        bytes.append(block, got);
    if (std::ferror(file) != 0)
        opened.error = errno;
    else
        opened.bytes = bytes;
    std::fclose(file);
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
    EXPECT_EQ(writeAccess(pathText(at)), row.error);
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
        {EINVAL, "Invalid argument"},
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
        EXPECT_EQ(systemReason(row.error), row.text);
    }
}

} // namespace
} // namespace platform
