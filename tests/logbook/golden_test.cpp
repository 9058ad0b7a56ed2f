// A whole generation over the hand-made files of tests/data/generation, compared byte for byte
// with the logbook, the standard error and the standard output kept beside them ("{DIR}" stands
// for the directory the files are read from).

#include "logbook/Generation.h"
#include "platform/Files.h"
#include "support/CaptureStream.h"
#include "support/FileBytes.h"
#include "support/RunRecorder.h"
#include "support/TestDates.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <sstream>

namespace logbook {
namespace {

namespace fs = std::filesystem;
using testing_support::CaptureStream;

// The expected texts name the files as "{DIR}/name"; the run joins them with the system's
// separator.
std::string withDirectory(std::string text, const std::string& dir) {
    const std::string prefix = platform::joinPath(dir, "");
    for (std::size_t at = text.find("{DIR}/"); at != std::string::npos;
         at = text.find("{DIR}/", at + prefix.size()))
        text.replace(at, 6, prefix);
    return text;
}

TEST(Golden, GenerationOverHandMadeFiles) {
    const fs::path data = fs::path(THERMORA_TEST_DATA) / "generation";
    const fs::path dir = testing_support::freshTestDirectory("logbook-golden-");
    fs::create_directory(dir / "IGC");
    // The files are taken oldest first; a checkout keeps no times, so they follow their names.
    std::set<fs::path> flights;
    for (const auto& entry : fs::directory_iterator(data))
        if (entry.path().extension() == ".igc")
            flights.insert(entry.path());
    auto time = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (const fs::path& flight : flights) {
        fs::copy_file(flight, dir / "IGC" / flight.filename());
        fs::last_write_time(dir / "IGC" / flight.filename(), time += std::chrono::minutes(1));
    }

    std::string errors;
    std::string output;
    {
        CaptureStream error_stream(std::cerr);
        CaptureStream output_stream(std::cout);
        GenerationRequest request;
        request.igc_directory = (dir / "IGC").string();
        request.logbook_path = (dir / "logbook.dat").string();
        request.pilot_name = "Example Pilot";
        request.format_date = testing_support::germanDates();
        testing_support::RunRecorder recorder;
        const GenerationResult result = generateLogbook(request, recorder);
        ASSERT_EQ(result.failure.kind, FailureKind::None) << failureText(result);
        EXPECT_EQ(recorder.lines.str(), "Generating new logbook\n");
        errors = error_stream.text();
        output = output_stream.text();
    }
    const std::string igc_dir = (dir / "IGC").string();
    EXPECT_EQ(testing_support::bytesOf(dir / "logbook.dat"),
              testing_support::bytesOf(data / "expected-logbook.dat"));
    EXPECT_EQ(errors,
              withDirectory(testing_support::bytesOf(data / "expected-stderr.txt"), igc_dir));
    EXPECT_EQ(output,
              withDirectory(testing_support::bytesOf(data / "expected-stdout.txt"), igc_dir));
    fs::remove_all(dir);
}

} // namespace
} // namespace logbook
