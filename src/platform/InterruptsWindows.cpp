#include "platform/Interrupts.h"

#include "platform/WindowsText.h"

#include <windows.h>

#include <csignal>
#include <cstring>

namespace platform {

namespace {

// What the console's handler needs, set before the interruption can come; the handler runs on
// a thread of its own, so every change is made under the lock it takes too.
SRWLOCK lock = SRWLOCK_INIT;
std::wstring temporary;
bool replaced_already = false;
std::string left_alone;
std::string replaced;

// The steps held from interruption (`InterruptsHeld` alive, on any thread), and whether one came
// meanwhile: the handler waits for the last of them to go, under `lock`.
CONDITION_VARIABLE steps_done = CONDITION_VARIABLE_INIT;
int steps_held = 0;
bool interrupted = false;

BOOL WINAPI onConsoleEvent(DWORD event) {
    // The exit statuses of the matching POSIX signals, so that a script sees the same numbers:
    // Ctrl-C is SIGINT, Ctrl-Break SIGBREAK, a closed window or an ended session SIGHUP.
    int status = 128 + SIGINT;
    switch (event) {
    case CTRL_C_EVENT:
        break;
    case CTRL_BREAK_EVENT:
        status = 128 + SIGBREAK;
        break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        status = 129;
        break;
    default:
        return FALSE;
    }
    AcquireSRWLockExclusive(&lock);
    // A change to the folder is never stopped between two of its steps: what it leaves once the
    // last step held is done is what the words below say.
    interrupted = true;
    while (steps_held > 0)
        SleepConditionVariableSRW(&steps_done, &lock, INFINITE, 0);
    const std::string* message = replaced_already ? &replaced : &left_alone;
    if (!replaced_already && !temporary.empty() && !DeleteFileW(temporary.c_str()) &&
        GetLastError() == ERROR_FILE_NOT_FOUND)
        message = &replaced; // the new file was put in place a moment ago
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), message->data(), static_cast<DWORD>(message->size()),
              &written, nullptr);
    ExitProcess(static_cast<UINT>(status));
}

} // namespace

InterruptsBlocked::InterruptsBlocked() {
    // The console's events come on a thread of the system's; nothing to keep from this one.
    static_cast<void>(saved_);
}

InterruptsBlocked::~InterruptsBlocked() = default;

InterruptsHeld::InterruptsHeld() {
    static_cast<void>(saved_);
    AcquireSRWLockExclusive(&lock);
    ++steps_held;
    ReleaseSRWLockExclusive(&lock);
}

InterruptsHeld::~InterruptsHeld() {
    AcquireSRWLockExclusive(&lock);
    const bool last = --steps_held == 0;
    const bool ending = last && interrupted;
    ReleaseSRWLockExclusive(&lock);
    if (!last)
        return;
    WakeAllConditionVariable(&steps_done);
    // As a signal held on POSIX systems is taken the moment it is let go: no further step of
    // this thread starts while the handler ends the process.
    if (ending)
        Sleep(INFINITE);
}

void catchInterrupts(const std::string& left_alone_text, const std::string& replaced_text) {
    AcquireSRWLockExclusive(&lock);
    left_alone = left_alone_text;
    replaced = replaced_text;
    ReleaseSRWLockExclusive(&lock);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void watchTemporary(const std::string& path, bool in_place) {
    const std::wstring wide = path.empty() ? std::wstring() : longPath(path);
    AcquireSRWLockExclusive(&lock);
    temporary = wide;
    replaced_already = in_place;
    ReleaseSRWLockExclusive(&lock);
}

} // namespace platform
