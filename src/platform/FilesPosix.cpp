#include "platform/Files.h"
#include "platform/Folder.h"

#include "platform/FaultPoints.h"
#include "platform/FolderShared.h"
#include "platform/Interrupts.h"
#include "platform/PosixHandles.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

// The error that the last system call left.
std::error_code lastError() {
    return errorOf(errno);
}

// Durable once this returns no error: the data and the file's size are on disk. A file system
// that cannot sync (EINVAL) has nothing to make durable.
std::error_code syncFile(int fd) {
    if (const std::error_code fault = injectedFault(FaultPoint::Sync))
        return fault;
    return fsync(fd) == 0 || errno == EINVAL ? std::error_code() : lastError();
}

} // namespace

// Symbolic links are followed only on a word that may be trusted: a run (of root's, say) must not
// read or replace a file of one user's because another user put a link to it where the run looks.
namespace {

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
    std::error_code error;    // why the way broke off (ENOENT, ENOTDIR, ELOOP, EACCES)
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

// A walk along a path for `followTrusted`: where it is, the names still to go, and the links
// whose way has not been gone to its end yet, to be judged when it has.
class TrustedWalk {
public:
    explicit TrustedWalk(const std::string& path) : path_(path) {}

    // Starts in the directory `at` (AT_FDCWD: the working directory, whose path is `base`).
    // False when the walk broke off.
    bool start(int at, const std::string& base);
    // Judges each link whose way is gone to its end: against what it led to. False when one of
    // them may not be followed, or what it led to could not be looked at.
    bool judgeLinks();
    [[nodiscard]] bool namesLeft() const { return !parts_.empty(); }
    // Goes one name further. False when the walk broke off.
    bool step();
    // The way as it broke off.
    Way brokenOff() && { return std::move(way_); }
    // The way once no name is left: the file reached.
    Way arrived() &&;

private:
    bool stop(int error) {
        way_.error = errorOf(error);
        return false;
    }
    bool climb();
    bool followLink(const PathPart& part, const Descriptor& link, uid_t owner);

    struct Pending {
        uid_t owner;
        std::string shown;
        std::size_t parts_after; // its way is gone to its end when no more parts are left
    };
    const std::string& path_;
    Way way_;
    Descriptor here_;
    std::vector<PathPart> parts_;
    std::vector<Pending> pending_;
    int links_ = 0;
};

bool TrustedWalk::start(int at, const std::string& base) {
    if (path_.empty())
        return stop(ENOENT);
    const bool absolute = path_[0] == '/';
    here_ = Descriptor(::openat(at, absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!here_)
        return stop(errno);
    way_.resolved = absolute || base == "/" ? "" : base;
    pushParts(path_, true, parts_);
    return true;
}

bool TrustedWalk::judgeLinks() {
    while (!pending_.empty() && parts_.size() == pending_.back().parts_after) {
        struct stat reached {};
        if (fstat(here_.get(), &reached) != 0)
            return stop(errno);
        if (!followable(pending_.back().owner, reached.st_uid)) {
            way_.foreign_link = pending_.back().shown;
            return false;
        }
        pending_.pop_back();
    }
    return true;
}

bool TrustedWalk::step() {
    const PathPart part = std::move(parts_.back());
    parts_.pop_back();
    if (part.name == ".")
        return true;
    if (part.name == "..")
        return climb();
    Descriptor next(::openat(here_.get(), part.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat own {};
    if (!next || fstat(next.get(), &own) != 0)
        return stop(errno);
    if (S_ISLNK(own.st_mode))
        return followLink(part, next, own.st_uid);
    here_ = std::move(next);
    way_.resolved += "/" + part.name;
    return true;
}

bool TrustedWalk::climb() {
    here_ = Descriptor(::openat(here_.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!here_)
        return stop(errno);
    way_.resolved.erase(std::min(way_.resolved.rfind('/'), way_.resolved.size()));
    return true;
}

// The link `link`, named by `part` in the directory the walk is in: its text read, and its names
// put before those still to go; its owner judged once they are gone.
bool TrustedWalk::followLink(const PathPart& part, const Descriptor& link, uid_t owner) {
    if (++links_ > kMostLinks)
        return stop(ELOOP);
    pending_.push_back({owner,
                        part.spelled_end != std::string::npos ? path_.substr(0, part.spelled_end)
                                                              : way_.resolved + "/" + part.name,
                        parts_.size()});
    char text[PATH_MAX];
    const ssize_t length = readlinkat(link.get(), "", text, sizeof text);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof text)
        return stop(length < 0 ? errno : ENAMETOOLONG);
    const std::string_view target(text, static_cast<std::size_t>(length));
    struct statfs mounted {};
    if (fstatfs(link.get(), &mounted) == 0 && mounted.f_type == PROC_SUPER_MAGIC) {
        // The system's links to what a process has open (/dev/stdout leads to one) name
        // things that have no path ("pipe:[4021]"): the system follows them itself.
        here_ = Descriptor(::openat(here_.get(), part.name.c_str(), O_PATH | O_CLOEXEC));
        if (!here_)
            return stop(errno);
        way_.resolved = target;
        return true;
    }
    if (target.starts_with('/')) {
        here_ = Descriptor(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!here_)
            return stop(errno);
        way_.resolved.clear();
    }
    pushParts(target, false, parts_);
    return true;
}

Way TrustedWalk::arrived() && {
    if (fstat(here_.get(), &way_.info) != 0) {
        way_.error = lastError();
        return std::move(way_);
    }
    if (way_.resolved.empty())
        way_.resolved = "/";
    way_.end = std::move(here_);
    return std::move(way_);
}

// Follows `path` from the directory `at` (AT_FDCWD: the working directory, whose path is
// `base`) name by name, each link read and its owner judged once the way it gives is gone to its
// end: against what it leads to, whether a file or a directory on the way.
Way followTrusted(int at, const std::string& base, const std::string& path) {
    TrustedWalk walk(path);
    if (!walk.start(at, base))
        return std::move(walk).brokenOff();
    for (;;) {
        if (!walk.judgeLinks())
            return std::move(walk).brokenOff();
        if (!walk.namesLeft())
            return std::move(walk).arrived();
        if (!walk.step())
            return std::move(walk).brokenOff();
    }
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
            info.error = errorOf(unseen);
        }
        return info;
    }
    if (way.error) {
        info.error = way.error;
        info.kind = info.error == errorOf(ENOENT)  ? FileKind::DanglingLink
                    : info.error == errorOf(ELOOP) ? FileKind::LinkLoop
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

std::string systemReason(std::error_code error) {
    return error.category() == std::generic_category() ? systemReason(error.value())
                                                       : error.message();
}

std::error_code writeAccess(const std::string& path) {
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0 ? std::error_code()
                                                                    : lastError();
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

std::string lastNameOf(const std::string& path) {
    return fileNameOf(path);
}

std::string joinPath(const std::string& directory, const std::string& name) {
    std::string base = directory;
    if (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base.empty() || base.back() != '/')
        base += '/';
    return base + name;
}

namespace {

// The entries of the directory open as `fd` (which this takes over), as `listDirectory` gives
// them.
Expected<std::vector<DirectoryEntry>, std::error_code>
listOpened(int fd, const std::function<bool(std::string_view name)>& wanted) {
    // Listable but not searchable: the names are there, but not one file could be opened.
    if (faccessat(fd, ".", X_OK, AT_EACCESS) != 0) {
        const std::error_code error = lastError();
        ::close(fd);
        return unexpected(error);
    }
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        const std::error_code error = lastError();
        ::close(fd);
        return unexpected(error);
    }
    std::vector<DirectoryEntry> entries;
    std::error_code error;
    for (;;) {
        errno = 0;
        const dirent* found = readdir(dir);
        if (found == nullptr) {
            error = lastError();
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
        std::error_code unseen;
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
            unseen = lastError();
        }
        if (unseen) {
            entry.error = unseen;
            if (unseen == errorOf(EACCES)) { // as above: a directory whose files cannot be opened
                error = unseen;
                break;
            }
            entry.kind = entry.is_link && unseen == errorOf(ENOENT)  ? FileKind::DanglingLink
                         : entry.is_link && unseen == errorOf(ELOOP) ? FileKind::LinkLoop
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
    if (error)
        return unexpected(error);
    return entries;
}

} // namespace

Expected<std::vector<DirectoryEntry>, std::error_code>
listDirectory(const std::string& directory,
              const std::function<bool(std::string_view name)>& wanted) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return unexpected(lastError());
    return listOpened(fd, wanted);
}

namespace {

// `path` opened from the directory `at` as `openFlight` opens it.
OpenedFlight openFlightAt(int at, const std::string& path, bool through_link) {
    const int no_follow = through_link ? 0 : O_NOFOLLOW;
    // Looked at before it is opened: opening a device can do things (rewind a tape), and
    // opening a named pipe for reading waits for a writer. Through a link, the very file that the
    // links judged trustworthy lead to.
    int fd = -1;
    OpenedFlight opened;
    if (const std::error_code fault = injectedFault(FaultPoint::ReadFlight)) {
        opened.kind = FileKind::Regular;
        opened.error = fault;
        return opened;
    }
    if (through_link) {
        Way way = followTrusted(at, "", path);
        if (!way.foreign_link.empty()) {
            opened.kind = FileKind::ForeignLink;
            return opened;
        }
        fd = way.end.release();
        opened.error = way.error;
    } else {
        fd = ::openat(at, path.c_str(), O_PATH | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            opened.error = lastError();
    }
    if (fd < 0) {
        opened.kind = FileKind::Other;
        return opened;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))) {
        opened.error = S_ISLNK(info.st_mode) ? errorOf(ELOOP) : std::error_code();
        opened.kind = kindOfMode(info.st_mode);
        ::close(fd);
        return opened;
    }
    opened.kind = kindOfMode(info.st_mode);
    // The very file looked at, opened for reading through its descriptor.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    int readable = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (readable < 0 && errno == ENOENT) // no /proc: by its path, still never waiting
        readable = ::openat(at, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | no_follow);
    const std::error_code refused = lastError();
    ::close(fd);
    if (readable < 0) {
        opened.error = refused;
        return opened;
    }
    struct stat reached {};
    if (fstat(readable, &reached) != 0 || reached.st_ino != info.st_ino ||
        reached.st_dev != info.st_dev) {
        ::close(readable);
        opened.error = errorOf(ESTALE);
        return opened;
    }
    const int flags = fcntl(readable, F_GETFL);
    if (flags >= 0)
        static_cast<void>(fcntl(readable, F_SETFL, flags & ~O_NONBLOCK));
    opened.file = fdopen(readable, "rb");
    if (opened.file == nullptr) {
        opened.error = lastError();
        ::close(readable);
    }
    return opened;
}

} // namespace

OpenedFlight openFlight(const std::string& path, bool through_link) {
    return openFlightAt(AT_FDCWD, path, through_link);
}

// A folder worked from its descriptor.
namespace {

std::int64_t nanosecondsOf(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

FolderEntry entryOf(const struct stat& info) {
    FolderEntry entry;
    entry.is_link = S_ISLNK(info.st_mode);
    entry.kind = entry.is_link ? FileKind::Other : kindOfMode(info.st_mode);
    entry.id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                static_cast<std::int64_t>(info.st_size), nanosecondsOf(info.st_mtim)};
    entry.owner = info.st_uid;
    entry.group = info.st_gid;
    entry.mode = info.st_mode & 07777;
    entry.links = static_cast<std::uint32_t>(info.st_nlink);
    return entry;
}

// The permissions that the process's file mode mask leaves a new file, read without changing the
// mask: changing it, even for a moment, would change it for every thread of the process.
mode_t newFileMode() {
    // Read once: nothing in the programs changes the mask once they run.
    static const mode_t mode = [] {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("Umask:", 0) == 0)
                return static_cast<mode_t>(
                    0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8)));
        }
        return static_cast<mode_t>(0644); // no /proc: the usual mask's
    }();
    return mode;
}

// A name of the folder that names no other folder: one name, not "." or "..".
bool isSingleName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

} // namespace

std::string userName(std::uint32_t id) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(id, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->pw_name;
    return std::to_string(id);
}

struct Folder::State {
    Descriptor fd; // the folder, open for reading (or only as a path where it may not be read)
    struct stat self {};
};

Folder::Folder() : state_(std::make_unique<State>()) {}
Folder::~Folder() = default;
Folder::Folder(Folder&&) noexcept = default;
Folder& Folder::operator=(Folder&&) noexcept = default;

std::error_code Folder::open(const std::string& path, std::string* foreign_link) {
    state_ = std::make_unique<State>();
    Way way = followTrusted(AT_FDCWD, "", path);
    if (!way.foreign_link.empty()) {
        if (foreign_link != nullptr)
            *foreign_link = way.foreign_link;
        return errorOf(ELOOP);
    }
    if (way.error)
        return way.error;
    if (!S_ISDIR(way.info.st_mode))
        return errorOf(ENOTDIR);
    // Opened for reading from the very folder reached, so that it can be listed and synced.
    Descriptor readable(::openat(way.end.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    state_->fd = readable ? std::move(readable) : std::move(way.end);
    path_ = path;
    state_->self = way.info;
    return {};
}

bool Folder::isOpen() const {
    return static_cast<bool>(state_->fd);
}

Expected<FolderEntry, std::error_code> Folder::lookSelf() const {
    struct stat info {};
    if (fstat(state_->fd.get(), &info) != 0)
        return unexpected(lastError());
    return entryOf(info);
}

Expected<FolderEntry, std::error_code> Folder::look(std::string_view name) const {
    if (!isSingleName(name))
        return unexpected(errorOf(EINVAL));
    struct stat info {};
    if (fstatat(state_->fd.get(), std::string(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return FolderEntry{};
        return unexpected(lastError());
    }
    return entryOf(info);
}

std::error_code Folder::stillAt() const {
    struct stat now {};
    if (::stat(path_.c_str(), &now) != 0)
        return errno == ENOENT ? errorOf(ESTALE) : lastError();
    return now.st_dev == state_->self.st_dev && now.st_ino == state_->self.st_ino
               ? std::error_code()
               : errorOf(ESTALE);
}

Expected<std::FILE*, std::error_code> Folder::openRead(std::string_view name,
                                                       FolderEntry* entry) const {
    if (!isSingleName(name))
        return unexpected(errorOf(EINVAL));
    Descriptor fd(::openat(state_->fd.get(), std::string(name).c_str(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!fd || fstat(fd.get(), &info) != 0)
        return unexpected(lastError());
    if (!S_ISREG(info.st_mode))
        return unexpected(errorOf(EINVAL));
    if (entry != nullptr)
        *entry = entryOf(info);
    const int flags = fcntl(fd.get(), F_GETFL);
    if (flags >= 0)
        static_cast<void>(fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK));
    std::FILE* file = fdopen(fd.get(), "rb");
    if (file == nullptr)
        return unexpected(lastError());
    fd.release(); // the stream's now
    return file;
}

OpenedFlight Folder::openFlight(std::string_view name, bool through_link) const {
    if (!isSingleName(name))
        return refusedName();
    return openFlightAt(state_->fd.get(), std::string(name), through_link);
}

Expected<std::vector<DirectoryEntry>, std::error_code>
Folder::list(const std::function<bool(std::string_view name)>& wanted) const {
    const int fd = ::openat(state_->fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return unexpected(lastError());
    return listOpened(fd, wanted);
}

std::error_code Folder::rename(std::string_view from, std::string_view to, bool replacing) const {
    if (!isSingleName(from) || !isSingleName(to))
        return errorOf(EINVAL);
    if (const std::error_code fault = injectedFault(FaultPoint::Rename))
        return fault;
    const std::string from_name(from);
    const std::string to_name(to);
    const int fd = state_->fd.get();
    if (replacing)
        return ::renameat(fd, from_name.c_str(), fd, to_name.c_str()) == 0 ? std::error_code()
                                                                           : lastError();
    if (::renameat2(fd, from_name.c_str(), fd, to_name.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return lastError();
    // A file system that cannot refuse a taken name in the rename itself: looked at first, which
    // under the logbook's lock only another program could undo.
    struct stat taken {};
    if (fstatat(fd, to_name.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
        return errorOf(EEXIST);
    return ::renameat(fd, from_name.c_str(), fd, to_name.c_str()) == 0 ? std::error_code()
                                                                       : lastError();
}

std::error_code Folder::link(std::string_view from, std::string_view to) const {
    if (!isSingleName(from) || !isSingleName(to))
        return errorOf(EINVAL);
    if (const std::error_code fault = injectedFault(FaultPoint::Link))
        return fault;
    const int fd = state_->fd.get();
    return ::linkat(fd, std::string(from).c_str(), fd, std::string(to).c_str(), 0) == 0
               ? std::error_code()
               : lastError();
}

std::error_code Folder::remove(std::string_view name) const {
    if (!isSingleName(name))
        return errorOf(EINVAL);
    if (const std::error_code fault = injectedFault(FaultPoint::Remove))
        return fault;
    return ::unlinkat(state_->fd.get(), std::string(name).c_str(), 0) == 0 ? std::error_code()
                                                                           : lastError();
}

std::error_code Folder::sync() const {
    if (const std::error_code fault = injectedFault(FaultPoint::Sync))
        return fault;
    const Descriptor readable(::openat(state_->fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!readable)
        return lastError();
    return fsync(readable.get()) == 0 || errno == EINVAL ? std::error_code() : lastError();
}

std::error_code Folder::replaceable(std::string_view /*name*/) const {
    return {};
}

std::error_code Folder::writeNew(std::string_view name, std::string_view bytes) const {
    if (!isSingleName(name))
        return errorOf(EINVAL);
    if (const std::error_code fault = injectedFault(FaultPoint::Journal))
        return fault;
    const std::string file_name(name);
    const Descriptor fd(::openat(state_->fd.get(), file_name.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd)
        return lastError();
    std::error_code error =
        writeAll(fd.get(), bytes.data(), bytes.size()) ? std::error_code() : lastError();
    if (!error)
        error = syncFile(fd.get());
    if (!error)
        error = sync();
    if (error)
        static_cast<void>(::unlinkat(state_->fd.get(), file_name.c_str(), 0));
    return error;
}

std::error_code NewFile::create(const Folder& folder, std::string_view target_name,
                                TemporaryWatcher watcher) {
    discard();
    state_->start(folder, target_name, std::move(watcher));
    const int at = folder.state_->fd.get();
#ifdef O_TMPFILE
    // Unnamed until it is put in place: a run that dies leaves nothing behind.
    state_->file = Descriptor(::openat(at, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (state_->file)
        return {};
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return lastError();
#endif
    return state_->takeName([this, at](const std::string& candidate) {
        state_->file = Descriptor(::openat(
            at, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        return state_->file ? std::error_code() : lastError();
    });
}

std::error_code NewFile::write(const char* data, std::size_t size) {
    if (const std::error_code refused = state_->writeRefused())
        return refused;
    return writeAll(state_->file.get(), data, size) ? std::error_code() : lastError();
}

Expected<std::size_t, std::error_code> NewFile::readBack(std::int64_t offset, char* data,
                                                         std::size_t size) {
    if (!state_->file)
        return unexpected(errorOf(EBADF));
    for (;;) {
        const ssize_t read = ::pread(state_->file.get(), data, size, offset);
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return unexpected(lastError());
        return static_cast<std::size_t>(read);
    }
}

std::error_code NewFile::finish(const FolderEntry* like) {
    if (!state_->file)
        return errorOf(EBADF);
    const int fd = state_->file.get();
    // A run by another user (root, say) leaves the pilot's file his: the owner and group of the
    // file replaced, else of the folder (whose group a set-group-ID folder gives anyway).
    const Expected<FolderEntry, std::error_code> self = state_->folder->lookSelf();
    const FolderEntry folder = self ? *self : FolderEntry{};
    const uid_t owner = like != nullptr ? like->owner : folder.owner;
    const gid_t group = like != nullptr                                  ? like->group
                        : (folder.mode & S_ISGID) != 0 || geteuid() == 0 ? folder.group
                                                                         : getegid();
    if (geteuid() == 0 && (owner != geteuid() || group != getegid())) {
        if (fchown(fd, owner, group) != 0)
            static_cast<void>(fchown(fd, static_cast<uid_t>(-1), group));
    } else if (like != nullptr && like->group != getegid()) {
        static_cast<void>(fchown(fd, static_cast<uid_t>(-1), like->group));
    }
    const mode_t mode = like != nullptr ? like->mode & 0777 : newFileMode();
    if (fchmod(fd, mode) != 0)
        return lastError();
    return syncFile(fd);
}

FileIdentity NewFile::identity() const {
    struct stat info {};
    if (!state_->file || fstat(state_->file.get(), &info) != 0)
        return {};
    return entryOf(info).id;
}

std::error_code NewFile::giveName() {
    if (!state_->file)
        return errorOf(EBADF);
    if (!state_->named.empty())
        return {};
    const int at = state_->folder->state_->fd.get();
    const int fd = state_->file.get();
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return state_->takeName([at, fd, &self](const std::string& candidate) {
        // Part of writing the new file, not a second name of an old one.
        if (const std::error_code fault = injectedFault(FaultPoint::Write))
            return fault;
        int done = ::linkat(AT_FDCWD, self.c_str(), at, candidate.c_str(), AT_SYMLINK_FOLLOW);
        if (done != 0 && errno == ENOENT) // no /proc; linking by the descriptor needs privilege
            done = ::linkat(fd, "", at, candidate.c_str(), AT_EMPTY_PATH);
        return done == 0 ? std::error_code() : lastError();
    });
}

struct RunLock::State {
    Descriptor fd; // the lock file, locked
    int folder = -1;
    std::string name;
};

RunLock::RunLock() : state_(std::make_unique<State>()) {}

RunLock::~RunLock() = default;

std::string RunLock::nameFor(std::string_view target_name) {
    return std::string(target_name) + ".lock";
}

namespace {

// The permissions of the lock file: its maker's, and its group's when the group may write the
// target (or, with no target yet, a set-group-ID folder that its group may write), so that the
// members of a shared folder can each take it and a mere reader cannot.
mode_t lockMode(const FolderEntry& target, const FolderEntry& folder) {
    const bool shared = target.kind == FileKind::Regular
                            ? (target.mode & S_IWGRP) != 0
                            : (folder.mode & S_ISGID) != 0 && (folder.mode & S_IWGRP) != 0;
    return shared ? 0660 : 0600;
}

// Opens the lock file for writing, never through a link, a named pipe or a device put at its
// name, and creates it when there is none. The descriptor, or the error; `created` when made by
// this call.
Expected<Descriptor, std::error_code> openLockFile(int at, const std::string& name, mode_t mode,
                                                   bool& created) {
    constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int attempt = 0; attempt < 3; ++attempt) {
        Descriptor fd(::openat(at, name.c_str(), kFlags | O_CREAT | O_EXCL, mode));
        created = static_cast<bool>(fd);
        if (!fd && errno == EEXIST) {
            fd = Descriptor(::openat(at, name.c_str(), kFlags));
            if (!fd && errno == ENOENT)
                continue; // removed by hand between the two: made again
        }
        if (!fd)
            return unexpected(lastError());
        return fd;
    }
    return unexpected(errorOf(ENOENT));
}

std::error_code lockWhole(int fd) {
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
    if (locked == 0)
        return {};
    // Held by another (EACCES from some systems' F_SETLK), or no lock to be had on this file
    // system (ENOLCK): no run writes without the lock.
    return errno == EACCES || errno == EAGAIN ? errorOf(EWOULDBLOCK) : lastError();
}

} // namespace

std::error_code RunLock::acquire(const Folder& folder, std::string_view target_name,
                                 const FolderEntry& target, std::uint32_t& owner) {
    state_->fd.reset();
    const int at = folder.state_->fd.get();
    const std::string name = nameFor(target_name);
    const Expected<FolderEntry, std::error_code> looked = folder.lookSelf();
    const FolderEntry self = looked ? *looked : FolderEntry{};
    const mode_t mode = lockMode(target, self);
    // Made again when the file locked is no longer the one at its name (removed or replaced by
    // hand meanwhile): a lock of a file without a name keeps nobody out.
    for (int attempt = 0; attempt < 3; ++attempt) {
        bool created = false;
        Expected<Descriptor, std::error_code> opened = openLockFile(at, name, mode, created);
        struct stat info {};
        if (!opened || fstat(opened->get(), &info) != 0) {
            const std::error_code error = opened ? lastError() : opened.error();
            if (fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
                owner = info.st_uid;
            return error; // ELOOP for a link, ENXIO for a named pipe
        }
        Descriptor fd = std::move(opened).value();
        owner = info.st_uid;
        if (!S_ISREG(info.st_mode))
            return errorOf(ENXIO); // a named pipe with a reader
        if (created || info.st_uid == geteuid()) {
            // Its maker's permissions as the target's group may use it; made by root for a
            // pilot's logbook, the pilot's, so that his own runs can still take it. A lock file
            // made before is widened or narrowed by its owner alike; an existing one of another
            // user's is never given away (it could be a second name of anything).
            const FolderEntry& like = target.kind == FileKind::Regular ? target : self;
            if (created && geteuid() == 0 && (like.owner != 0 || like.group != getegid()))
                static_cast<void>(fchown(fd.get(), like.owner, like.group));
            else if (like.group != info.st_gid && mode != 0600)
                static_cast<void>(fchown(fd.get(), static_cast<uid_t>(-1), like.group));
            if ((info.st_mode & 0777) != mode)
                static_cast<void>(fchmod(fd.get(), mode));
            if (created)
                owner = geteuid() == 0 ? like.owner : geteuid();
        }
        if (const std::error_code locked = lockWhole(fd.get()))
            return locked;
        struct stat named {};
        if (fstatat(at, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == info.st_dev && named.st_ino == info.st_ino) {
            state_->fd = std::move(fd);
            state_->folder = at;
            state_->name = name;
            return {};
        }
    }
    return errorOf(EWOULDBLOCK);
}

std::error_code RunLock::stillHeld() const {
    struct stat held {};
    struct stat named {};
    if (!state_->fd || fstat(state_->fd.get(), &held) != 0)
        return errorOf(ESTALE);
    if (fstatat(state_->folder, state_->name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0)
        return errorOf(ESTALE);
    return named.st_dev == held.st_dev && named.st_ino == held.st_ino ? std::error_code()
                                                                      : errorOf(ESTALE);
}

} // namespace platform
