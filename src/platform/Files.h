#pragma once

// The file-system operations that the logbook needs from the system it runs on, one home for
// each platform (FilesPosix.cpp, FilesWindows.cpp): what sits at a path, a directory's entries
// with their times, a flight opened without blocking, a new file put in place of an old one with
// a backup, and the lock that lets one run at a time write a logbook. Paths are bytes: on POSIX
// exactly as given, on Windows UTF-8. No texts for the user here: the caller words them.
//
// A failure is the system's error number as a std::error_code of the generic category (Windows'
// own errors mapped to those numbers first), so that a reason reads and compares the same on
// every system; a step that did not fail gives the empty code, and one that gives something back
// gives an Expected of it.

#include "platform/Expected.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace platform {

/// The system's error number `error` as a code; 0 is no error, the empty code, which compares
/// equal to a default `std::error_code`.
inline std::error_code errorOf(int error) {
    return error == 0 ? std::error_code() : std::error_code(error, std::generic_category());
}

/// What a path names, symbolic links followed.
enum class FileKind {
    Missing, // nothing of that name
    Regular, // a regular file
    Directory,
    CharacterDevice, // /dev/null, a terminal
    BlockDevice,
    NamedPipe,
    Socket,
    DanglingLink, // a symbolic link to nothing
    LinkLoop,     // symbolic links that lead back to themselves
    ForeignLink,  // a symbolic link of another user's, not followed (see `inspect`)
    Other,        // anything else, or what could not be looked at (`error` says why)
};

struct PathInfo {
    FileKind kind = FileKind::Missing;
    bool is_link = false; // the path itself is a symbolic link
    // The file a link leads to; the path itself otherwise, on Windows with its last name as the
    // system takes it (the dots and spaces that end it dropped, an 8.3 short name of an existing
    // file as its long name), so that names made from it (".bak", ".lock") are that file's.
    std::string resolved;
    std::error_code error;        // the system's error when the kind could not be told
    std::int64_t modified_ms = 0; // a regular file's last modification, ms since 1970
    // With ForeignLink: the link not followed, as `path` spells it when it is part of it (the
    // path itself, one of its directories), else where a link before it led.
    std::string foreign_link;
    // With CharacterDevice, on Windows: the last name is one that Windows gives to a device in
    // every folder (NUL, CON, COM1, also with an extension), not a device the pilot chose.
    bool reserved_name = false;
};

/// What sits at `path`. On POSIX systems a symbolic link on the way (the path itself, one of its
/// directories, each link of a chain) is followed only when it belongs to the user running, to
/// the owner of what it leads to, or to root: anyone else's would have this run read or replace
/// a file that its maker could not. Otherwise the kind is ForeignLink, whatever lies beyond it.
PathInfo inspect(const std::string& path);

/// The system's text for an error number of this module ("No space left on device").
std::string systemReason(int error);
/// The same for a code of this module; a code of another category in its own words.
std::string systemReason(std::error_code error);

/// Whether the system's user may write the file at `path` (its permissions, a read-only mount):
/// no error, or the one that a write would meet.
std::error_code writeAccess(const std::string& path);

/// The directory that holds `path` ("." for a bare name).
std::string directoryOf(const std::string& path);
/// `path` without its directory.
std::string fileNameOf(const std::string& path);
/// The name that `path` gives a file in the folder `directoryOf(path)`, whole: on Windows a ':'
/// in it stays (a stream's name, which no file may have), where `fileNameOf` takes it for a
/// drive's.
std::string lastNameOf(const std::string& path);
/// The path of `name` in `directory`, with the system's separator; one separator that ends the
/// directory's path is its own ("IGC/" names IGC), the root's is kept.
std::string joinPath(const std::string& directory, const std::string& name);

/// Whether two names that differ only in letter case name the same file, as on Windows.
#ifdef _WIN32
inline constexpr bool kFileNamesIgnoreCase = true;
#else
inline constexpr bool kFileNamesIgnoreCase = false;
#endif

/// Whether `name` is that of a flight recording: ending in ".igc" in any letter case, and not
/// hidden (a leading "."), which is how the simulator's own system matches "*.igc".
bool isFlightName(std::string_view name);

/// One entry of a directory listing.
struct DirectoryEntry {
    std::string name; // bytes (POSIX) or UTF-8 (Windows)
    FileKind kind = FileKind::Other;
    bool is_link = false;         // listed as a symbolic link (followed for `kind` as `inspect`
                                  // follows one; kind ForeignLink, time its own, where not)
    std::int64_t modified_ms = 0; // last modification, milliseconds since 1970
    std::int64_t size = 0;        // bytes, of a regular file (behind a link: of its target)
    std::error_code error;        // why the kind could not be told, with kind Other
};

/// The entries of `directory` whose names `wanted` accepts, in the system's order; the system's
/// error when the directory cannot be read or searched (read but not searchable counts as
/// unreadable: its files could not be opened).
Expected<std::vector<DirectoryEntry>, std::error_code>
listDirectory(const std::string& directory,
              const std::function<bool(std::string_view name)>& wanted);

/// What opening a flight found: a file to read, or what was there instead.
struct OpenedFlight {
    std::FILE* file = nullptr; // the caller's to close; null when not opened
    FileKind kind = FileKind::Other;
    // Why it was not opened; empty with no file when something that is no file was found.
    std::error_code error;
};

/// Opens a flight that a listing gave, for reading: never blocks (a named pipe put in its place
/// after the listing is not waited on), follows a symbolic link only when `through_link` (the
/// listing saw one) and then only as `inspect` would (else kind ForeignLink, no error), and gives
/// a file only for a regular file or a directory (whose reading then fails). Otherwise no file,
/// with `kind` telling what was found, or `error` the system's reason.
OpenedFlight openFlight(const std::string& path, bool through_link);

/// Told a temporary file's path when it gets a name beside the target, and an empty path once it
/// has none: `in_place` when it became the target, not when it was removed. An interruption
/// handler removes the file it was last told of.
using TemporaryWatcher = std::function<void(const std::string& path, bool in_place)>;

} // namespace platform
