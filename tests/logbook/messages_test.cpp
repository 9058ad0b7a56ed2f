// What the programs tell a pilot, worded once: counts that fit their nouns, the skipped files
// counted per kind of reason, the question before an empty logbook replaces a full one, and the
// generations of replaced logbooks.

#include "logbook/DialogFlow.h"
#include "logbook/Generation.h"
#include "logbook/LogbookFile.h"
#include "logbook/Messages.h"
#include "logbook/Text.h"
#include "support/FileBytes.h"
#include "support/RunRecorder.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace logbook {
namespace {

namespace fs = std::filesystem;
using testing_support::bytesOf;

TEST(Messages, CountsFitTheirNouns) {
    const struct {
        long long count;
        const char* text;
    } rows[] = {{0, "0 entries"},     {1, "1 entry"},          {2, "2 entries"},
                {999, "999 entries"}, {1000, "1,000 entries"}, {1234567, "1,234,567 entries"}};
    for (const auto& row : rows)
        EXPECT_EQ(counted(row.count, "entry", "entries"), row.text);
    EXPECT_EQ(progressText(1, 1), "1 of 1 file");
    EXPECT_EQ(progressText(1234, 20000), "1,234 of 20,000 files");
}

// The command line's summary: a warning, with how many fewer, when entries were lost.
TEST(Messages, TheSummaryWarnsOfFewerEntries) {
    const struct {
        int entries;
        int replaced; // -1: no logbook before
        const char* line;
    } rows[] = {
        {1, 340,
         "warning: Wrote 1 entry to L, 339 fewer than the 340 of the logbook it replaced (1 file "
         "read, 0 skipped); the old logbook was kept as L.bak"},
        {1, 1,
         "Wrote 1 entry to L; the logbook it replaced had 1 (1 file read, 0 skipped); the old "
         "logbook was kept as L.bak"},
        {2, 1,
         "Wrote 2 entries to L; the logbook it replaced had 1 (2 files read, 0 skipped); the old "
         "logbook was kept as L.bak"},
        {0, -1, "Wrote 0 entries to L (1 file read, 1 skipped)"},
    };
    for (const auto& row : rows) {
        GenerationResult result;
        result.files = std::max(row.entries, 1);
        result.entries = row.entries;
        result.replaced_entries = row.replaced;
        if (row.replaced >= 0)
            result.backup_path = "L.bak";
        EXPECT_EQ(summaryLine(result, "L"), row.line);
        EXPECT_EQ(holdsFewerThanBefore(result), row.entries < row.replaced);
    }
}

// Each kind of reason in the words of the per-file lines and under its count in the dialog.
TEST(Messages, SkippedFilesAreWordedAndCountedPerKindMostFirst) {
    const struct {
        SkipReason reason;
        const char* text;
    } rows[] = {
        {{SkipKind::TooShort, {}, 0, 12}, "too short: 12 s"},
        {{SkipKind::NotIgc, "Missing A record"}, "not an IGC file: Missing A record"},
        {{SkipKind::TooShort, {}, 0, 5}, "too short: 5 s"},
        {{SkipKind::Empty}, "empty"},
        {{SkipKind::NotIgc, "parse error in H record", 3},
         "not an IGC file: parse error in H record (line 3)"},
        {{SkipKind::TooShort, {}, 0, 0}, "too short: 0 s"},
        {{SkipKind::TaskIncomplete, "parse error in C record", 7},
         "task declaration unreadable: parse error in C record (line 7)"},
        {{SkipKind::NotAFile, "a named pipe"}, "a named pipe, not a file"},
        {{SkipKind::NotReadable, "Permission denied"}, "not readable: Permission denied"},
        {{SkipKind::OneFix}, "one fix only"},
        {{SkipKind::NoTakeoff}, "no takeoff found"},
    };
    GenerationResult result;
    for (const auto& row : rows) {
        EXPECT_EQ(reasonText(row.reason), row.text);
        result.skipped.emplace_back("/igc/x.igc", row.reason);
    }
    EXPECT_EQ(skippedCountsText(result),
              "3 too short, 2 not IGC files, 1 empty, 1 with an unreadable task declaration, 1 not "
              "a file, "
              "1 not readable, 1 with one fix only, 1 without a takeoff");
    EXPECT_EQ(skippedRows(result).front(),
              std::make_pair(std::string("x.igc"), std::string("too short: 12 s")));
}

class Generations : public ::testing::Test {
protected:
    void SetUp() override { dir_ = testing_support::freshTestDirectory("generations-"); }
    void TearDown() override { fs::remove_all(dir_); }
    GenerationResult run(const std::string& igc, bool allow_empty) {
        GenerationRequest request;
        request.igc_directory = (dir_ / igc).string();
        request.logbook_path = (dir_ / "logbook.dat").string();
        request.pilot_name = "P";
        request.min_time_minutes = 0;
        testing_support::RunRecorder recorder;
        recorder.quiet = true;
        // The flights whose recording is gone are dropped: only the emptying is asked here.
        recorder.answering = [this, allow_empty](const RunQuestion& question) {
            if (question.kind != RunQuestion::Kind::ReplaceWithEmpty)
                return Answer::No;
            questions_ += emptyLogbookQuestion(question) + "\n";
            return allow_empty ? Answer::Yes : Answer::No;
        };
        return generateLogbook(request, recorder);
    }
    fs::path dir_;
    std::string questions_;
};

TEST_F(Generations, FiveReplacedLogbooksAreKeptAndAnEmptyOneIsAskedFor) {
    fs::create_directories(dir_ / "IGC");
    // A folder whose name holds the question's own words, which must not cut the finding short.
    const std::string none = "x Replace y";
    fs::create_directories(dir_ / none);
    fs::copy_file(std::string(THERMORA_TEST_DATA) + "/generation/01-search.igc",
                  dir_ / "IGC" / "a.igc");
    const std::string logbook = (dir_ / "logbook.dat").string();
    // Seven runs over one flight: each replaced logbook one place further back, five kept.
    const auto old = [](int k) {
        return "#\r\n#\r\n\r\nname = " + std::to_string(k) + "\r\nx\r\n";
    };
    for (int k = 0; k < 7; ++k) {
        std::ofstream(logbook, std::ios::binary) << old(k);
        const GenerationResult result = run("IGC", false);
        ASSERT_EQ(result.failure.kind, FailureKind::None) << failureText(result);
        EXPECT_EQ(result.replaced_entries, 1);
    }
    for (int age = 0; age < kGenerations; ++age)
        EXPECT_EQ(bytesOf(generationName(logbook, age)), old(6 - age));
    EXPECT_FALSE(fs::exists(logbook + ".bak.5"));

    // A folder without flights: asked, and on No the logbook of one entry stays.
    const std::string before = bytesOf(logbook);
    const GenerationResult refused = run(none, false);
    EXPECT_EQ(refused.failure.kind, FailureKind::EmptyRefused);
    EXPECT_EQ(questions_, "The folder " + (dir_ / none).string() +
                              " holds no IGC file. Replace your logbook of 1 entry with an empty "
                              "one?\n");
    EXPECT_EQ(failureText(refused), "The logbook was not replaced by an empty one.\nThe folder " +
                                        (dir_ / none).string() +
                                        " holds no IGC file.\nThe old logbook was left as it was.");
    EXPECT_EQ(bytesOf(logbook), before);
    const GenerationResult allowed = run(none, true);
    EXPECT_EQ(allowed.failure.kind, FailureKind::None);
    EXPECT_EQ(allowed.entries, 0);
    EXPECT_EQ(bytesOf(logbook + ".bak"), before);
}

// A logbook that cannot be read may hold any number of entries, and flights whose recording is
// gone: the run stops before it asks anything, and the logbook stays.
TEST_F(Generations, AnUnreadableLogbookStopsTheRun) {
#ifdef _WIN32
    GTEST_SKIP() << "permission bits make no file unreadable on Windows";
#else
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
#endif
    fs::create_directories(dir_ / "none");
    const std::string logbook = (dir_ / "logbook.dat").string();
    std::ofstream(logbook, std::ios::binary) << "#\r\n#\r\n\r\nname = P\r\na\r\nb\r\nc\r\n";
    fs::permissions(logbook, fs::perms::owner_write);
    const GenerationResult refused = run("none", false);
    fs::permissions(logbook, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(refused.failure.kind, FailureKind::Unreadable);
    EXPECT_EQ(questions_, "");
    EXPECT_EQ(failureText(refused), "Couldn't read the old logbook!\n" + logbook +
                                        "\nPermission denied\nThe old logbook was left as it was.");
}

} // namespace
} // namespace logbook

namespace logbook {
namespace {

// Both dialogs refuse and ask in the core's order: nobody is asked about a run that cannot
// start, and the overwrite question comes only for a logbook that exists.
TEST(DialogFlow, RefusesBeforeItAsks) {
    const fs::path dir = testing_support::freshTestDirectory("dialog-flow-");
    fs::create_directories(dir / "IGC");
    std::ofstream(dir / "logbook.dat") << "old";
    const std::string igc = (dir / "IGC").string();
    const std::string existing = (dir / "logbook.dat").string();
    const std::string fresh = (dir / "new.dat").string();
    const struct {
        const char* name;
        std::string pilot, igc, logbook;
        std::string outcome; // the refusal's title, else the questions' first words
    } rows[] = {
        {"no pilot name", "", "/nowhere", existing, "Missing data"},
        // Blanks alone name nobody; the earlier rule refused only the empty name and wrote
        // "name =    " into the logbook.
        {"a name of blanks only", "   ", igc, fresh, "Missing data"},
        {"a tab is no blank but a control character", " \t ", igc, fresh,
         "Invalid data: \" \\x09 \""},
        {"blanks around a real name stay", "  P ", igc, fresh, ""},
        {"a line break in the name", "A\nB", igc, existing, "Invalid data: \"A\\x0AB\""},
        {"a wrong folder before any question", "\xC5\x81ukasz", "/nowhere", existing, "Error"},
        {"the logbook path empty", "P", igc, "", "Error"},
        {"both questions", "\xC5\x81ukasz", igc, existing, "The simulator's|This"},
        {"no logbook yet: no question", "P", igc, fresh, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string outcome;
        if (const auto refusal = refusalBeforeRun(row.pilot, row.igc, row.logbook)) {
            outcome =
                refusal->title + (refusal->informative.empty() ? "" : ": " + refusal->informative);
        } else {
            for (const DialogQuestion& question : questionsBeforeRun(row.pilot, row.logbook))
                outcome += (outcome.empty() ? "" : "|") +
                           question.text.substr(0, question.text.find(' ', 4));
        }
        EXPECT_EQ(outcome, row.outcome);
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace logbook

namespace logbook {
namespace {

// A folder the command line suggests is one word for the shell, whatever it holds.
TEST(Messages, SuggestedPathsAreOneShellWord) {
#ifdef _WIN32
    const struct {
        const char* word;
        const char* shown;
    } rows[] = {
        {"C:\\Thermora\\data\\IGC", "C:\\Thermora\\data\\IGC"},
        {"C:\\Program Files\\Thermora\\data\\IGC", "\"C:\\Program Files\\Thermora\\data\\IGC\""},
        {"", "\"\""},
    };
#else
    const struct {
        const char* word;
        const char* shown;
    } rows[] = {
        {"/home/jane/Thermora/data/IGC", "/home/jane/Thermora/data/IGC"},
        {"/home/jane/My Flights/IGC", "'/home/jane/My Flights/IGC'"},
        {"/home/jane/Jane's/IGC", "'/home/jane/Jane'\\''s/IGC'"},
        {"/tmp/$HOME;rm", "'/tmp/$HOME;rm'"},
        {"", "''"},
    };
#endif
    for (const auto& row : rows)
        EXPECT_EQ(shellWord(row.word), row.shown) << row.word;
}

} // namespace
} // namespace logbook
