// What a logbook held before a run: its lines read back as entries, the flights whose recording
// is gone kept or dropped by the pilot's word, and the earlier logbooks listed and put back.

#include "FlightBuilder.h"
#include "logbook/Generation.h"
#include "logbook/LogbookFile.h"
#include "logbook/LogbookHistory.h"
#include "logbook/Messages.h"
#include "platform/Files.h"
#include "support/FileBytes.h"
#include "support/HeldLock.h"
#include "support/RunRecorder.h"
#include "support/TestDates.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace logbook {
namespace {

namespace fs = std::filesystem;
using testing_support::bytesOf;

TEST(History, LinesReadAsEntriesOnlyAsTheWriterWritesThem) {
    struct Row {
        const char* line;
        bool entry;
        const char* route; // when an entry
        const char* file;
    };
    const Row rows[] = {
        {"05.01.2008;Trainer;X-1234;Local flight;01:02;00:00;-;-;flight01.igc", true,
         "Local flight", "flight01.igc"},
        {"05.01.2008;Unknown;Unknown;Alpha - Bravo - Charlie - Delta;02:31;00:12;152.3 km;78.4 "
         "km/h;flight02.igc",
         true, "Alpha - Bravo - Charlie - Delta", "flight02.igc"},
        // A route holding ";" gives more fields; the file name is still the last.
        {";Unknown;Unknown;A;B - C;00:00;00:00;3.2 km;0.0 km/h;F.IGC", true, "A;B - C", "F.IGC"},
        {"05.01.2008;T;X;Local flight;01:02;00:00;-;-;a\tb.igc", true, "Local flight", "a\tb.igc"},
        {"05.01.2008;T;X;Local flight;01:02;00:00;-;flight.igc", false, "", ""},   // 8 fields
        {"05.01.2008;T;X;Local flight;24:00;00:00;-;-;flight.igc", false, "", ""}, // no 24th hour
        {"05.01.2008;T;X;Local flight;1:02;00:00;-;-;flight.igc", false, "", ""},
        {"05.01.2008;T;X;Route;01:02;00:00;152.3 km;-;flight.igc", false, "", ""}, // half a task
        {"05.01.2008;T;X;Route;01:02;00:00;152 km;78.4 km/h;flight.igc", false, "", ""},
        {"05.01.2008;T;X;Local flight;01:02;00:00;-;-;flight.txt", false, "", ""},
        {"05.01.2008;T;X;Local flight;01:02;00:00;-;-;", false, "", ""},
        {"05.01.2008;T;X;Local\x1b[2Jflight;01:02;00:00;-;-;flight.igc", false, "", ""},
        {"garbage", false, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const std::optional<OldEntry> entry = readEntryLine(row.line);
        ASSERT_EQ(entry.has_value(), row.entry);
        if (entry) {
            EXPECT_EQ(entry->line, row.line);
            EXPECT_EQ(entry->route, row.route);
            EXPECT_EQ(entry->file_name, row.file);
        }
    }
}

TEST(History, AnEntryNamesARecordingInTheLetterCaseOfItsPlatform) {
    struct Row {
        const char* entry;
        const char* recording; // as listed
        bool posix;            // names it where letter case tells names apart
        bool windows;          // names it where it does not
    };
    const Row rows[] = {
        {"flight.igc", "flight.igc", true, true},
        {"flight.igc", "FLIGHT.IGC", false, true},
        {"\xe9t\xe9.igc", "\xc3\x89T\xc3\x89.igc", false, true}, // Latin-1 letters fold too
        {"a\xd7.igc", "a\xf7.igc", false, false},                // signs, not letters
        {"a_b.igc", "a;b.igc", true, true},                      // as the writer gave it
        {"?.igc", "\xc5\x81.igc", true, true},                   // "Ł" written as "?"
        {"flight.igc", "flight2.igc", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.entry) + " / " + row.recording);
        EXPECT_EQ(namesRecording(row.entry, row.recording, false), row.posix);
        EXPECT_EQ(namesRecording(row.entry, row.recording, true), row.windows);
    }
}

// An old entry finds its recording as the simulator's system would: in any letter case, and by
// the name an earlier version wrote for it (a decomposed letter's mark as "?").
TEST(History, OldEntriesFindTheirRecordingsWhateverTheNamesCase) {
    const struct {
        const char* entry;
        const char* listed;
        bool missing;
    } rows[] = {
        {"flight.igc", "FLIGHT.IGC", false},
        {"Pe?gase.igc", "Pe\xcc\x81gase.igc", false}, // as written before names were composed
        {"P\xe9gase.igc", "Pe\xcc\x81gase.igc", false},
        {"flight.igc", "flight2.igc", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entry);
        const std::string old =
            std::string("#\r\n#\r\n\r\nname = P\r\n01.05.2024;T;X;Local flight;") +
            "01:00;00:00;-;-;" + row.entry + "\r\n";
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        std::fwrite(old.data(), 1, old.size(), file);
        std::rewind(file);
        FlightFile listed;
        listed.name = row.listed;
        const auto read = readOldLogbook(file, {listed});
        std::fclose(file);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->missing.count, row.missing ? 1U : 0U);
    }
}

class HistoryRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testing_support::freshTestDirectory("history-");
        fs::create_directories(dir_ / "IGC");
        logbook_ = (dir_ / "logbook.dat").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const fs::path& path, const std::string& bytes) const {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string header(const std::string& name) {
        return "# Thermora Log Book. (Vantaline V1.0)\r\n# This file is autogenerated, do not "
               "edit!\r\n\r\nname = " +
               name + "\r\n";
    }
    GenerationResult run(testing_support::RunRecorder& recorder) const {
        GenerationRequest request;
        request.igc_directory = (dir_ / "IGC").string();
        request.logbook_path = logbook_;
        request.pilot_name = "Jane";
        request.min_time_minutes = 0;
        request.format_date = testing_support::germanDates();
        request.jobs = 1;
        recorder.quiet = true;
        return generateLogbook(request, recorder);
    }

    fs::path dir_;
    std::string logbook_;
};

// The lines of flights without recording are copied out of the old logbook only while it holds
// them whole: one that it no longer holds (the file shortened since it was read) is the system's
// failure, never a line quietly lost.
TEST_F(HistoryRun, LinesAreCopiedOnlyWhileTheFileHoldsThem) {
    const struct {
        const char* row;
        std::vector<LineSpan> spans;
        int error;
        const char* copied;
    } rows[] = {
        {"no line", {}, 0, ""},
        {"every line", {{0, 3}, {5, 3}}, 0, "one\ntwo\n"},
        {"a line after its end", {{0, 3}, {20, 3}}, EIO, "one\n"},
        {"a line running over its end", {{5, 8}}, EIO, "two\r\n"}, // the run then fails
    };
    write(dir_ / "old.dat", "one\r\ntwo\r\n");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.row);
        std::FILE* file = std::fopen((dir_ / "old.dat").string().c_str(), "rb");
        ASSERT_NE(file, nullptr);
        std::ostringstream copied;
        EXPECT_EQ(copyLines(file, row.spans, copied), platform::errorOf(row.error));
        EXPECT_EQ(copied.str(), row.copied);
        std::fclose(file);
    }
}

// A logbook that cannot be read is the system's failure, not an empty logbook: a run that took it
// for one would drop every flight it held.
TEST_F(HistoryRun, AnUnreadableLogbookIsAFailureNotAnEmptyOne) {
    write(logbook_, header("Jane") + "01.05.2024;T;X;Local flight;01:00;00:00;-;-;gone.igc\r\n");
    std::FILE* readable = std::fopen(logbook_.c_str(), "rb");
    ASSERT_NE(readable, nullptr);
    const auto read = readOldLogbook(readable, {});
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read->summary.entries, 1);
    EXPECT_EQ(read->missing.count, 1U);
    std::fclose(readable);

#ifdef _WIN32
    GTEST_SKIP() << "the C library here reads nothing from a stream open for writing, and says "
                    "no more";
#endif
    std::FILE* written_only = std::fopen(logbook_.c_str(), "ab");
    ASSERT_NE(written_only, nullptr);
    const auto old = readOldLogbook(written_only, {});
    EXPECT_FALSE(old);
    const auto summary = summarizeLogbook(written_only);
    EXPECT_FALSE(summary);
    std::fclose(written_only);
}

TEST_F(HistoryRun, FlightsWithoutRecordingAreKeptOrDroppedByThePilotsWord) {
    testing_support::FlightBuilder flight(36000, 50.0, 10.0);
    flight.hold(30, 1).move(300, 1, 22, 0).hold(30, 1);
    write(dir_ / "IGC" / "present.igc", flight.text());
    const std::string gone1 = "01.05.2024;T;X;Local flight;01:00;00:00;-;-;gone1.igc";
    const std::string gone2 = "02.05.2024;T;X;A - B;02:00;00:00;52.0 km;26.0 km/h;gone2.igc";
    const std::string old = header("Jane") + gone2 + "\r\n" +
                            "03.05.2024;T;X;Local flight;00:10;00:00;-;-;present.igc\r\n" +
                            "corrupt;line;gone3.igc\r\n" + gone1 + "\n";

    struct Row {
        const char* name;
        Answer answer;
        int kept;
        int entries;
    };
    const Row rows[] = {
        {"kept", Answer::Yes, 3, 4},
        {"dropped", Answer::No, 0, 1},
        {"the question closed: nothing written", Answer::Cancel, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        write(logbook_, old);
        fs::remove(logbook_ + ".bak");
        testing_support::RunRecorder recorder({row.answer});
        const GenerationResult result = run(recorder);
        ASSERT_EQ(recorder.asked.size(), 1U);
        std::vector<std::string> asked;
        for (const OldEntry& entry : recorder.asked[0].missing.shown)
            asked.push_back(entry.is_entry ? entry.file_name : entry.line);
        EXPECT_EQ(asked,
                  (std::vector<std::string>{"gone2.igc", "corrupt;line;gone3.igc", "gone1.igc"}));
        if (row.answer == Answer::Cancel) {
            EXPECT_EQ(result.failure.kind, FailureKind::Cancelled);
            EXPECT_EQ(bytesOf(logbook_), old);
            EXPECT_FALSE(fs::exists(logbook_ + ".bak"));
            EXPECT_TRUE(result.dropped.empty());
            continue;
        }
        ASSERT_EQ(result.failure.kind, FailureKind::None) << failureText(result);
        EXPECT_EQ(result.kept_entries, row.kept);
        EXPECT_EQ(result.dropped.count, 3U - static_cast<std::size_t>(row.kept));
        EXPECT_EQ(result.entries, row.entries);
        const std::string written = bytesOf(logbook_);
        // The kept lines as they stood, in their old order, before the rebuilt entry.
        const std::string kept =
            row.kept > 0 ? gone2 + "\r\ncorrupt;line;gone3.igc\r\n" + gone1 + "\r\n" : "";
        EXPECT_EQ(written.substr(0, header("Jane").size() + kept.size()), header("Jane") + kept);
        EXPECT_NE(written.find(";present.igc\r\n"), std::string::npos);
        EXPECT_EQ(bytesOf(logbook_ + ".bak"), old);
    }
}

// Every line below the header is a flight: one that reads as no entry (typed by hand, of another
// program, its line ends those of an old Mac) is counted as the list counts it, named in the
// question, and kept as it stood.
TEST_F(HistoryRun, EveryLineBelowTheHeaderIsAFlightCountedNamedAndKept) {
    testing_support::FlightBuilder flight(36000, 50.0, 10.0);
    flight.hold(30, 1).move(300, 1, 22, 0).hold(30, 1);
    write(dir_ / "IGC" / "present.igc", flight.text());
    const std::string long_line(70 * 1024, 'x');
    struct Row {
        const char* name;
        std::vector<std::string> lines; // below the header
        const char* end;                // their line end, the header's too
        const char* listed;             // as the question's details name them
    };
    const Row rows[] = {
        {"an empty file column",
         {"05.01.2008;Trainer;X;Local flight;00:45;00:00;-;-;"},
         "\r\n",
         "line 5 (no entry): 05.01.2008;Trainer;X;Local flight;00:45;00:00;-;-;\n"},
        {"a time as a pilot types it",
         {"05.01.2008;T;X;Local flight;0:45;00:00;-;-;f.igc"},
         "\n",
         "line 5 (no entry): 05.01.2008;T;X;Local flight;0:45;00:00;-;-;f.igc\n"},
        {"a lone CR and a control byte",
         {"05.01.2008;T\x1b;X;Local\rflight;01:00;00:00;-;-;f.igc"},
         "\r\n",
         "line 5 (no entry): 05.01.2008;T?;X;Local?flight;01:00;00:00;-;-;f.igc\n"},
        {"an old Mac's line ends",
         {"05.01.2008;T;X;Local flight;01:00;00:00;-;-;gone.igc", "hand typed"},
         "\r",
         "05.01.2008, Local flight, gone.igc\nline 6 (no entry): hand typed\n"},
        {"a line longer than a line is held",
         {long_line},
         "\r\n",
         "line 5 (no entry): a line of 71,680 bytes\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string old = "# Thermora Log Book. (Vantaline V1.0)" + std::string(row.end) +
                          "# This file is autogenerated, do not edit!" + row.end + row.end +
                          "name = Jane" + row.end;
        for (const std::string& line : row.lines)
            old += line + row.end;
        write(logbook_, old);
        fs::remove(logbook_ + ".bak");
        const auto flights = static_cast<int>(row.lines.size());
        EXPECT_EQ(keptLogbooks(logbook_)[0].entries, flights);
        EXPECT_EQ(keptLogbooks(logbook_)[0].pilot_name, "Jane");

        testing_support::RunRecorder recorder({Answer::Yes});
        const GenerationResult result = run(recorder);
        ASSERT_EQ(result.failure.kind, FailureKind::None) << failureText(result);
        EXPECT_EQ(result.replaced_entries, flights);
        ASSERT_EQ(recorder.asked.size(), 1U);
        EXPECT_EQ(recorder.asked[0].missing.count, row.lines.size());
        EXPECT_EQ(missingRecordingsList(recorder.asked[0].missing), row.listed);
        EXPECT_EQ(result.kept_entries, flights);
        std::string kept;
        for (const std::string& line : row.lines)
            kept += line + "\r\n";
        EXPECT_EQ(bytesOf(logbook_).substr(header("Jane").size(), kept.size()), kept);
    }
}

TEST_F(HistoryRun, EachGenerationComesBackAndARestoreIsUndoneByTheNext) {
    // The logbook and five generations, each told by its pilot name and entries.
    const auto logbookOf = [](int n) {
        std::string text = header("Pilot " + std::to_string(n));
        for (int k = 0; k < n; ++k)
            text +=
                "01.05.2024;T;X;Local flight;01:00;00:00;-;-;f" + std::to_string(k) + ".igc\r\n";
        return text;
    };
    for (int age = 0; age < kGenerations; ++age) {
        SCOPED_TRACE(age);
        write(logbook_, logbookOf(9));
        for (int k = 0; k < kGenerations; ++k)
            write(generationName(logbook_, k), logbookOf(k));

        const std::vector<KeptLogbook> kept = keptLogbooks(logbook_);
        ASSERT_EQ(kept.size(), 6U);
        EXPECT_EQ(kept[static_cast<std::size_t>(age + 1)].entries, age);
        EXPECT_EQ(kept[static_cast<std::size_t>(age + 1)].pilot_name,
                  "Pilot " + std::to_string(age));

        const GenerationResult restored = restoreGeneration(logbook_, age);
        ASSERT_EQ(restored.failure.kind, FailureKind::None) << failureText(restored);
        EXPECT_EQ(bytesOf(logbook_), logbookOf(age));
        EXPECT_EQ(bytesOf(logbook_ + ".bak"), logbookOf(9));
        EXPECT_EQ(restored.entries, age);
        EXPECT_EQ(restored.replaced_entries, 9);
        EXPECT_EQ(restoredLine(restored, logbook_),
                  "Restored " + logbook_ + " from " + generationName(logbook_, age) + " (" +
                      counted(age, "entry", "entries") +
                      "); the logbook it replaced had 9; the old logbook was kept as " + logbook_ +
                      ".bak");

        const GenerationResult undone = restoreGeneration(logbook_, 0);
        ASSERT_EQ(undone.failure.kind, FailureKind::None) << failureText(undone);
        EXPECT_EQ(bytesOf(logbook_), logbookOf(9));
        EXPECT_EQ(bytesOf(logbook_ + ".bak"), logbookOf(age));
        // Nothing given up, nothing twice: the same six logbooks, only in other places.
        std::multiset<std::string> now;
        for (int k = -1; k < kGenerations; ++k) {
            const std::string path = k < 0 ? logbook_ : generationName(logbook_, k);
            if (fs::exists(path))
                now.insert(bytesOf(path));
        }
        std::multiset<std::string> before{logbookOf(9)};
        for (int k = 0; k < kGenerations; ++k)
            before.insert(logbookOf(k));
        EXPECT_EQ(now, before);
    }
}

TEST_F(HistoryRun, ARestoreThatCannotBeDoneLeavesEverythingAsItWas) {
    const std::string current = header("Now");
    write(logbook_, current);
    write(logbook_ + ".bak", header("Before"));
    std::optional<testing_support::HeldLock> run;
    struct Row {
        const char* name;
        int age;
        bool held;    // another run writes the logbook
        bool changed; // the generation changed between the list and the restore
        FailureKind failure;
    };
    const Row rows[] = {
        {"a run holds the logbook", 0, true, false, FailureKind::Busy},
        {"no such generation kept", 3, false, false, FailureKind::NoGeneration},
        {"no such generation at all", 5, false, false, FailureKind::NoGeneration},
        {"the generation listed is another now", 0, false, true, FailureKind::GenerationChanged},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.held) {
            ASSERT_EQ(run.emplace().take(logbook_), 0);
        }
        const std::vector<KeptLogbook> listed = keptLogbooks(logbook_);
        if (row.changed) // a run that ended meanwhile put another logbook in its place
            write(logbook_ + ".bak", header("Someone else"));
        const GenerationResult result =
            restoreGeneration(logbook_, row.age, listedIdentity(listed, row.age));
        EXPECT_EQ(result.failure.kind, row.failure);
        EXPECT_NE(failureText(result).find("The old logbook was left as it was."),
                  std::string::npos)
            << failureText(result);
        EXPECT_EQ(bytesOf(logbook_), current);
        EXPECT_EQ(bytesOf(logbook_ + ".bak"), header(row.changed ? "Someone else" : "Before"));
        write(logbook_ + ".bak", header("Before"));
        run.reset();
    }
}

} // namespace
} // namespace logbook
