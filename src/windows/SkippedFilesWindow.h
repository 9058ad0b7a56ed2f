#pragma once

// The list of the files that a run skipped, each with its reason, under their counts per kind of
// reason: a resizable window over the result box, "Copy" (and Ctrl+C) for the selected rows or
// all of them. A virtual list, so that twenty thousand rows open and scroll as fast as ten.

#include "logbook/Generation.h"

#include "WindowsApi.h"

/// Shows the list until the pilot closes it.
void showSkippedFiles(HWND owner, const logbook::GenerationResult& result);
