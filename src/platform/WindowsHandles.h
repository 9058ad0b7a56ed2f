#pragma once

// The Windows API's handles of the core, each with one owner: kernel objects (files, mutexes,
// threads, events) and directory searches.

#include "platform/UniqueHandle.h"

#include <windows.h>

namespace platform {

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle none() noexcept { return nullptr; }
    // CreateFileW fails with INVALID_HANDLE_VALUE, CreateMutexW and most others with null.
    static bool holds(Handle handle) noexcept {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void close(Handle handle) noexcept { CloseHandle(handle); }
};

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle none() noexcept { return INVALID_HANDLE_VALUE; }
    static bool holds(Handle handle) noexcept {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void close(Handle handle) noexcept { FindClose(handle); }
};

/// A kernel object's handle, closed with CloseHandle: `KernelHandle file(CreateFileW(...));`,
/// then `if (!file)` for a failure, whichever of its two values the call failed with.
using KernelHandle = UniqueHandle<KernelHandleTraits>;

/// A search of FindFirstFileExW, ended with FindClose.
using FindHandle = UniqueHandle<FindHandleTraits>;

} // namespace platform
