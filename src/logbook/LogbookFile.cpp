#include "logbook/LogbookFile.h"

#include "logbook/Listing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace logbook {

std::string logbookPathProblem(const std::string& path) {
    if (path.empty())
        return "No logbook file was given";
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

int countLogbookEntries(const std::string& path) {
    platform::FileKind kind = platform::FileKind::Other;
    int error = 0;
    std::FILE* file = platform::openFlight(path, true, kind, error);
    if (file == nullptr)
        return -1;
    constexpr int kHeaderLines = 4;
    int line = 1;
    int entries = 0;
    bool holds_something = false;
    char block[64 * 1024];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        for (std::size_t k = 0; k < got; ++k) {
            if (block[k] == '\n') {
                entries += line > kHeaderLines && holds_something ? 1 : 0;
                ++line;
                holds_something = false;
            } else if (block[k] != '\r') {
                holds_something = true;
            }
        }
    }
    entries += line > kHeaderLines && holds_something ? 1 : 0;
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? -1 : entries;
}

std::string LogbookFile::generationPath(const std::string& path, int age) {
    return age == 0 ? path + ".bak" : path + ".bak." + std::to_string(age);
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
    replaced_entries_ = replaces_ ? std::max(countLogbookEntries(path), 0) : -1;
    if (path.empty())
        return failWith(Failure::Open, path, logbookPathProblem(path));
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
    if (replaces_) {
        // The older generations move one place back, the oldest out; each rename is whole, so
        // a run that dies here loses no generation but at most the oldest.
        for (int age = kGenerations - 1; age > 0; --age) {
            const int error = platform::renameReplacing(generationPath(target_, age - 1),
                                                        generationPath(target_, age));
            if (error != 0 && error != ENOENT)
                return failWith(Failure::Backup, generationPath(target_, age),
                                platform::systemReason(error));
        }
    }
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
