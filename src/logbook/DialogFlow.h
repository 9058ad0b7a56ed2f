#pragma once

// The dialog's steps around a run, worded and ordered once for both dialogs (Qt on Linux, the
// Windows API on Windows): what is refused before anything is asked, the questions in the order
// a pilot meets them, and the box that ends the run. The dialogs only show these boxes.

#include "logbook/Generation.h"
#include "logbook/LogbookHistory.h"
#include "logbook/RequestCheck.h"
#include "logbook/RunEnvironment.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace logbook {

/// The dialog's own words: window titles, buttons and the boxes' fixed texts.
namespace dialog {
inline constexpr const char* kCaption = "Fix Thermora Logbook";
inline constexpr const char* kWarning = "Warning";
inline constexpr const char* kError = "Error";
inline constexpr const char* kYes = "&Yes";
inline constexpr const char* kNo = "&No";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kShowDetails = "Show Details...";
inline constexpr const char* kSkippedFiles = "Skipped files";
inline constexpr const char* kCopy = "Copy";
inline constexpr const char* kClose = "Close";
inline constexpr const char* kFileColumn = "File";
inline constexpr const char* kReasonColumn = "Reason";
inline constexpr const char* kGenerating = "Generating logbook";
/// The main window's buttons and labels carry an access key ("&" before its letter, as both
/// toolkits mark it), each letter once in the window: Alt with it presses the button or goes to
/// the label's field.
inline constexpr const char* kRestore = "&Restore...";
inline constexpr const char* kRestoreButton = "Restore";
inline constexpr const char* kRestoreTitle = "Restore an earlier logbook";
inline constexpr const char* kRestoreIntro =
    "Choose the logbook to put back. The logbook it replaces is kept as .bak, so that you can "
    "restore it in the same way.";
inline constexpr const char* kGenerationColumn = "Kept as";
inline constexpr const char* kWrittenColumn = "Written";
inline constexpr const char* kEntriesColumn = "Entries";
inline constexpr const char* kPilotColumn = "Pilot";
inline constexpr const char* kChooseDirectory = "IGC File directory";
inline constexpr const char* kChooseLogbook = "Choose a file";
inline constexpr const char* kNoInstallation =
    "Couldn't find Thermora installation directory!\nPlease check installation";
/// The button of the box that says so, which opens the folder chooser, and the chooser's title.
inline constexpr const char* kChooseFolder = "&Choose Folder...";
inline constexpr const char* kChooseFolderTitle = "The Thermora Simulator folder or the IGC folder";
// The form's own texts.
inline constexpr const char* kPilotNameLabel = "&Pilot Name";
inline constexpr const char* kIgcFilesLabel = "&IGC Files";
inline constexpr const char* kLogbookFileLabel = "&Logbook File";
inline constexpr const char* kMinTimeLabel = "&Min. Flight time";
inline constexpr const char* kBrowse = "...";
inline constexpr const char* kGenerate = "&Generate Logbook";
inline constexpr const char* kExit = "E&xit";
inline constexpr const char* kMinTimeToolTip = "Only flights longer than this will be added";
inline constexpr const char* kLogbookFilter = "Logbook file (logbook.dat)";
inline constexpr const char* kAllFilesFilter = "All Files (*.*)";
/// The minimum flight time's unit after its value, as the bare form shows it whatever the value.
inline constexpr const char* kMinutesSuffix = " minutes";
/// The minimum flight time's unit after its value: " minute" for 1, " minutes" otherwise.
inline const char* minutesSuffix(int minutes) {
    return minutes == 1 ? " minute" : kMinutesSuffix;
}
/// A button's or label's text as a sentence names it: its access key's "&" left out ("&&", a
/// shown "&", kept as one).
std::string withoutAccessKey(std::string_view text);
} // namespace dialog

/// How grave a box is: its icon.
enum class Severity { Information, Warning, Error };

/// A box of the dialog: its title, its text and the smaller text under it.
struct DialogBox {
    std::string title;
    std::string text;
    std::string informative;
    Severity severity = Severity::Warning;
};

/// The box at start when no installation was found: what a pilot can do in the dialog first,
/// then what to set for the next start (`setting`: "THERMORA_DIR ... WINEPREFIX ..." on Linux,
/// the registry on Windows).
DialogBox noInstallationBox(const std::string& setting);

/// The pilot of the logbook at `logbook_path`: its header's "name = " line, as UTF-8, so that a
/// pilot who has a logbook does not type the name at every start. Empty when there is no
/// logbook there, it cannot be read, or it names no pilot. Reads the logbook only.
std::string pilotNameFor(const std::string& logbook_path);

/// The box at start when no installation was found, in place of noInstallationBox: it offers
/// the folder chooser (the button dialog::kChooseFolder, the chooser's title
/// dialog::kChooseFolderTitle), as a pilot who started the program from a menu has no way to set
/// an environment variable. Closed, the fields stay empty.
DialogBox noInstallationChoice();

/// The IGC folder and the logbook path that a folder chosen from that box gives.
struct ChosenFolder {
    std::string igc_directory;
    std::string logbook_path; // empty: the folder does not say; the field stays as it is
};
/// The simulator's folder gives its data folder's IGC folder and logbook; its data folder the
/// same; any other folder is taken as the IGC folder, with the logbook beside it when there is
/// one ("logbook.dat" in the folder above, where the simulator keeps it).
ChosenFolder presetsFromFolder(const std::string& folder);

/// What the dialog refuses before it asks anything, the first that applies: no pilot name, a
/// control character in it (shown, "\x0A" for a pasted line break), an IGC folder or a logbook
/// path that the run could not use. Nothing when the run may go ahead.
std::optional<DialogBox> refusalBeforeRun(const RequestCheck& check);
/// The same for a pilot name (UTF-8), an IGC folder and a logbook path as typed.
std::optional<DialogBox> refusalBeforeRun(const std::string& pilot,
                                          const std::string& igc_directory,
                                          const std::string& logbook_path);

/// A question with "&Yes" and "&No": `yes_by_default` for Enter. Where "&No" goes on (the run's
/// questions), `can_cancel` adds "Cancel", which Escape and the close button press: the run then
/// stops with nothing written. Elsewhere they press "&No", which stops as well.
struct DialogQuestion {
    std::string title;
    std::string text;
    bool yes_by_default = false;
    bool can_cancel = false;
    std::string details = {};     // shown on "Show Details..." when not empty
    std::string use_folder = {};  // a "&Yes" takes this folder into the IGC field, then goes on
    bool empties_logbook = false; // a "&Yes" lets the run drop every flight unasked
};

/// The questions before a run, in order; a "&No" to any ends it with nothing written: the IGC
/// folder's own IGC folder when it holds the recordings (`use_folder`), the pilot name's
/// characters beyond Latin-1, then the overwrite question when a logbook exists; when the
/// folder holds no IGC file and the logbook holds flights, the question whether to empty it
/// instead (No by default), which the run then does not ask again.
/// `igc_directory` is the folder as typed.
std::vector<DialogQuestion> questionsBeforeRun(const RequestCheck& check,
                                               const std::string& igc_directory = {});
/// The same for a pilot name (UTF-8) and a logbook path as typed.
std::vector<DialogQuestion> questionsBeforeRun(const std::string& pilot,
                                               const std::string& logbook_path);

/// A question that the run asks on its way: before a logbook with entries is emptied (No by
/// default), before the old logbook's flights without a recording are dropped (the flights under
/// "Show Details...", Yes by default).
DialogQuestion runQuestionBox(const RunQuestion& question);

/// The question before the old logbook's flights without a recording are dropped.
DialogQuestion missingRecordingsQuestionBox(const std::string& igc_directory,
                                            const MissingRecordings& missing);

/// One row of the restore list: a generation kept beside the logbook.
struct RestoreRow {
    int age = 0;
    std::string name;    // ".bak", ".bak.1", ...
    std::string written; // "2026-12-08 12:29"
    std::string entries; // "63 entries", or why it cannot be read
    std::string pilot;
};
/// The generations that can be put back, the newest first; none when none is kept.
std::vector<RestoreRow> restoreRows(const std::vector<KeptLogbook>& kept);
/// The restore list's text when no earlier logbook is kept.
DialogBox nothingToRestoreBox(const std::string& logbook_path);
/// The question before generation `age` of `kept` is put back as the logbook.
DialogQuestion restoreQuestion(const std::vector<KeptLogbook>& kept, int age);
/// The box that ends a restore.
DialogBox restoredBox(const GenerationResult& result, const std::string& logbook_path);

/// The box that ends a run; none (nullopt) when the pilot's own "&No" ended it. `details` says
/// whether the skipped files can be shown ("Show Details...", skippedRows, skippedCountsText).
struct ResultBox {
    DialogBox box;
    bool details = false;
};
std::optional<ResultBox> resultBox(const GenerationResult& result, const std::string& logbook_path);

/// What a dialog shows of its flows, each call waiting for the pilot: the dialogs' run
/// controller hands each to the window's thread, the tests record them. As a run's environment,
/// a run's own questions come as dialog questions (runQuestionBox).
class DialogShell : public RunEnvironment {
public:
    /// Shows `box` until the pilot closes it.
    virtual void tell(const DialogBox& box) = 0;
    /// Asks `question` until the pilot answers or closes it.
    virtual Answer ask(const DialogQuestion& question) = 0;
    /// The restore list: the age of the generation chosen; none when the list was closed.
    virtual std::optional<int> chooseGeneration(const std::vector<RestoreRow>& rows) = 0;
    /// A question's "&Yes" took `folder` into the IGC field: the form shows it from now on.
    virtual void showIgcFolder(const std::string& folder) = 0;

    using RunEnvironment::ask;
    Answer ask(const RunQuestion& question) final { return ask(runQuestionBox(question)); }
};

/// What the form holds when "Generate Logbook" or "Restore..." is pressed.
struct DialogForm {
    std::string pilot;         // UTF-8, as typed
    std::string igc_directory; // as typed (UTF-8 on Windows, the file system's bytes on Linux)
    std::string logbook_path;  // likewise
    int minutes = kDefaultMinutes;
    // The entries' dates in the simulator's form (install::entryDateFormatter); unset: the
    // user's short date form.
    platform::DateFormatter format_date = {};
};

/// "Generate Logbook": what is refused before anything is asked, the questions in order (a
/// "&Yes" to the IGC folder's own IGC folder takes it into the field and checks anew), then the
/// run with `shell` as its environment. The run's result for its box (resultBox); none when the
/// flow ended before the run: a refusal told, a question not answered "&Yes".
std::optional<GenerationResult> generateFlow(const DialogForm& form, DialogShell& shell);

/// "Restore...": a logbook field that names no logbook is refused before anything beside it is
/// listed; then the list, the question, the restore and its box. A generation that changed
/// between the list and the restore is not put back: the list comes again, as it is now.
void restoreFlow(const std::string& logbook_path, DialogShell& shell);

/// What the dialog program's command line asks for, read before any window opens.
struct ProgramStart {
    enum class Action {
        OpenDialog, // nothing of the program's own: the dialog opens
        Help,       // `text` for standard output, then exit 0
        Version,    // likewise
        UsageError, // `text` for standard error, then exit 2
    };
    Action action = Action::OpenDialog;
    std::string text;
};
/// The exit status of a usage error, as the command line's.
inline constexpr int kUsageStatus = 2;

/// Reads the arguments after the program's name: "--help" ("-h") and "--version" ("-V") answer
/// whatever else is given, as command-line programs do, without a display. With `toolkit_taken`
/// the toolkit has taken its own options (-platform, -style, ...) out, and anything left is a
/// usage error; before that, the rest is left to it.
ProgramStart readProgramArguments(const std::vector<std::string>& arguments,
                                  const std::string& version, bool toolkit_taken);

} // namespace logbook

namespace logbook::dialog {
/// The title of the window that a question's "Show Details..." opens.
inline constexpr const char* kDetailsTitle = "Details";
} // namespace logbook::dialog

namespace logbook::dialog {
/// The button beside the line under the form that says which installation the presets come from
/// (install::takenText), there when the search found more than one: it opens the list of them.
inline constexpr const char* kChangeInstallation = "&Change...";
/// The list of installations: its title, what choosing one does, and the button that takes it.
inline constexpr const char* kInstallationsTitle = "Thermora installations";
inline constexpr const char* kInstallationsIntro =
    "The IGC folder and the logbook file are filled in from the installation you choose.";
inline constexpr const char* kUseInstallation = "Use";
/// The IGC folder chooser's filter: the recordings show in each folder, greyed, so that a folder
/// that holds them does not look empty.
inline constexpr const char* kRecordingsFilter = "IGC files (*.igc *.IGC)";
} // namespace logbook::dialog
