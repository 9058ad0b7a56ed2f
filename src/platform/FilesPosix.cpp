#include "platform/Files.h"

#include "platform/FaultPoints.h"
#include "platform/Interrupts.h"
#include "platform/TemporaryNames.h"
#include "platform/UniqueHandle.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

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
    if (const int fault = injectedFault(FaultPoint::Sync); fault != 0)
        return fault;
    return fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
}

// Gives `from` the name `to`, replacing what `to` named: 0, or the error.
int renamed(const std::string& from, const std::string& to) {
    if (const int fault = injectedFault(FaultPoint::Rename); fault != 0)
        return fault;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
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

// Where hard links are not to be had (a FAT stick, say): a whole copy of `target` at `to`,
// through a temporary file named as the target's are, so that the interruption handler and a
// later run's sweep know it; with the old file's owner and group where allowed.
int copyWhole(const std::string& target, const std::string& to, ReplaceStep& step) {
    const int source = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat old {};
    if (source < 0 || fstat(source, &old) != 0) {
        step = ReplaceStep::ReadOld;
        const int error = errno;
        if (source >= 0)
            ::close(source);
        return error;
    }
    std::string copy;
    int sink = -1;
    const int created = linkBeside(
        target,
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
    watchCopy(copy);
    int error = 0;
    char block[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(source, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            step = ReplaceStep::ReadOld;
        } else if (got > 0) {
            error = injectedFault(FaultPoint::Copy);
            if (error == 0 && !writeAll(sink, block, static_cast<std::size_t>(got)))
                error = errno;
            if (error != 0)
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
    if (error == 0)
        error = renamed(copy, to);
    if (error != 0)
        ::unlink(copy.c_str());
    watchCopy({});
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

// Symbolic links are followed only on a word that may be trusted: a run (of root's, say) must not
// read or replace a file of one user's because another user put a link to it where the run looks.
namespace {

struct DescriptorTraits {
    using Handle = int;
    static int none() noexcept { return -1; }
    static bool holds(int fd) noexcept { return fd >= 0; }
    static void close(int fd) noexcept { ::close(fd); }
};
using Descriptor = UniqueHandle<DescriptorTraits>;

// As many links as the system itself follows on one path before it calls it a loop.
constexpr int kMostLinks = 40;

// Whether a link of `link_owner` may be followed to what it leads to, a file of `target_owner`:
// when it is this run's user's own, or made by the owner of that file (who could reach it
// anyway), or by root (who could reach any). Otherwise its maker would have this run read or
// write a file that he could not: "symlinks if owner match", as web servers say.
bool followable(uid_t link_owner, uid_t target_owner) {
    return link_owner == geteuid() || link_owner == target_owner || link_owner == 0;
}

// Where a path leads when every link on the way, in its directories too, is followed only where
// `followable` allows it.
struct Way {
    Descriptor end;           // an O_PATH descriptor of the file reached; none when not reached
    struct stat info {};      // of `end`
    int error = 0;            // why the way broke off (ENOENT, ENOTDIR, ELOOP, EACCES)
    std::string resolved;     // the path of `end` without links, from the directory started in
    std::string foreign_link; // the link not followed, as `path` names it where it is part of it
};

// One name of a path still to go.
struct PathPart {
    std::string name;
    std::size_t spelled_end; // where it ends in the path given; npos in a link's text
};

void pushParts(std::string_view text, bool spelled, std::vector<PathPart>& parts) {
    std::vector<PathPart> found;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('/', at);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > at)
            found.push_back(
                {std::string(text.substr(at, end - at)), spelled ? end : std::string::npos});
        at = end + 1;
    }
    parts.insert(parts.end(), found.rbegin(), found.rend()); // the next one last
}

// Follows `path` from the directory `at` (AT_FDCWD: the working directory, whose path is
// `base`) name by name, each link read and its owner judged once the way it gives is gone to its
// end: against what it leads to, whether a file or a directory on the way.
Way followTrusted(int at, const std::string& base, const std::string& path) {
    Way way;
    if (path.empty()) {
        way.error = ENOENT;
        return way;
    }
    const bool absolute = path[0] == '/';
    Descriptor here(::openat(at, absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!here) {
        way.error = errno;
        return way;
    }
    way.resolved = absolute || base == "/" ? "" : base;
    std::vector<PathPart> parts;
    pushParts(path, true, parts);
    struct Pending {
        uid_t owner;
        std::string shown;
        std::size_t parts_after; // its way is gone to its end when no more parts are left
    };
    std::vector<Pending> pending;
    int links = 0;
    for (;;) {
        while (!pending.empty() && parts.size() == pending.back().parts_after) {
            struct stat reached {};
            if (fstat(here.get(), &reached) != 0) {
                way.error = errno;
                return way;
            }
            if (!followable(pending.back().owner, reached.st_uid)) {
                way.foreign_link = pending.back().shown;
                return way;
            }
            pending.pop_back();
        }
        if (parts.empty())
            break;
        const PathPart part = std::move(parts.back());
        parts.pop_back();
        if (part.name == ".")
            continue;
        if (part.name == "..") {
            here = Descriptor(::openat(here.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (!here) {
                way.error = errno;
                return way;
            }
            way.resolved.erase(std::min(way.resolved.rfind('/'), way.resolved.size()));
            continue;
        }
        Descriptor next(::openat(here.get(), part.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat own {};
        if (!next || fstat(next.get(), &own) != 0) {
            way.error = errno;
            return way;
        }
        if (!S_ISLNK(own.st_mode)) {
            here = std::move(next);
            way.resolved += "/" + part.name;
            continue;
        }
        if (++links > kMostLinks) {
            way.error = ELOOP;
            return way;
        }
        pending.push_back({own.st_uid,
                           part.spelled_end != std::string::npos ? path.substr(0, part.spelled_end)
                                                                 : way.resolved + "/" + part.name,
                           parts.size()});
        char text[PATH_MAX];
        const ssize_t length = readlinkat(next.get(), "", text, sizeof text);
        if (length < 0 || static_cast<std::size_t>(length) >= sizeof text) {
            way.error = length < 0 ? errno : ENAMETOOLONG;
            return way;
        }
        const std::string_view target(text, static_cast<std::size_t>(length));
        struct statfs mounted {};
        if (fstatfs(next.get(), &mounted) == 0 && mounted.f_type == PROC_SUPER_MAGIC) {
            // The system's links to what a process has open (/dev/stdout leads to one) name
            // things that have no path ("pipe:[4021]"): the system follows them itself.
            here = Descriptor(::openat(here.get(), part.name.c_str(), O_PATH | O_CLOEXEC));
            if (!here) {
                way.error = errno;
                return way;
            }
            way.resolved = target;
            continue;
        }
        if (target.starts_with('/')) {
            here = Descriptor(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (!here) {
                way.error = errno;
                return way;
            }
            way.resolved.clear();
        }
        pushParts(target, false, parts);
    }
    if (fstat(here.get(), &way.info) != 0) {
        way.error = errno;
        return way;
    }
    if (way.resolved.empty())
        way.resolved = "/";
    way.end = std::move(here);
    return way;
}

} // namespace

PathInfo inspect(const std::string& path) {
    PathInfo info;
    info.resolved = path;
    struct stat link {};
    const int unseen = lstat(path.c_str(), &link) == 0 ? 0 : errno;
    info.is_link = unseen == 0 && S_ISLNK(link.st_mode);
    char here[PATH_MAX];
    const bool absolute = path.starts_with('/');
    const bool here_known = !absolute && getcwd(here, sizeof here) != nullptr;
    const Way way = followTrusted(AT_FDCWD, here_known ? here : "", path);
    // A link of another user's on the way is not followed, even to tell that nothing is there:
    // a new file would be made at the end of it.
    if (!way.foreign_link.empty()) {
        info.kind = FileKind::ForeignLink;
        info.foreign_link = way.foreign_link;
        return info;
    }
    if (unseen != 0) {
        if (unseen != ENOENT) {
            info.kind = FileKind::Other;
            info.error = unseen;
        }
        return info;
    }
    if (way.error != 0) {
        info.error = way.error;
        info.kind = info.error == ENOENT  ? FileKind::DanglingLink
                    : info.error == ELOOP ? FileKind::LinkLoop
                                          : FileKind::Other;
        return info;
    }
    info.kind = kindOfMode(way.info.st_mode);
    info.modified_ms = static_cast<std::int64_t>(way.info.st_mtim.tv_sec) * 1000 +
                       static_cast<std::int64_t>(way.info.st_mtim.tv_nsec / 1000000);
    if (info.is_link && (absolute || here_known))
        info.resolved = way.resolved;
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
        const auto modified = [](const struct stat& of) {
            return static_cast<std::int64_t>(of.st_mtim.tv_sec) * 1000 +
                   static_cast<std::int64_t>(of.st_mtim.tv_nsec / 1000000);
        };
        int unseen = 0;
        if (entry.is_link) {
            // Followed for its kind and size only as far as reading it would follow it. A link
            // of another user's is handed on with its own time, for the reading to refuse.
            Way way = followTrusted(fd, "", found->d_name);
            if (!way.foreign_link.empty()) {
                entry.kind = FileKind::ForeignLink;
                if (fstatat(fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
                    entry.modified_ms = modified(info);
                entries.push_back(std::move(entry));
                continue;
            }
            unseen = way.error;
            info = way.info;
        } else if (fstatat(fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            unseen = errno;
        }
        if (unseen != 0) {
            entry.error = unseen;
            if (entry.error == EACCES) { // as above: a directory whose files cannot be opened
                error = EACCES;
                break;
            }
            entry.kind = entry.is_link && entry.error == ENOENT  ? FileKind::DanglingLink
                         : entry.is_link && entry.error == ELOOP ? FileKind::LinkLoop
                                                                 : FileKind::Other;
        } else {
            entry.kind = kindOfMode(info.st_mode);
            entry.modified_ms = modified(info);
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
    // opening a named pipe for reading waits for a writer. Through a link, the very file that the
    // links judged trustworthy lead to.
    int fd = -1;
    if (through_link) {
        Way way = followTrusted(AT_FDCWD, "", path);
        if (!way.foreign_link.empty()) {
            kind = FileKind::ForeignLink;
            error = 0;
            return nullptr;
        }
        fd = way.end.release();
        error = way.error;
    } else {
        fd = ::open(path.c_str(), O_PATH | O_CLOEXEC | O_NOFOLLOW);
        error = fd < 0 ? errno : 0;
    }
    if (fd < 0) {
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
    bool replaces_old = false; // a regular file was at the target when prepared
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
    if (const int fault = injectedFault(FaultPoint::Write); fault != 0)
        return fault;
    return writeAll(state_->fd, data, size) ? 0 : errno;
}

int NewFile::prepare(ReplaceStep& step) {
    step = ReplaceStep::Sync;
    state_->replaces_old = false;
    if (state_->fd < 0)
        return EBADF;
    struct stat old {};
    // The target's links were resolved when the run began: a link put there since is not
    // followed, and the new logbook never takes the owner of what such a link leads to.
    state_->replaces_old = ::lstat(state_->target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    int error = state_->replaces_old ? takeOwnerAndMode(state_->fd, old)
                                     : (fchmod(state_->fd, newFileMode()) == 0 ? 0 : errno);
    if (error == 0)
        error = syncFile(state_->fd);
    if (error != 0)
        return error;
    step = ReplaceStep::None;
    return 0;
}

bool NewFile::replacesOld() const {
    return state_->replaces_old;
}

int NewFile::replace(const std::string& backup, ReplaceStep& step) {
    step = ReplaceStep::Replace;
    if (state_->fd < 0)
        return EBADF;
    const std::string& target = state_->target;
    // The old logbook itself becomes the backup, a second name of it: owner, group, mode and
    // bytes stay exactly as they were, and nothing is copied. It is made first, so that at
    // every moment the old logbook has its own name.
    const bool keep = state_->replaces_old && !backup.empty();
    if (keep) {
        step = ReplaceStep::Backup;
        int error = injectedFault(FaultPoint::Link);
        if (error == 0 && ::link(target.c_str(), backup.c_str()) != 0)
            error = errno;
        if (error == EPERM || error == EOPNOTSUPP || error == EMLINK || error == ENOSYS)
            error = copyWhole(target, backup, step);
        if (error != 0)
            return error;
    }
    // Nothing that fails from here on may leave the backup: the pilot was told nothing changed.
    const auto drop_backup = [&] {
        if (keep)
            ::unlink(backup.c_str());
    };

    step = ReplaceStep::Replace;
    if (state_->unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(state_->fd);
        const int fd = state_->fd;
        const int error = linkBeside(
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
        if (error != 0) {
            drop_backup();
            return error;
        }
        state_->unnamed = false;
        state_->tell(state_->named, false);
    }
    if (const int error = renamed(state_->named, target); error != 0) {
        drop_backup();
        return error; // the destructor removes the named file
    }
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
    return renamed(from, to);
}

int removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
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
    int fd = -1; // the lock file, locked

    void release() {
        if (fd >= 0)
            ::close(fd); // releases the lock
        fd = -1;
    }
    ~State() { release(); }
};

RunLock::RunLock() : state_(std::make_unique<State>()) {}

RunLock::~RunLock() = default;

std::string RunLock::pathFor(const std::string& target) {
    return target + ".lock";
}

namespace {

// Opens the lock file for writing, never through a link, a named pipe or a device put at its
// name, and creates it when there is none (private to its owner, so that no other user may even
// open it). The descriptor, or -1 with `error`; `created` when made by this call.
int openLockFile(const std::string& path, bool& created, int& error) {
    constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
        created = fd >= 0;
        if (fd < 0 && errno == EEXIST) {
            fd = ::open(path.c_str(), kFlags);
            if (fd < 0 && errno == ENOENT)
                continue; // removed by hand between the two: made again
        }
        error = fd < 0 ? errno : 0;
        return fd;
    }
    error = ENOENT;
    return -1;
}

} // namespace

int RunLock::acquire(const std::string& target) {
    state_->release();
    const std::string path = pathFor(target);
    bool created = false;
    int error = 0;
    const int fd = openLockFile(path, created, error);
    if (fd < 0)
        return error; // ELOOP for a link, ENXIO for a named pipe
    struct stat info {};
    if (fstat(fd, &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode))
        error = ENXIO; // a named pipe with a reader
    if (error != 0) {
        ::close(fd);
        return error;
    }
    // Made by root for a pilot's logbook: the pilot's, as the logbook is, so that his own runs
    // can still take it. Only a file made just now is given away: an existing one could be a
    // second name of anything.
    if (created) {
        struct stat owner {};
        if ((::stat(target.c_str(), &owner) == 0 && S_ISREG(owner.st_mode)) ||
            ::stat(directoryOf(target).c_str(), &owner) == 0) {
            if (owner.st_uid != geteuid() || owner.st_gid != getegid())
                static_cast<void>(fchown(fd, owner.st_uid, owner.st_gid));
        }
    }
    // A write lock, which only a descriptor open for writing may take. The lock of the open file
    // itself (not of the process), so that a second lock of the same process is refused as
    // another's would be; kernels before 3.15 have only the process's.
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    int locked = -1;
    do {
#ifdef F_OFD_SETLK
        locked = fcntl(fd, F_OFD_SETLK, &whole);
        if (locked != 0 && errno == EINVAL)
            locked = fcntl(fd, F_SETLK, &whole);
#else
        locked = fcntl(fd, F_SETLK, &whole);
#endif
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        // Held by another (EACCES from some systems' F_SETLK), or no lock to be had on this file
        // system (ENOLCK): no run writes without the lock.
        error = errno == EACCES || errno == EAGAIN ? EWOULDBLOCK : errno;
        ::close(fd);
        return error;
    }
    state_->fd = fd;
    return 0;
}

} // namespace platform
