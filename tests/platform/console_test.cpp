// The terminal a program writes to: whether a standard stream is one and how wide it is, and
// lines written as they are, with no CR added, once the streams are prepared.

#include "platform/Console.h"

#include "MadeFiles.h"
#include "support/FileBytes.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstdio>
#include <iostream>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

using namespace platform_test;

int descriptorOf(Stream stream) {
    return stream == Stream::Input ? 0 : stream == Stream::Output ? 1 : 2;
}

// A standard stream put on another descriptor while this lives. Nothing may be written to the
// stream meanwhile but what the test writes: a failing expectation is written after.
class Redirected {
public:
    Redirected(Stream stream, int fd) : target_(descriptorOf(stream)) {
        std::fflush(nullptr);
#ifdef _WIN32
        saved_ = _dup(target_);
        _dup2(fd, target_);
#else
        saved_ = dup(target_);
        dup2(fd, target_);
#endif
    }
    ~Redirected() {
        std::fflush(nullptr);
#ifdef _WIN32
        _dup2(saved_, target_);
        _close(saved_);
#else
        dup2(saved_, target_);
        close(saved_);
#endif
    }
    Redirected(const Redirected&) = delete;
    Redirected& operator=(const Redirected&) = delete;

private:
    int target_;
    int saved_;
};

// What a stream is put on for a row: a file, or a terminal `columns` wide (0: one that does not
// say); `fd` -1 with why not.
struct Device {
    int fd = -1;
    int master = -1; // the terminal's other side, open while it is used
    std::string why_not;

    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device() {
        for (const int open : {fd, master}) {
            if (open >= 0)
#ifdef _WIN32
                _close(open);
#else
                close(open);
#endif
        }
    }
};

void openFile(const fs::path& path, Device& device) {
#ifdef _WIN32
    device.fd = _wopen(path.c_str(), _O_RDWR | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    device.fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
#endif
}

void openTerminal(unsigned short columns, Device& device) {
#ifdef _WIN32
    static_cast<void>(columns);
    device.why_not = "a console of its own would take the process's standard streams, the "
                     "test runner's output with them";
#else
    device.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (device.master < 0 || grantpt(device.master) != 0 || unlockpt(device.master) != 0) {
        device.why_not = "no pseudo-terminal to be had";
        return;
    }
    device.fd = ::open(ptsname(device.master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    winsize size{};
    size.ws_col = columns;
    size.ws_row = 24;
    ioctl(device.fd, TIOCSWINSZ, &size);
#endif
}

using Console = TestFolder;

TEST_F(Console, TellsATerminalAndItsWidth) {
    const struct {
        const char* row;
        Stream stream;
        bool terminal; // else a file
        unsigned short columns;
        std::size_t told_columns;
    } rows[] = {
        {"input from a file", Stream::Input, false, 0, 0},
        {"output to a file", Stream::Output, false, 0, 0},
        {"errors to a file", Stream::Errors, false, 0, 0},
        {"output to a terminal", Stream::Output, true, 77, 77},
        {"errors to a terminal", Stream::Errors, true, 132, 132},
        {"input from a terminal", Stream::Input, true, 100, 100},
        {"a terminal that does not say", Stream::Output, true, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        Device device;
        if (row.terminal)
            openTerminal(row.columns, device);
        else
            openFile(dir_ / "file", device);
        if (device.fd < 0) {
            std::cout << "skipped row \"" << row.row << "\": " << device.why_not << "\n";
            continue;
        }
        bool terminal = false;
        std::size_t columns = 99;
        {
            const Redirected redirected(row.stream, device.fd);
            terminal = isTerminal(row.stream);
            columns = terminalColumns(row.stream);
        }
        EXPECT_EQ(terminal, row.terminal);
        EXPECT_EQ(columns, row.told_columns);
    }
}

TEST_F(Console, PreparedStreamsWriteLinesAsTheyAre) {
    Device device;
    openFile(dir_ / "output", device);
    ASSERT_GE(device.fd, 0);
    {
        const Redirected redirected(Stream::Output, device.fd);
        prepareStandardStreams();
        std::fputs("one\ntwo\r\n\xc3\xa9\n", stdout);
    }
    EXPECT_EQ(testing_support::bytesOf(dir_ / "output"), "one\ntwo\r\n\xc3\xa9\n");
}

} // namespace
} // namespace platform
