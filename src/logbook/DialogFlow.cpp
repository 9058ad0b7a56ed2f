#include "logbook/DialogFlow.h"

#include "logbook/Listing.h"
#include "logbook/LogbookFile.h"
#include "logbook/Messages.h"
#include "logbook/Text.h"

namespace logbook {

DialogBox noInstallationBox(const std::string& setting) {
    // What a pilot who started the program from the desktop's menu can do comes first: such a
    // pilot has no way to set an environment variable.
    return {dialog::kWarning, dialog::kNoInstallation,
            "To generate the logbook now, choose the IGC directory and the logbook file with the "
            "\"...\" buttons, or type them in.\n\nTo have them filled in at every start, " +
                setting,
            true};
}

bool isMissingPilotName(const std::string& pilot) {
    // Only the blank: a tab or any other control character is refused as such.
    return pilot.find_first_not_of(' ') == std::string::npos;
}

std::optional<DialogBox> refusalBeforeRun(const std::string& pilot,
                                          const std::string& igc_directory,
                                          const std::string& logbook_path) {
    if (isMissingPilotName(pilot))
        return DialogBox{"Missing data", "You must enter a pilot name!\n", {}, true};
    // The simulator reads the pilot name as Latin-1, on one header line. A pasted line break is
    // invisible in the field: the name with it shown as \x0A tells the pilot where it is.
    if (hasControlCharacter(latin1Of(pilot)))
        return DialogBox{
            "Invalid data",
            "The pilot name must not hold a line break or any other control character!\n",
            "\"" + echoed(pilot) + "\"", true};
    // Refusals before questions: nobody is asked about a run that cannot start.
    if (std::string problem = inputsProblem(igc_directory, logbook_path); !problem.empty())
        return DialogBox{dialog::kError, std::move(problem), {}, true};
    return std::nullopt;
}

std::vector<DialogQuestion> questionsBeforeRun(const std::string& pilot,
                                               const std::string& logbook_path) {
    std::vector<DialogQuestion> questions;
    if (const std::string beyond = charactersBeyondLatin1(pilot); !beyond.empty())
        questions.push_back({dialog::kWarning,
                             "The logbook holds the pilot name as Latin-1 text, which has no " +
                                 beyond + ": they would be written as \"?\".\nGo on anyway?",
                             false});
    if (logbookExists(logbook_path))
        questions.push_back(
            {dialog::kWarning,
             "This wil overwrite your existing logbook!\nAre you sure you want to do this?", true});
    return questions;
}

DialogQuestion emptyLogbookQuestionBox(const std::string& question) {
    return {dialog::kWarning, question, false};
}

std::optional<ResultBox> resultBox(const GenerationResult& result,
                                   const std::string& logbook_path) {
    switch (result.failure) {
    case GenerationFailure::None:
        break;
    case GenerationFailure::KeptOld:
        return std::nullopt; // the pilot's own "&No" to an empty logbook: nothing to tell
    case GenerationFailure::Cancelled:
        return ResultBox{{"Logbook not generated", failureText(result), {}, false}, false};
    default:
        return ResultBox{{dialog::kError, failureText(result), {}, true}, false};
    }
    std::string informative = filesReadText(result);
    if (const std::string backup = backupText(result); !backup.empty())
        informative += "\n" + backup;
    // A logbook that lost entries is worth a second look: a wrong folder, a stricter minimum.
    return ResultBox{{"Logbook generated", writtenText(result, logbook_path), informative,
                      holdsFewerThanBefore(result)},
                     !result.skipped.empty()};
}

} // namespace logbook
