#pragma once

// The interruptions that end a run from outside: on POSIX the signals SIGINT, SIGTERM, SIGHUP
// and SIGPIPE (a reader of the output that went away), on Windows Ctrl-C, Ctrl-Break and the
// console window closed. A run that is interrupted removes its temporary file, says what became
// of the logbook and ends; the threads that analyse files never take an interruption.

#include <string>

namespace platform {

/// Keeps the interruptions away from the calling thread and from every thread it starts while
/// this lives (they inherit it), so that the handler runs on the thread that installed it.
class InterruptsBlocked {
public:
    InterruptsBlocked();
    ~InterruptsBlocked();
    InterruptsBlocked(const InterruptsBlocked&) = delete;
    InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;

private:
    unsigned char saved_[128]; // the thread's previous mask, where the platform has one
};

/// Holds every interruption off while this lives, on whatever thread the system would deliver
/// it: one that comes meanwhile takes effect once the last of these goes. The steps of a change
/// to the logbook's folder are taken under it, so that an interruption never stops between two.
class InterruptsHeld {
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    unsigned char saved_[128];
};

/// From now on an interruption removes the temporary file that `watchTemporary` was last told
/// of, writes `left_alone` to standard error (or `replaced`, when the new file was already in
/// place) and ends the process with the interruption's exit status: 128 plus the signal's
/// number on POSIX (SIGINT 130, SIGPIPE 141, SIGTERM 143, SIGHUP 129).
void catchInterrupts(const std::string& left_alone, const std::string& replaced);

/// What the handler needs to know of the temporary file: its path while it has one (empty once
/// it has none), and whether it became the target. Matches `platform::TemporaryWatcher`.
void watchTemporary(const std::string& path, bool in_place);

} // namespace platform
