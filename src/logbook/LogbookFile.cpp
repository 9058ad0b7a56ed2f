#include "logbook/LogbookFile.h"

#include "logbook/Listing.h"
#include "logbook/Messages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

namespace logbook {

std::string logbookPathProblem(const std::string& path) {
    if (path.empty())
        return "No logbook file was given";
    const platform::PathInfo info = platform::inspect(path);
    if (info.reserved_name)
        return reservedNameText(platform::lastNameOf(path));
    switch (info.kind) {
    case platform::FileKind::Missing:
    case platform::FileKind::Regular:
        return {};
    case platform::FileKind::DanglingLink:
        return path + " points to nothing";
    case platform::FileKind::Directory:
        return path + " is a directory, not a logbook file";
    case platform::FileKind::ForeignLink:
        // The link named, which may be one of the path's directories.
        return info.foreign_link + " is " + kindText(info.kind, {});
    case platform::FileKind::Other:
        if (info.error)
            return {}; // not to be looked at: opening it says why, as for any file
        break;
    default:
        break;
    }
    return path + " is " + kindText(info.kind, info.error) + ", not a logbook file";
}

std::string creationProblem(const std::string& target, std::error_code error) {
    const std::string reason = platform::systemReason(error);
    const std::string folder = platform::directoryOf(target);
    using platform::errorOf;
    if (error == errorOf(ENOENT) || error == errorOf(ENOTDIR)) {
        switch (platform::inspect(folder).kind) {
        case platform::FileKind::Directory:
            break;
        case platform::FileKind::Missing:
            return reason + ": the folder " + folder + " does not exist";
        default:
            return reason + ": " + folder + " is not a folder";
        }
    } else if (error == errorOf(EACCES) || error == errorOf(EPERM)) {
        return reason + ": you may not write in the folder " + folder +
               "; choose a logbook file in a folder of your own";
    } else if (error == errorOf(EROFS)) {
        return reason + ": choose a logbook file on a disk that can be written";
    }
    return reason;
}

bool allowsNoNewFile(std::error_code error) {
    return error == platform::errorOf(EACCES) || error == platform::errorOf(EPERM) ||
           error == platform::errorOf(EROFS);
}

bool logbookExists(const std::string& path) {
    return !path.empty() && platform::inspect(path).kind == platform::FileKind::Regular;
}

LogbookFile::LogbookFile() : std::ostream(&buffer_) {
    buffer_.file = &file_;
}

LogbookFile::~LogbookFile() {
    discard();
}

platform::Unexpected<Failure> LogbookFile::failWith(Failure failure) {
    failure_ = std::move(failure);
    discard();
    setstate(std::ios::badbit);
    return unexpected(failure_);
}

Expected<void> LogbookFile::open(const std::string& path, TemporaryWatcher watcher) {
    discard();
    clear();
    failure_ = {};
    buffer_.error.clear();
    buffer_.restart();
    if (Expected<void> opened = store_.open(path); !opened) {
        setstate(std::ios::badbit);
        return opened;
    }
    if (Expected<void> locked = store_.lock(std::move(watcher)); !locked) {
        setstate(std::ios::badbit);
        return locked;
    }
    if (const std::error_code error = store_.createNew(file_)) {
        // A folder that allows no new file: said as when the lock file could not be made.
        const std::string target = store_.pathOf(store_.name());
        if (allowsNoNewFile(error) && store_.hadLogbook())
            return failWith({FailureKind::Open,
                             path,
                             {},
                             "The directory " + platform::directoryOf(target) +
                                 " allows no new file (" + platform::systemReason(error) +
                                 "); the logbook is only ever replaced whole, never written in "
                                 "place"});
        return failWith({FailureKind::Open, path, {}, creationProblem(target, error)});
    }
    writing_ = true;
    return {};
}

Expected<void> LogbookFile::commit() {
    if (!writing_) {
        // Never opened, or dropped: its own failure if it had one, else nothing to commit.
        Failure why = failure();
        why.kind = FailureKind::Write;
        if (why.detail.empty() && !why.code)
            why.code = platform::errorOf(EBADF);
        return failWith(std::move(why));
    }
    // Every step that can fail without touching the old logbook or its generations comes
    // first: the new file written and on disk.
    flush();
    if (buffer_.error || bad())
        return failWith({FailureKind::Write,
                         store_.pathOf(store_.name()),
                         buffer_.error ? buffer_.error : platform::errorOf(EIO),
                         {}});
    if (Expected<void> committed = store_.commit(file_); !committed) {
        discard();
        setstate(std::ios::badbit);
        return committed;
    }
    writing_ = false;
    return {};
}

void LogbookFile::discard() {
    writing_ = false;
    file_.discard();
}

bool LogbookFile::FileBuffer::write(const char* data, std::size_t size) {
    const std::error_code failure =
        file == nullptr ? platform::errorOf(EBADF) : file->write(data, size);
    if (failure && !error)
        error = failure;
    return !failure;
}

} // namespace logbook
