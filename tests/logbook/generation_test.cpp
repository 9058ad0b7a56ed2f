// Generation over directories of small IGC files: the flight search, times, routes, task
// scoring, listing order and rules, and every skip diagnostic on its stream.

#include "FlightBuilder.h"
#include "logbook/FlightAnalysis.h"
#include "logbook/Generation.h"
#include "logbook/LogbookEntry.h"
#include "logbook/LogbookFile.h"
#include "logbook/Messages.h"
#include "nav/Geodesy.h"
#include "platform/Files.h"
#include "support/CaptureStream.h"
#include "support/FileBytes.h"
#include "support/RunRecorder.h"
#include "support/TestDates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <vector>

namespace logbook {
namespace {

namespace fs = std::filesystem;
using testing_support::CaptureStream;
using testing_support::FlightBuilder;

const platform::DateFormatter kGerman = testing_support::germanDates();

class Generation : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               (std::string("logbook-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }

    struct Outcome {
        bool ok = false;
        std::string entry;  // what went to the logbook
        std::string errors; // standard error
        std::string output; // standard output
    };
    Outcome analyze(const std::string& name, int min_time = 0) const {
        Outcome outcome;
        std::ostringstream logbook;
        CaptureStream errors(std::cerr);
        CaptureStream output(std::cout);
        outcome.ok = analyzeFlight(path(name), logbook, min_time, kGerman);
        outcome.entry = logbook.str();
        outcome.errors = errors.text();
        outcome.output = output.text();
        return outcome;
    }

    fs::path dir_;
};

// A glider that waits, flies north at 40.8 m/s (22 thousandths of a minute a second) for
// `flying` fixes at 1 Hz and waits again: start fix 31, end fix 30 + flying.
FlightBuilder localFlight(int start_seconds, int flying) {
    FlightBuilder flight(start_seconds, 50.0, 10.0);
    flight.hold(30, 1).move(flying, 1, 22, 0).hold(30, 1);
    return flight;
}

// The start and end fixes. Two fixes of the same second never count as fast (mended): read
// literally, the search divides their distance by no time, so that any distance at all makes
// the pair infinitely fast; for one position recorded twice the law of cosines gives 0, not a
// number or some centimetres, as the last bits of its sines fall.
TEST_F(Generation, FixSearch) {
    // Waits, flies north at 40.8 m/s for 60 fixes and back south for 60, and waits: start fix
    // 31, end fix 150, 119 s.
    const auto out_and_back = [](double latitude) {
        FlightBuilder flight(10 * 3600, latitude, 10.0);
        flight.hold(30, 1).move(60, 1, 22, 0).move(60, 1, -22, 0).hold(30, 1);
        return flight;
    };
    const struct {
        const char* name;
        FlightBuilder flight;
        std::string errors;      // after "analyzeFlight()"
        const char* flight_time; // the entry's; none when empty
    } rows[] = {
        // Six fixes 4 s apart on one meridian: pair speeds about 0, 27.8, 27.8, 13.9, 0 m/s.
        {"the worked example",
         FlightBuilder(10 * 3600, 50.0, 10.0)
             .to(50.000, 10.0, 1, 4)
             .to(50.001, 10.0, 1, 4)
             .to(50.002, 10.0, 1, 4)
             .to(50.0025, 10.0, 1, 4)
             .to(50.0025, 10.0, 1, 4),
         "Start idx = 2 (speed = 100.076)\nEnd idx = 3 (speed = 100.076)\n", "00:00"},
        // Read literally: "Start idx = 11 (speed = inf)", 00:02 (140 s).
        {"a step of 1.85 m in no time before the takeoff",
         FlightBuilder(10 * 3600, 50.0, 10.0)
             .hold(10, 1)
             .move(1, 0, 1, 0)
             .hold(20, 1)
             .move(60, 1, 22, 0)
             .move(60, 1, -22, 0)
             .hold(30, 1),
         "Start idx = 32 (speed = 146.777)\nEnd idx = 151 (speed = 146.777)\n", "00:01"},
        // 46 degrees north: the law of cosines puts this position 13 cm from itself (and is as
        // coarse in the speeds: 146.778 km/h here). Read literally: "End idx = 661 (speed =
        // inf)", 08:02, a landing hours late as real recordings showed it.
        {"a position recorded twice in a second, 8 hours after the landing",
         out_and_back(46.0).hold(480, 60).move(1, 0, 0, 0),
         "Start idx = 31 (speed = 146.778)\nEnd idx = 150 (speed = 146.778)\n", "00:01"},
        // 50 degrees north: 0 m from itself; 0/0 is not a number and not fast, literally too.
        {"a position recorded twice in a second, 0 m from itself",
         out_and_back(50.0).hold(480, 60).move(1, 0, 0, 0),
         "Start idx = 31 (speed = 146.777)\nEnd idx = 150 (speed = 146.777)\n", "00:01"},
        // Read literally: "Start idx = 11 (speed = inf)", "End idx = 22 (speed = inf)", 00:00.
        {"steps in no time alone",
         FlightBuilder(10 * 3600, 50.0, 10.0)
             .hold(10, 1)
             .move(1, 0, 22, 0)
             .hold(10, 1)
             .move(1, 0, 22, 0)
             .hold(10, 1),
         "Error: Couldn't find start fix!\n", ""},
    };
    // What the two rows of one position twice stand on.
    ASSERT_GT(nav::sphericalDistance(46.0, 10.0, 46.0, 10.0), 0.0);
    ASSERT_EQ(nav::sphericalDistance(50.0, 10.0, 50.0, 10.0), 0.0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.flight.save(dir_ / "search.igc");
        const Outcome outcome = analyze("search.igc");
        EXPECT_EQ(outcome.errors, "analyzeFlight()\n" + row.errors);
        EXPECT_EQ(outcome.ok, *row.flight_time != '\0');
        if (outcome.ok) {
            EXPECT_EQ(outcome.entry, std::string("05.01.2008;Unknown;Unknown;Local flight;") +
                                         row.flight_time + ";00:00;-;-;search.igc\n");
        }
    }
}

TEST_F(Generation, WorkedLogbookExampleByteForByte) {
    // flight01: start fix 10:02:13, end fix 11:04:51.
    FlightBuilder flight(10 * 3600 + 2 * 60 + 12, 50.0, 10.0);
    flight.header("HFGTYGLIDERTYPE:Trainer").header("HFGIDGLIDERID:X-1234");
    flight.move(3759, 1, 22, 0).hold(20, 1);
    flight.save(dir_ / "flight01.igc");

    const fs::path logbook_path = dir_ / "logbook.dat";
    {
        LogbookFile logbook;
        ASSERT_TRUE(logbook.open(path("logbook.dat")));
        const struct Commit {
            LogbookFile& file;
            ~Commit() { EXPECT_TRUE(file.commit()) << file.failure().reason(); }
        } commit{logbook};
        writeLogbookHeader(logbook, "Example Pilot");
        CaptureStream errors(std::cerr);
        ASSERT_TRUE(analyzeFlight(path("flight01.igc"), logbook, 1, kGerman));
        LogbookEntry second;
        second.date = {5, 1, 8};
        second.glider_type = "Unknown";
        second.glider_id = "Unknown";
        second.route = "Alpha - Bravo - Charlie - Delta";
        second.flight_time = 9075;
        second.engine_time = 754;
        second.distance = 152345.6;
        second.speed = 78.44;
        second.file_name = "flight02.igc";
        writeLogbookEntry(logbook, second, kGerman);
    }
    const std::string bytes = testing_support::bytesOf(logbook_path);
    EXPECT_EQ(bytes, "# Thermora Log Book. (Vantaline V1.0)\r\n"
                     "# This file is autogenerated, do not edit!\r\n"
                     "\r\n"
                     "name = Example Pilot\r\n"
                     "05.01.2008;Trainer;X-1234;Local flight;01:02;00:00;-;-;flight01.igc\r\n"
                     "05.01.2008;Unknown;Unknown;Alpha - Bravo - Charlie - Delta;02:31;00:12;"
                     "152.3 km;78.4 km/h;flight02.igc\r\n");
}

TEST_F(Generation, SkipsWhatItCannotUseWithOneDiagnostic) {
    write("not-igc.igc", "HFDTE050108\r\n");
    FlightBuilder one_fix(10 * 3600, 50.0, 10.0);
    one_fix.save(dir_ / "one-fix.igc");
    FlightBuilder slow(10 * 3600, 50.0, 10.0);
    slow.move(100, 1, 13, 0); // 24.1 m/s
    slow.save(dir_ / "slow.igc");
    localFlight(10 * 3600, 59).save(dir_ / "short.igc");

    const struct {
        const char* file;
        int min_time;
        std::string errors;
        std::string output;
    } rows[] = {
        {"not-igc.igc", 1,
         "IGCLib: Missing A record\nCouldn't load IGC file " + (dir_ / "not-igc.igc").string() +
             "!\n",
         ""},
        {"missing.igc", 1,
         "IGCLib: Couldn't open input file '" + (dir_ / "missing.igc").string() +
             "'\nCouldn't load IGC file " + (dir_ / "missing.igc").string() + "!\n",
         ""},
        {"one-fix.igc", 1, "", "Empty log file: " + (dir_ / "one-fix.igc").string() + "!\n"},
        {"slow.igc", 1, "analyzeFlight()\nError: Couldn't find start fix!\n", ""},
        {"short.igc", 1,
         "analyzeFlight()\nStart idx = 31 (speed = 146.777)\nEnd idx = 89 (speed = 146.777)\n"
         "Flight too short (58 seconds) - skipping\n",
         ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const Outcome outcome = analyze(row.file, row.min_time);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.entry, "");
        EXPECT_EQ(outcome.errors, row.errors);
        EXPECT_EQ(outcome.output, row.output);
    }
}

TEST_F(Generation, MinimumTimeIsInclusive) {
    localFlight(10 * 3600, 121).save(dir_ / "two-minutes.igc"); // start to end fix: 120 s
    localFlight(10 * 3600, 120).save(dir_ / "one-second-short.igc");
    EXPECT_TRUE(analyze("two-minutes.igc", 2).ok);
    EXPECT_FALSE(analyze("one-second-short.igc", 2).ok);
    EXPECT_TRUE(analyze("one-second-short.igc", 0).ok);
}

TEST_F(Generation, MeasuresAcrossMidnightAndCountsEngineTime) {
    // Takes off at 23:30, engine from 23:50 to 00:10, lands at 00:40.
    FlightBuilder flight(23 * 3600 + 30 * 60 - 30, 50.0, 10.0);
    flight.hold(30, 1).move(20 * 60, 1, 16, 0);
    flight.engine(250).move(40 * 60, 1, 16, 0).engine(199).move(30 * 60, 1, 16, 0).hold(30, 1);
    flight.save(dir_ / "midnight.igc");
    const Outcome outcome = analyze("midnight.igc");
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    // Start fix 23:30:01, end fix 01:00:00: 5399 s. Engine noise on every fix from 23:50:01 to
    // 00:30:00: 2399 s between them, the interval across midnight included.
    EXPECT_EQ(outcome.entry,
              "05.01.2008;Unknown;Unknown;Local flight;01:29;00:39;-;-;midnight.igc\n");
}

TEST_F(Generation, OnlyALongStepBackIsMidnightForTheEngine) {
    // Engine noise on two fixes one second apart, then on a third that steps back: only a step
    // of more than half a day is midnight (a day added); a shorter one counts nothing.
    const struct {
        const char* name;
        int step_back;      // seconds
        const char* engine; // the entry's engine time
    } rows[] = {
        {"fix 4 s out of order", 4, "00:00"},
        {"twelve hours back", 12 * 3600, "00:00"},
        {"midnight: twelve hours and a second back", 12 * 3600 + 1, "12:00"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FlightBuilder flight(20 * 3600, 50.0, 10.0);
        flight.hold(30, 1).move(10, 1, 22, 0).engine(250).move(2, 1, 22, 0);
        flight.move(1, -row.step_back, 22, 0).engine(0).move(10, 1, 22, 0).hold(30, 1);
        flight.save(dir_ / "steps.igc");
        const Outcome outcome = analyze("steps.igc");
        ASSERT_TRUE(outcome.ok) << outcome.errors;
        std::vector<std::string> fields;
        std::istringstream line(outcome.entry);
        for (std::string field; std::getline(line, field, ';');)
            fields.push_back(field);
        ASSERT_EQ(fields.size(), 9U) << outcome.entry;
        EXPECT_EQ(fields[5], row.engine) << outcome.entry;
    }
}

TEST_F(Generation, ScoresADeclaredTask) {
    const std::vector<FlightBuilder::Point> task = {
        {50.0, 10.0, "Alpha"}, {50.3, 10.0, "Bravo"}, {50.3, 10.4, "Charlie"}};
    // Slowly to the start (18.5 m/s), then 37 m/s to Bravo (the start fix: 10:01:11) and
    // 31.6 m/s to Charlie (the end fix: 10:31:10).
    FlightBuilder flight(10 * 3600, 49.99, 10.0);
    flight.task(task).hold(10, 1).to(50.0, 10.0, 60, 1).to(50.3, 10.0, 900, 1);
    flight.to(50.3, 10.4, 900, 1).hold(10, 1);
    flight.save(dir_ / "task.igc");

    const Outcome outcome = analyze("task.igc");
    ASSERT_TRUE(outcome.ok) << outcome.errors;
    // Finished: the legs between the waypoints themselves.
    const double legs =
        nav::distanceTo(50.0, 10.0, 50.3, 10.0) + nav::distanceTo(50.3, 10.0, 50.3, 10.4);
    char distance[32];
    std::snprintf(distance, sizeof distance, "%.1f km", legs * 0.001);
    EXPECT_EQ(outcome.entry.substr(0, outcome.entry.find(" km;") + 4),
              std::string("05.01.2008;Unknown;Unknown;Alpha - Bravo - Charlie;00:29;00:00;") +
                  distance + ";");
}

// A fix out of order half way to Charlie: a step back of half a day or less holds the track's
// time (a longer one is midnight, see MeasuresAcrossMidnightAndCountsEngineTime).
TEST_F(Generation, OnlyALongStepBackIsMidnightForTheTask) {
    const struct {
        const char* name;
        int step_back;     // seconds; 0: no fix out of order
        const char* speed; // the entry's task speed
    } rows[] = {
        {"in order", 0, "125.5 km/h"},
        // Mended: these two put the rest of the flight on the next day, "2.5 km/h".
        {"fix 4 s out of order", 4, "125.4 km/h"},
        {"fix an hour out of order", 3600, "125.4 km/h"},
        {"fix twelve hours out of order", 12 * 3600, "125.4 km/h"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FlightBuilder flight(10 * 3600, 49.99, 10.0);
        flight.task({{50.0, 10.0, "Alpha"}, {50.3, 10.0, "Bravo"}, {50.3, 10.4, "Charlie"}});
        flight.hold(10, 1).to(50.0, 10.0, 60, 1).to(50.3, 10.0, 900, 1).to(50.3, 10.2, 450, 1);
        if (row.step_back > 0)
            flight.move(1, -row.step_back, 0, 0).move(1, row.step_back + 1, 0, 0);
        flight.to(50.3, 10.4, 450, 1).hold(10, 1);
        flight.save(dir_ / "task.igc");
        const Outcome outcome = analyze("task.igc");
        ASSERT_TRUE(outcome.ok) << outcome.errors;
        EXPECT_EQ(outcome.entry.substr(outcome.entry.rfind(" km;") + 4),
                  std::string(row.speed) + ";task.igc\n");
    }
}

TEST_F(Generation, ShortAndIncompleteTaskDeclarations) {
    FlightBuilder flight(10 * 3600, 50.0, 10.0);
    flight.move(60, 1, 36, 0);
    flight.taskText("C050108100000050108000100\r\nC5000000N01000000ETakeoff\r\n"
                    "C5000000N01000000EStart\r\nC5010000N01000000EFinish\r\n"
                    "C5000000N01000000ELanding\r\n");
    flight.save(dir_ / "no-turnpoints.igc");
    // Two turnpoints declared, the block ends after the first.
    flight.taskText("C050108100000050108000102\r\nC5000000N01000000ETakeoff\r\n"
                    "C5000000N01000000EStart\r\nC5010000N01000000ETP1\r\n");
    flight.save(dir_ / "fewer-turnpoints.igc");

    const Outcome none = analyze("no-turnpoints.igc");
    ASSERT_TRUE(none.ok) << none.errors;
    EXPECT_EQ(none.entry.substr(0, 48), "05.01.2008;Unknown;Unknown;Start - Finish;00:00;");
    const Outcome fewer = analyze("fewer-turnpoints.igc");
    ASSERT_TRUE(fewer.ok) << fewer.errors;
    EXPECT_EQ(fewer.errors.substr(0, 47), "IGCLib: warning: Missing task point (TP 2)!\nana");
    // Only the turnpoint the file holds; the finish was never read, so its name is empty.
    EXPECT_NE(fewer.entry.find(";Start - TP1 - ;"), std::string::npos) << fewer.entry;
}

TEST_F(Generation, ListsOldestFirstByTheListingRules) {
    using namespace std::chrono_literals;
    const auto now = fs::file_time_type::clock::now();
    const struct {
        const char* name;
        std::chrono::hours age;
    } files[] = {{"b-0900.igc", 3h},  {"a-1000.IGC", 2h}, {"c-0800.igc", 4h},
                 {".hidden.igc", 5h}, {"notes.txt", 6h},  {"flight.igc.bak", 6h},
                 {"Mixed.Igc", 1h}};
    for (const auto& file : files) {
        write(file.name, "A");
        fs::last_write_time(dir_ / file.name, now - file.age);
    }
#ifdef _WIN32
    // Hidden is an attribute on Windows, which Wine gives a dot file and Windows does not.
    fs::remove(dir_ / ".hidden.igc");
#endif
    fs::create_directory(dir_ / "folder.igc");
    std::error_code ignored; // Wine sets no directory's time: it is then the newest anyway
    fs::last_write_time(dir_ / "folder.igc", now - 30min, ignored);

    std::ostringstream skipped;
    const Expected<std::vector<FlightFile>> listed = listFlights(path(""), skipped);
    ASSERT_TRUE(listed.has_value()) << listed.error().reason();
    std::string names;
    for (const FlightFile& entry : *listed)
        names += (names.empty() ? "" : " ") + entry.name;
    // Qt matches the two patterns without regard to letter case unless asked otherwise.
    EXPECT_EQ(names, "c-0800.igc b-0900.igc a-1000.IGC Mixed.Igc folder.igc");
    EXPECT_EQ(listed->front().path, (dir_ / "c-0800.igc").string());
    for (const FlightFile& entry : *listed) // the size decides which files run alone
        EXPECT_EQ(entry.size, entry.name == "folder.igc" ? 0 : 1) << entry.name;
    EXPECT_EQ(skipped.str(), "");
}

TEST_F(Generation, OneResultPerFileWithTheReasonForNoEntry) {
    using namespace std::chrono_literals;
    FlightBuilder ground(10 * 3600, 50.0, 10.0);
    ground.hold(60, 1);
    const FlightBuilder one_fix(10 * 3600, 50.0, 10.0);
    FlightBuilder hop(10 * 3600, 50.0, 10.0);
    hop.hold(30, 1).move(5, 1, 22, 0).hold(30, 1); // start fix 31, end fix 35: 4 s
    const struct {
        const char* name;
        std::function<void(const fs::path&)> make;
        std::string reason; // empty: an entry
    } rows[] = {
        {"Flug über die Alb.igc", [](const fs::path& p) { localFlight(10 * 3600, 300).save(p); },
         ""},
        {"broken.igc", [](const fs::path& p) { std::ofstream(p) << "garbage"; },
         "not an IGC file: Missing A record"},
        {"empty.igc", [](const fs::path& p) { std::ofstream(p) << "AXXX001\r\nHFDTE050108\r\n"; },
         "empty"},
        {"one-fix.igc", [&one_fix](const fs::path& p) { one_fix.save(p); }, "one fix only"},
        {"ground.igc", [&ground](const fs::path& p) { ground.save(p); }, "no takeoff found"},
        {"hop.igc", [&hop](const fs::path& p) { hop.save(p); }, "too short: 4 s"},
        {"folder.igc", [](const fs::path& p) { fs::create_directory(p); },
         "not readable: Is a directory"},
    };
    const auto now = fs::file_time_type::clock::now();
    auto age = 10h;
    for (const auto& row : rows) {
        row.make(dir_ / fs::path(reinterpret_cast<const char8_t*>(row.name)));
        std::error_code ignored; // Wine sets no directory's time: the folder is the newest
        fs::last_write_time(dir_ / fs::path(reinterpret_cast<const char8_t*>(row.name)),
                            now - (age -= 1h), ignored);
    }
    GenerationRequest request;
    request.igc_directory = dir_.string();
    request.logbook_path = (dir_ / "logbook.dat").string();
    request.pilot_name = "P";
    request.format_date = kGerman;
    std::vector<FlightResult> results;
    testing_support::RunRecorder recorder;
    recorder.quiet = true;
    recorder.on_file = [&results](const FlightResult& file) { results.push_back(file); };
    CaptureStream errors(std::cerr);
    CaptureStream output(std::cout);
    const GenerationResult result = generateLogbook(request, recorder);
    EXPECT_EQ(recorder.steps.size(), 7U);
    for (std::size_t k = 0; k < recorder.steps.size(); ++k)
        EXPECT_EQ(recorder.steps[k], std::make_pair(static_cast<int>(k) + 1, 7));
    ASSERT_EQ(result.failure.kind, FailureKind::None) << failureText(result);
    EXPECT_EQ(errors.text(), "");
    EXPECT_EQ(output.text(), "");
    EXPECT_EQ(result.files, 7);
    EXPECT_EQ(result.entries, 1);
    ASSERT_EQ(results.size(), std::size(rows));
    std::vector<std::pair<std::string, std::string>> skipped;
    for (std::size_t k = 0; k < results.size(); ++k) {
        SCOPED_TRACE(rows[k].name);
        EXPECT_EQ(results[k].path, platform::joinPath(dir_.string(), rows[k].name));
        EXPECT_EQ(reasonText(results[k].reason), rows[k].reason);
        EXPECT_EQ(results[k].entry.empty(), !rows[k].reason.empty());
        if (!rows[k].reason.empty())
            skipped.emplace_back(results[k].path, rows[k].reason);
    }
    std::vector<std::pair<std::string, std::string>> listed;
    for (const auto& [path, reason] : result.skipped)
        listed.emplace_back(path, reasonText(reason));
    EXPECT_EQ(listed, skipped);
    // The entry keeps the name as Latin-1 text; the file itself was found and read.
    EXPECT_EQ(results[0].entry.substr(results[0].entry.rfind(';')), ";Flug \xFC"
                                                                    "ber die Alb.igc\n");
    EXPECT_EQ(results[2].output, "Empty log file: " + (dir_ / "empty.igc").string() + "!\n");
    EXPECT_EQ(results[4].errors, "analyzeFlight()\nError: Couldn't find start fix!\n");
}

TEST(Corpus, OneEntryPerFileWithAStartFix) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(THERMORA_IGC_CORPUS, error))
        if (entry.path().extension() == ".igc")
            files.push_back(entry.path());
    if (files.empty())
        GTEST_SKIP() << "no IGC corpus in " THERMORA_IGC_CORPUS
                        " (set the CMake cache variable THERMORA_IGC_CORPUS)";
    int entries = 0;
    int starts = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::ostringstream logbook;
        CaptureStream errors(std::cerr);
        CaptureStream output(std::cout);
        const bool ok = analyzeFlight(file.string(), logbook, 0);
        const bool started = errors.text().find("Start idx = ") != std::string::npos;
        EXPECT_EQ(ok, started);
        EXPECT_EQ(logbook.str().empty(), !ok);
        if (ok) {
            const std::string line = logbook.str();
            EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
        }
        entries += ok ? 1 : 0;
        starts += started ? 1 : 0;
    }
    EXPECT_EQ(entries, starts);
    EXPECT_GT(entries, 60);
}

// A thread's buffers go from file to file: nothing of one file may reach the next. Largest first,
// so that every file gets buffers larger than it needs, holding an earlier file's fixes and track.
TEST(Corpus, BuffersHandedOnGiveWhatFreshOnesGive) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const fs::path& dir :
         {fs::path(THERMORA_IGC_CORPUS), fs::path(THERMORA_TEST_DATA) / "generation"})
        for (const auto& entry : fs::directory_iterator(dir, error))
            if (entry.path().extension() == ".igc")
                files.push_back(entry.path());
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return fs::file_size(a) > fs::file_size(b);
    });
    AnalysisBuffers buffers;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        FlightFile file;
        file.path = path.string();
        const FlightResult fresh = analyzeFile(file, 0, kGerman);
        const FlightResult handed_on = analyzeFile(file, 0, kGerman, buffers);
        EXPECT_EQ(handed_on.entry, fresh.entry);
        EXPECT_EQ(reasonText(handed_on.reason), reasonText(fresh.reason));
        EXPECT_EQ(handed_on.errors, fresh.errors);
        EXPECT_EQ(handed_on.output, fresh.output);
    }
    EXPECT_TRUE(buffers.fixes.empty());
}

} // namespace
} // namespace logbook
