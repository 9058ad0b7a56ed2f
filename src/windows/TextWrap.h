#pragma once

// Text broken into lines by the program, where a static control would break a path anywhere: a
// path has no blanks, so the control breaks it at whatever character reaches the edge, and a
// separator may begin the next line ("C:\Thermora" then "\data\IGC"). Here a line ends after a
// separator instead, so that each line reads as the start of a path.

#include "WindowsApi.h"

#include <string>

/// `text` in lines no wider than `width` pixels in the font selected into `dc`, joined by
/// "\r\n": broken at a blank (which goes), after a path's separator ("\" or "/", which ends its
/// line), and inside a word only where no such place is on the line. The text's own line breaks
/// ("\n") stay.
std::wstring wrappedText(HDC dc, const std::wstring& text, int width);

/// The texts of `box` (a message box, a task dialog) that hold a path, wrapped by `wrappedText`
/// to the width that the box gave them, where they still fit the height it gave them; a text
/// that would need more lines stays as the box wrapped it.
void wrapPathsIn(HWND box);
