#include "logbook/RequestCheck.h"

#include "logbook/Generation.h"
#include "logbook/Listing.h"
#include "logbook/LogbookFile.h"
#include "logbook/LogbookHistory.h"
#include "logbook/LogbookStore.h"
#include "logbook/Messages.h"
#include "logbook/Text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace logbook {

std::string keptAsSentence(const std::string& logbook_path) {
    // Kept beside the file that the path leads to, named after it, as the run keeps it.
    const platform::PathInfo info = platform::inspect(logbook_path);
    const std::string& file = info.resolved.empty() ? logbook_path : info.resolved;
    return "It is kept as " + generationName(platform::lastNameOf(file), 0) + ".";
}

std::string overwriteWarning(const std::string& logbook_path) {
    return "This will overwrite your existing logbook! " + keptAsSentence(logbook_path);
}

std::optional<LogbookSummary> logbookSummaryAt(const std::string& logbook_path) {
    LogbookStore store;
    if (logbook_path.empty() || !store.open(logbook_path) || !store.hadLogbook())
        return std::nullopt;
    const platform::Expected<std::FILE*, std::error_code> file = store.openLogbook();
    if (!file)
        return std::nullopt;
    platform::Expected<LogbookSummary, std::error_code> summary = summarizeLogbook(*file);
    std::fclose(*file);
    if (!summary)
        return std::nullopt;
    return std::move(*summary);
}

bool isMissingPilotName(const std::string& pilot) {
    // Only the blank: a tab or any other control character is refused as such.
    return pilot.find_first_not_of(' ') == std::string::npos;
}

RequestCheck checkRequest(const std::string& pilot, const std::string& igc_directory,
                          const std::string& logbook_path, PathCheck paths) {
    RequestCheck check;
    // The simulator reads the pilot name as Latin-1, on one header line.
    check.pilot_latin1 = latin1Of(pilot);
    if (isMissingPilotName(pilot)) {
        check.refusal = Refusal::MissingPilot;
    } else if (hasControlCharacter(check.pilot_latin1)) {
        // A pasted line break is invisible in a field: shown as \x0A it tells where it is.
        check.refusal = Refusal::ControlCharacter;
        check.pilot_shown = escaped(pilot);
    } else if (paths == PathCheck::BeforeQuestions) {
        check.paths_problem = pathsProblem(igc_directory, logbook_path);
        if (!check.paths_problem.empty())
            check.refusal = Refusal::Paths;
    }
    check.beyond_latin1 = charactersBeyondLatin1(pilot);
    check.replaces_logbook = logbookExists(logbook_path);
    if (check.replaces_logbook) {
        check.overwrite_warning = overwriteWarning(logbook_path);
        check.kept_as = keptAsSentence(logbook_path);
    }
    // A pilot who chose the data folder instead of its IGC folder is pointed to the right one.
    std::ostream nowhere(nullptr);
    if (const auto files = listFlights(igc_directory, nowhere); files && files->empty()) {
        check.elsewhere = findRecordingsElsewhere(igc_directory);
        check.better_folder = check.elsewhere.igc_folder;
        check.better_folder_recordings = check.elsewhere.igc_recordings;
        // The run would find out only after the overwrite question, and ask again.
        if (check.better_folder.empty() && check.replaces_logbook) {
            if (const std::optional<LogbookSummary> old = logbookSummaryAt(logbook_path))
                check.emptied_flights = old->flights();
        }
    }
    return check;
}

std::string pathsProblem(const std::string& igc_directory, const std::string& logbook_path) {
    if (std::string problem = inputsProblem(igc_directory, logbook_path); !problem.empty())
        return problem;
    if (!logbookExists(logbook_path))
        return {};
    // The run keeps a logbook that its owner protected from writing, in the run's words; the
    // file that a link leads to is the one that would be replaced.
    const platform::PathInfo info = platform::inspect(logbook_path);
    const std::error_code error =
        platform::writeAccess(info.resolved.empty() ? logbook_path : info.resolved);
    if (!error)
        return {};
    GenerationResult refused;
    refused.had_logbook = true;
    refused.failure = {FailureKind::Open, logbook_path, error, {}};
    return failureText(refused);
}

std::string pilotRefusalLine(const RequestCheck& check) {
    switch (check.refusal) {
    case Refusal::MissingPilot:
        return "the pilot name must not be empty";
    case Refusal::ControlCharacter:
        return "the pilot name must not hold a line break or any other control character";
    case Refusal::None:
    case Refusal::Paths:
        break;
    }
    return {};
}

std::string latin1Line(const RequestCheck& check, bool written) {
    const std::string what =
        "the simulator's logbook holds Western European letters only (Latin-1): " +
        check.beyond_latin1;
    return written ? "warning: " + what + " written as \"?\""
                   : what + " would be written as \"?\"; give --yes to write the name so";
}

namespace {

std::string betterFolderFinding(const std::string& igc_directory, const RequestCheck& check) {
    return igc_directory + " holds no IGC file, but " + check.better_folder + " holds " +
           counted(check.better_folder_recordings, "recording", "recordings");
}

} // namespace

std::string betterFolderLine(const std::string& igc_directory, const RequestCheck& check) {
    return betterFolderFinding(igc_directory, check) + ": give --igc-dir " +
           shellWord(check.better_folder);
}

std::string betterFolderQuestion(const std::string& igc_directory, const RequestCheck& check) {
    return betterFolderFinding(igc_directory, check) + ": use that folder?";
}

std::string notReplacingLine(const std::string& logbook_path) {
    return "Not replacing the existing logbook " + logbook_path + " (give --yes to replace it)";
}

std::string replacePrompt(const std::string& logbook_path) {
    return overwriteWarning(logbook_path) + "\nReplace " + logbook_path + "? [y/N] ";
}

bool isYes(const std::string& answer) {
    const std::size_t first = answer.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return false;
    std::string reply = answer.substr(first, answer.find_last_not_of(" \t\r") + 1 - first);
    std::transform(reply.begin(), reply.end(), reply.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return reply == "y" || reply == "yes";
}

std::string keepMissingPrompt(const std::string& igc_directory, const MissingRecordings& missing) {
    const std::string list = missingRecordingsList(missing);
    std::string prompt;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = std::min(list.find('\n', start), list.size());
        prompt += "  " + list.substr(start, end - start) + "\n";
        start = end + 1;
    }
    // Yes by default: a flight dropped is lost for good once the kept logbooks have moved on.
    return prompt + missingRecordingsQuestion(igc_directory, missing) + " [Y/n] ";
}

bool keepsMissing(const std::string& answer) {
    return answer.find_first_not_of(" \t\r") == std::string::npos || isYes(answer);
}

} // namespace logbook
