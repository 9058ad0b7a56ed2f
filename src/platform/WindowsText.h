#pragma once

// Paths and texts between the core's UTF-8 and the Windows API's UTF-16, and the Windows API's
// errors as the core's error numbers, so that a failure reads the same on every platform.

#include <string>

namespace platform {

/// UTF-8 to UTF-16; bytes that are not UTF-8 become U+FFFD.
std::wstring widened(const std::string& text);
/// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string narrowed(const std::wstring& text);

/// `path` as the Windows API takes paths of any length: absolute, with backslashes, in the
/// "\\?\" form (a network path as "\\?\UNC\server\share"). Devices ("\\.\NUL", "CON") as they are.
std::wstring longPath(const std::string& path);

/// The error number (as errno has them: ENOENT, EACCES, ENOSPC...) for a Windows error code.
int errnoOf(unsigned long windows_error);

} // namespace platform
