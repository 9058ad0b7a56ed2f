// Real recordings from real flight recorders: every one must load without a crash, and what the
// reader makes of each must agree with GPSBabel's reading of the same file.

#include "IgcTestValues.h"
#include "igc/FlightLog.h"
#include "support/CaptureStream.h"
#include "support/GpsBabel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace igc {
namespace {

namespace fs = std::filesystem;
using testing_support::CaptureStream;

std::vector<fs::path> corpusFiles() {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(THERMORA_IGC_CORPUS, error)) {
        if (entry.path().extension() == ".igc")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

#define SKIP_WITHOUT_CORPUS(files)                                                                 \
    if ((files).empty())                                                                           \
    GTEST_SKIP()                                                                                   \
        << "no IGC corpus in " THERMORA_IGC_CORPUS                                                 \
           " (set the CMake cache variable THERMORA_IGC_CORPUS to a folder of .igc files)"

struct Reading {
    bool ok = false;
    FlightLog log;
    std::string errors;
};

Reading readFile(const fs::path& path) {
    Reading reading;
    CaptureStream errors(std::cerr);
    reading.ok = reading.log.load(path.string().c_str());
    reading.errors = errors.text();
    return reading;
}

TEST(Corpus, EveryFileLoadsAndHoldsSaneFixes) {
    const std::vector<fs::path> files = corpusFiles();
    SKIP_WITHOUT_CORPUS(files);
    int loaded = 0;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        const Reading reading = readFile(path);
        loaded += reading.ok ? 1 : 0;
        for (const Fix& fix : reading.log.fixes_) {
            ASSERT_LT(std::fabs(fix.position.latitude()), 100.0);
            ASSERT_LT(std::fabs(fix.position.longitude()), 1000.0);
        }
        // Every diagnostic is a whole line.
        if (!reading.errors.empty()) {
            EXPECT_EQ(reading.errors.back(), '\n');
        }
    }
    // Three files of the corpus are not IGC files the reader accepts (see below).
    EXPECT_EQ(loaded, static_cast<int>(files.size()) - 3);
}

// Where the two readers part ways, and why.
const std::map<std::string, const char*> kDisagreements = {
    // GPSBabel gives up at the first B record it cannot parse; we report and drop that record
    // and read on, so we keep the whole flight.
    {"Turbo87__rust-igc__tests_fixtures_20090715.igc", "malformed B record"},
    {"ekurutepe__Iguazu__Tests_IguazuTests_05DLGD01_rst.igc", "malformed B record"},
};

TEST(Corpus, FixesAgreeWithGpsBabel) {
    const std::vector<fs::path> files = corpusFiles();
    SKIP_WITHOUT_CORPUS(files);
    if (std::string(GPSBABEL_EXECUTABLE).empty())
        GTEST_SKIP() << "gpsbabel is not installed (scripts/setup installs it)";
    for (const fs::path& path : files) {
        const std::string name = path.filename().string();
        SCOPED_TRACE(name);
        const Reading ours = readFile(path);
        const testing_support::BabelReading babel =
            testing_support::readWithGpsBabel(GPSBABEL_EXECUTABLE, path.string());
        if (const auto known = kDisagreements.find(name); known != kDisagreements.end()) {
            EXPECT_NE(babel.exit_code, 0) << known->second;
            EXPECT_TRUE(babel.fixes.empty()) << known->second;
            EXPECT_NE(ours.errors.find("IGCLib: parse error in B record\n"), std::string::npos);
            EXPECT_GT(ours.log.fixes_.size(), 1000u);
            continue;
        }
        if (!ours.ok) {
            // A file that we refuse (no A record first, a C record that does not parse) is
            // refused by GPSBabel too.
            EXPECT_NE(babel.exit_code, 0);
            EXPECT_TRUE(babel.fixes.empty());
            continue;
        }
        ASSERT_EQ(ours.log.fixes_.size(), babel.fixes.size());
        if (babel.fixes.empty())
            continue;
        for (const auto& [fix, other] : {std::pair{ours.log.fixes_.front(), babel.fixes.front()},
                                         std::pair{ours.log.fixes_.back(), babel.fixes.back()}}) {
            EXPECT_EQ(igc_testing::clockText(fix.time), other.time);
            // The file holds thousandths of a minute; GPSBabel prints nine decimals.
            EXPECT_NEAR(fix.position.latitude(), other.latitude, 1e-6);
            EXPECT_NEAR(fix.position.longitude(), other.longitude, 1e-6);
        }
    }
}

} // namespace
} // namespace igc
