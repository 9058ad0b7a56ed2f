#include "platform/Files.h"

#include "platform/TemporaryNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

FileKind kindOfMode(mode_t mode) {
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Directory;
    if (S_ISCHR(mode))
        return FileKind::CharacterDevice;
    if (S_ISBLK(mode))
        return FileKind::BlockDevice;
    if (S_ISFIFO(mode))
        return FileKind::NamedPipe;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    return FileKind::Other;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Durable once this returns 0: the data and the file's size are on disk. A file system that
// cannot sync (EINVAL) has nothing to make durable.
int syncFile(int fd) {
    return fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
}

// The permissions a newly created file gets from the process's file mode mask.
mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A name beside `target` that nothing has yet: the target's name, the mark and six letters.
// Gives `fd`'s file the owner and group of `old` where the system allows it; a run by another
// user (root, say) then leaves the pilot's file his. The permission bits follow, without the
// set-user-ID, set-group-ID and sticky bits, which a logbook never needs and a copy must never
// hand out.
int takeOwnerAndMode(int fd, const struct stat& old) {
    if (old.st_uid != geteuid() || old.st_gid != getegid()) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0)
            static_cast<void>(fchown(fd, static_cast<uid_t>(-1), old.st_gid));
    }
    return fchmod(fd, old.st_mode & 0777) == 0 ? 0 : errno;
}

// Links `from` under a new temporary name beside `target`: 0 with `name` set, or the error.
int linkBeside(const std::string& target, const std::function<int(const std::string&)>& link_to,
               std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = temporaryNameFor(target);
        if (link_to(candidate) == 0) {
            name = candidate;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// Where hard links are not to be had (a FAT stick, say): a whole copy of `from` at `to`, through
// a temporary file, with the old file's owner and group where allowed.
int copyWhole(const std::string& from, const std::string& to, const struct stat& old,
              ReplaceStep& step) {
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (source < 0) {
        step = ReplaceStep::ReadOld;
        return errno;
    }
    std::string copy;
    int sink = -1;
    const int created = linkBeside(
        to,
        [&sink](const std::string& candidate) {
            sink = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            return sink >= 0 ? 0 : -1;
        },
        copy);
    if (created != 0) {
        ::close(source);
        step = ReplaceStep::Backup;
        return created;
    }
    int error = 0;
    char block[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(source, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            step = ReplaceStep::ReadOld;
        } else if (got > 0 && !writeAll(sink, block, static_cast<std::size_t>(got))) {
            error = errno;
            step = ReplaceStep::Backup;
        }
        if (got <= 0 || error != 0)
            break;
    }
    ::close(source);
    if (error == 0) {
        step = ReplaceStep::Backup;
        error = takeOwnerAndMode(sink, old);
    }
    if (error == 0)
        error = syncFile(sink);
    if (::close(sink) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(copy.c_str(), to.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(copy.c_str());
    return error;
}

void syncDirectoryOf(const std::string& path) {
    const int directory = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        static_cast<void>(fsync(directory));
        ::close(directory);
    }
}

} // namespace

PathInfo inspect(const std::string& path) {
    PathInfo info;
    info.resolved = path;
    struct stat link {};
    if (lstat(path.c_str(), &link) != 0) {
        if (errno != ENOENT) {
            info.kind = FileKind::Other;
            info.error = errno;
        }
        return info;
    }
    info.is_link = S_ISLNK(link.st_mode);
    struct stat target {};
    if (stat(path.c_str(), &target) != 0) {
        info.error = errno;
        info.kind = info.error == ENOENT  ? FileKind::DanglingLink
                    : info.error == ELOOP ? FileKind::LinkLoop
                                          : FileKind::Other;
        return info;
    }
    info.kind = kindOfMode(target.st_mode);
    if (info.is_link) {
        char real[PATH_MAX];
        if (realpath(path.c_str(), real) != nullptr)
            info.resolved = real;
    }
    return info;
}

std::string systemReason(int error) {
    return std::strerror(error);
}

int writeAccess(const std::string& path) {
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string joinPath(const std::string& directory, const std::string& name) {
    std::string base = directory;
    if (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base.empty() || base.back() != '/')
        base += '/';
    return base + name;
}

bool isFlightName(std::string_view name) {
    if (name.size() < 4 || name[0] == '.')
        return false;
    const std::string_view extension = name.substr(name.size() - 4);
    return extension[0] == '.' && (extension[1] | 0x20) == 'i' && (extension[2] | 0x20) == 'g' &&
           (extension[3] | 0x20) == 'c';
}

bool listDirectory(const std::string& directory,
                   const std::function<bool(std::string_view name)>& wanted,
                   std::vector<DirectoryEntry>& entries, int& error) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    // Listable but not searchable: the names are there, but not one file could be opened.
    if (faccessat(fd, ".", X_OK, AT_EACCESS) != 0) {
        error = errno;
        ::close(fd);
        return false;
    }
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        error = errno;
        ::close(fd);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* found = readdir(dir);
        if (found == nullptr) {
            error = errno;
            break;
        }
        const std::string_view name = found->d_name;
        if (!wanted(name))
            continue;
        DirectoryEntry entry;
        entry.name = name;
        struct stat link {};
        entry.is_link =
            found->d_type == DT_LNK ||
            (found->d_type == DT_UNKNOWN &&
             fstatat(fd, found->d_name, &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode));
        struct stat info {};
        if (fstatat(fd, found->d_name, &info, 0) != 0) {
            entry.error = errno;
            if (entry.error == EACCES) { // as above: a directory whose files cannot be opened
                error = EACCES;
                break;
            }
            entry.kind = entry.is_link && entry.error == ENOENT  ? FileKind::DanglingLink
                         : entry.is_link && entry.error == ELOOP ? FileKind::LinkLoop
                                                                 : FileKind::Other;
        } else {
            entry.kind = kindOfMode(info.st_mode);
            entry.modified_ms = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000 +
                                static_cast<std::int64_t>(info.st_mtim.tv_nsec / 1000000);
            if (S_ISREG(info.st_mode))
                entry.size = static_cast<std::int64_t>(info.st_size);
        }
        entries.push_back(std::move(entry));
    }
    closedir(dir);
    return error == 0;
}

std::FILE* openFlight(const std::string& path, bool through_link, FileKind& kind, int& error) {
    const int no_follow = through_link ? 0 : O_NOFOLLOW;
    // Looked at before it is opened: opening a device can do things (rewind a tape), and
    // opening a named pipe for reading waits for a writer.
    int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC | no_follow);
    if (fd < 0) {
        error = errno;
        kind = FileKind::Other;
        return nullptr;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))) {
        error = S_ISLNK(info.st_mode) ? ELOOP : 0;
        kind = kindOfMode(info.st_mode);
        ::close(fd);
        return nullptr;
    }
    kind = kindOfMode(info.st_mode);
    // The very file looked at, opened for reading through its descriptor.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    int readable = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (readable < 0 && errno == ENOENT) // no /proc: by its path, still never waiting
        readable = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | no_follow);
    error = errno;
    ::close(fd);
    if (readable < 0)
        return nullptr;
    struct stat opened {};
    if (fstat(readable, &opened) != 0 || opened.st_ino != info.st_ino ||
        opened.st_dev != info.st_dev) {
        ::close(readable);
        error = ESTALE;
        return nullptr;
    }
    const int flags = fcntl(readable, F_GETFL);
    if (flags >= 0)
        static_cast<void>(fcntl(readable, F_SETFL, flags & ~O_NONBLOCK));
    std::FILE* file = fdopen(readable, "rb");
    if (file == nullptr) {
        error = errno;
        ::close(readable);
    }
    return file;
}

struct NewFile::State {
    int fd = -1;
    std::string target;
    std::string named; // the file's name while it has one
    bool unnamed = false;
    TemporaryWatcher watcher;

    void tell(const std::string& path, bool in_place) const {
        if (watcher)
            watcher(path, in_place);
    }
};

NewFile::NewFile() : state_(std::make_unique<State>()) {}

NewFile::~NewFile() {
    discard();
}

int NewFile::create(const std::string& target, TemporaryWatcher watcher) {
    discard();
    state_->target = target;
    state_->watcher = std::move(watcher);
#ifdef O_TMPFILE
    // Unnamed until it is put in place: a run that dies leaves nothing behind.
    state_->fd =
        ::open(directoryOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, newFileMode());
    if (state_->fd >= 0) {
        state_->unnamed = true;
        return 0;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return errno;
#endif
    const int error = linkBeside(
        target,
        [this](const std::string& candidate) {
            state_->fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            return state_->fd >= 0 ? 0 : -1;
        },
        state_->named);
    if (error == 0)
        state_->tell(state_->named, false);
    return error;
}

int NewFile::write(const char* data, std::size_t size) {
    if (state_->fd < 0)
        return EBADF;
    return writeAll(state_->fd, data, size) ? 0 : errno;
}

int NewFile::replace(const std::string& backup, ReplaceStep& step) {
    step = ReplaceStep::Sync;
    if (state_->fd < 0)
        return EBADF;
    const std::string& target = state_->target;
    struct stat old {};
    const bool had_old = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    int error = had_old ? takeOwnerAndMode(state_->fd, old)
                        : (fchmod(state_->fd, newFileMode()) == 0 ? 0 : errno);
    if (error == 0)
        error = syncFile(state_->fd);
    if (error != 0)
        return error;

    if (had_old && !backup.empty()) {
        // The old logbook itself becomes the backup: a second name, then renamed over the older
        // backup. Owner, group, mode and bytes stay exactly as they were; nothing is copied.
        step = ReplaceStep::Backup;
        std::string second;
        error = linkBeside(
            target,
            [&target](const std::string& candidate) {
                return ::link(target.c_str(), candidate.c_str());
            },
            second);
        if (error == 0) {
            if (::rename(second.c_str(), backup.c_str()) != 0) {
                error = errno;
                ::unlink(second.c_str());
                return error;
            }
        } else if (error == EPERM || error == EOPNOTSUPP || error == EMLINK || error == ENOSYS) {
            error = copyWhole(target, backup, old, step);
            if (error != 0)
                return error;
        } else {
            return error;
        }
    }

    step = ReplaceStep::Replace;
    if (state_->unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(state_->fd);
        const int fd = state_->fd;
        error = linkBeside(
            target,
            [&self, fd](const std::string& candidate) {
                if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(),
                             AT_SYMLINK_FOLLOW) == 0)
                    return 0;
                if (errno != ENOENT) // no /proc; linking by the descriptor needs privilege
                    return -1;
                return ::linkat(fd, "", AT_FDCWD, candidate.c_str(), AT_EMPTY_PATH);
            },
            state_->named);
        if (error != 0)
            return error;
        state_->unnamed = false;
        state_->tell(state_->named, false);
    }
    if (::rename(state_->named.c_str(), target.c_str()) != 0)
        return errno; // the destructor removes the named file
    state_->named.clear();
    state_->tell({}, true);
    ::close(state_->fd);
    state_->fd = -1;
    // The renames themselves on disk too.
    syncDirectoryOf(target);
    step = ReplaceStep::None;
    return 0;
}

void NewFile::discard() {
    if (state_->fd >= 0) {
        ::close(state_->fd);
        state_->fd = -1;
    }
    state_->unnamed = false;
    if (!state_->named.empty()) {
        ::unlink(state_->named.c_str());
        state_->named.clear();
        state_->tell({}, false);
    }
}

int renameReplacing(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void removeLeftovers(const std::string& target) {
    const std::string target_name = fileNameOf(target);
    DIR* dir = opendir(directoryOf(target).c_str());
    if (dir == nullptr)
        return;
    while (const dirent* found = readdir(dir)) {
        if (!isTemporaryOf(target_name, found->d_name))
            continue;
        struct stat info {};
        if (fstatat(dirfd(dir), found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode))
            static_cast<void>(unlinkat(dirfd(dir), found->d_name, 0));
    }
    closedir(dir);
}

struct RunLock::State {
    int fd = -1;
};

RunLock::RunLock() : state_(std::make_unique<State>()) {}

RunLock::~RunLock() {
    if (state_->fd >= 0)
        ::close(state_->fd); // releases the lock
}

int RunLock::acquire(const std::string& target) {
    // The lock of the target's directory: it exists before the target does, and the backups and
    // temporary files of the target are in it too.
    const int fd = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EINTR)
            continue;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return EWOULDBLOCK;
        return 0; // a file system without locks: run unlocked, as every run did before
    }
    if (state_->fd >= 0)
        ::close(state_->fd);
    state_->fd = fd;
    return 0;
}

} // namespace platform
