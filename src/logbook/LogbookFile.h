#pragma once

// The logbook output stream, written so that a pilot's logbook is never lost: the new logbook
// is written beside the old one and put in its place through the logbook's store once it is
// whole and on disk. Until then the old logbook is byte for byte as it was, whatever happens to
// the run (a full disk, a cancel, a signal, a crash). Only a regular file (or a link to one) is
// ever replaced, and only one run at a time writes a logbook.
//
// The simulator reads the logbook with CR LF line ends, so every "\n" written to this stream
// (std::endl included) lands in the file as CR LF on every platform: a logbook is byte-identical
// wherever it was made.

#include "logbook/CrLfBuffer.h"
#include "logbook/LogbookStore.h"
#include "platform/Files.h"

#include <ostream>
#include <string>
#include <system_error>

namespace logbook {

class LogbookFile : public std::ostream {
public:
    using TemporaryWatcher = platform::TemporaryWatcher;

    LogbookFile();
    /// Drops the new logbook unless it was committed.
    ~LogbookFile() override;
    LogbookFile(const LogbookFile&) = delete;
    LogbookFile& operator=(const LogbookFile&) = delete;

    /// Starts a new logbook for `path` (bytes, as given), after the store's checks and with its
    /// lock (see LogbookStore::open and lock). The failure, the stream failed too, when it
    /// cannot start; nothing on disk has changed then.
    Expected<void> open(const std::string& path, TemporaryWatcher watcher = {});

    /// Makes what was written the logbook (LogbookStore::commit). The failure, the new file
    /// removed, when any step fails.
    Expected<void> commit();

    /// Drops what was written; the old logbook stays as it was.
    void discard();

    /// The logbook's store, open and locked while this writes.
    [[nodiscard]] const LogbookStore& store() const { return store_; }
    /// What kept the last step from being taken.
    [[nodiscard]] const Failure& failure() const { return failure_ ? failure_ : store_.failure(); }
    /// True when a logbook (a regular file) of that name was there when the run took its lock.
    [[nodiscard]] bool replacesExisting() const { return store_.hadLogbook(); }

private:
    // Buffered writes to the new file with LF written as CR LF; remembers the first failure's
    // error so that the user hears the system's reason.
    class FileBuffer : public CrLfBuffer {
    public:
        platform::NewFile* file = nullptr;
        std::error_code error;

    protected:
        bool write(const char* data, std::size_t size) override;
    };

    platform::Unexpected<Failure> failWith(Failure failure);

    LogbookStore store_;
    platform::NewFile file_;
    FileBuffer buffer_;
    bool writing_ = false;
    Failure failure_;
};

/// Why `path` cannot be a logbook file, as a sentence that names it ("/dev/null is a character
/// device, not a logbook file", "L points to nothing", "No logbook file was given"); empty when
/// it names a regular file or nothing yet.
std::string logbookPathProblem(const std::string& path);

/// Why no logbook can be created at `target`, in the system's words and what to do about it:
/// "No such file or directory: the folder /x does not exist", "Permission denied: you may not
/// write in the folder D; choose a logbook file in a folder of your own".
std::string creationProblem(const std::string& target, std::error_code error);

/// Whether `error`, met making a file in a folder, says that the folder allows no new file (its
/// permissions, a read-only disk).
bool allowsNoNewFile(std::error_code error);

/// Whether a logbook (a regular file, also behind a link) exists at `path`.
bool logbookExists(const std::string& path);

} // namespace logbook
