#include "install/WindowsRegistry.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>

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

RegistryLocation readRegistryLocation() {
    RegistryLocation location;
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
            return {
                RegistryLocation::Failure::None, 0,
                std::string(buffer, strnlen(buffer, size < sizeof buffer ? size : sizeof buffer))};
        }
        // The first view's reason: where a 64-bit installer wrote a value too long, a 32-bit
        // view without one says less.
        if (location.failure == RegistryLocation::Failure::NoKey) {
            location.failure = RegistryLocation::Failure::Unreadable;
            location.error = result;
        }
    }
    return location;
}

std::string registryReason(const RegistryLocation& location) {
    const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + kRegistryKey;
    switch (location.failure) {
    case RegistryLocation::Failure::None:
        break;
    case RegistryLocation::Failure::NoKey:
        return "no key " + key;
    case RegistryLocation::Failure::Unreadable:
        return std::string("couldn't read the value \"") + kRegistryValue + "\" of " + key + " (" +
               systemMessage(location.error) + ")";
    }
    return {};
}

} // namespace install
