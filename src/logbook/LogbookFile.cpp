#include "logbook/LogbookFile.h"

#include "logbook/Listing.h"

#include <cerrno>

namespace logbook {

std::string logbookPathProblem(const std::string& path) {
    const platform::PathInfo info = platform::inspect(path);
    switch (info.kind) {
    case platform::FileKind::Missing:
    case platform::FileKind::Regular:
        return {};
    case platform::FileKind::DanglingLink:
        return path + " points to nothing";
    case platform::FileKind::Directory:
        return path + " is a directory, not a logbook file";
    case platform::FileKind::Other:
        if (info.error != 0)
            return {}; // not to be looked at: opening it says why, as for any file
        break;
    default:
        break;
    }
    return path + " is " + kindText(info.kind, info.error) + ", not a logbook file";
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

bool LogbookFile::failWith(Failure failure, const std::string& path, const std::string& reason) {
    failure_ = failure;
    error_path_ = path;
    error_ = reason;
    discard();
    setstate(std::ios::badbit);
    return false;
}

bool LogbookFile::open(const std::string& path, TemporaryWatcher watcher) {
    discard();
    clear();
    failure_ = Failure::None;
    error_.clear();
    error_path_.clear();
    backup_path_.clear();
    buffer_.error = 0;
    buffer_.restart();

    replaces_ = logbookExists(path);
    if (path.empty())
        return failWith(Failure::Open, path, "No logbook file was given");
    if (const std::string problem = logbookPathProblem(path); !problem.empty())
        return failWith(Failure::NotALogbook, path, problem);
    // A link is followed to the file it names, so that the new logbook replaces that file and
    // not the link.
    target_ = platform::inspect(path).resolved;
    // A logbook that its owner protected from writing stays protected, as when it was written in
    // place: replacing it would only need the directory's permission.
    if (replaces_) {
        if (const int error = platform::writeAccess(target_); error != 0)
            return failWith(Failure::Open, path, platform::systemReason(error));
    }
    if (const int error = lock_.acquire(target_); error != 0) {
        if (error == EWOULDBLOCK)
            return failWith(Failure::Busy, path, "another run is writing " + path);
        return failWith(Failure::Open, path, platform::systemReason(error));
    }
    platform::removeLeftovers(target_);

    if (const int error = file_.create(target_, std::move(watcher)); error != 0) {
        // Writing the logbook in place would lose it to the first failure of the run: refuse.
        if ((error == EACCES || error == EPERM || error == EROFS) && replaces_) {
            return failWith(
                Failure::Open, path,
                "The directory " + platform::directoryOf(target_) + " allows no new file (" +
                    platform::systemReason(error) +
                    "); the logbook is only ever replaced whole, never written in place");
        }
        return failWith(Failure::Open, path, platform::systemReason(error));
    }
    writing_ = true;
    return true;
}

bool LogbookFile::commit() {
    if (!writing_)
        return failWith(Failure::Write, target_,
                        error_.empty() ? platform::systemReason(EBADF) : error_);
    flush();
    if (buffer_.error != 0 || bad())
        return failWith(Failure::Write, target_,
                        platform::systemReason(buffer_.error != 0 ? buffer_.error : EIO));

    const std::string backup = replaces_ ? backupTarget() : std::string();
    platform::ReplaceStep step = platform::ReplaceStep::None;
    if (const int error = file_.replace(backup, step); error != 0) {
        switch (step) {
        case platform::ReplaceStep::ReadOld:
            return failWith(Failure::Backup, target_, platform::systemReason(error));
        case platform::ReplaceStep::Backup:
            return failWith(Failure::Backup, backup, platform::systemReason(error));
        default:
            return failWith(Failure::Write, target_, platform::systemReason(error));
        }
    }
    writing_ = false;
    backup_path_ = backup;
    return true;
}

void LogbookFile::discard() {
    writing_ = false;
    file_.discard();
}

bool LogbookFile::FileBuffer::write(const char* data, std::size_t size) {
    const int failure = file == nullptr ? EBADF : file->write(data, size);
    if (failure != 0 && error == 0)
        error = failure;
    return failure == 0;
}

} // namespace logbook
