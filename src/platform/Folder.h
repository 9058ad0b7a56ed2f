#pragma once

// A folder worked from one handle of it: once opened, every name is looked up, read, created,
// linked, renamed and removed in that very folder, whatever happens to the path that led to it
// (a folder swapped for a link to another user's, renamed, or moved away). On POSIX systems a
// folder descriptor and the *at calls; on Windows a handle that keeps the folder from being
// renamed or removed while it is open, and a check by the folder's file ID that its path still
// leads to it. Names are single names of the folder (no separator), as bytes on POSIX and UTF-8
// on Windows. Failures are the system's error codes, as in Files.h; no texts for the user here.

#include "platform/Files.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// "Stale": a folder's path that no longer leads to the folder opened, a lock file no longer at
// its name. Windows' C library has no such error number; its sockets' one stands in.
#ifndef ESTALE
#define ESTALE 10070
#endif

namespace platform {

/// What tells a file, and its bytes as they were, from any other: the file itself (its device
/// and number) and its size and last modification.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    std::int64_t size = -1;
    std::int64_t modified_ns = 0; // nanoseconds since 1970
    bool operator==(const FileIdentity&) const = default;
    /// The same file, whatever was written to it since.
    [[nodiscard]] bool sameFile(const FileIdentity& other) const {
        return device == other.device && file == other.file;
    }
};

/// What a name of a folder holds, a link there not followed.
struct FolderEntry {
    FileKind kind = FileKind::Missing;
    bool is_link = false;
    FileIdentity id;
    std::uint32_t owner = 0; // POSIX user and group ids; 0 on Windows
    std::uint32_t group = 0;
    std::uint32_t mode = 0;  // POSIX mode bits (permissions, set-group-ID); 0 on Windows
    std::uint32_t links = 0; // names the file has
};

/// The name of the user `id`, or the number when the system knows no name for it.
std::string userName(std::uint32_t id);

class Folder {
public:
    Folder();
    ~Folder();
    Folder(Folder&&) noexcept;
    Folder& operator=(Folder&&) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    /// Opens the folder at `path`, symbolic links on the way followed only as `inspect` follows
    /// them (another user's link: ELOOP, the link in `foreign_link` when given). No error, or the
    /// error (ENOENT, ENOTDIR, EACCES).
    std::error_code open(const std::string& path, std::string* foreign_link = nullptr);
    [[nodiscard]] bool isOpen() const;
    /// The path it was opened by, for words only: nothing is ever opened by it again.
    [[nodiscard]] const std::string& path() const { return path_; }
    /// `name` in this folder, as a path for words.
    [[nodiscard]] std::string pathOf(std::string_view name) const;

    /// What the folder itself is (its owner, group and set-group-ID bit), or the error.
    [[nodiscard]] Expected<FolderEntry, std::error_code> lookSelf() const;
    /// What `name` holds, a link not followed; kind Missing when nothing. Or the error.
    [[nodiscard]] Expected<FolderEntry, std::error_code> look(std::string_view name) const;
    /// No error while the path it was opened by still leads to this very folder; ESTALE when it
    /// leads elsewhere (swapped, renamed), or the error that kept it from being looked at.
    [[nodiscard]] std::error_code stillAt() const;

    /// Opens the regular file `name` for reading, never through a link, never waiting on a
    /// named pipe or a device put there: the file (the caller's to close), or the error (ELOOP
    /// for a link, EINVAL for anything but a regular file); `entry`, when given, is what was
    /// opened.
    [[nodiscard]] Expected<std::FILE*, std::error_code>
    openRead(std::string_view name, FolderEntry* entry = nullptr) const;
    /// Opens a flight that the folder's listing gave, as `platform::openFlight` opens a path:
    /// through a link only when `through_link` and only as `inspect` follows one.
    [[nodiscard]] OpenedFlight openFlight(std::string_view name, bool through_link) const;
    /// The entries of the folder whose names `wanted` accepts, as `listDirectory` gives them.
    [[nodiscard]] Expected<std::vector<DirectoryEntry>, std::error_code>
    list(const std::function<bool(std::string_view name)>& wanted) const;

    /// Gives `from` the name `to`; `replacing` what `to` holds, else EEXIST when it holds
    /// anything. No error, or the error.
    [[nodiscard]] std::error_code rename(std::string_view from, std::string_view to,
                                         bool replacing) const;
    /// Gives the file `from` a second name `to`, which must be free. No error, or the error:
    /// EPERM, EMLINK, EOPNOTSUPP or ENOSYS where the file system has no second names.
    [[nodiscard]] std::error_code link(std::string_view from, std::string_view to) const;
    /// Removes the name `name` (never what a link there leads to). No error, or the error.
    [[nodiscard]] std::error_code remove(std::string_view name) const;
    /// Makes the folder's names durable. No error, or the error.
    [[nodiscard]] std::error_code sync() const;
    /// No error when the file `name` may be renamed or given up now (or is not there); the
    /// error otherwise: on Windows a file that another program holds open without letting it be
    /// moved, as the simulator holds its logbook. POSIX systems rename files in use.
    [[nodiscard]] std::error_code replaceable(std::string_view name) const;

    /// Writes `bytes` as the new file `name` (which must be free), durable before this returns,
    /// private to its owner. No error, or the error (nothing left under `name` then).
    [[nodiscard]] std::error_code writeNew(std::string_view name, std::string_view bytes) const;
    /// The regular file `name` whole, at most `limit` bytes (EFBIG beyond), or the error.
    [[nodiscard]] Expected<std::string, std::error_code> readSmall(std::string_view name,
                                                                   std::size_t limit) const;

private:
    friend class NewFile;
    friend class RunLock;
    struct State;
    std::unique_ptr<State> state_;
    std::string path_; // as given to `open`
};

/// A new file in a folder, written and made durable before anything else is touched; it has no
/// name (Linux) or a temporary name of the target's (`temporaryNameFor`) until the caller gives
/// it its place. Dropped when it goes unless `keep` was called.
class NewFile {
public:
    NewFile();
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    /// Creates the file in `folder`, for the target `target_name`; `watcher` is told its name
    /// while it has one. No error, or the error.
    [[nodiscard]] std::error_code create(const Folder& folder, std::string_view target_name,
                                         TemporaryWatcher watcher = {});
    /// Appends `size` bytes. No error, or the error (ENOSPC, say).
    [[nodiscard]] std::error_code write(const char* data, std::size_t size);
    /// Reads back up to `size` bytes from `offset` of what was written: how many (0 at its end),
    /// or the error.
    [[nodiscard]] Expected<std::size_t, std::error_code> readBack(std::int64_t offset, char* data,
                                                                  std::size_t size);
    /// Makes the file durable, with the owner, group and permissions of `like` (the file it
    /// replaces; never set-user-ID, set-group-ID or sticky bits) or, when null, those of a new
    /// file of the folder's owner, so that a run of root's leaves the pilot's folder his. No
    /// error, or the error.
    [[nodiscard]] std::error_code finish(const FolderEntry* like);
    /// The file as it is now.
    [[nodiscard]] FileIdentity identity() const;
    /// Gives the file a temporary name beside the target when it has none yet. No error, or the
    /// error.
    [[nodiscard]] std::error_code giveName();
    /// Its name while it has one; empty when unnamed.
    [[nodiscard]] const std::string& name() const;
    /// Its name is the caller's now (it was put in place): nothing is removed when this goes.
    void keep();
    /// Drops the file and its temporary name.
    void discard();

private:
    struct State;
    std::unique_ptr<State> state_;
};

/// Lets one run at a time change a target, through a lock file beside it (the target's name
/// plus ".lock"). Only a user who may write that file can hold the lock: it is made private to
/// its maker, widened to the group when the target (or a shared, set-group-ID folder) lets its
/// group write, and given to the target's or the folder's owner when root makes it. It is the
/// file that is locked, not its spelling, so that every path that leads to it meets the same
/// lock. The lock file is never removed; released when this goes and, by the system, when the
/// process dies.
class RunLock {
public:
    RunLock();
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    /// Takes the lock of `target_name` in `folder` without waiting; `target` is what the target
    /// is now (kind Missing when nothing). No error; EWOULDBLOCK when another run holds it; or
    /// the error that kept the lock file from being made or locked: no lock is held then, and
    /// the run must not write. `owner` is the lock file's owner, when there is one.
    [[nodiscard]] std::error_code acquire(const Folder& folder, std::string_view target_name,
                                          const FolderEntry& target, std::uint32_t& owner);
    /// No error while the lock file held is still the one at its name (one removed or replaced
    /// by hand no longer keeps a second run out); ESTALE otherwise.
    [[nodiscard]] std::error_code stillHeld() const;
    /// The lock file's name for `target_name`.
    static std::string nameFor(std::string_view target_name);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
