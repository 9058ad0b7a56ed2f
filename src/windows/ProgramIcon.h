#pragma once

// The program's icon in a window's title bar and task switcher entry, so that each window of the
// dialog says whose it is.

#include "WindowsApi.h"

/// Gives `window` the program's icon, big and small, at the sizes of its screen's scale.
void showProgramIcon(HWND window);
