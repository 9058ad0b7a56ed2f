#include "logbook/LogbookFile.h"

#include "logbook/Listing.h"

#include "platform/TemporaryNames.h"

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
        return info.foreign_link + " is " + kindText(info.kind, 0);
    case platform::FileKind::Other:
        if (info.error != 0)
            return {}; // not to be looked at: opening it says why, as for any file
        break;
    default:
        break;
    }
    return path + " is " + kindText(info.kind, info.error) + ", not a logbook file";
}

std::string creationProblem(const std::string& target, int error) {
    const std::string reason = platform::systemReason(error);
    const std::string folder = platform::directoryOf(target);
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        switch (platform::inspect(folder).kind) {
        case platform::FileKind::Directory:
            break;
        case platform::FileKind::Missing:
            return reason + ": the folder " + folder + " does not exist";
        default:
            return reason + ": " + folder + " is not a folder";
        }
        break;
    case EACCES:
    case EPERM:
        return reason + ": you may not write in the folder " + folder +
               "; choose a logbook file in a folder of your own";
    case EROFS:
        return reason + ": choose a logbook file on a disk that can be written";
    default:
        break;
    }
    return reason;
}

bool logbookExists(const std::string& path) {
    return !path.empty() && platform::inspect(path).kind == platform::FileKind::Regular;
}

int countLogbookEntries(const std::string& path, int* error) {
    platform::FileKind kind = platform::FileKind::Other;
    int open_error = 0;
    std::FILE* file = platform::openFlight(path, true, kind, open_error);
    if (file == nullptr) {
        if (error != nullptr)
            *error = open_error != 0 ? open_error : EIO;
        return -1;
    }
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
    const int read_error = errno;
    std::fclose(file);
    if (failed && error != nullptr)
        *error = read_error != 0 ? read_error : EIO;
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
    replaced_read_error_ = 0;
    replaced_entries_ = replaces_ ? countLogbookEntries(path, &replaced_read_error_) : -1;
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
    // A folder that allows no new file refuses the lock file first: said as for the new file.
    const auto refuse = [&](int error) {
        if ((error == EACCES || error == EPERM || error == EROFS) && replaces_) {
            // Writing the logbook in place would lose it to the first failure of the run.
            return failWith(
                Failure::Open, path,
                "The directory " + platform::directoryOf(target_) + " allows no new file (" +
                    platform::systemReason(error) +
                    "); the logbook is only ever replaced whole, never written in place");
        }
        return failWith(Failure::Open, path, creationProblem(target_, error));
    };
    if (const int error = lock_.acquire(target_); error != 0) {
        if (error == EWOULDBLOCK)
            return failWith(Failure::Busy, path, "another run is writing " + path);
        return refuse(error);
    }
    platform::removeLeftovers(target_);

    if (const int error = file_.create(target_, std::move(watcher)); error != 0)
        return refuse(error);
    writing_ = true;
    return true;
}

namespace {

// The generations' renames that made room for a backup, undone when the replacement then
// fails, so that a failed run leaves every generation where and as it was.
class MovedGenerations {
public:
    explicit MovedGenerations(std::string target) : target_(std::move(target)) {}
    MovedGenerations(const MovedGenerations&) = delete;
    MovedGenerations& operator=(const MovedGenerations&) = delete;
    ~MovedGenerations() { undo(); }

    // Frees the backup's name, moving generations back only as far as the first free place
    // (a pilot may have put `.bak` back as the logbook himself). With all of them taken, the
    // oldest is set aside, and given up only by `keep`. 0, or the error with `failed_path`.
    int makeRoom(std::string& failed_path) {
        int free_age = -1;
        for (int age = 0; age < LogbookFile::kGenerations && free_age < 0; ++age) {
            if (!taken(LogbookFile::generationPath(target_, age)))
                free_age = age;
        }
        if (free_age < 0) {
            free_age = LogbookFile::kGenerations - 1;
            const std::string oldest = LogbookFile::generationPath(target_, free_age);
            // Named as the logbook's temporary files are: a run that dies from here on leaves
            // it to the next run's clearing, having lost only the oldest generation.
            if (const int error = move(oldest, platform::temporaryNameFor(target_)); error != 0) {
                failed_path = oldest;
                return error;
            }
            set_aside_ = moves_.back().second;
        }
        for (int age = free_age; age > 0; --age) {
            const std::string from = LogbookFile::generationPath(target_, age - 1);
            const std::string to = LogbookFile::generationPath(target_, age);
            if (const int error = move(from, to); error != 0) {
                failed_path = to;
                return error;
            }
        }
        return 0;
    }
    // The run succeeded: the moves stand, and the oldest generation set aside is given up.
    void keep() {
        moves_.clear();
        if (!set_aside_.empty())
            static_cast<void>(platform::removeFile(set_aside_));
        set_aside_.clear();
    }

private:
    static bool taken(const std::string& path) {
        const platform::PathInfo info = platform::inspect(path);
        return info.kind != platform::FileKind::Missing || info.is_link;
    }
    int move(const std::string& from, const std::string& to) {
        const int error = platform::renameReplacing(from, to);
        if (error == 0)
            moves_.emplace_back(from, to);
        return error;
    }
    void undo() {
        for (auto move = moves_.rbegin(); move != moves_.rend(); ++move)
            static_cast<void>(platform::renameReplacing(move->second, move->first));
        moves_.clear();
    }

    std::string target_;
    std::vector<std::pair<std::string, std::string>> moves_; // from, to; in their order
    std::string set_aside_;
};

} // namespace

bool LogbookFile::commit() {
    if (!writing_)
        return failWith(Failure::Write, target_,
                        error_.empty() ? platform::systemReason(EBADF) : error_);
    // Every step that can fail without touching the old logbook or its generations comes
    // first: the new file written, on disk, with the old file's owner and permissions.
    flush();
    if (buffer_.error != 0 || bad())
        return failWith(Failure::Write, target_,
                        platform::systemReason(buffer_.error != 0 ? buffer_.error : EIO));
    platform::ReplaceStep step = platform::ReplaceStep::None;
    if (const int error = file_.prepare(step); error != 0)
        return failWith(Failure::Write, target_, platform::systemReason(error));

    // Only a logbook that is still there is kept (one deleted during the run is not), and the
    // generations make room for it only then.
    const std::string backup = file_.replacesOld() ? backupTarget() : std::string();
    MovedGenerations generations(target_);
    if (!backup.empty()) {
        std::string failed_path;
        if (const int error = generations.makeRoom(failed_path); error != 0)
            return failWith(Failure::Backup, failed_path, platform::systemReason(error));
    }
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
    generations.keep();
    writing_ = false;
    backup_path_ = backup;
    return true;
}

bool LogbookFile::writeAsIs(const char* data, std::size_t size) {
    // What the stream collected goes first, through its line ends.
    flush();
    if (buffer_.error == 0 && !bad() && writing_) {
        if (const int error = file_.write(data, size); error != 0)
            buffer_.error = error;
    }
    if (buffer_.error != 0 || !writing_)
        setstate(std::ios::badbit);
    return !bad();
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
