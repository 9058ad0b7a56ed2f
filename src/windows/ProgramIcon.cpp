#include "ProgramIcon.h"

#include "resource.h"

#include <commctrl.h>

namespace {

// The icon at the metric's size, loaded once: every window shows the same one, and a shared icon
// lives as long as the program, so that no window has to destroy it.
HICON programIcon(int metric) {
    const HINSTANCE program = GetModuleHandleW(nullptr);
    HICON icon = nullptr;
    LoadIconMetric(program, MAKEINTRESOURCEW(IDI_APP), metric, &icon);
    return icon;
}

} // namespace

void showProgramIcon(HWND window) {
    static const HICON big = programIcon(LIM_LARGE);
    static const HICON small = programIcon(LIM_SMALL);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}
