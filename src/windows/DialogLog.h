#pragma once

// A record of what the dialog showed, a diagnostic switch of the shipped program (its README says
// so) that also serves the tests that drive the dialog from outside: when the environment variable
// THERMORA_DIALOG_LOG names a file, each box and window of text (a question's details, the
// earlier logbooks to restore) and the end of each run and restore append one line to it,
// "box<TAB>title<TAB>text" and "result<TAB>failure<TAB>entries", and each line shown under the
// form as "line<TAB>text", line breaks in the text as "\n". Nothing otherwise. It only appends, to
// a file the user who starts the program names.

#include "logbook/Generation.h"

#include <string>

namespace dialog_log {

void box(const std::string& title, const std::string& text);
void result(const logbook::GenerationResult& result);
void line(const std::string& text);

} // namespace dialog_log
