#pragma once

// The logbook output stream, written so that a pilot's logbook is never lost: the new logbook
// is written beside the old one and replaces it in one step once it is whole and on disk. Until
// then the old logbook is byte for byte as it was, whatever happens to the run (a full disk, a
// cancel, a signal, a crash). The logbook that a run replaces is itself kept beside it, under
// the same name plus ".bak"; the one before it as ".bak.1", and so on to ".bak.4". Only a regular
// file (or a link to one) is ever replaced, and only one run at a time writes a logbook.
//
// The simulator reads the logbook with CR LF line ends, so every "\n" written to this stream
// (std::endl included) lands in the file as CR LF on every platform: a logbook is byte-identical
// wherever it was made.

#include "logbook/CrLfBuffer.h"
#include "platform/Files.h"

#include <ostream>
#include <string>

namespace logbook {

class LogbookFile : public std::ostream {
public:
    using TemporaryWatcher = platform::TemporaryWatcher;

    /// What kept the logbook from being written.
    enum class Failure {
        None,
        NotALogbook, // the path names something else: a device, a directory, a link to nothing
        Busy,        // another run is writing the logbook
        Open,        // no new logbook could be started (permissions, a missing directory)
        Write,       // writing, flushing or putting the new logbook in place failed
        Backup,      // the old logbook could not be kept as the backup; it was not replaced
    };

    LogbookFile();
    /// Drops the new logbook unless it was committed.
    ~LogbookFile() override;
    LogbookFile(const LogbookFile&) = delete;
    LogbookFile& operator=(const LogbookFile&) = delete;

    /// Starts a new logbook for `path` (bytes, as given), after the checks: the path names a
    /// regular file that this user may write, or nothing yet; no other run is writing it. The
    /// run then holds the logbook until this object is gone, and clears what runs that died left
    /// beside it. False, with the stream failed and `failure()` set, when it cannot start;
    /// nothing on disk has changed then.
    bool open(const std::string& path, TemporaryWatcher watcher = {});

    /// Makes what was written the logbook at `path`: on disk, the old logbook kept as
    /// `backupPath()`, then put in its place with the old file's owner and permissions. False,
    /// with `failure()` set and the new file removed, when any step fails: the old logbook is
    /// then as it was.
    bool commit();

    /// Drops what was written; the old logbook stays as it was.
    void discard();

    [[nodiscard]] Failure failure() const { return failure_; }
    /// The system's reason for the failure ("No space left on device"), or the whole sentence
    /// for NotALogbook and Busy.
    [[nodiscard]] const std::string& error() const { return error_; }
    /// The file that the failed step was about (the logbook, its directory or the backup).
    [[nodiscard]] const std::string& errorPath() const { return error_path_; }
    /// Where the replaced logbook was kept by the last commit; empty when there was none.
    [[nodiscard]] const std::string& backupPath() const { return backup_path_; }
    /// Where a commit keeps the replaced logbook: the logbook's file name plus ".bak".
    [[nodiscard]] std::string backupTarget() const { return generationPath(target_, 0); }
    /// Where the generation `age` of the logbook opened is kept, links to it resolved.
    [[nodiscard]] std::string generationTarget(int age) const {
        return generationPath(target_, age);
    }
    /// Appends `size` bytes exactly as they are, line ends included (an earlier logbook put
    /// back). False, with the stream failed, when they could not be written.
    bool writeAsIs(const char* data, std::size_t size);
    /// True when a logbook (a regular file) of that name existed when the run began.
    [[nodiscard]] bool replacesExisting() const { return replaces_; }
    /// The entries of that logbook when the run began; -1 when there was none or it could not
    /// be read.
    [[nodiscard]] int replacedEntries() const { return replaced_entries_; }
    /// Why that logbook could not be read to count its entries; 0 when it could (or there was
    /// none). A count that cannot be taken is not zero.
    [[nodiscard]] int replacedReadError() const { return replaced_read_error_; }

    /// How many generations of replaced logbooks are kept: `.bak`, then `.bak.1` to `.bak.4`.
    static constexpr int kGenerations = 5;
    /// Where the generation `age` (0 the newest) of the logbook `path` is kept.
    static std::string generationPath(const std::string& path, int age);

private:
    // Buffered writes to the new file with LF written as CR LF; remembers the first failure's
    // error so that the user hears the system's reason.
    class FileBuffer : public CrLfBuffer {
    public:
        platform::NewFile* file = nullptr;
        int error = 0;

    protected:
        bool write(const char* data, std::size_t size) override;
    };

    bool failWith(Failure failure, const std::string& path, const std::string& reason);

    platform::RunLock lock_;
    platform::NewFile file_;
    FileBuffer buffer_;
    bool writing_ = false;
    std::string target_; // the logbook's path, symbolic links resolved
    std::string backup_path_;
    Failure failure_ = Failure::None;
    std::string error_;
    std::string error_path_;
    bool replaces_ = false;
    int replaced_entries_ = -1;
    int replaced_read_error_ = 0;
};

/// The entries of the logbook at `path`: its lines after the four of the header that hold
/// anything; -1 when it cannot be read, with the system's error in `error` when given.
int countLogbookEntries(const std::string& path, int* error = nullptr);

/// Why `path` cannot be a logbook file, as a sentence that names it ("/dev/null is a character
/// device, not a logbook file", "L points to nothing", "No logbook file was given"); empty when
/// it names a regular file or nothing yet.
std::string logbookPathProblem(const std::string& path);

/// Why no logbook can be created at `target`, in the system's words and what to do about it:
/// "No such file or directory: the folder /x does not exist", "Permission denied: you may not
/// write in the folder D; choose a logbook file in a folder of your own".
std::string creationProblem(const std::string& target, int error);

/// Whether a logbook (a regular file, also behind a link) exists at `path`.
bool logbookExists(const std::string& path);

} // namespace logbook
