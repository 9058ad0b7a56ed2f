#include "logbook/LogbookFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace logbook {

namespace {

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that the logbook's path names: a link is followed to the file it points at, so that
// the rename replaces that file and not the link.
std::string resolved(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char real[PATH_MAX];
    return realpath(path.c_str(), real) != nullptr ? std::string(real) : path;
}

// A new file beside `path`, named after it; -1 with errno set when the directory allows none.
int createBeside(const std::string& path, std::string& created) {
    std::string name = path + ".XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        created = name;
    return fd;
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

// The permissions a newly created file gets from the process's file mode mask.
mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Durable once this returns true: the data and the file's size are on disk.
bool syncAndClose(int fd) {
    const bool synced = fsync(fd) == 0 || errno == EINVAL; // EINVAL: a file system without sync
    const int sync_error = errno;
    const bool closed = ::close(fd) == 0;
    if (!synced)
        errno = sync_error;
    return synced && closed;
}

// Copies `from` to `to` through a temporary file, so that `to` is always a whole copy: 0, or
// the errno of the step that failed.
int copyWhole(const std::string& from, const std::string& to, mode_t mode) {
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0)
        return errno;
    std::string copy;
    const int sink = createBeside(to, copy);
    if (sink < 0) {
        const int error = errno;
        ::close(source);
        return error;
    }
    int error = 0;
    char block[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(source, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || (got > 0 && !writeAll(sink, block, static_cast<std::size_t>(got))))
            error = errno;
        if (got <= 0 || error != 0)
            break;
    }
    ::close(source);
    if (error == 0 && fchmod(sink, mode) != 0)
        error = errno;
    if (error == 0) {
        if (!syncAndClose(sink))
            error = errno;
    } else {
        ::close(sink);
    }
    if (error == 0 && ::rename(copy.c_str(), to.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(copy.c_str());
    return error;
}

} // namespace

std::string systemReason(int error) {
    return std::strerror(error);
}

LogbookFile::LogbookFile() : std::ostream(&buffer_) {}

LogbookFile::~LogbookFile() {
    discard();
}

bool LogbookFile::failWith(const std::string& path, int error) {
    return failWith(path, systemReason(error));
}

bool LogbookFile::failWith(const std::string& path, const std::string& reason) {
    error_path_ = path;
    error_ = reason;
    removeTemporary();
    setstate(std::ios::badbit);
    return false;
}

bool LogbookFile::open(const std::string& path, TemporaryWatcher watcher) {
    discard();
    clear();
    error_.clear();
    error_path_.clear();
    backup_path_.clear();
    watcher_ = std::move(watcher);
    buffer_.reset(-1);

    struct stat link {};
    replaces_ = !path.empty() && lstat(path.c_str(), &link) == 0;
    if (path.empty())
        return failWith(path, ENOENT);
    target_ = resolved(path);
    struct stat existing {};
    if (stat(target_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode))
        return failWith(path, EISDIR);

    const int fd = createBeside(target_, temporary_);
    if (fd < 0) {
        const int error = errno;
        // Writing the logbook in place would lose it to the first failure of the run: refuse.
        if ((error == EACCES || error == EPERM || error == EROFS) && replaces_ &&
            access(target_.c_str(), W_OK) == 0) {
            return failWith(path,
                            "The directory " + directoryOf(target_) + " allows no new file (" +
                                systemReason(error) +
                                "); the logbook is only ever replaced whole, never written in "
                                "place");
        }
        return failWith(path, error);
    }
    buffer_.reset(fd);
    if (watcher_)
        watcher_(temporary_, false);
    return true;
}

bool LogbookFile::commit() {
    if (buffer_.fd < 0)
        return failWith(target_, error_.empty() ? systemReason(EBADF) : error_);
    flush();
    if (buffer_.error != 0 || bad())
        return failWith(target_, buffer_.error != 0 ? buffer_.error : EIO);

    struct stat old {};
    const bool had_old = stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    if (had_old) {
        if (fchmod(buffer_.fd, old.st_mode & 07777) != 0)
            return failWith(target_, errno);
        // Run as another user (root, say), keep the pilot's ownership where the system allows.
        if (old.st_uid != geteuid() || old.st_gid != getegid())
            static_cast<void>(fchown(buffer_.fd, old.st_uid, old.st_gid));
    } else if (fchmod(buffer_.fd, newFileMode()) != 0) {
        return failWith(target_, errno);
    }
    const int fd = buffer_.fd;
    buffer_.fd = -1;
    if (!syncAndClose(fd))
        return failWith(target_, errno);

    if (had_old) {
        // One generation back, written whole before the logbook is replaced.
        const std::string backup = backupTarget();
        if (const int error = copyWhole(target_, backup, old.st_mode & 07777); error != 0)
            return failWith(backup, error);
        backup_path_ = backup;
    }

    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        return failWith(target_, errno);
    temporary_.clear();
    if (watcher_)
        watcher_({}, true);
    // The rename itself on disk too; a file system that cannot sync a directory has no need.
    const int directory = ::open(directoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        static_cast<void>(fsync(directory));
        ::close(directory);
    }
    return true;
}

void LogbookFile::discard() {
    removeTemporary();
}

void LogbookFile::removeTemporary() {
    if (buffer_.fd >= 0) {
        ::close(buffer_.fd);
        buffer_.fd = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
        if (watcher_)
            watcher_({}, false);
    }
}

bool LogbookFile::FileBuffer::write(const char* data, std::size_t size) {
    if (fd < 0 || !writeAll(fd, data, size)) {
        error = fd < 0 ? EBADF : errno;
        return false;
    }
    return true;
}

} // namespace logbook
