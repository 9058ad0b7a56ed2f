// Holds a file open without sharing it, as the simulator holds its logbook while it runs, until
// its standard input ends or it is ended: the Windows command line's tests save a logbook that
// another program holds so. "held" on standard output says that the file is held.
//
//   hold_open FILE

#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: hold_open FILE\n", stderr);
        return 2;
    }
    // No sharing at all: every other opening of the file fails while this one lasts.
    const HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "hold_open: not opened (error %lu)\n", GetLastError());
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) &&
           got > 0) {
    }
    CloseHandle(file);
    return 0;
}
