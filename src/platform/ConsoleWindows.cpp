#include "platform/Console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <windows.h>

namespace platform {

namespace {
DWORD handleOf(Stream stream) {
    return stream == Stream::Input    ? STD_INPUT_HANDLE
           : stream == Stream::Output ? STD_OUTPUT_HANDLE
                                      : STD_ERROR_HANDLE;
}
} // namespace

bool isTerminal(Stream stream) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(handleOf(stream)), &mode) != 0;
}

std::size_t terminalColumns(Stream stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(handleOf(stream)), &info))
        return 0;
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

void prepareStandardStreams() {
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

} // namespace platform
