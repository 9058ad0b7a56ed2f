// Both dialogs' flows, as the core runs them, without a toolkit: a shell that records every box,
// question and list it is shown and answers from a script. Each row is a flow, the pilot's
// answers and what the pilot saw; then whether the logbook was written. The Windows dialog and
// the Qt dialog only show these boxes, so this is their behaviour on either system.

#include "logbook/DialogFlow.h"

#include "FlightBuilder.h"
#include "support/FileBytes.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
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
        {"no flight for a logbook with entries: no",
         "P",
         "empty",
         std::string(kHeader) + "a;b\r\n",
         {"yes", "no"},
         {"ask This will overwrite your existing logbook", "ask The folder empty holds no IGC file"},
         FailureKind::EmptyRefused},
        {"no flight for a logbook with entries: closed",
         "P",
         "empty",
         std::string(kHeader) + "a;b\r\n",
         {"yes", "escape"},
         {"ask This will overwrite your existing logbook", "ask The folder empty holds no IGC file"},
         FailureKind::Cancelled},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(logbook_);
        fs::remove(logbook_ + ".bak");
        if (!row.old.empty())
            std::ofstream(logbook_, std::ios::binary) << row.old;
        // Paths as a pilot types them, relative to the folder the dialog was started in.
        const fs::path cwd = fs::current_path();
        fs::current_path(dir_);
        ScriptedShell shell(row.answers);
        const std::optional<GenerationResult> result =
            generateFlow({row.pilot, row.folder, "data/logbook.dat", 0}, shell);
        fs::current_path(cwd);
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

} // namespace
} // namespace logbook
