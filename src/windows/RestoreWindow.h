#pragma once

// The earlier logbooks kept beside the logbook, newest first, one row each (when it was written,
// its entries, its pilot), to choose the one to put back: a resizable window over the main one,
// the newest selected, so that Enter restores the logbook that the last run replaced.

#include "logbook/DialogFlow.h"

#include "WindowsApi.h"

#include <optional>
#include <vector>

/// The age of the generation the pilot chose among `rows`; none when the pilot cancelled.
std::optional<int> chooseGeneration(HWND owner, const std::vector<logbook::RestoreRow>& rows);
