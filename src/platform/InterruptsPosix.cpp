#include "platform/Interrupts.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace platform {

namespace {

// The one set of signals that interrupt a run. SIGPIPE: whoever read the output went away
// (`... | head`); the run cannot say anything more, and ends as a SIGTERM would.
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

sigset_t interruptSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : kInterrupts)
        sigaddset(&set, signal_number);
    return set;
}

// What the handler may touch: fixed buffers filled before the signals can arrive, and a phase
// that tells whether the new file is still a temporary one.
enum Phase : int { kNoFile = 0, kTemporary = 1, kReplaced = 2 };
volatile std::sig_atomic_t phase = kNoFile;
char temporary[4096];
char left_alone[8192];
char replaced[8192];
std::size_t left_alone_length = 0;
std::size_t replaced_length = 0;

extern "C" void onInterrupt(int signal_number) {
    const char* message = left_alone;
    std::size_t length = left_alone_length;
    if (phase == kTemporary && ::unlink(temporary) != 0 && errno == ENOENT) {
        // The rename came first: the new file is in place, there is nothing to remove.
        message = replaced;
        length = replaced_length;
    } else if (phase == kReplaced) {
        message = replaced;
        length = replaced_length;
    }
    static_cast<void>(::write(STDERR_FILENO, message, length));
    ::_exit(128 + signal_number);
}

std::size_t copyInto(char* buffer, std::size_t size, const std::string& text) {
    const std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

} // namespace

namespace {

// Blocks the interruptions on the calling thread, its mask before kept in `saved`.
template <std::size_t Size>
void blockInto(unsigned char (&saved)[Size]) {
    static_assert(sizeof(sigset_t) <= Size);
    const sigset_t blocked = interruptSet();
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &blocked, &old);
    std::memcpy(saved, &old, sizeof old);
}

template <std::size_t Size>
void restoreFrom(const unsigned char (&saved)[Size]) {
    sigset_t old;
    std::memcpy(&old, saved, sizeof old);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

} // namespace

InterruptsBlocked::InterruptsBlocked() {
    blockInto(saved_);
}

InterruptsBlocked::~InterruptsBlocked() {
    restoreFrom(saved_);
}

// The signals go to the process: blocked on the thread that takes the steps (the workers block
// them all their lives), they wait for it.
InterruptsHeld::InterruptsHeld() {
    blockInto(saved_);
}

InterruptsHeld::~InterruptsHeld() {
    restoreFrom(saved_);
}

void catchInterrupts(const std::string& left_alone_text, const std::string& replaced_text) {
    {
        const InterruptsBlocked blocked;
        left_alone_length = copyInto(left_alone, sizeof left_alone, left_alone_text);
        replaced_length = copyInto(replaced, sizeof replaced, replaced_text);
    }
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_mask = interruptSet();
    for (const int signal_number : kInterrupts)
        sigaction(signal_number, &action, nullptr);
}

void watchTemporary(const std::string& path, bool in_place) {
    const InterruptsBlocked blocked;
    copyInto(temporary, sizeof temporary, path);
    phase = in_place ? kReplaced : path.empty() ? kNoFile : kTemporary;
}

} // namespace platform
