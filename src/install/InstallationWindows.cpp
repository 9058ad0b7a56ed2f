#include "install/Installation.h"

#include "install/WindowsRegistry.h"
#include "platform/WindowsText.h"

#include <windows.h>

#include <cstdlib>

namespace install {

namespace {

// THERMORA_DIR as UTF-8; empty when unset.
std::string environmentDirectory() {
    const wchar_t* value = _wgetenv(L"THERMORA_DIR");
    return value == nullptr ? std::string() : platform::narrowed(value);
}

// The registry's value is text in the system's ANSI code page.
std::string fromAnsi(const std::string& bytes) {
    if (bytes.empty())
        return {};
    const int size =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
    return platform::narrowed(wide);
}

} // namespace

bool findInstallation(std::string& dir) {
    if (std::string value = environmentDirectory(); !value.empty()) {
        dir = std::move(value);
        return true;
    }
    std::string stored;
    if (!readInstallDir(stored))
        return false;
    dir = fromAnsi(stored);
    return true;
}

PresetPaths presetPaths(const std::string& dir) {
    return {dir + "\\data\\IGC", dir + "\\data\\logbook.dat"};
}

std::vector<FoundInstallation> everyInstallation() {
    std::vector<FoundInstallation> found;
    if (std::string value = environmentDirectory(); !value.empty())
        found.push_back({std::move(value), "THERMORA_DIR"});
    std::string stored;
    if (readInstallDir(stored))
        found.push_back({fromAnsi(stored), "registry"});
    return found;
}

} // namespace install
