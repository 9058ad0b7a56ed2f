// The installation directory found in fake Wine prefixes, built with the real file format:
// escapes, Wow6432Node, continued lines, drive links and letter case.

#include "install/Installation.h"
#include "install/WineRegistry.h"
#include "support/CaptureStream.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace install {
namespace {

namespace fs = std::filesystem;
using testing_support::CaptureStream;

constexpr const char* kHead = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                              "#arch=win64\n\n";

TEST(WineRegistry, ReadsTheLocationValue) {
    const struct {
        const char* name;
        std::string text;
        std::optional<QString> location;
        QString why;
    } rows[] = {
        {"plain",
         std::string(kHead) + "[Software\\\\Thermora\\\\Thermora Simulator] 1700000000\n"
                              "#time=1d9a4c2e0b1f2a3\n"
                              "\"Location\"=\"C:\\\\Program Files\\\\Thermora\"\n",
         QStringLiteral("C:\\Program Files\\Thermora"),
         {}},
        {"32-bit installer",
         std::string(kHead) + "[Software\\\\Wow6432Node\\\\Thermora\\\\Thermora Simulator] 17\n"
                              "\"Location\"=\"C:\\\\Thermora\"\n",
         QStringLiteral("C:\\Thermora"),
         {}},
        {"letter case of key and value",
         std::string(kHead) + "[SOFTWARE\\\\thermora\\\\THERMORA SIMULATOR] 17\n"
                              "\"location\"=\"D:\\\\Sim\"\n",
         QStringLiteral("D:\\Sim"),
         {}},
        {"escapes",
         std::string(kHead) + "[Software\\\\Thermora\\\\Thermora Simulator] 17\n"
                              "\"Location\"=\"C:\\\\Fl\\xfcge \\\"Alb\\\"\\\\\"\n",
         QStringLiteral("C:\\Fl\u00fcge \"Alb\"\\"),
         {}},
        {"continued line",
         std::string(kHead) + "[Software\\\\Thermora\\\\Thermora Simulator] 17\n"
                              "\"Location\"=\"C:\\\\Program Files\\\\\\\n"
                              "  Thermora\"\n",
         QStringLiteral("C:\\Program Files\\Thermora"),
         {}},
        {"expandable string",
         std::string(kHead) + "[Software\\\\Thermora\\\\Thermora Simulator] 17\n"
                              "\"Location\"=str(2):\"C:\\\\Sim\"\n",
         QStringLiteral("C:\\Sim"),
         {}},
        {"missing key", std::string(kHead) + "[Software\\\\Other] 17\n\"Location\"=\"C:\\\\x\"\n",
         std::nullopt,
         QStringLiteral("no key Software\\Thermora\\Thermora Simulator or "
                        "Software\\Wow6432Node\\Thermora\\Thermora Simulator")},
        {"missing value",
         std::string(kHead) + "[Software\\\\Thermora\\\\Thermora Simulator] 17\n"
                              "\"Version\"=\"1.0\"\n",
         std::nullopt,
         QStringLiteral("no value \"Location\" under Software\\Thermora\\Thermora Simulator")},
        {"value of another key",
         std::string(kHead) + "[Software\\\\Thermora\\\\Thermora Simulator] 17\n"
                              "\"Version\"=\"1.0\"\n[Software\\\\Thermora] 17\n"
                              "\"Location\"=\"C:\\\\Wrong\"\n",
         std::nullopt,
         QStringLiteral("no value \"Location\" under Software\\Thermora\\Thermora Simulator")},
        {"not a registry", "REGEDIT4\n", std::nullopt, QStringLiteral("not a Wine registry file")},
    };
    const QStringList keys = {
        QStringLiteral("Software\\Thermora\\Thermora Simulator"),
        QStringLiteral("Software\\Wow6432Node\\Thermora\\Thermora Simulator")};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QString why;
        const std::optional<QString> location = registryString(
            QByteArray::fromStdString(row.text), keys, QStringLiteral("Location"), why);
        EXPECT_EQ(location, row.location);
        if (!row.location) {
            EXPECT_EQ(why.toStdString(), row.why.toStdString());
        }
    }
}

class WinePrefix : public ::testing::Test {
protected:
    void SetUp() override {
        prefix_ = testing_support::freshTestDirectory("wine-");
        fs::create_directories(prefix_ / "dosdevices");
        fs::create_directories(prefix_ / "drive_c" / "Program Files" / "Thermora" / "data");
        fs::create_directory_symlink("../drive_c", prefix_ / "dosdevices" / "c:");
        fs::create_directory_symlink("/", prefix_ / "dosdevices" / "z:");
        saved_dir_ = std::getenv("THERMORA_DIR");
        saved_prefix_ = std::getenv("WINEPREFIX");
        unsetenv("THERMORA_DIR");
        setenv("WINEPREFIX", prefix_.c_str(), 1);
    }
    void TearDown() override {
        restore("THERMORA_DIR", saved_dir_);
        restore("WINEPREFIX", saved_prefix_);
        fs::remove_all(prefix_);
    }
    static void restore(const char* name, const char* value) {
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    void registry(const std::string& location) const {
        std::ofstream(prefix_ / "system.reg")
            << kHead << "[Software\\\\Thermora\\\\Thermora Simulator] 1700000000\n"
            << "\"Location\"=\"" << location << "\"\n";
    }
    // The directory of the installation that a run takes; empty when none.
    static std::string taken() {
        const InstallationSearch search = searchInstallations();
        return search.taken ? search.found[*search.taken].directory : std::string();
    }
    QString unix(const QString& windows) const {
        QString why;
        return unixPath(QFile::decodeName(prefix_.c_str()), windows, why).value_or(why);
    }

    fs::path prefix_;
    const char* saved_dir_ = nullptr;
    const char* saved_prefix_ = nullptr;
};

TEST_F(WinePrefix, TurnsWindowsPathsIntoPathsOfThisSystem) {
    const std::string drive_c = (prefix_ / "drive_c").string();
    const struct {
        const char* windows;
        std::string expected;
    } rows[] = {
        {"C:\\Program Files\\Thermora", drive_c + "/Program Files/Thermora"},
        {"c:\\PROGRAM FILES\\thermora\\", drive_c + "/Program Files/Thermora"},
        {"C:/Program Files/Thermora/Data", drive_c + "/Program Files/Thermora/data"},
        {"Z:\\tmp", "/tmp"},
        {"Q:\\Thermora", "no drive Q: in " + (prefix_ / "dosdevices").string()},
        {"C:\\Missing\\Thermora", drive_c + " has no Missing"},
        {"Thermora", "\"Thermora\" has no drive letter"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.windows);
        EXPECT_EQ(unix(QString::fromUtf8(row.windows)).toStdString(), row.expected);
    }
}

TEST_F(WinePrefix, TheSearchTriesTheEnvironmentThenThePrefix) {
    registry("C:\\\\Program Files\\\\Thermora");
    setenv("THERMORA_DIR", "/opt/thermora/", 1);
    EXPECT_EQ(taken(), "/opt/thermora/"); // as stored
    unsetenv("THERMORA_DIR");
    const std::string dir = taken();
    EXPECT_EQ(dir, (prefix_ / "drive_c" / "Program Files" / "Thermora").string());
    const PresetPaths presets = presetPaths(dir);
    EXPECT_EQ(presets.igc_directory, dir + "/data/IGC");
    EXPECT_EQ(presets.logbook_file, dir + "/data/logbook.dat");
}

TEST_F(WinePrefix, SaysWhatWasTriedWhenNothingIsFound) {
    enum class Special { None, NotWine, OtherKey, NoValue, Pipe, EndlessDevice, Huge, Directory };
    const struct {
        const char* name;
        const char* location; // nullptr: no system.reg
        Special special;
        std::string why;
    } rows[] = {
        {"no registry", nullptr, Special::None, "no system.reg"},
        {"not a Wine registry", nullptr, Special::NotWine, "not a Wine registry file"},
        {"no key", nullptr, Special::OtherKey,
         "no key Software\\Thermora\\Thermora Simulator or "
         "Software\\Wow6432Node\\Thermora\\Thermora Simulator"},
        {"no value", nullptr, Special::NoValue,
         "no value \"Location\" under Software\\Thermora\\Thermora Simulator"},
        {"unknown drive", "Q:\\\\Thermora", Special::None,
         "no drive Q: in " + (prefix_ / "dosdevices").string()},
        {"no drive letter", "Thermora", Special::None, "\"Thermora\" has no drive letter"},
        {"a directory that is not there", "C:\\\\Gone\\\\Thermora", Special::None,
         (prefix_ / "drive_c").string() + " has no Gone"},
        // None of these may block the start or fill the memory.
        {"a named pipe", nullptr, Special::Pipe, "system.reg is not a regular file"},
        {"a link to an endless device", nullptr, Special::EndlessDevice,
         "system.reg is not a regular file"},
        {"a directory", nullptr, Special::Directory, "system.reg is not a regular file"},
        {"far too large", nullptr, Special::Huge, "system.reg is larger than 64 MiB"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(prefix_ / "system.reg");
        if (row.location != nullptr)
            registry(row.location);
        const std::string reg = (prefix_ / "system.reg").string();
        switch (row.special) {
        case Special::None:
            break;
        case Special::NotWine:
            std::ofstream(reg) << "REGEDIT4\n";
            break;
        case Special::OtherKey:
            std::ofstream(reg) << kHead << "[Software\\\\Other] 17\n\"Location\"=\"C:\\\\x\"\n";
            break;
        case Special::NoValue:
            std::ofstream(reg) << kHead << "[Software\\\\Thermora\\\\Thermora Simulator] 17\n"
                               << "\"Version\"=\"1.0\"\n";
            break;
        case Special::Pipe:
            ASSERT_EQ(mkfifo(reg.c_str(), 0644), 0);
            break;
        case Special::EndlessDevice:
            fs::create_symlink("/dev/zero", reg);
            break;
        case Special::Directory:
            fs::create_directory(reg);
            break;
        case Special::Huge:
            std::ofstream(reg) << "x";
            fs::resize_file(reg, 65 * 1024 * 1024); // sparse: no disk space taken
            break;
        }
        // Told as data, each reason beside the prefix it is about; nothing written.
        CaptureStream errors(std::cerr);
        const InstallationSearch search = searchInstallations();
        EXPECT_EQ(errors.text(), "");
        EXPECT_TRUE(search.found.empty());
        EXPECT_FALSE(search.taken);
        EXPECT_EQ(search.passed_over,
                  (std::vector<PassedOver>{
                      {PlaceKind::Environment, "THERMORA_DIR", "not set"},
                      {PlaceKind::WinePrefix, "Wine prefix " + prefix_.string(), row.why}}));
        EXPECT_EQ(notFoundDiagnostic(search),
                  "Error: couldn't find the Thermora installation (THERMORA_DIR is not set; Wine "
                  "prefix " +
                      prefix_.string() + ": " + row.why +
                      "); set THERMORA_DIR to the simulator's installation directory");
    }
}

} // namespace
} // namespace install
