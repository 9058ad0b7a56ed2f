// The generation on several threads: the logbook and both streams byte for byte as from one
// thread, and a cancel between files that leaves the old logbook as it was.

#include "logbook/Generation.h"
#include "logbook/Messages.h"
#include "support/CaptureStream.h"
#include "support/FileBytes.h"
#include "support/RunRecorder.h"
#include "support/TestDates.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace logbook {
namespace {

namespace fs = std::filesystem;
using testing_support::bytesOf;
using testing_support::CaptureStream;

struct Outputs {
    std::string logbook;
    std::string errors;
    std::string output;
    std::string results; // the per-file results, one line each
};

Outputs generate(const fs::path& igc, const fs::path& logbook, int jobs, bool with_callback,
                 std::int64_t alone_bytes = GenerationRequest().alone_bytes) {
    GenerationRequest request;
    request.alone_bytes = alone_bytes;
    request.igc_directory = igc.string();
    request.logbook_path = logbook.string();
    request.pilot_name = "Pilot";
    request.format_date = testing_support::germanDates();
    request.jobs = jobs;
    Outputs run;
    testing_support::RunRecorder recorder;
    if (with_callback) {
        recorder.on_file = [&run](const FlightResult& file) {
            run.results += file.path + "|" + reasonText(file.reason) + "|" + file.entry + "|" +
                           file.errors + "|" + file.output + "\n";
        };
    }
    {
        CaptureStream errors(std::cerr);
        CaptureStream output(std::cout);
        const GenerationResult result = generateLogbook(request, recorder);
        EXPECT_EQ(result.failure.kind, FailureKind::None) << failureText(result);
        run.errors = errors.text();
        run.output = output.text();
    }
    run.logbook = bytesOf(logbook);
    return run;
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testing_support::freshTestDirectory("engine-");
        fs::create_directories(dir_ / "generated");
        // Every kind of hand-made file ten times over, in an order of times that mixes them.
        std::vector<fs::path> sources;
        for (const auto& entry :
             fs::directory_iterator(fs::path(THERMORA_TEST_DATA) / "generation"))
            if (entry.path().extension() == ".igc")
                sources.push_back(entry.path());
        std::sort(sources.begin(), sources.end());
        const auto now = fs::file_time_type::clock::now();
        int k = 0;
        for (int copy = 0; copy < 10; ++copy) {
            for (const fs::path& source : sources) {
                const fs::path target =
                    dir_ / "generated" / (std::to_string(copy) + "-" + source.filename().string());
                fs::copy_file(source, target);
                fs::last_write_time(target, now - std::chrono::minutes((k * 37) % 101));
                ++k;
            }
        }
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(Engine, ThreadsWriteTheBytesOfOneThread) {
    struct Directory {
        const char* name;
        fs::path path;
    };
    std::vector<Directory> directories = {{"generated", dir_ / "generated"}};
    if (fs::is_directory(THERMORA_IGC_CORPUS))
        directories.push_back({"corpus", THERMORA_IGC_CORPUS});
    else
        std::cout << "no IGC corpus in " THERMORA_IGC_CORPUS ": the generated directory only\n";
    for (const Directory& directory : directories) {
        for (const bool with_callback : {false, true}) {
            SCOPED_TRACE(std::string(directory.name) + (with_callback ? ", results" : ", streams"));
            const Outputs one = generate(directory.path, dir_ / "one.dat", 1, with_callback);
            EXPECT_GT(one.logbook.size(), 200U);
            // Files of alone_bytes or more are analysed while no other is: none, some, all.
            struct Threads {
                int jobs;
                std::int64_t alone_bytes;
            };
            for (const Threads threads :
                 {Threads{2, GenerationRequest().alone_bytes},
                  Threads{4, GenerationRequest().alone_bytes}, Threads{4, 600}, Threads{3, 1}}) {
                SCOPED_TRACE(std::to_string(threads.jobs) + " jobs, alone from " +
                             std::to_string(threads.alone_bytes));
                const Outputs many = generate(directory.path, dir_ / "many.dat", threads.jobs,
                                              with_callback, threads.alone_bytes);
                EXPECT_TRUE(many.logbook == one.logbook);
                EXPECT_TRUE(many.errors == one.errors);
                EXPECT_TRUE(many.output == one.output);
                EXPECT_TRUE(many.results == one.results);
            }
        }
    }
}

TEST_F(Engine, ACancelBetweenFilesLeavesTheOldLogbook) {
    for (const int jobs : {1, 2, 4}) {
        SCOPED_TRACE(jobs);
        std::ofstream(dir_ / "logbook.dat", std::ios::binary) << "old";
        testing_support::RunRecorder recorder;
        GenerationRequest request;
        request.igc_directory = (dir_ / "generated").string();
        request.logbook_path = (dir_ / "logbook.dat").string();
        request.pilot_name = "Pilot";
        request.jobs = jobs;
        int seen = 0;
        recorder.on_file = [&](const FlightResult&) {
            if (++seen == 3)
                recorder.cancel = true;
        };
        const GenerationResult result = generateLogbook(request, recorder);
        EXPECT_EQ(result.failure.kind, FailureKind::Cancelled);
        EXPECT_EQ(seen, 3);
        EXPECT_EQ(failureText(result), "The logbook was not generated: cancelled.\nThe old "
                                       "logbook was left as it was.");
        EXPECT_EQ(bytesOf(dir_ / "logbook.dat"), "old");
        EXPECT_EQ(testing_support::namesIn(dir_), "generated logbook.dat logbook.dat.lock");
    }
}

} // namespace
} // namespace logbook
