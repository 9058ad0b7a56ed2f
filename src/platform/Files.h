#pragma once

// The file-system operations that the logbook needs from the system it runs on, one home for
// each platform (FilesPosix.cpp, FilesWindows.cpp): what sits at a path, a directory's entries
// with their times, a flight opened without blocking, a new file put in place of an old one with
// a backup, and the lock that lets one run at a time write a logbook. Paths are bytes: on POSIX
// exactly as given, on Windows UTF-8. No texts for the user here: the caller words them.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

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
    Other,        // anything else, or what could not be looked at (`error` says why)
};

struct PathInfo {
    FileKind kind = FileKind::Missing;
    bool is_link = false; // the path itself is a symbolic link
    std::string resolved; // the file a link leads to; the path itself otherwise
    int error = 0;        // the system's error when the kind could not be told
};

/// What sits at `path`.
PathInfo inspect(const std::string& path);

/// The system's text for an error code of this module ("No space left on device").
std::string systemReason(int error);

/// Whether the system's user may write the file at `path` (its permissions, a read-only mount):
/// 0, or the error that a write would meet.
int writeAccess(const std::string& path);

/// The directory that holds `path` ("." for a bare name).
std::string directoryOf(const std::string& path);
/// `path` without its directory.
std::string fileNameOf(const std::string& path);
/// The path of `name` in `directory`, with the system's separator; one separator that ends the
/// directory's path is its own ("IGC/" names IGC), the root's is kept.
std::string joinPath(const std::string& directory, const std::string& name);

/// Whether `name` is that of a flight recording: ending in ".igc" in any letter case, and not
/// hidden (a leading "."), which is how the simulator's own system matches "*.igc".
bool isFlightName(std::string_view name);

/// One entry of a directory listing.
struct DirectoryEntry {
    std::string name; // bytes (POSIX) or UTF-8 (Windows)
    FileKind kind = FileKind::Other;
    bool is_link = false;         // listed as a symbolic link (followed for `kind`)
    std::int64_t modified_ms = 0; // last modification, milliseconds since 1970
    std::int64_t size = 0;        // bytes, of a regular file (behind a link: of its target)
    int error = 0;                // why the kind could not be told, with kind Other
};

/// The entries of `directory` whose names `wanted` accepts, in the system's order. False, with
/// the system's error, when the directory cannot be read or searched (read but not searchable
/// counts as unreadable: its files could not be opened).
bool listDirectory(const std::string& directory,
                   const std::function<bool(std::string_view name)>& wanted,
                   std::vector<DirectoryEntry>& entries, int& error);

/// Opens a flight that a listing gave, for reading: never blocks (a named pipe put in its place
/// after the listing is not waited on), follows a symbolic link only when `through_link` (the
/// listing saw one), and gives a file only for a regular file or a directory (whose reading then
/// fails). Otherwise null, with `kind` telling what was found, or `error` the system's reason.
std::FILE* openFlight(const std::string& path, bool through_link, FileKind& kind, int& error);

/// Told a temporary file's path when it gets a name beside the target, and an empty path once it
/// has none: `in_place` when it became the target, not when it was removed. An interruption
/// handler removes the file it was last told of.
using TemporaryWatcher = std::function<void(const std::string& path, bool in_place)>;

/// The step of `NewFile::replace` that failed.
enum class ReplaceStep {
    None,
    Sync,    // making the new file durable, with its owner and permissions
    ReadOld, // reading the old target, to copy it where hard links cannot keep it
    Backup,  // keeping the old target as the backup
    Replace, // putting the new file in the target's place
};

/// A new file beside a target, written and made durable, then put in the target's place in one
/// step: until then the target is as it was, and a run that dies leaves nothing that the next
/// run's `removeLeftovers` does not clean. On Linux the file has no name until it is put in
/// place.
class NewFile {
public:
    NewFile();
    ~NewFile(); // drops the file unless it was put in place
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    /// Creates the file in the directory of `target` (which may not exist yet). 0, or the error.
    int create(const std::string& target, TemporaryWatcher watcher = {});
    /// Appends `size` bytes. 0, or the error (ENOSPC, say).
    int write(const char* data, std::size_t size);

    /// Makes the file durable and puts it at the target: an existing target keeps its owner,
    /// group and permissions (never set-user-ID, set-group-ID or sticky bits) and is itself kept
    /// as `backup` when one is named (an older `backup` is replaced); a new target gets the
    /// permissions of any new file. `step` and the error tell what failed; the target is as it
    /// was then, and so is `backup` unless the step was Replace.
    int replace(const std::string& backup, ReplaceStep& step);

    /// Drops the file; the target is as it was.
    void discard();

private:
    struct State;
    std::unique_ptr<State> state_;
};

/// Gives the file `from` the name `to` in one step, replacing what `to` named. 0, or the error
/// (ENOENT when there is no `from`).
int renameReplacing(const std::string& from, const std::string& to);

/// Removes what runs on `target` that died may have left beside it (temporary files of
/// `NewFile`, of this target only). Call it only while holding the target's `RunLock`.
void removeLeftovers(const std::string& target);

/// Lets one run at a time write a target. Released when destroyed and, by the system, when the
/// process dies, so that it never needs cleaning.
class RunLock {
public:
    RunLock();
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    /// Takes the lock of `target` without waiting. 0; EWOULDBLOCK when another run holds it; or
    /// the error that kept the lock from being taken.
    int acquire(const std::string& target);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
