#pragma once

// A logbook's folder as one store: the logbook, the five generations kept beside it (".bak",
// ".bak.1" to ".bak.4"), its lock file and the journal of a change, all worked from one handle
// of the folder. Every change (a run's new logbook, a generation put back) is a list of steps
// written down as a journal beside the logbook before the first is taken; each step has its
// undo, and a change that fails or is killed halfway is undone (or, past the new logbook's
// arrival, finished) by the change itself or by the next run that finds its journal. The
// interruptions of the process wait while the steps are taken.

#include "logbook/Failure.h"
#include "platform/Files.h"
#include "platform/Folder.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

namespace logbook {

/// How many generations of replaced logbooks are kept: `.bak`, then `.bak.1` to `.bak.4`.
inline constexpr int kGenerations = 5;

/// The name of the generation `age` (0 the newest) of the logbook named `name`.
std::string generationName(const std::string& name, int age);

/// The logbook, or one of the earlier logbooks kept beside it, as listed.
struct KeptLogbook {
    int age = -1;        // -1 for the logbook itself, else 0 (".bak") to 4 (".bak.4")
    std::string path;    // the logbook's as given; a generation's beside the file it leads to
    bool exists = false; // a regular file is there
    std::int64_t modified_ms = 0;    // when it was last written, milliseconds since 1970
    platform::FileIdentity identity; // the file and its bytes when listed
    int entries = -1;       // flights it holds, as a run counts them (every line below the header
                            // that holds something); -1 when it could not be read
    int other_lines = 0;    // those of them that are no entry (typed by hand, cut short)
    std::string pilot_name; // as UTF-8
    std::string unreadable; // why it could not be read, in the system's words
};

/// What became of a change that an earlier run left halfway (killed, or its undo failed).
enum class Recovery {
    None,
    Undone,   // its steps were undone: the logbook and its generations are as before it
    Finished, // its new logbook was in place: its last steps were taken
};

struct ChangeStep;

class LogbookStore {
public:
    LogbookStore();
    ~LogbookStore();
    LogbookStore(const LogbookStore&) = delete;
    LogbookStore& operator=(const LogbookStore&) = delete;

    /// Opens the folder of the logbook at `path` (bytes, as given; a link to the logbook is
    /// followed to its file, and the generations are kept beside that file) and looks at the
    /// logbook: a regular file, or nothing yet. No lock: enough to list the generations.
    Expected<void> open(const std::string& path);
    /// Takes the lock for a change, after the checks (a logbook this user may write, a folder
    /// that allows new files), then finishes or undoes a change that an earlier run left
    /// (`recovery`) and removes what runs that died left beside the logbook.
    /// `watcher` is told of the new logbook's temporary name, and of its arrival the moment it
    /// arrives (a restore's too), for an interruption's handler.
    Expected<void> lock(platform::TemporaryWatcher watcher = {});

    /// The logbook and its generations, the logbook first, each read line by line within fixed
    /// bounds whatever it holds.
    [[nodiscard]] std::vector<KeptLogbook> kept() const;
    /// Whether a logbook (a regular file) was there when the store was opened or locked.
    [[nodiscard]] bool hadLogbook() const { return logbook_.kind == platform::FileKind::Regular; }
    /// The logbook opened for reading (the caller's to close), or the error.
    [[nodiscard]] platform::Expected<std::FILE*, std::error_code> openLogbook() const;

    /// Starts the new logbook (a file without a place yet, or with a temporary name). No error,
    /// or the error.
    [[nodiscard]] std::error_code createNew(platform::NewFile& file) const;
    /// Makes `file` the logbook: the one it replaces kept as ".bak", the generations moved back
    /// as far as the first free place, the oldest given up only when all five are taken. A new
    /// logbook byte for byte the old one changes nothing (`upToDate`). False with `failure()`:
    /// every step taken undone, or `undoProblem()` saying what could not be.
    Expected<void> commit(platform::NewFile& file);
    /// Puts generation `age` back as the logbook: it leaves its place, the logbook becomes
    /// ".bak", the generations before its place move back one and none beyond it moves, so that
    /// no generation is lost and restoring ".bak" gives the same six files back. Refused with
    /// Changed when `expected` (as listed) no longer is what that place holds.
    Expected<void> restore(int age, const platform::FileIdentity* expected);

    /// What kept the last step from being taken: its kind, the file it was about, the system's
    /// code, or the whole sentence for NotALogbook and Busy.
    [[nodiscard]] const Failure& failure() const { return failure_; }
    /// Where a failed change left the file it could not put back ("logbook.dat.bak.3 is now
    /// logbook.dat.bak.4"); empty when everything is as it was.
    [[nodiscard]] const std::string& undoProblem() const { return undo_problem_; }
    /// Where the replaced logbook was kept by the last change; empty when there was none.
    [[nodiscard]] const std::string& backupPath() const { return backup_path_; }
    /// The last commit found the logbook already as new: nothing moved.
    [[nodiscard]] bool upToDate() const { return up_to_date_; }
    [[nodiscard]] Recovery recovery() const { return recovery_; }

    /// The path of `name` in the logbook's folder, for words.
    [[nodiscard]] std::string pathOf(const std::string& name) const { return folder_.pathOf(name); }
    /// The path of generation `age`, beside the file the logbook's path leads to.
    [[nodiscard]] std::string generationPath(int age) const {
        return pathOf(generationName(name_, age));
    }
    [[nodiscard]] const std::string& name() const { return name_; }

private:
    platform::Unexpected<Failure> failWith(Failure failure);
    // Looks at what the logbook's name holds now, nothing when it cannot be looked at. No
    // error, or the error.
    std::error_code lookAtLogbook();
    Expected<void> recover();
    Expected<void> run(const std::vector<ChangeStep>& steps, FailureKind failure);
    [[nodiscard]] bool sameBytes(platform::NewFile& file) const;
    void removeLeftovers() const;

    platform::Folder folder_;
    platform::RunLock lock_;
    platform::TemporaryWatcher watcher_;
    std::string path_; // as given
    std::string name_; // the logbook's name in the folder
    platform::FolderEntry logbook_;
    Failure failure_;
    std::string undo_problem_;
    std::string backup_path_;
    bool up_to_date_ = false;
    Recovery recovery_ = Recovery::None;
};

} // namespace logbook
