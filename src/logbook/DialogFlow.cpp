#include "logbook/DialogFlow.h"

#include "logbook/Listing.h"
#include "logbook/LogbookFile.h"
#include "logbook/Messages.h"
#include "logbook/Text.h"

#include "platform/Files.h"
#include "platform/LocaleDates.h"

namespace logbook {

std::string dialog::withoutAccessKey(std::string_view text) {
    std::string shown;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '&' && k + 1 < text.size())
            ++k;
        shown += text[k];
    }
    return shown;
}

DialogBox noInstallationBox(const std::string& setting) {
    // What a pilot who started the program from the desktop's menu can do comes first: such a
    // pilot has no way to set an environment variable.
    return {dialog::kWarning, dialog::kNoInstallation,
            "To generate the logbook now, choose the IGC directory and the logbook file with the "
            "\"...\" buttons, or type them in.\n\nTo have them filled in at every start, " +
                setting,
            Severity::Warning};
}

std::string pilotNameFor(const std::string& logbook_path) {
    // The simulator keeps the name as Latin-1; the dialogs' fields hold UTF-8.
    const std::optional<LogbookSummary> summary = logbookSummaryAt(logbook_path);
    return summary ? utf8OfLatin1(summary->pilot_name) : std::string();
}

DialogBox noInstallationChoice() {
    return {dialog::kWarning, dialog::kNoInstallation,
            "Choose the simulator's folder, or the folder that holds your IGC files, and the IGC "
            "directory and the logbook file are filled in from it. You can also choose them "
            "with the \"...\" buttons, or type them in.",
            Severity::Warning};
}

ChosenFolder presetsFromFolder(const std::string& folder) {
    const auto isFolder = [](const std::string& path) {
        return platform::inspect(path).kind == platform::FileKind::Directory;
    };
    const std::string data = platform::joinPath(folder, "data");
    const std::string data_igc = platform::joinPath(data, "IGC");
    // The simulator's own folder: its data folder holds the recordings and the logbook.
    if (isFolder(data_igc))
        return {data_igc, platform::joinPath(data, "logbook.dat")};
    // The data folder itself.
    if (const std::string igc = platform::joinPath(folder, "IGC"); isFolder(igc))
        return {igc, platform::joinPath(folder, "logbook.dat")};
    // The IGC folder: the simulator keeps the logbook in the folder above it. Elsewhere nothing
    // says where the logbook is; its field stays as it was.
    ChosenFolder chosen{folder, {}};
    const std::string above = platform::directoryOf(folder);
    if (const std::string beside = platform::joinPath(above, "logbook.dat");
        platform::inspect(beside).kind == platform::FileKind::Regular)
        chosen.logbook_path = beside;
    return chosen;
}

std::optional<DialogBox> refusalBeforeRun(const RequestCheck& check) {
    switch (check.refusal) {
    case Refusal::None:
        break;
    case Refusal::MissingPilot:
        return DialogBox{"Missing data", "You must enter a pilot name!\n", {}, Severity::Warning};
    case Refusal::ControlCharacter:
        return DialogBox{
            "Invalid data",
            "The pilot name must not hold a line break or any other control character!\n",
            "\"" + check.pilot_shown + "\"", Severity::Warning};
    case Refusal::Paths:
        return DialogBox{dialog::kError, check.paths_problem, {}, Severity::Error};
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
        questions.push_back({.title = dialog::kWarning,
                             .text = betterFolderQuestion(igc_directory, check),
                             .yes_by_default = true,
                             .use_folder = check.better_folder});
    if (!check.beyond_latin1.empty())
        questions.push_back({dialog::kWarning,
                             "The simulator's logbook holds Western European letters only "
                             "(Latin-1): " +
                                 check.beyond_latin1 + " will be written as \"?\".\nGo on anyway?",
                             false});
    if (check.emptied_flights > 0) {
        // Said before anything else is asked: the folder is most likely the wrong one.
        GenerationResult found;
        found.replaced_entries = check.emptied_flights;
        found.elsewhere = check.elsewhere;
        questions.push_back(
            {.title = dialog::kWarning,
             .text = emptyLogbookQuestion(igc_directory, found) + "\n" + check.kept_as,
             .yes_by_default = false,
             .empties_logbook = true});
    } else if (check.replaces_logbook) {
        questions.push_back({dialog::kWarning,
                             check.overwrite_warning + "\nAre you sure you want to do this?",
                             true});
    }
    return questions;
}

std::vector<DialogQuestion> questionsBeforeRun(const std::string& pilot,
                                               const std::string& logbook_path) {
    return questionsBeforeRun(checkRequest(pilot, {}, logbook_path, PathCheck::ByTheRun));
}

DialogQuestion runQuestionBox(const RunQuestion& question) {
    switch (question.kind) {
    case RunQuestion::Kind::KeepMissing:
        break;
    case RunQuestion::Kind::ReplaceWithEmpty:
        return {.title = dialog::kWarning,
                .text = emptyLogbookQuestion(question),
                .yes_by_default = false,
                .can_cancel = true};
    }
    DialogQuestion box = missingRecordingsQuestionBox(question.igc_directory, question.missing);
    box.can_cancel = true;
    return box;
}

DialogQuestion missingRecordingsQuestionBox(const std::string& igc_directory,
                                            const MissingRecordings& missing) {
    return {.title = dialog::kWarning,
            .text = missingRecordingsQuestion(igc_directory, missing),
            .yes_by_default = true,
            .details = missingRecordingsList(missing)};
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
            Severity::Information};
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
        return {dialog::kRestoreTitle, {}, false};
    std::string text = "Put the logbook kept as " + chosen->path + " (" +
                       keptLogbookSummary(*chosen) + ") back as your logbook?";
    if (current != nullptr)
        text += "\nYour logbook now (" + keptLogbookSummary(*current) + ") will be kept as " +
                (newest != nullptr ? newest->path : current->path + ".bak") + ".";
    return {dialog::kRestoreTitle, text, true};
}

DialogBox restoredBox(const GenerationResult& result, const std::string& logbook_path) {
    if (result.failure.kind != FailureKind::None)
        return {dialog::kError, failureText(result), {}, Severity::Error};
    std::string informative = result.backup_path.empty()
                                  ? std::string()
                                  : "To undo this, restore " + generationName(0) + ".";
    if (const std::string recovered = recoveryLine(result.recovery, logbook_path);
        !recovered.empty())
        informative += (informative.empty() ? "" : "\n") + recovered + ".";
    return {"Logbook restored", restoredLine(result, logbook_path), informative,
            Severity::Information};
}

std::optional<ResultBox> resultBox(const GenerationResult& result,
                                   const std::string& logbook_path) {
    switch (result.failure.kind) {
    case FailureKind::None:
        break;
    case FailureKind::EmptyRefused:
        return std::nullopt; // the pilot's own "&No" to an empty logbook: nothing to tell
    case FailureKind::Cancelled:
        return ResultBox{{"Logbook not generated", failureText(result), {}, Severity::Information},
                         false};
    default:
        return ResultBox{{dialog::kError, failureText(result), {}, Severity::Error}, false};
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
                       dialog::withoutAccessKey(dialog::kRestore) + "\".";
    // A logbook that lost entries is worth a second look: a wrong folder, a stricter minimum.
    return ResultBox{{"Logbook generated", writtenText(result, logbook_path), informative,
                      holdsFewerThanBefore(result) ? Severity::Warning : Severity::Information},
                     !result.skipped.empty()};
}

namespace {

// The refusals and the questions before a run, for the folder in the field: the request when the
// run may go; none when refused or not answered "&Yes". A "&Yes" to the folder's own IGC folder
// takes it into the field and checks it anew, as if the pilot had typed it: the refusals, the
// questions and the run all go by the folder in the field. That folder holds recordings, so no
// folder is asked about twice.
std::optional<GenerationRequest> checkedRequest(DialogForm form, DialogShell& shell,
                                                bool& emptying_agreed) {
    for (;;) {
        const RequestCheck check = checkRequest(form.pilot, form.igc_directory, form.logbook_path);
        if (const std::optional<DialogBox> refusal = refusalBeforeRun(check)) {
            shell.tell(*refusal);
            return std::nullopt;
        }
        bool checked = true;
        for (const DialogQuestion& question : questionsBeforeRun(check, form.igc_directory)) {
            if (shell.ask(question) != Answer::Yes)
                return std::nullopt;
            emptying_agreed = emptying_agreed || question.empties_logbook;
            if (!question.use_folder.empty()) {
                form.igc_directory = question.use_folder;
                shell.showIgcFolder(form.igc_directory);
                checked = false;
                break;
            }
        }
        if (!checked)
            continue;
        GenerationRequest request;
        request.igc_directory = form.igc_directory;
        request.logbook_path = form.logbook_path;
        request.pilot_name = check.pilot_latin1;
        request.min_time_minutes = form.minutes;
        request.format_date = form.format_date;
        return request;
    }
}

// The shell as the run's environment, but for what the pilot already answered before the run:
// a logbook to be emptied, as its folder holds no IGC file, keeps none of its flights and is
// emptied without another question.
class AnsweredRun : public RunEnvironment {
public:
    AnsweredRun(DialogShell& shell, bool emptying_agreed)
        : shell_(shell), emptying_agreed_(emptying_agreed) {}

    [[nodiscard]] bool cancelled() const override { return shell_.cancelled(); }
    void begin() override { shell_.begin(); }
    void progress(int done, int total) override { shell_.progress(done, total); }
    Answer ask(const RunQuestion& question) override {
        if (emptying_agreed_)
            return question.kind == RunQuestion::Kind::ReplaceWithEmpty ? Answer::Yes : Answer::No;
        return shell_.ask(question);
    }
    void fileDone(const FlightResult& file) override { shell_.fileDone(file); }
    std::ostream& diagnostics() override { return shell_.diagnostics(); }
    std::ostream& fileDiagnostics() override { return shell_.fileDiagnostics(); }
    std::ostream& diagnosticOutput() override { return shell_.diagnosticOutput(); }
    void temporaryNamed(const std::string& path, bool in_place) override {
        shell_.temporaryNamed(path, in_place);
    }

private:
    DialogShell& shell_;
    bool emptying_agreed_;
};

} // namespace

std::optional<GenerationResult> generateFlow(const DialogForm& form, DialogShell& shell) {
    bool emptying_agreed = false;
    const std::optional<GenerationRequest> request = checkedRequest(form, shell, emptying_agreed);
    if (!request)
        return std::nullopt;
    AnsweredRun run(shell, emptying_agreed);
    return generateLogbook(*request, run);
}

void restoreFlow(const std::string& logbook_path, DialogShell& shell) {
    // Beside an empty path lie the working directory's ".bak" files: refused as before a run.
    RequestCheck check;
    check.paths_problem = logbookPathProblem(logbook_path);
    if (!check.paths_problem.empty()) {
        check.refusal = Refusal::Paths;
        shell.tell(*refusalBeforeRun(check));
        return;
    }
    for (;;) {
        const std::vector<KeptLogbook> kept = keptLogbooks(logbook_path);
        const std::vector<RestoreRow> rows = restoreRows(kept);
        if (rows.empty()) {
            shell.tell(nothingToRestoreBox(logbook_path));
            return;
        }
        const std::optional<int> age = shell.chooseGeneration(rows);
        if (!age || shell.ask(restoreQuestion(kept, *age)) != Answer::Yes)
            return;
        const GenerationResult result =
            restoreGeneration(logbook_path, *age, listedIdentity(kept, *age),
                              [&shell](const std::string& path, bool in_place) {
                                  shell.temporaryNamed(path, in_place);
                              });
        shell.tell(restoredBox(result, logbook_path));
        if (result.failure.kind != FailureKind::GenerationChanged)
            return;
    }
}

namespace {

constexpr const char* kProgram = "thermora-logbook";

// The help of each system's dialog: the Windows one takes no toolkit options.
#ifdef _WIN32
constexpr const char* kHelp =
    " [OPTIONS]\n"
    "Rebuilds the Thermora Simulator's logbook from its IGC recordings, in a window.\n\n"
    "Options:\n"
    "  -h, --help     Displays this help and exits.\n"
    "  -V, --version  Displays version information and exits.\n\n"
    "The same without a window, for scripts: thermora-logbook-cli --help.\n\n"
    "Exit status: 0 when the window was closed, 2 usage error.\n";
#else
constexpr const char* kHelp =
    " [OPTIONS] [Qt options]\n"
    "Rebuilds the Thermora Simulator's logbook from its IGC recordings, in a dialog.\n\n"
    "Options:\n"
    "  -h, --help     Displays this help and exits.\n"
    "  -V, --version  Displays version information and exits.\n\n"
    "Qt's own options (-platform, -style, -qwindowgeometry, ...) are taken by Qt.\n"
    "The same without a dialog, for scripts: thermora-logbook-cli --help.\n\n"
    "Exit status: 0 when the dialog was closed, 2 usage error.\n";
#endif

} // namespace

ProgramStart readProgramArguments(const std::vector<std::string>& arguments,
                                  const std::string& version, bool toolkit_taken) {
    using Action = ProgramStart::Action;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h")
            return {Action::Help, std::string("Usage: ") + kProgram + kHelp};
        if (argument == "--version" || argument == "-V")
            return {Action::Version, std::string(kProgram) + " " + version + "\n"};
    }
    if (!toolkit_taken || arguments.empty())
        return {};
    const std::string& first = arguments.front();
    return {Action::UsageError,
            std::string(kProgram) + ": " +
                (first.starts_with('-') ? "unknown option '" : "unexpected argument '") +
                escaped(first) + "'\nTry '" + kProgram + " --help' for more information.\n"};
}

} // namespace logbook
