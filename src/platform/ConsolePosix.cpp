#include "platform/Console.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

namespace {
int descriptorOf(Stream stream) {
    return stream == Stream::Input    ? STDIN_FILENO
           : stream == Stream::Output ? STDOUT_FILENO
                                      : STDERR_FILENO;
}
} // namespace

bool isTerminal(Stream stream) {
    return isatty(descriptorOf(stream)) != 0;
}

std::size_t terminalColumns(Stream stream) {
    winsize size{};
    if (!isTerminal(stream) || ioctl(descriptorOf(stream), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

void prepareStandardStreams() {}

} // namespace platform
