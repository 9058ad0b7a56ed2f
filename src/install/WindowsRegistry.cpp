#include "install/WindowsRegistry.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>
#include <iostream>

namespace install {

namespace {

// A 64-bit installer writes to the 64-bit view, a 32-bit one on a 64-bit Windows to the 32-bit
// view. Without a view in the access mask a program sees only its own, so each is named; on a
// 32-bit Windows both names stand for its one registry.
constexpr REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

// A directory of up to 255 bytes and its NUL. A longer value fails with ERROR_MORE_DATA.
constexpr DWORD kValueBytes = 256;

} // namespace

std::string systemMessage(long code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    LocalFree(text);
    // Without the line end that the system appends: the diagnostic that quotes it is one line.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

bool readInstallDir(std::string& dir) {
    bool key_opened = false;
    LONG read_error = ERROR_SUCCESS;
    for (const REGSAM view : kViews) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_QUERY_VALUE | view, &key) !=
            ERROR_SUCCESS)
            continue;
        char buffer[kValueBytes] = {};
        DWORD size = sizeof buffer;
        const LONG result = RegQueryValueExA(key, kRegistryValue, nullptr, nullptr,
                                             reinterpret_cast<LPBYTE>(buffer), &size);
        RegCloseKey(key);
        if (result == ERROR_SUCCESS) {
            // A value stored without its terminating NUL can fill the buffer to the end: read
            // no further than the bytes the registry returned.
            dir.assign(buffer, strnlen(buffer, size < sizeof buffer ? size : sizeof buffer));
            return true;
        }
        if (!key_opened)
            read_error = result;
        key_opened = true;
    }
    if (!key_opened) {
        std::cerr << "Error: couldn't open registry key!\n";
        return false;
    }
    std::cerr << "Error: couldn't read registry key! (" << systemMessage(read_error) << ")\n";
    return false;
}

} // namespace install
