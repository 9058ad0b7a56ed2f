// Installations found where Linux pilots keep Windows programs: plain Wine, Steam's Proton
// (with extra library folders and the Flatpak Steam), Lutris and Bottles, in fake home
// directories; the one with the newest recording is taken.

#include "install/Installation.h"
#include "install/Installations.h"
#include "support/CaptureStream.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace install {
namespace {

namespace fs = std::filesystem;
using testing_support::CaptureStream;

class Installations : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = testing_support::freshTestDirectory("home-");
        saved_home_ = std::getenv("HOME");
        saved_dir_ = std::getenv("THERMORA_DIR");
        saved_prefix_ = std::getenv("WINEPREFIX");
        setenv("HOME", home_.c_str(), 1);
        unsetenv("THERMORA_DIR");
        unsetenv("WINEPREFIX");
    }
    void TearDown() override {
        restore("HOME", saved_home_);
        restore("THERMORA_DIR", saved_dir_);
        restore("WINEPREFIX", saved_prefix_);
        fs::remove_all(home_);
    }
    static void restore(const char* name, const char* value) {
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    // A Wine prefix; with `age` set, the simulator installed in it with one recording that old.
    static void prefix(const fs::path& at, std::optional<std::chrono::hours> age) {
        fs::create_directories(at / "dosdevices");
        fs::create_directories(at / "drive_c");
        fs::create_directory_symlink("../drive_c", at / "dosdevices" / "c:");
        std::ofstream registry(at / "system.reg");
        registry << "WINE REGISTRY Version 2\n\n";
        if (!age)
            return;
        registry << "[Software\\\\Wow6432Node\\\\Thermora\\\\Thermora Simulator] 1700000000\n"
                 << "\"Location\"=\"C:\\\\Thermora\"\n";
        fs::create_directories(at / "drive_c" / "Thermora" / "data" / "IGC");
        if (*age == std::chrono::hours(0))
            return; // installed, no recording yet
        const fs::path recording = at / "drive_c" / "Thermora" / "data" / "IGC" / "f.IGC";
        std::ofstream(recording) << "A";
        fs::last_write_time(recording, fs::file_time_type::clock::now() - *age);
    }
    static std::string simulator(const fs::path& prefix) {
        return (prefix / "drive_c" / "Thermora").string();
    }

    fs::path home_;
    const char* saved_home_ = nullptr;
    const char* saved_dir_ = nullptr;
    const char* saved_prefix_ = nullptr;
};

TEST_F(Installations, EveryKindOfPrefixIsSearchedAndTheNewestRecordingWins) {
    using namespace std::chrono_literals;
    const fs::path steam = home_ / ".local/share/Steam";
    const fs::path library = home_ / "games/SteamLibrary";
    const fs::path flatpak = home_ / ".var/app/com.valvesoftware.Steam/.local/share/Steam";
    const fs::path lutris = home_ / "Games/thermora";
    const fs::path bottle = home_ / ".local/share/bottles/bottles/Thermora";
    prefix(home_ / ".wine", std::nullopt);
    prefix(steam / "steamapps/compatdata/111/pfx", 30h);
    prefix(library / "steamapps/compatdata/222/pfx", 2h); // the newest recording
    prefix(flatpak / "steamapps/compatdata/333/pfx", std::nullopt);
    prefix(lutris, 5h);
    prefix(bottle, 0h);
    // The usual link to the Steam root must not find its prefixes twice.
    fs::create_directories(home_ / ".steam");
    fs::create_directory_symlink(steam, home_ / ".steam" / "steam");
    std::ofstream(steam / "steamapps/libraryfolders.vdf")
        << "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" << steam.string()
        << "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" << library.string() << "\"\n\t}\n}\n";
    fs::create_directories(home_ / ".config/lutris/games");
    std::ofstream(home_ / ".config/lutris/games/thermora-1700000000.yml")
        << "game:\n  exe: drive_c/Thermora/Thermora.exe\n  prefix: ~/Games/thermora\nwine:\n"
           "  version: lutris-7.2\n";

    const auto prefixes = winePrefixes();
    std::vector<std::string> described;
    for (const WinePrefix& place : prefixes)
        described.push_back(place.description.toStdString());
    const std::string config = (home_ / ".config/lutris/games/thermora-1700000000.yml").string();
    EXPECT_EQ(
        described,
        (std::vector<std::string>{
            "Wine prefix " + (home_ / ".wine").string(),
            "Steam Proton prefix " + (home_ / ".steam/steam/steamapps/compatdata/111/pfx").string(),
            "Steam Proton prefix " + (library / "steamapps/compatdata/222/pfx").string(),
            "Steam Proton prefix " + (flatpak / "steamapps/compatdata/333/pfx").string(),
            "Lutris prefix " + lutris.string() + " (" + config + ")",
            "Bottles bottle " + bottle.string(),
        }));

    std::vector<MissedPrefix> missed;
    const std::vector<Installation> found = installationsIn(prefixes, &missed);
    ASSERT_EQ(found.size(), 4U);
    EXPECT_EQ(missed.size(), 2U);
    EXPECT_EQ(found[preferredInstallation(found)].directory,
              simulator(library / "steamapps/compatdata/222/pfx"));

    // The search writes nothing; what it found is told from its data.
    CaptureStream errors(std::cerr);
    const InstallationSearch search = searchInstallations();
    EXPECT_EQ(errors.text(), "");
    ASSERT_TRUE(search.taken);
    const std::string dir = search.found[*search.taken].directory;
    EXPECT_EQ(dir, simulator(library / "steamapps/compatdata/222/pfx"));
    const std::string no_key = "no key Software\\Thermora\\Thermora Simulator or "
                               "Software\\Wow6432Node\\Thermora\\Thermora Simulator";
    EXPECT_EQ(
        search.passed_over,
        (std::vector<PassedOver>{
            {PlaceKind::Environment, "THERMORA_DIR", "not set"},
            {PlaceKind::WinePrefix, "Wine prefix " + (home_ / ".wine").string(), no_key},
            {PlaceKind::WinePrefix,
             "Steam Proton prefix " + (flatpak / "steamapps/compatdata/333/pfx").string(), no_key},
        }));
    EXPECT_EQ(choiceText(search),
              "Taking the Thermora installation " + dir + " (Steam Proton prefix " +
                  (library / "steamapps/compatdata/222/pfx").string() +
                  "): its IGC directory holds the newest recording\n"
                  "Also found: " +
                  simulator(home_ / ".steam/steam/steamapps/compatdata/111/pfx") +
                  " (Steam Proton prefix " +
                  (home_ / ".steam/steam/steamapps/compatdata/111/pfx").string() +
                  ")\n"
                  "Also found: " +
                  simulator(lutris) + " (Lutris prefix " + lutris.string() + " (" + config +
                  "))\n"
                  "Also found: " +
                  simulator(bottle) + " (Bottles bottle " + bottle.string() + ")\n");
}

TEST_F(Installations, ChoiceAndSilenceOfASingleFind) {
    using namespace std::chrono_literals;
    const struct {
        const char* name;
        std::vector<std::int64_t> newest; // per installation, in search order
        std::size_t taken;
    } rows[] = {
        {"one", {5}, 0},
        {"newest wins", {5, 9, 7}, 1},
        {"equal times: the first searched", {9, 9}, 0},
        {"no recordings anywhere: the first searched", {-1, -1}, 0},
        {"a recording beats none", {-1, 3}, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<Installation> found;
        for (const std::int64_t newest : row.newest)
            found.push_back({"dir", QStringLiteral("src"), newest});
        EXPECT_EQ(preferredInstallation(found), row.taken);
    }
    // One installation is taken without a word; none names the other prefixes it searched.
    prefix(home_ / ".wine", 1h);
    EXPECT_EQ(choiceText(searchInstallations()), "");
    fs::remove_all(home_ / ".wine");
    prefix(home_ / ".wine", std::nullopt);
    prefix(home_ / ".local/share/bottles/bottles/Other", std::nullopt);
    const InstallationSearch none = searchInstallations();
    EXPECT_FALSE(none.taken);
    EXPECT_EQ(notFoundDiagnostic(none),
              "Error: couldn't find the Thermora installation (THERMORA_DIR is not "
              "set; Wine prefix " +
                  (home_ / ".wine").string() +
                  ": no key Software\\Thermora\\Thermora Simulator or "
                  "Software\\Wow6432Node\\Thermora\\Thermora Simulator; nor in 1 "
                  "more Wine prefixes of Steam, Lutris or Bottles); set THERMORA_DIR to "
                  "the simulator's installation directory");
}

// One prefix reached by several roads is searched once, under the road met first, whichever
// that is.
TEST_F(Installations, EachPrefixOnceUnderTheFirstRoadToIt) {
    const fs::path bottles = home_ / ".local/share/bottles/bottles";
    const fs::path games = home_ / ".config/lutris/games";
    const auto lutris = [&games](const std::string& name, const std::string& prefix) {
        fs::create_directories(games);
        std::ofstream(games / name) << "game:\n  prefix: " << prefix << "\n";
    };
    const auto bottle = [&bottles](const std::string& name) {
        return "Bottles bottle " + (bottles / name).string();
    };
    const auto game = [&games](const std::string& prefix, const std::string& name) {
        return "Lutris prefix " + prefix + " (" + (games / name).string() + ")";
    };
    const std::string wine = "Wine prefix " + (home_ / ".wine").string();
    const std::string a = (bottles / "A").string();
    const struct {
        const char* name;
        std::function<void()> make;
        std::vector<std::string> described;
    } rows[] = {
        {"no road twice", [] {}, {wine, bottle("A"), bottle("B")}},
        {"$WINEPREFIX is a bottle",
         [&a] { setenv("WINEPREFIX", a.c_str(), 1); },
         {"Wine prefix " + a, bottle("B")}},
        {"a bottle is a link to ~/.wine",
         [&] {
             fs::create_directories(home_ / ".wine");
             fs::create_directory_symlink(home_ / ".wine", bottles / "0-link");
         },
         {wine, bottle("A"), bottle("B")}},
        {"two games share a bottle, spelled two ways",
         [&] {
             lutris("a.yml", (bottles / "B").string() + "/");
             lutris("b.yml", (bottles / "." / "B").string());
         },
         {wine, game((bottles / "B").string() + "/", "a.yml"), bottle("A")}},
        {"a game's prefix spelled from the home",
         [&] { lutris("a.yml", "~/.local/share/bottles/bottles/A"); },
         {wine, game(a, "a.yml"), bottle("B")}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(home_);
        fs::create_directories(bottles / "A");
        fs::create_directories(bottles / "B");
        unsetenv("WINEPREFIX");
        row.make();
        std::vector<std::string> described;
        for (const WinePrefix& place : winePrefixes())
            described.push_back(place.description.toStdString());
        EXPECT_EQ(described, row.described);
    }
}

// A WINEPREFIX set by the pilot is a choice: its installation is taken even where another
// prefix holds a newer recording; ~/.wine unnamed has no such say.
TEST_F(Installations, TheWinePrefixThePilotNamesWins) {
    using namespace std::chrono_literals;
    const fs::path steam = home_ / ".steam/steam/steamapps/compatdata/2212330/pfx";
    prefix(home_ / "mine", 48h);
    prefix(home_ / ".wine", 24h);
    prefix(steam, 1h);
    const struct {
        const char* name;
        const char* wine_prefix; // nullptr: not set
        std::string taken;
        TakenBecause because;
        std::string line;
    } rows[] = {
        {"named", "mine", simulator(home_ / "mine"), TakenBecause::WinePrefix,
         "Thermora Simulator in Wine, prefix " + (home_ / "mine").string() +
             " (WINEPREFIX); 1 other installation"},
        {"not named", nullptr, simulator(steam), TakenBecause::NewestRecording,
         "Thermora Simulator in Steam (Proton), prefix 2212330; 1 other installation"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.wine_prefix != nullptr)
            setenv("WINEPREFIX", (home_ / row.wine_prefix).c_str(), 1);
        else
            unsetenv("WINEPREFIX");
        const InstallationSearch search = searchInstallations();
        ASSERT_TRUE(search.taken);
        EXPECT_EQ(search.found[*search.taken].directory, row.taken);
        EXPECT_EQ(search.because, row.because);
        EXPECT_EQ(takenText(search), row.line);
    }
}

// THERMORA_DIR is taken exactly as set, without a choice to tell; a run does not search further,
// a list of all installations does.
TEST_F(Installations, TheEnvironmentWinsAsSet) {
    using namespace std::chrono_literals;
    prefix(home_ / ".wine", 1h);
    setenv("THERMORA_DIR", "/opt/thermora/", 1);
    const struct {
        const char* name;
        SearchExtent extent;
        std::vector<std::string> found;
    } rows[] = {
        {"a run", SearchExtent::UntilTaken, {"/opt/thermora/"}},
        {"the list", SearchExtent::Everywhere, {"/opt/thermora/", simulator(home_ / ".wine")}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const InstallationSearch search = searchInstallations(row.extent);
        std::vector<std::string> found;
        for (const FoundInstallation& installation : search.found)
            found.push_back(installation.directory);
        EXPECT_EQ(found, row.found);
        EXPECT_EQ(search.taken, std::optional<std::size_t>(0));
        EXPECT_EQ(choiceText(search), "");
    }
}

} // namespace
} // namespace install
