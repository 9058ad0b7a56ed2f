#pragma once

// What stands between a pilot's inputs and a run, checked once for every front end: what is
// refused, and what must be asked, in order. The dialogs word it as boxes (DialogFlow.h), the
// command line as lines (below); none of them checks anything itself.

#include "logbook/Listing.h"
#include "logbook/LogbookEntry.h"
#include "logbook/LogbookHistory.h"

#include <optional>
#include <string>
#include <vector>

namespace logbook {

/// True when `pilot` names nobody: empty, or blanks (spaces) and nothing else, which the logbook
/// would show as a name that is not there. A real name keeps its blanks around it as typed.
bool isMissingPilotName(const std::string& pilot);

/// Why a run must not start, the first that applies.
enum class Refusal {
    None,
    MissingPilot,     // empty, or blanks only
    ControlCharacter, // a line break or another control character in the name
    Paths,            // an IGC folder or a logbook path that the run could not use
};

struct RequestCheck {
    Refusal refusal = Refusal::None;
    std::string pilot_shown;   // ControlCharacter: the name with control bytes as \xNN
    std::string paths_problem; // Paths: why, in the words of the failed run
    // The questions, in the order a pilot meets them; a "no" to either ends the run unstarted.
    std::string beyond_latin1;     // the name's characters that the logbook cannot hold, quoted
    bool replaces_logbook = false; // a logbook exists at the path
    std::string overwrite_warning; // then what its replacing means: overwriteWarning
    std::string kept_as;           // and where it is kept: "It is kept as logbook.dat.bak."
    std::string pilot_latin1;      // the name as the logbook's header holds it
    // The IGC folder holds no recording, but its own IGC folder does: the folder meant, asked
    // about (the dialogs) or named in the refusal (the command line).
    std::string better_folder;
    int better_folder_recordings = 0;
    // The IGC folder lists no IGC file, nor does its own IGC folder, while the logbook holds
    // flights (how many): the run would replace them with nothing. Said and asked about first,
    // in place of the overwrite question, so that a wrong folder is known before any "yes".
    int emptied_flights = 0;
    RecordingsElsewhere elsewhere; // where recordings lie around that folder, if anywhere
};

/// When the paths are looked at: before any question (the dialogs: nobody is asked about a run
/// that cannot start), or not (the command line, where a run told to go ahead says itself what
/// is wrong with them, and `pathsProblem` is asked only before a question on the terminal).
enum class PathCheck { BeforeQuestions, ByTheRun };

/// What replacing the logbook at `logbook_path` means, before the question: "This will overwrite
/// your existing logbook! It is kept as logbook.dat.bak."
std::string overwriteWarning(const std::string& logbook_path);
/// Where the logbook at `logbook_path` is kept when a run replaces it: "It is kept as
/// logbook.dat.bak."
std::string keptAsSentence(const std::string& logbook_path);

/// What the logbook at `logbook_path` holds; none when there is no logbook there or it cannot be
/// read. Only reads it.
std::optional<LogbookSummary> logbookSummaryAt(const std::string& logbook_path);

/// Checks a pilot name (UTF-8), an IGC folder and a logbook path (bytes, as given).
RequestCheck checkRequest(const std::string& pilot, const std::string& igc_directory,
                          const std::string& logbook_path,
                          PathCheck paths = PathCheck::BeforeQuestions);

/// Why a run could not start with this IGC folder and logbook path, in the words of the failed
/// run; empty when both will do. A logbook protected from writing is refused here, as the run
/// would refuse it, rather than after a question about replacing it.
std::string pathsProblem(const std::string& igc_directory, const std::string& logbook_path);

// The command line's words for the same check.

/// Why the pilot name is refused ("the pilot name must not be empty"); empty when it is not.
std::string pilotRefusalLine(const RequestCheck& check);
/// The name's characters beyond Latin-1: refused without `written` (give --yes), else a warning.
std::string latin1Line(const RequestCheck& check, bool written);
/// An existing logbook not replaced: neither --yes nor "y" on a terminal.
std::string notReplacingLine(const std::string& logbook_path);
/// The IGC folder holds no recording, but its IGC folder does: "D holds no IGC file, but D/IGC
/// holds 78: give --igc-dir D/IGC".
std::string betterFolderLine(const std::string& igc_directory, const RequestCheck& check);
/// The same as the dialogs ask it: "D holds no IGC file, but D/IGC holds 78 recordings: use that
/// folder?"
std::string betterFolderQuestion(const std::string& igc_directory, const RequestCheck& check);
/// The question on a terminal before an existing logbook is replaced, up to the answer.
std::string replacePrompt(const std::string& logbook_path);
/// Whether a terminal's answer to replacePrompt is yes: "y" or "yes" in any letter case,
/// blanks around it allowed.
bool isYes(const std::string& answer);

/// The question on a terminal before the old logbook's flights `missing`, whose recording is not
/// in `igc_directory`, are dropped: the flights, a line each indented by two blanks, then the
/// question, up to the answer.
std::string keepMissingPrompt(const std::string& igc_directory, const MissingRecordings& missing);
/// Whether a terminal's answer to keepMissingPrompt keeps the flights: yes unless the pilot says
/// otherwise, so an empty line (blanks only) keeps them as a yes does; anything else drops them.
bool keepsMissing(const std::string& answer);

} // namespace logbook
