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
    fs::create_directories(home_ / "empty");
    const std::string empty = "WINEPREFIX names the Wine prefix " + (home_ / "empty").string() +
                              ", which holds no Thermora installation (no system.reg)";
    const struct {
        const char* name;
        const char* wine_prefix; // nullptr: not set
        std::string taken;
        TakenBecause because;
        std::string line;
        std::string stop; // the command line's reason to stop
    } rows[] = {
        {"named", "mine", simulator(home_ / "mine"), TakenBecause::WinePrefix,
         "Thermora Simulator in Wine, prefix " + (home_ / "mine").string() +
             " (WINEPREFIX); 1 other installation",
         ""},
        {"not named", nullptr, simulator(steam), TakenBecause::NewestRecording,
         "Thermora Simulator in Steam (Proton), prefix 2212330; 1 other installation", ""},
        // Another prefix's installation is no silent stand-in for the one the pilot named.
        {"named, holding none", "empty", simulator(steam), TakenBecause::OnlyOne,
         empty + ". Taken instead: Thermora Simulator in Steam (Proton), prefix 2212330",
         empty + ": unset WINEPREFIX, or set it to the Wine prefix that holds the simulator, or "
                 "give --igc-dir and --logbook"},
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
        EXPECT_EQ(namedPlaceLine(search), row.stop);
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

// THERMORA_DIR set to the simulator's data folder is taken as set, with the folder to name
// instead; any other folder is the pilot's own business.
TEST_F(Installations, TheEnvironmentNamingTheDataFolderIsToldItsInstallation) {
    const fs::path installed = home_ / "Thermora";
    fs::create_directories(installed / "data" / "IGC");
    fs::create_directories(home_ / "flights" / "IGC");
    fs::create_directories(home_ / "logbook-only" / "Data");
    std::ofstream(home_ / "logbook-only" / "Data" / "logbook.dat") << "x";
    const std::string hint = ", the simulator's data folder, not its installation folder";
    const struct {
        const char* name;
        std::string dir;
        std::string stop;
    } rows[] = {
        {"the installation", installed.string(), ""},
        {"its data folder", (installed / "data").string(),
         "THERMORA_DIR names " + (installed / "data").string() + hint + ": set THERMORA_DIR to " +
             installed.string()},
        {"its data folder, with a separator", (installed / "data").string() + "/",
         "THERMORA_DIR names " + (installed / "data").string() + "/" + hint +
             ": set THERMORA_DIR to " + installed.string()},
        {"a data folder with the logbook alone", (home_ / "logbook-only" / "Data").string(),
         "THERMORA_DIR names " + (home_ / "logbook-only" / "Data").string() + hint +
             ": set THERMORA_DIR to " + (home_ / "logbook-only").string()},
        {"a folder of the pilot's own with an IGC folder", (home_ / "flights").string(), ""},
        {"the IGC folder", (installed / "data" / "IGC").string(), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        setenv("THERMORA_DIR", row.dir.c_str(), 1);
        const InstallationSearch search = searchInstallations();
        ASSERT_EQ(search.found.size(), 1U);
        EXPECT_EQ(search.found[0].directory, row.dir);
        EXPECT_EQ(namedPlaceLine(search), row.stop);
        if (!row.stop.empty()) {
            EXPECT_EQ(takenText(search), row.stop + " before the program starts");
        }
    }
}

// A Location value stored in quotes names the folder inside them.
TEST_F(Installations, AQuotedLocationNamesTheFolderInIt) {
    fs::create_directories(home_ / ".wine" / "dosdevices");
    fs::create_directories(home_ / ".wine" / "drive_c" / "Program Files" / "Thermora");
    fs::create_directory_symlink("../drive_c", home_ / ".wine" / "dosdevices" / "c:");
    const struct {
        const char* name;
        const char* value; // as system.reg holds it
        std::string found; // empty: none, for `reason`
        std::string reason;
    } rows[] = {
        {"plain", R"("C:\\Program Files\\Thermora")",
         (home_ / ".wine/drive_c/Program Files/Thermora").string(), ""},
        {"quoted", R"("\"C:\\Program Files\\Thermora\"")",
         (home_ / ".wine/drive_c/Program Files/Thermora").string(), ""},
        {"a folder that is not there", R"("\"C:\\Program Files\\Gone\"")", "",
         "Wine prefix " + (home_ / ".wine").string() + ": " +
             (home_ / ".wine/drive_c/Program Files").string() + " has no Gone"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::ofstream(home_ / ".wine" / "system.reg")
            << "WINE REGISTRY Version 2\n\n[Software\\\\Thermora\\\\Thermora Simulator] 1\n"
            << "\"Location\"=" << row.value << "\n";
        const InstallationSearch search = searchInstallations();
        if (row.found.empty()) {
            EXPECT_FALSE(search.taken);
            EXPECT_NE(passedOverText(search).find(row.reason), std::string::npos)
                << passedOverText(search);
        } else {
            ASSERT_TRUE(search.taken) << passedOverText(search);
            EXPECT_EQ(search.found[*search.taken].directory, row.found);
        }
    }
}

// The entries' dates take the form that the simulator's Wine prefix sets for its user: that of
// the prefix whose drive C: holds the logbook, else that of the installation taken; the Unix
// locale's where the prefix sets none.
TEST_F(Installations, DatesTakeTheShortDateFormOfTheSimulatorsPrefix) {
    using namespace std::chrono_literals;
    prefix(home_ / ".wine", 1h);
    prefix(home_ / "other", std::nullopt);
    const auto user_reg = [](const fs::path& at, const char* picture) {
        std::ofstream registry(at / "user.reg");
        registry << "WINE REGISTRY Version 2\n\n[Control Panel\\\\Desktop] 1\n"
                 << "\"sShortDate\"=\"no\"\n\n[Control Panel\\\\International] 1\n"
                 << "\"sLongDate\"=\"dddd, MMMM d, yyyy\"\n";
        if (picture != nullptr)
            registry << "\"sShortDate\"=\"" << picture << "\"\n";
    };
    user_reg(home_ / "other", "yyyy-MM-dd");
    const std::string locale = platform::localeDateFormatter()(2003, 1, 2);
    const std::string preset = simulator(home_ / ".wine") + "/data/logbook.dat";
    const struct {
        const char* name;
        std::function<void()> make;
        std::string logbook;
        std::string date; // of 2 January 2003
    } rows[] = {
        {"the prefix's form", [&] { user_reg(home_ / ".wine", "dd.MM.yyyy"); }, preset,
         "02.01.2003"},
        {"a logbook elsewhere: the installation's prefix",
         [&] { user_reg(home_ / ".wine", "dd.MM.yyyy"); }, (home_ / "logbook.dat").string(),
         "02.01.2003"},
        {"a logbook in another prefix: that prefix's",
         [&] { user_reg(home_ / ".wine", "dd.MM.yyyy"); },
         (home_ / "other" / "drive_c" / "logbook.dat").string(), "2003-01-02"},
        {"a form without a year: the locale's", [&] { user_reg(home_ / ".wine", "dd.MM"); }, preset,
         locale},
        {"no form set: the locale's", [&] { user_reg(home_ / ".wine", nullptr); }, preset, locale},
        {"no user.reg: the locale's", [&] { fs::remove(home_ / ".wine" / "user.reg"); }, preset,
         locale},
    };
    const InstallationSearch search = searchInstallations();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.make();
        EXPECT_EQ(entryDateFormatter(row.logbook, search)(2003, 1, 2), row.date);
    }
    // Without an installation, the logbook's own prefix still tells.
    EXPECT_EQ(entryDateFormatter((home_ / "other" / "drive_c" / "l.dat").string(), {})(2003, 1, 2),
              "2003-01-02");
}

// A path given as Windows writes it is found through the drives of the installation's prefix,
// letter case as Windows ignores it, and the translation said; a drive the prefix lacks is said.
TEST_F(Installations, AWindowsPathIsFoundThroughThePrefixsDrives) {
    using namespace std::chrono_literals;
    const fs::path wine = home_ / ".wine";
    prefix(wine, 1h);
    fs::create_directories(home_ / "disk");
    fs::create_directory_symlink(home_ / "disk", wine / "dosdevices" / "d:");
    const std::string in = " in the Wine prefix " + wine.string();
    const std::string igc = simulator(wine) + "/data/IGC";
    const struct {
        const char* given;
        std::string path;
        std::string note;
        std::string problem;
    } rows[] = {
        {"/home/jo/IGC", "/home/jo/IGC", "", ""},
        {"C:\\Thermora\\data\\IGC", igc, "C:\\Thermora\\data\\IGC is " + igc + in, ""},
        {"c:/THERMORA/Data/igc", igc, "c:/THERMORA/Data/igc is " + igc + in, ""},
        {"C:\\Thermora\\data\\new\\logbook.dat", simulator(wine) + "/data/new/logbook.dat",
         "C:\\Thermora\\data\\new\\logbook.dat is " + simulator(wine) + "/data/new/logbook.dat" +
             in,
         ""},
        {"D:\\logbook.dat", (home_ / "disk" / "logbook.dat").string(),
         "D:\\logbook.dat is " + (home_ / "disk" / "logbook.dat").string() + in, ""},
        {"Q:\\logbook.dat", "Q:\\logbook.dat", "",
         "Q:\\logbook.dat is a Windows path, and the Wine prefix " + wine.string() +
             " has no place for it (no drive Q: in " + (wine / "dosdevices").string() + ")"},
        {"C:\\..\\logbook.dat", "C:\\..\\logbook.dat", "",
         "C:\\..\\logbook.dat is a Windows path, and the Wine prefix " + wine.string() +
             " has no place for it (\"C:\\..\\logbook.dat\" leads above the root of drive C:)"},
    };
    const InstallationSearch search = searchInstallations();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.given);
        const GivenPath given = givenPath(row.given, search);
        EXPECT_EQ(given.path, row.path);
        EXPECT_EQ(given.note, row.note);
        EXPECT_EQ(given.problem, row.problem);
    }
    // Without any Wine prefix, nothing to find it in.
    setenv("WINEPREFIX", (home_ / "none").c_str(), 1);
    EXPECT_EQ(givenPath("C:\\x", {}).problem,
              "C:\\x is a Windows path, and no Wine prefix is known to find it in; give the path "
              "as this system names it");
}

} // namespace
} // namespace install
