#pragma once

// The Windows API for the dialog's files: windows.h without its macro DialogBox (for
// DialogBoxW), which would rename the core's logbook::DialogBox in every file that includes both.

#include <windows.h>

#undef DialogBox
