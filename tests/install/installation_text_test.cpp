// What the programs say about a search, worded once from its data: the places searched in vain
// and the choice among several installations; and where the presets point when Windows keeps an
// older simulator's files in the user's VirtualStore.

#include "install/Installation.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

namespace install {
namespace {

const PassedOver kNoEnvironment{PlaceKind::Environment, "THERMORA_DIR", "not set"};

PassedOver prefix(const std::string& place) {
    return {PlaceKind::WinePrefix, place, "no system.reg"};
}

TEST(InstallationText, TellsThePlacesPassedOver) {
    const struct {
        const char* name;
        std::vector<PassedOver> passed_over;
        std::string text;
    } rows[] = {
        {"no Wine prefix at all", {kNoEnvironment}, "THERMORA_DIR is not set"},
        {"the pilot's own prefix",
         {kNoEnvironment, prefix("Wine prefix /h/.wine")},
         "THERMORA_DIR is not set; Wine prefix /h/.wine: no system.reg"},
        // The games' prefixes after it are counted: there can be dozens.
        {"the games' prefixes counted",
         {kNoEnvironment, prefix("Wine prefix /h/.wine"), prefix("Steam Proton prefix /s/1/pfx"),
          prefix("Bottles bottle /b/x")},
         "THERMORA_DIR is not set; Wine prefix /h/.wine: no system.reg; nor in 2 more Wine "
         "prefixes of Steam, Lutris or Bottles"},
        {"the Windows registry",
         {kNoEnvironment, {PlaceKind::Registry, "registry", "no key HKEY_LOCAL_MACHINE\\X"}},
         "THERMORA_DIR is not set; registry: no key HKEY_LOCAL_MACHINE\\X"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        InstallationSearch search;
        search.passed_over = row.passed_over;
        EXPECT_EQ(passedOverText(search), row.text);
        EXPECT_EQ(notFoundText(search), "no Thermora installation found (" + row.text + ")");
    }
}

TEST(InstallationText, TellsAChoiceOnlyWhereTheNewestRecordingMadeOne) {
    const FoundInstallation environment{"/opt/t", "THERMORA_DIR", PlaceKind::Environment,
                                        "THERMORA_DIR"};
    const FoundInstallation a{"/a", "Wine prefix /h/.wine", PlaceKind::WinePrefix,
                              "Wine, prefix /h/.wine"};
    const FoundInstallation b{"/b", "Bottles bottle /b/x", PlaceKind::WinePrefix,
                              "Bottles, bottle x"};
    const FoundInstallation c{"/c", "Steam Proton prefix /s/1/pfx", PlaceKind::WinePrefix,
                              "Steam (Proton), prefix 1"};
    const struct {
        const char* name;
        std::vector<FoundInstallation> found;
        std::optional<std::size_t> taken;
        TakenBecause because;
        std::string text;       // the terminal's lines
        std::string taken_line; // the dialog's line
    } rows[] = {
        {"none", {}, std::nullopt, TakenBecause::OnlyOne, "", ""},
        {"one", {a}, 0, TakenBecause::OnlyOne, "", "Thermora Simulator in Wine, prefix /h/.wine"},
        {"THERMORA_DIR as set, among others",
         {environment, a, b},
         0,
         TakenBecause::Environment,
         "",
         "Thermora Simulator in /opt/t (THERMORA_DIR); 2 other installations"},
        {"the second of three",
         {a, b, c},
         1,
         TakenBecause::NewestRecording,
         "Taking the Thermora installation /b (Bottles bottle /b/x): its IGC directory holds the "
         "newest recording\n"
         "Also found: /a (Wine prefix /h/.wine)\n"
         "Also found: /c (Steam Proton prefix /s/1/pfx)\n",
         "Thermora Simulator in Bottles, bottle x; 2 other installations"},
        {"the pilot's WINEPREFIX",
         {a, c},
         0,
         TakenBecause::WinePrefix,
         "Taking the Thermora installation /a (Wine prefix /h/.wine): WINEPREFIX names its "
         "prefix\n"
         "Also found: /c (Steam Proton prefix /s/1/pfx)\n",
         "Thermora Simulator in Wine, prefix /h/.wine; 1 other installation"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        InstallationSearch search;
        search.found = row.found;
        search.taken = row.taken;
        search.because = row.because;
        EXPECT_EQ(choiceText(search), row.text);
        EXPECT_EQ(takenText(search), row.taken_line);
    }
}

// The presets follow the simulator's files: into the VirtualStore copy when the logbook or the
// newest recording is there, else the installation's own data folder; the IGC folder only where
// the copy has one.
TEST(PresetPaths, FollowTheSimulatorsFilesIntoTheVirtualStore) {
    namespace fs = std::filesystem;
    using namespace std::chrono_literals;
    const fs::path dir = testing_support::freshTestDirectory("presets-");
    const fs::path own = dir / "Program Files" / "Thermora";
    const fs::path copy = dir / "VirtualStore" / "Program Files" / "Thermora";
    const auto now = fs::file_time_type::clock::now();
    const auto recording = [now](const fs::path& igc, std::chrono::hours age) {
        fs::create_directories(igc);
        std::ofstream(igc / "f.igc") << "A";
        fs::last_write_time(igc / "f.igc", now - age);
    };
    const struct {
        const char* name;
        std::function<void()> make;
        bool logbook_in_copy;
        bool igc_in_copy;
    } rows[] = {
        {"no copy", [] {}, false, false},
        {"a copy without files", [&] { fs::create_directories(copy / "data"); }, false, false},
        {"the logbook alone in the copy",
         [&] {
             recording(own / "data" / "IGC", 1h);
             fs::create_directories(copy / "data");
             std::ofstream(copy / "data" / "logbook.dat") << "x";
         },
         true, false},
        {"the logbook and an empty IGC folder in the copy",
         [&] {
             fs::create_directories(copy / "data" / "IGC");
             std::ofstream(copy / "data" / "logbook.dat") << "x";
         },
         true, true},
        {"a newer recording in the copy",
         [&] {
             recording(own / "data" / "IGC", 2h);
             recording(copy / "data" / "IGC", 1h);
         },
         true, true},
        {"an older recording in the copy",
         [&] {
             recording(own / "data" / "IGC", 1h);
             recording(copy / "data" / "IGC", 2h);
         },
         false, false},
        {"a recording as old in the copy",
         [&] {
             recording(own / "data" / "IGC", 1h);
             recording(copy / "data" / "IGC", 1h);
         },
         false, false},
        {"a recording in the copy alone", [&] { recording(copy / "data" / "IGC", 1h); }, true,
         true},
    };
    const char separator = static_cast<char>(fs::path::preferred_separator);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(dir / "Program Files");
        fs::remove_all(dir / "VirtualStore");
        fs::create_directories(own / "data");
        row.make();
        const PresetPaths presets = presetPathsBeside(own.string(), copy.string(), separator);
        EXPECT_EQ(presets.igc_directory,
                  ((row.igc_in_copy ? copy : own) / "data" / "IGC").string());
        EXPECT_EQ(presets.logbook_file,
                  ((row.logbook_in_copy ? copy : own) / "data" / "logbook.dat").string());
        EXPECT_EQ(presets.note.empty(), !row.logbook_in_copy) << presets.note;
        EXPECT_EQ(presets.note.find("logbook and recordings") != std::string::npos, row.igc_in_copy)
            << presets.note;
    }
    fs::remove_all(dir);
}

TEST(PresetPaths, TheVirtualStoreCopyIsTheFolderWithoutItsDrive) {
    const struct {
        const char* dir;
        const char* copy;
    } rows[] = {
        {"C:\\Program Files (x86)\\Thermora", "R\\Program Files (x86)\\Thermora"},
        {"d:/Games/Thermora/", "R\\Games/Thermora"},
        {"\\\\server\\share\\Thermora", ""},
        {"C:\\", ""},
        {"/opt/thermora", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(virtualStoreCopy(row.dir, "R"), row.copy) << row.dir;
}

} // namespace
} // namespace install
