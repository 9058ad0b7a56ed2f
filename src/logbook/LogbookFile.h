#pragma once

// The logbook output stream, written so that a pilot's logbook is never lost: the new logbook
// goes to a temporary file beside the old one and replaces it in one rename once it is whole and
// on disk. Until then the old logbook is byte for byte as it was, whatever happens to the run (a
// full disk, a cancel, a signal, a crash). The logbook that a run replaces is kept beside it as
// the same name plus ".bak".
//
// The simulator reads the logbook with CR LF line ends, so every "\n" written to this stream
// (std::endl included) lands in the file as CR LF on every platform: a logbook is byte-identical
// wherever it was made.

#include "logbook/CrLfBuffer.h"

#include <functional>
#include <ostream>
#include <string>

namespace logbook {

class LogbookFile : public std::ostream {
public:
    /// Told the temporary file's path when it is created, and an empty path once it is gone:
    /// `in_place` when it became the logbook, not when it was removed. A signal handler
    /// removes the file it was last told of.
    using TemporaryWatcher = std::function<void(const std::string& temporary_path, bool in_place)>;

    LogbookFile();
    /// Removes the temporary file unless it was committed.
    ~LogbookFile() override;
    LogbookFile(const LogbookFile&) = delete;
    LogbookFile& operator=(const LogbookFile&) = delete;

    /// Starts a new logbook for `path` (bytes, as given): a temporary file in the same
    /// directory. False, with the stream failed and `error()` set, when it cannot be created;
    /// nothing on disk has changed then.
    bool open(const std::string& path, TemporaryWatcher watcher = {});

    /// Makes what was written the logbook at `path`: flushed to disk, the old logbook copied to
    /// `backupPath()`, then renamed into place with the old file's permissions. False, with
    /// `error()` set and the temporary file removed, when any step fails: the old logbook is
    /// then as it was.
    bool commit();

    /// Drops what was written; the old logbook stays as it was.
    void discard();

    /// The system's reason for the last failure ("No space left on device").
    [[nodiscard]] const std::string& error() const { return error_; }
    /// The file that the failed step was about (the logbook, its directory or the backup).
    [[nodiscard]] const std::string& errorPath() const { return error_path_; }
    /// Where the replaced logbook was kept by the last commit; empty when there was none.
    [[nodiscard]] const std::string& backupPath() const { return backup_path_; }
    /// Where a commit keeps the replaced logbook: the logbook's file name plus ".bak".
    [[nodiscard]] std::string backupTarget() const { return target_ + ".bak"; }
    /// True when a file or directory of the logbook's name existed when the run began.
    [[nodiscard]] bool replacesExisting() const { return replaces_; }

private:
    // Buffered writes to a file descriptor with LF written as CR LF; remembers the first
    // failure's errno so that the user hears the system's reason.
    class FileBuffer : public CrLfBuffer {
    public:
        void reset(int file) {
            fd = file;
            error = 0;
            restart();
        }
        int fd = -1;
        int error = 0;

    protected:
        bool write(const char* data, std::size_t size) override;
    };

    bool failWith(const std::string& path, int error);
    bool failWith(const std::string& path, const std::string& reason);
    void removeTemporary();

    FileBuffer buffer_;
    std::string target_;    // the logbook's path, symbolic links resolved
    std::string temporary_; // the new logbook until it is renamed into place
    std::string backup_path_;
    std::string error_;
    std::string error_path_;
    bool replaces_ = false;
    TemporaryWatcher watcher_;
};

/// The text of a file-system error code, as the system gives it.
std::string systemReason(int error);

} // namespace logbook
