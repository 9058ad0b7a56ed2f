#pragma once

// A resizable window laid out from its resource template: each control's edges follow the
// window's growth by a fraction (0 stays, 1 moves with the right or bottom edge, 0.5 half), as
// the Linux dialog's grid shares the room it gains among its columns. The window never gets
// smaller than the template made it, at the DPI it is shown at.

#include "WindowsApi.h"

#include <span>
#include <vector>

struct Anchor {
    int control;
    double left, top, right, bottom; // share of the window's growth that each edge moves by
};

class AnchorLayout {
public:
    /// Takes the controls' places as the template laid them out in `window`.
    void capture(HWND window, std::span<const Anchor> anchors);
    /// Places the controls for the window's present size (WM_SIZE).
    void apply() const;
    /// The template's size, at the window's present DPI (WM_GETMINMAXINFO).
    SIZE minimumSize() const;

private:
    struct Placed {
        HWND control;
        Anchor anchor;
        RECT rect; // at capture, in client coordinates
    };
    double scale() const; // present DPI over the DPI at capture

    HWND window_ = nullptr;
    UINT dpi_ = 96;
    SIZE client_{};
    SIZE frame_{}; // the whole window's size at capture
    std::vector<Placed> placed_;
};

/// Gives `window` the size `size` (its frame included), no larger than the work area of the
/// monitor that `owner` is on, and centres it over `owner` within that area.
void placeOver(HWND window, HWND owner, SIZE size);
