#pragma once

// The simulator's installation directory as its Windows installer leaves it: the value
// "Location" of HKEY_LOCAL_MACHINE\SOFTWARE\Thermora\Thermora Simulator. This is the Windows
// readInstallDir; it needs no Qt, so that it builds and is tested on its own. Windows only.

#include <string>

namespace install {

/// The key below HKEY_LOCAL_MACHINE that the installer writes, and its value.
inline constexpr const char* kRegistryKey = "SOFTWARE\\Thermora\\Thermora Simulator";
inline constexpr const char* kRegistryValue = "Location";

/// Sets `dir` to the value kRegistryValue of kRegistryKey, looked for in the registry's 64-bit
/// view, then in its 32-bit view (Wow6432Node), where a 32-bit installer writes on a 64-bit
/// Windows. The value is read into 256 bytes, whatever its type: a directory of up to 255 bytes
/// with its NUL, and `dir` gets its bytes up to the first NUL or the end of what was stored.
/// False when no view has the key ("Error: couldn't open registry key!") or none of the keys
/// has a value that fits ("Error: couldn't read registry key! (<the system's text>)", the
/// reason of the first view whose key opened): one line on std::cerr, `dir` unchanged.
bool readInstallDir(std::string& dir);

/// The system's text for a Windows error code, as FormatMessage gives it, without the line end
/// that the system appends.
std::string systemMessage(long code);

} // namespace install
