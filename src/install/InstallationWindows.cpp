#include "install/SystemSearch.h"

#include "install/WindowsRegistry.h"
#include "platform/Files.h"
#include "platform/WindowsText.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace install {

std::string environmentDirectory() {
    const wchar_t* value = _wgetenv(L"THERMORA_DIR");
    return value == nullptr ? std::string() : platform::narrowed(value);
}

namespace {

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

void searchSystem(InstallationSearch& search) {
    const RegistryLocation location = readRegistryLocation();
    if (location.failure != RegistryLocation::Failure::None) {
        search.passed_over.push_back({PlaceKind::Registry, "registry", registryReason(location)});
        return;
    }
    // No Windows path holds a control character: such a value names no installation, and its
    // bytes would be told to the terminal.
    if (std::any_of(location.value.begin(), location.value.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        search.passed_over.push_back({PlaceKind::Registry, "registry",
                                      std::string("the value \"") + kRegistryValue +
                                          "\" of HKEY_LOCAL_MACHINE\\" + kRegistryKey +
                                          " holds a control character, which no Windows path can"});
        return;
    }
    std::string directory = unquotedLocation(fromAnsi(location.value));
    // A folder since removed (the simulator uninstalled by hand, a drive not there) is no
    // installation to preset the paths from.
    if (const platform::FileKind kind = platform::inspect(directory).kind;
        kind != platform::FileKind::Directory) {
        search.passed_over.push_back(
            {PlaceKind::Registry, "registry",
             std::string("the value \"") + kRegistryValue + "\" of HKEY_LOCAL_MACHINE\\" +
                 kRegistryKey + " names " + directory +
                 (kind == platform::FileKind::Missing ? ", a folder that does not exist"
                                                      : ", which is not a folder")});
        return;
    }
    if (!search.taken)
        search.taken = search.found.size();
    search.found.push_back({std::move(directory), "registry", PlaceKind::Registry, "the registry"});
}

PresetPaths presetPaths(const std::string& dir) {
    // An older simulator without a manifest, installed under Program Files, has what it writes
    // there redirected to the user's VirtualStore; this program sees the real folder.
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    const std::string root = local == nullptr || *local == L'\0'
                                 ? std::string()
                                 : platform::narrowed(local) + "\\VirtualStore";
    return presetPathsBeside(dir, virtualStoreCopy(dir, root), '\\');
}

platform::DateFormatter entryDateFormatter(const std::string& /*logbook_path*/,
                                           const InstallationSearch& /*search*/) {
    // The simulator runs as this user: the user's own short date form.
    return platform::localeDateFormatter();
}

GivenPath givenPath(const std::string& given, const InstallationSearch& /*search*/) {
    return {given, {}, {}};
}

} // namespace install
