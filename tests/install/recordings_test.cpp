// What counts as a place's newest recording, by which the simulator's files are looked for where
// the pilot flew last.

#include "install/Recordings.h"
#include "platform/Files.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace install {
namespace {

namespace fs = std::filesystem;

TEST(Recordings, TheNewestIsTheNewestFlightFile) {
    using namespace std::chrono_literals;
    struct Made {
        const char* name;
        std::chrono::hours age;
        bool folder = false;
    };
    const struct {
        const char* name;
        std::vector<Made> made; // nothing at all: no IGC directory
        const char* newest;     // the file whose time it is; nullptr: none (-1)
    } rows[] = {
        {"no IGC directory", {}, nullptr},
        {"an IGC directory without recordings", {{"notes.txt", 1h}}, nullptr},
        {"a newer file of another kind does not count",
         {{"old.igc", 5h}, {"new.txt", 1h}},
         "old.igc"},
        {"nor does a folder named as a flight",
         {{"old.igc", 5h}, {"new.igc", 1h, true}},
         "old.igc"},
        {"the newest of several, in any letter case",
         {{"a.igc", 5h}, {"B.IGC", 2h}, {"c.Igc", 3h}},
         "B.IGC"},
    };
    const fs::path dir = testing_support::freshTestDirectory("recordings-");
    const fs::path igc = dir / "IGC";
    const auto now = fs::file_time_type::clock::now();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(igc);
        if (!row.made.empty())
            fs::create_directories(igc);
        for (const Made& made : row.made) {
            if (!made.folder) {
                std::ofstream(igc / made.name) << "A";
                fs::last_write_time(igc / made.name, now - made.age);
                continue;
            }
            fs::create_directory(igc / made.name);
            std::error_code ignored; // Wine sets no folder's time: it is then the newest anyway
            fs::last_write_time(igc / made.name, now - made.age, ignored);
        }
        const std::int64_t expected =
            row.newest == nullptr ? -1 : platform::inspect((igc / row.newest).string()).modified_ms;
        EXPECT_EQ(newestRecording(igc.string()), expected);
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace install
