// Both dialogs' flows, as the core runs them, without a toolkit: a shell that records every box,
// question and list it is shown and answers from a script. Each row is a flow, the pilot's
// answers and what the pilot saw; then whether the logbook was written. The Windows dialog and
// the Qt dialog only show these boxes, so this is their behaviour on either system.

#include "logbook/DialogFlow.h"

#include "FlightBuilder.h"
#include "support/FileBytes.h"
#include "support/TestDirectory.h"

#include "platform/Files.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace logbook {
namespace {

namespace fs = std::filesystem;

// What the pilot saw, one line a box: "tell Title", "ask First line", "list 2", "folder F".
class ScriptedShell : public DialogShell {
public:
    explicit ScriptedShell(std::deque<std::string> script) : script_(std::move(script)) {}

    void tell(const DialogBox& box) override {
        seen.push_back("tell " + box.title + severityOf(box.severity));
    }
    using DialogShell::ask;
    Answer ask(const DialogQuestion& question) override {
        seen.push_back("ask " + question.text.substr(0, question.text.find_first_of(".!?\n")));
        const std::string answer = next();
        return answer == "yes" ? Answer::Yes : answer == "no" ? Answer::No : Answer::Cancel;
    }
    std::optional<int> chooseGeneration(const std::vector<RestoreRow>& rows) override {
        seen.push_back("list " + std::to_string(rows.size()));
        const std::string answer = next();
        return answer == "close" ? std::nullopt : std::optional<int>(std::stoi(answer));
    }
    void showIgcFolder(const std::string& folder) override {
        seen.push_back("folder " + fs::path(folder).filename().string());
    }
    std::ostream& diagnostics() override { return quiet_; }
    std::ostream& fileDiagnostics() override { return quiet_; }
    std::ostream& diagnosticOutput() override { return quiet_; }

    std::vector<std::string> seen;

private:
    static std::string severityOf(Severity severity) {
        return severity == Severity::Error ? " (error)" : "";
    }
    std::string next() {
        if (script_.empty())
            return "escape"; // a box the script did not expect is closed
        std::string answer = script_.front();
        script_.pop_front();
        return answer;
    }
    std::deque<std::string> script_;
    std::ostringstream quiet_;
};

class Flows : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testing_support::freshTestDirectory("flows-");
        testing_support::FlightBuilder flight(36000, 50.0, 10.0);
        flight.hold(30, 1).move(300, 1, 22, 0).hold(30, 1);
        fs::create_directories(dir_ / "data" / "IGC");
        fs::create_directories(dir_ / "empty");
        std::ofstream(dir_ / "data" / "IGC" / "a.igc", std::ios::binary) << flight.text();
        logbook_ = (dir_ / "data" / "logbook.dat").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    static constexpr const char* kHeader = "# old\r\n#\r\n\r\nname = Old\r\n";
    fs::path dir_;
    std::string logbook_;
};

TEST_F(Flows, GenerateLogbook) {
    const std::string gone = "01.05.2024;T;X;Local flight;01:00;00:00;-;-;gone.igc\r\n";
    const std::string igc = "data/IGC";
    const struct {
        const char* name;
        const char* pilot;
        std::string folder; // under the test's directory
        std::string old;    // the logbook before; empty: none
        std::deque<std::string> answers;
        std::vector<std::string> seen;
        std::optional<FailureKind> result; // none: no run
        bool read_only = false;            // the old logbook protected from writing
    } rows[] = {
        {"no pilot: refused", "", igc, "", {}, {"tell Missing data"}, std::nullopt},
        {"no such folder: refused before any question",
         "P",
         "nowhere",
         "x",
         {},
         {"tell Error (error)"},
         std::nullopt},
        {"a new logbook: nothing asked", "P", igc, "", {}, {}, FailureKind::None},
        {"overwrite: yes",
         "P",
         igc,
         kHeader,
         {"yes"},
         {"ask This will overwrite your existing logbook"},
         FailureKind::None},
        {"overwrite: no",
         "P",
         igc,
         kHeader,
         {"no"},
         {"ask This will overwrite your existing logbook"},
         std::nullopt},
        {"overwrite: closed",
         "P",
         igc,
         kHeader,
         {"escape"},
         {"ask This will overwrite your existing logbook"},
         std::nullopt},
        {"the data folder: its IGC folder taken and checked anew",
         "P",
         "data",
         kHeader,
         {"yes", "yes"},
         {"ask data holds no IGC file, but " + (fs::path("data") / "IGC").string() +
              " holds 1 recording: use that folder",
          "folder IGC", "ask This will overwrite your existing logbook"},
         FailureKind::None},
        {"the data folder: no",
         "P",
         "data",
         kHeader,
         {"no"},
         {"ask data holds no IGC file, but " + (fs::path("data") / "IGC").string() +
          " holds 1 recording: use that folder"},
         std::nullopt},
        {"a flight without recording: kept",
         "P",
         igc,
         std::string(kHeader) + gone,
         {"yes", "yes"},
         {"ask This will overwrite your existing logbook",
          "ask 1 flight of your logbook has no recording in data/IGC"},
         FailureKind::None},
        {"a flight without recording: the question closed writes nothing",
         "P",
         igc,
         std::string(kHeader) + gone,
         {"yes", "escape"},
         {"ask This will overwrite your existing logbook",
          "ask 1 flight of your logbook has no recording in data/IGC"},
         FailureKind::Cancelled},
        // An empty folder is said first, in the one question, which the run does not repeat.
        {"an empty folder for a logbook with flights: no",
         "P",
         "empty",
         std::string(kHeader) + "a;b\r\n",
         {"no"},
         {"ask The folder empty holds no IGC file"},
         std::nullopt},
        {"an empty folder for a logbook with flights: closed",
         "P",
         "empty",
         std::string(kHeader) + "a;b\r\n",
         {"escape"},
         {"ask The folder empty holds no IGC file"},
         std::nullopt},
        {"an empty folder for a logbook with flights: yes empties it, asked once",
         "P",
         "empty",
         std::string(kHeader) + "a;b\r\n",
         {"yes"},
         {"ask The folder empty holds no IGC file"},
         FailureKind::None},
        {"an empty folder for a logbook without flights: the overwrite question alone",
         "P",
         "empty",
         kHeader,
         {"yes"},
         {"ask This will overwrite your existing logbook"},
         FailureKind::None},
        {"a logbook protected from writing: refused before any question",
         "P",
         "empty",
         std::string(kHeader) + "a;b\r\n",
         {},
         {"tell Error (error)"},
         std::nullopt,
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(logbook_);
        fs::remove(logbook_ + ".bak");
        if (!row.old.empty())
            std::ofstream(logbook_, std::ios::binary) << row.old;
        if (row.read_only) {
            fs::permissions(
                logbook_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);
            // Permission bits do not stop every user (root): nothing to refuse then.
            if (!platform::writeAccess(logbook_)) {
                fs::permissions(logbook_, fs::perms::owner_write, fs::perm_options::add);
                std::cout << "skipped: " << row.name << " (this user writes any file)\n";
                continue;
            }
        }
        // Paths as a pilot types them, relative to the folder the dialog was started in.
        const fs::path cwd = fs::current_path();
        fs::current_path(dir_);
        ScriptedShell shell(row.answers);
        const std::optional<GenerationResult> result =
            generateFlow({row.pilot, row.folder, "data/logbook.dat", 0}, shell);
        fs::current_path(cwd);
        if (row.read_only)
            fs::permissions(logbook_, fs::perms::owner_write, fs::perm_options::add);
        EXPECT_EQ(shell.seen, row.seen);
        ASSERT_EQ(result.has_value(), row.result.has_value());
        const bool written = result && result->failure.kind == FailureKind::None;
        if (result) {
            EXPECT_EQ(result->failure.kind, *row.result) << failureText(*result);
        }
        if (row.old.empty()) {
            EXPECT_EQ(fs::exists(logbook_), written);
        } else {
            EXPECT_EQ(testing_support::bytesOf(logbook_) == row.old, !written);
        }
        EXPECT_EQ(fs::exists(logbook_ + ".bak"), written && !row.old.empty());
    }
}

TEST_F(Flows, Restore) {
    const std::string now = std::string(kHeader) + "now\r\n";
    const std::string before = std::string(kHeader) + "before\r\n";
    const struct {
        const char* name;
        std::string path;
        bool kept; // a .bak beside the logbook
        std::deque<std::string> answers;
        std::vector<std::string> seen;
        bool restored;
    } rows[] = {
        {"no logbook path: refused before anything is listed",
         "",
         true,
         {},
         {"tell Error (error)"},
         false},
        {"nothing kept", logbook_, false, {}, {"tell Restore an earlier logbook"}, false},
        {"the list closed", logbook_, true, {"close"}, {"list 1"}, false},
        {"the question answered no",
         logbook_,
         true,
         {"0", "no"},
         {
             "list 1",
             "ask Put the logbook kept as " + logbook_.substr(0, logbook_.size() - 4),
         },
         false},
        {"the question closed",
         logbook_,
         true,
         {"0", "escape"},
         {"list 1", "ask Put the logbook kept as " + logbook_.substr(0, logbook_.size() - 4)},
         false},
        {"restored",
         logbook_,
         true,
         {"0", "yes"},
         {"list 1", "ask Put the logbook kept as " + logbook_.substr(0, logbook_.size() - 4),
          "tell Logbook restored"},
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(logbook_ + ".bak");
        std::ofstream(logbook_, std::ios::binary) << now;
        if (row.kept)
            std::ofstream(logbook_ + ".bak", std::ios::binary) << before;
        ScriptedShell shell(row.answers);
        restoreFlow(row.path, shell);
        EXPECT_EQ(shell.seen, row.seen);
        EXPECT_EQ(testing_support::bytesOf(logbook_), row.restored ? before : now);
        if (row.kept) {
            EXPECT_EQ(testing_support::bytesOf(logbook_ + ".bak"), row.restored ? now : before);
        }
    }
}

TEST_F(Flows, PilotNameFromTheLogbook) {
    const struct {
        const char* name;
        std::string path;  // under the test's directory; empty: no path
        std::string bytes; // written there first; empty: nothing written
        std::string pilot; // UTF-8
    } rows[] = {
        {"no path", "", "", ""},
        {"no logbook there", "data/logbook.dat", "", ""},
        {"a folder", "data", "", ""},
        {"a logbook without a name line", "data/logbook.dat", "# old\r\n#\r\n\r\nentry\r\n", ""},
        {"the header's name", "data/logbook.dat", kHeader, "Old"},
        {"Latin-1, as the simulator keeps it", "data/logbook.dat",
         "# old\r\n#\r\n\r\nname = J\xfcrgen M\xfcller\r\n", "J\xc3\xbcrgen M\xc3\xbcller"},
        {"blanks around it kept, line ends of LF", "data/logbook.dat",
         "# old\n#\n\nname =  A. Pilot \n", " A. Pilot "},
        {"a name line below the header is an entry's business", "data/logbook.dat",
         "# old\r\n#\r\n\r\n\r\nname = Not the pilot\r\n", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(logbook_);
        if (!row.bytes.empty())
            std::ofstream(dir_ / row.path, std::ios::binary) << row.bytes;
        EXPECT_EQ(pilotNameFor(row.path.empty() ? std::string() : (dir_ / row.path).string()),
                  row.pilot);
    }
}

TEST_F(Flows, FolderChosenWithoutAnInstallation) {
    fs::create_directories(dir_ / "sim" / "data" / "IGC");
    fs::create_directories(dir_ / "loose");
    std::ofstream(dir_ / "data" / "logbook.dat", std::ios::binary) << kHeader;
    const struct {
        const char* name;
        std::string folder;  // under the test's directory
        std::string igc;     // likewise
        std::string logbook; // likewise; empty: none said
    } rows[] = {
        {"the simulator's folder", "sim", "sim/data/IGC", "sim/data/logbook.dat"},
        {"its data folder", "sim/data", "sim/data/IGC", "sim/data/logbook.dat"},
        {"the IGC folder, a logbook above it", "data/IGC", "data/IGC", "data/logbook.dat"},
        {"a folder of recordings alone", "loose", "loose", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ChosenFolder chosen = presetsFromFolder((dir_ / row.folder).string());
        EXPECT_EQ(fs::path(chosen.igc_directory), dir_ / row.igc);
        // Compared as paths: Windows takes "/" and "\\" alike.
        EXPECT_EQ(fs::path(chosen.logbook_path),
                  row.logbook.empty() ? fs::path() : dir_ / row.logbook);
    }
}

TEST(ProgramArguments, AnsweredAsCommandLinePrograms) {
    using Action = ProgramStart::Action;
    const std::string usage = "\nTry 'thermora-logbook --help' for more information.\n";
    const struct {
        const char* name;
        std::vector<std::string> arguments; // the toolkit's own taken out
        bool toolkit_taken;
        Action action;
        std::string text; // empty: not compared (the help)
    } rows[] = {
        {"an unknown option",
         {"--bogus"},
         true,
         Action::UsageError,
         "thermora-logbook: unknown option '--bogus'" + usage},
        {"an argument, its control byte shown",
         {"a\nb"},
         true,
         Action::UsageError,
         "thermora-logbook: unexpected argument 'a\\x0Ab'" + usage},
        {"left to the toolkit, before it took its own",
         {"-platform", "offscreen"},
         false,
         Action::OpenDialog,
         ""},
        {"none", {}, true, Action::OpenDialog, ""},
        {"the version", {"--version"}, true, Action::Version, "thermora-logbook 1.2.3\n"},
        {"-V, after another argument",
         {"x", "-V"},
         true,
         Action::Version,
         "thermora-logbook 1.2.3\n"},
        {"the help", {"--help"}, true, Action::Help, ""},
        {"-h, before the toolkit took its own",
         {"-style", "Fusion", "-h"},
         false,
         Action::Help,
         ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ProgramStart start = readProgramArguments(row.arguments, "1.2.3", row.toolkit_taken);
        EXPECT_EQ(start.action, row.action);
        if (row.action == Action::Help) {
            EXPECT_TRUE(start.text.starts_with("Usage: thermora-logbook [OPTIONS]")) << start.text;
            EXPECT_NE(start.text.find("--version"), std::string::npos) << start.text;
        } else {
            EXPECT_EQ(start.text, row.text);
        }
    }
}

} // namespace
} // namespace logbook
