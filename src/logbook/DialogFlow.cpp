#include "logbook/DialogFlow.h"

#include "logbook/Listing.h"
#include "logbook/LogbookFile.h"
#include "logbook/Messages.h"
#include "logbook/Text.h"

#include "platform/LocaleDates.h"

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

std::optional<DialogBox> refusalBeforeRun(const RequestCheck& check) {
    switch (check.refusal) {
    case Refusal::None:
        break;
    case Refusal::MissingPilot:
        return DialogBox{"Missing data", "You must enter a pilot name!\n", {}, true};
    case Refusal::ControlCharacter:
        return DialogBox{
            "Invalid data",
            "The pilot name must not hold a line break or any other control character!\n",
            "\"" + check.pilot_shown + "\"", true};
    case Refusal::Paths:
        return DialogBox{dialog::kError, check.paths_problem, {}, true};
    }
    return std::nullopt;
}

std::optional<DialogBox> refusalBeforeRun(const std::string& pilot,
                                          const std::string& igc_directory,
                                          const std::string& logbook_path) {
    return refusalBeforeRun(checkRequest(pilot, igc_directory, logbook_path));
}

std::vector<DialogQuestion> questionsBeforeRun(const RequestCheck& check,
                                               const std::string& igc_directory) {
    std::vector<DialogQuestion> questions;
    if (!check.better_folder.empty())
        questions.push_back({dialog::kWarning,
                             betterFolderQuestion(igc_directory, check),
                             true,
                             {},
                             check.better_folder});
    if (!check.beyond_latin1.empty())
        questions.push_back({dialog::kWarning,
                             "The simulator's logbook holds Western European letters only "
                             "(Latin-1): " +
                                 check.beyond_latin1 + " will be written as \"?\".\nGo on anyway?",
                             false,
                             {}});
    if (check.replaces_logbook)
        questions.push_back(
            {dialog::kWarning,
             "This wil overwrite your existing logbook!\nAre you sure you want to do this?",
             true,
             {}});
    return questions;
}

std::vector<DialogQuestion> questionsBeforeRun(const std::string& pilot,
                                               const std::string& logbook_path) {
    return questionsBeforeRun(checkRequest(pilot, {}, logbook_path, PathCheck::ByTheRun));
}

DialogQuestion emptyLogbookQuestionBox(const std::string& question) {
    return {dialog::kWarning, question, false, {}};
}

DialogQuestion missingRecordingsQuestionBox(const std::string& igc_directory,
                                            const MissingRecordings& missing) {
    return {dialog::kWarning, missingRecordingsQuestion(igc_directory, missing.count), true,
            missingRecordingsList(missing)};
}

std::vector<RestoreRow> restoreRows(const std::vector<KeptLogbook>& kept) {
    std::vector<RestoreRow> rows;
    for (const KeptLogbook& logbook : kept) {
        if (logbook.age < 0 || !logbook.exists)
            continue;
        rows.push_back({logbook.age, generationName(logbook.age),
                        platform::localDateTime(logbook.modified_ms),
                        logbook.unreadable.empty() ? counted(logbook.entries, "entry", "entries")
                                                   : "not readable (" + logbook.unreadable + ")",
                        logbook.pilot_name});
    }
    return rows;
}

DialogBox nothingToRestoreBox(const std::string& logbook_path) {
    return {dialog::kRestoreTitle, "No earlier logbook is kept beside " + logbook_path + ".",
            "Every run that replaces the logbook keeps the one it replaced as .bak, and the four "
            "before it as .bak.1 to .bak.4.",
            false};
}

DialogQuestion restoreQuestion(const std::vector<KeptLogbook>& kept, int age) {
    const KeptLogbook* chosen = nullptr;
    const KeptLogbook* current = nullptr;
    const KeptLogbook* newest = nullptr;
    for (const KeptLogbook& logbook : kept) {
        if (logbook.age == age)
            chosen = &logbook;
        if (logbook.age < 0 && logbook.exists)
            current = &logbook;
        if (logbook.age == 0)
            newest = &logbook;
    }
    if (chosen == nullptr)
        return {dialog::kRestoreTitle, {}, false, {}};
    std::string text = "Put the logbook kept as " + chosen->path + " (" +
                       keptLogbookSummary(*chosen) + ") back as your logbook?";
    if (current != nullptr)
        text += "\nYour logbook now (" + keptLogbookSummary(*current) + ") will be kept as " +
                (newest != nullptr ? newest->path : current->path + ".bak") + ".";
    return {dialog::kRestoreTitle, text, true, {}};
}

DialogBox restoredBox(const GenerationResult& result, const std::string& logbook_path) {
    if (result.failure != GenerationFailure::None)
        return {dialog::kError, failureText(result), {}, true};
    std::string informative = result.backup_path.empty()
                                  ? std::string()
                                  : "To undo this, restore " + generationName(0) + ".";
    if (const std::string recovered = recoveryLine(result.recovery, logbook_path);
        !recovered.empty())
        informative += (informative.empty() ? "" : "\n") + recovered + ".";
    return {"Logbook restored", restoredLine(result, logbook_path), informative, false};
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
    // Dropped by the pilot's "No", and still in the .bak: said, so that the count makes sense.
    if (const std::string dropped = droppedText(result); !dropped.empty())
        informative += "\n" + dropped + ".";
    if (const std::string recovered = recoveryLine(result.recovery, logbook_path);
        !recovered.empty())
        informative += "\n" + recovered + ".";
    if (const std::string elsewhere = elsewhereText(result); !elsewhere.empty())
        informative += "\nThe folder holds no IGC file: " + elsewhere + ".";
    if (const std::string backup = backupText(result); !backup.empty())
        informative += "\n" + backup + ". To get an earlier logbook back, choose \"" +
                       dialog::kRestore + "\".";
    // A logbook that lost entries is worth a second look: a wrong folder, a stricter minimum.
    return ResultBox{{"Logbook generated", writtenText(result, logbook_path), informative,
                      holdsFewerThanBefore(result)},
                     !result.skipped.empty()};
}

} // namespace logbook
