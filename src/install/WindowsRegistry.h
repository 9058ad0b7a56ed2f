#pragma once

// The simulator's installation directory as its Windows installer leaves it: the value
// "Location" of HKEY_LOCAL_MACHINE\SOFTWARE\Thermora\Thermora Simulator. It needs no Qt, so that
// it builds and is tested on its own. Windows only.

#include <string>

namespace install {

/// The key below HKEY_LOCAL_MACHINE that the installer writes, and its value.
inline constexpr const char* kRegistryKey = "SOFTWARE\\Thermora\\Thermora Simulator";
inline constexpr const char* kRegistryValue = "Location";

/// What the registry holds of the installation: the value's bytes as stored, or why there are
/// none.
struct RegistryLocation {
    enum class Failure {
        None,
        NoKey,      // neither view has the key
        Unreadable, // a view has the key, none a value that fits; `error` says why
    };
    Failure failure = Failure::NoKey;
    long error = 0;    // Unreadable: the system's error code of the first view whose key opened
    std::string value; // without failure: text in the system's ANSI code page
};

/// The value kRegistryValue of kRegistryKey, looked for in the registry's 64-bit view, then in
/// its 32-bit view (Wow6432Node), where a 32-bit installer writes on a 64-bit Windows. The value
/// is read into 256 bytes, whatever its type: a directory of up to 255 bytes with its NUL, and
/// `value` gets its bytes up to the first NUL or the end of what was stored. Writes nothing.
RegistryLocation readRegistryLocation();

/// Why `location` names no installation, for the user: "no key HKEY_LOCAL_MACHINE\..." or
/// "couldn't read the value \"Location\" of HKEY_LOCAL_MACHINE\... (<the system's text>)".
/// Empty without failure.
std::string registryReason(const RegistryLocation& location);

/// The system's text for a Windows error code, as FormatMessage gives it, without the line end
/// that the system appends.
std::string systemMessage(long code);

} // namespace install
