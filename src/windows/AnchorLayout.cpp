#include "AnchorLayout.h"

#include <algorithm>
#include <cmath>

void AnchorLayout::capture(HWND window, std::span<const Anchor> anchors) {
    window_ = window;
    dpi_ = GetDpiForWindow(window);
    RECT client;
    GetClientRect(window, &client);
    client_ = {client.right, client.bottom};
    RECT frame;
    GetWindowRect(window, &frame);
    frame_ = {frame.right - frame.left, frame.bottom - frame.top};
    placed_.clear();
    for (const Anchor& anchor : anchors) {
        HWND control = GetDlgItem(window, anchor.control);
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        placed_.push_back({control, anchor, rect});
    }
}

double AnchorLayout::scale() const {
    return static_cast<double>(GetDpiForWindow(window_)) / dpi_;
}

void AnchorLayout::apply() const {
    if (window_ == nullptr)
        return;
    const double factor = scale();
    const auto scaled = [factor](long value) {
        return static_cast<int>(std::lround(value * factor));
    };
    RECT client;
    GetClientRect(window_, &client);
    const double grown_x = client.right - scaled(client_.cx);
    const double grown_y = client.bottom - scaled(client_.cy);
    // One deferred move for all: the controls repaint once, in their new places.
    HDWP moves = BeginDeferWindowPos(static_cast<int>(placed_.size()));
    for (const Placed& placed : placed_) {
        const Anchor& anchor = placed.anchor;
        const int left = scaled(placed.rect.left) + static_cast<int>(anchor.left * grown_x);
        const int top = scaled(placed.rect.top) + static_cast<int>(anchor.top * grown_y);
        const int right = scaled(placed.rect.right) + static_cast<int>(anchor.right * grown_x);
        const int bottom = scaled(placed.rect.bottom) + static_cast<int>(anchor.bottom * grown_y);
        if (moves != nullptr)
            moves = DeferWindowPos(moves, placed.control, nullptr, left, top, right - left,
                                   bottom - top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (moves != nullptr)
        EndDeferWindowPos(moves);
    InvalidateRect(window_, nullptr, TRUE);
}

SIZE AnchorLayout::minimumSize() const {
    const double factor = scale();
    return {static_cast<LONG>(std::lround(frame_.cx * factor)),
            static_cast<LONG>(std::lround(frame_.cy * factor))};
}

void placeOver(HWND window, HWND owner, SIZE size) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner != nullptr ? owner : window, MONITOR_DEFAULTTONEAREST),
                    &monitor);
    const RECT& area = monitor.rcWork;
    const LONG width = std::min(size.cx, area.right - area.left);
    const LONG height = std::min(size.cy, area.bottom - area.top);
    RECT over = area;
    if (owner != nullptr)
        GetWindowRect(owner, &over);
    const LONG left =
        std::clamp((over.left + over.right - width) / 2, area.left, area.right - width);
    const LONG top =
        std::clamp((over.top + over.bottom - height) / 2, area.top, area.bottom - height);
    SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}
