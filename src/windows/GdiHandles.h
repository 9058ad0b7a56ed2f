#pragma once

// The dialog's drawing resources, each with one owner that gives it back when it goes: GDI
// objects it creates (fonts), a window's device context, an object selected into one for a
// measurement, and the memory handed to the clipboard.

#include "platform/UniqueHandle.h"

#include "WindowsApi.h"

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle none() noexcept { return nullptr; }
    static bool holds(Handle handle) noexcept { return handle != nullptr; }
    static void close(Handle handle) noexcept { DeleteObject(handle); }
};

/// A GDI object that the dialog created (CreateFontIndirectW), deleted with DeleteObject.
/// Whatever it is selected into must let it go first: a `SelectedObject` declared after it
/// does.
using GdiObject = platform::UniqueHandle<GdiObjectTraits>;

struct GlobalMemoryTraits {
    using Handle = HGLOBAL;
    static Handle none() noexcept { return nullptr; }
    static bool holds(Handle handle) noexcept { return handle != nullptr; }
    static void close(Handle handle) noexcept { GlobalFree(handle); }
};

/// Memory of GlobalAlloc, freed unless `release()` gave it away (to the clipboard, say).
using GlobalMemory = platform::UniqueHandle<GlobalMemoryTraits>;

/// The device context of a window's client area (GetDC), given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr)
            ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

/// `object` selected into `dc` while this lives; then whatever was selected before, again.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (old_ != nullptr)
            SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};
