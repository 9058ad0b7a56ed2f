#pragma once

// What the systems' files of folders (FilesPosix.cpp, FilesWindows.cpp) share, so that what is
// the same on every system is written once, in Folder.cpp: the state of a NewFile (its life
// apart from the system's calls, the temporary name it draws and gives up and who is told of
// it, is Folder.cpp's; the steps that need its handle are each system's own), and how a name
// that no file may have is refused.

#include "platform/Folder.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include "platform/WindowsHandles.h"
#else
#include "platform/PosixHandles.h"
#endif

namespace platform {

#ifdef _WIN32
using SystemFile = KernelHandle;
#else
using SystemFile = Descriptor;
#endif

/// What opening a flight by a name that no file of the folder may have gives: nothing, with kind
/// Other and EINVAL.
inline OpenedFlight refusedName() {
    return {nullptr, FileKind::Other, errorOf(EINVAL)};
}

struct NewFile::State {
    SystemFile file;
    const Folder* folder = nullptr;
    std::string target;
    std::string named; // its temporary name while it has one
    // Bytes written, where the next are appended: Windows writes at an offset, so that a read
    // back in between does not move where the writing goes; POSIX systems append at the
    // descriptor's position.
    std::int64_t length = 0;
    TemporaryWatcher watcher;

    /// Begins a new file in `in` for the target `target_name`, with nothing open or named yet.
    void start(const Folder& in, std::string_view target_name, TemporaryWatcher told);
    /// Tells the watcher, if any, the path of the name `name` (empty: none any more).
    void tell(const std::string& name, bool in_place) const;
    /// Draws temporary names of the target until `make` (no error, EEXIST when the name is
    /// taken, or the error) makes the file under one; the file is then named so and the watcher
    /// told. No error, or the error; EEXIST when every name drawn was taken.
    std::error_code
    takeName(const std::function<std::error_code(const std::string& candidate)>& make);
    /// Why a write cannot go ahead: no file open, or a fault that a test put there; no error
    /// when it can.
    [[nodiscard]] std::error_code writeRefused() const;
};

} // namespace platform
