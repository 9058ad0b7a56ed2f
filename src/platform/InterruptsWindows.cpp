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
std::wstring copy; // the old logbook's copy; the replacement keeps backups itself here
bool replaced_already = false;
std::string left_alone;
std::string replaced;

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
    if (!copy.empty())
        DeleteFileW(copy.c_str());
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

void catchInterrupts(const std::string& left_alone_text, const std::string& replaced_text) {
    AcquireSRWLockExclusive(&lock);
    left_alone = left_alone_text;
    replaced = replaced_text;
    ReleaseSRWLockExclusive(&lock);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void watchCopy(const std::string& path) {
    const std::wstring wide = path.empty() ? std::wstring() : longPath(path);
    AcquireSRWLockExclusive(&lock);
    copy = wide;
    ReleaseSRWLockExclusive(&lock);
}

void watchTemporary(const std::string& path, bool in_place) {
    const std::wstring wide = path.empty() ? std::wstring() : longPath(path);
    AcquireSRWLockExclusive(&lock);
    temporary = wide;
    replaced_already = in_place;
    ReleaseSRWLockExclusive(&lock);
}

} // namespace platform
