#pragma once

// The boxes that the dialog shows over its window, with the core's words: a message with "OK",
// a question with "Yes" and "No" (and its details, when it has some), and the end of a run as a
// task dialog that can open the list of skipped files. Each is written to the dialog log as it
// shows.

#include "logbook/DialogFlow.h"
#include "logbook/Generation.h"

#include "WindowsApi.h"

/// The box with "OK"; its smaller text as a paragraph of its own.
void tell(HWND owner, const logbook::DialogBox& box);

/// Shows `box` with the button `action` (the default, which Enter presses) beside "Close", which
/// Escape and the close button press; true when the pilot pressed `action`.
bool offer(HWND owner, const logbook::DialogBox& box, const char* action);

/// The question's answer. Enter answers what the core says it should; Escape and the close
/// button Cancel. A question with details has "Show Details..." beside "Yes" and "No".
logbook::Answer ask(HWND owner, const logbook::DialogQuestion& question);

/// The box that ends a run: a failure in a message box, a logbook written in a task dialog, with
/// "Show Details..." when files were skipped.
void showResult(HWND owner, const logbook::GenerationResult& result,
                const logbook::ResultBox& shown);
