#pragma once

// The details of a question ("Show Details..."), one per line in a read-only field over the
// question: as many lines as there are, scrolled rather than growing past the screen, and
// selectable for copying.

#include "WindowsApi.h"

#include <string>

/// Shows `details` (UTF-8, lines ended by "\n") until the pilot closes the window.
void showDetails(HWND owner, const std::string& details);
