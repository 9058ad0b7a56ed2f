// The installation directory found in fake Wine prefixes, built with the real file format:
// escapes, Wow6432Node, continued lines, drive links and letter case.

#include "install/Installation.h"
#include "install/WineRegistry.h"
#include "support/CaptureStream.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

namespace install {
namespace {

namespace fs = std::filesystem;
using testing_support::CaptureStream;

constexpr const char* kHead = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                              "#arch=win64\n\n";

// The value found, else the reason as the user reads it.
QString said(const platform::Expected<QString, WineFailure>& found) {
    return found ? *found : wineReason(found.error());
}

// Sections of other keys, as a prefix full of programs has them, of about `size` bytes.
std::string manyKeys(std::size_t size) {
    std::string text;
    for (int k = 0; text.size() < size; ++k)
        text += "[Software\\\\Classes\\\\CLSID\\\\{" + std::to_string(k) +
                "}] 1700000000\n#time=1d9a4c2e0b1f2a3\n@=\"A class\"\n"
                "\"Data\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,\\\n"
                "  10,11,12\n\n";
    return text;
}

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
        {"a value that is not a string",
         std::string(kHead) + "[Software\\\\Thermora\\\\Thermora Simulator] 17\n"
                              "\"Location\"=dword:00000001\n",
         std::nullopt,
         QStringLiteral(
             "the value \"Location\" under Software\\Thermora\\Thermora Simulator is not "
             "a string")},
        {"not a registry", "REGEDIT4\n", std::nullopt, QStringLiteral("not a Wine registry file")},
        // Where a line begins and ends, as the whole text split at its line ends has it.
        {"a line that begins after a lone backslash",
         std::string(kHead) + "\\\n  [Software\\\\Thermora\\\\Thermora Simulator] 17\n"
                              "\"Location\"=\"C:\\\\Sim\"\n",
         QStringLiteral("C:\\Sim"),
         {}},
        {"a continued line that ends in blanks of any kind",
         std::string(kHead) + "[Software\\\\Thermora\\\\Thermora Simulator] 17\n"
                              "\"Location\"=\"C:\\\\Program Files\\\\\\\n"
                              "  Ther\\\xE3\x80\x80\r\n"
                              "  mora\"\n",
         QStringLiteral("C:\\Program Files\\Thermora"),
         {}},
        {"a line continued after blanks of any kind takes the next line in",
         std::string(kHead) + "[Software\\\\Other] 17\n\"Data\"=hex:00,\\\n  01,\\\xE3\x80\x80\n"
                              "[Software\\\\Thermora\\\\Thermora Simulator] 17\n"
                              "\"Location\"=\"C:\\\\Sim\"\n",
         std::nullopt,
         QStringLiteral("no key Software\\Thermora\\Thermora Simulator or "
                        "Software\\Wow6432Node\\Thermora\\Thermora Simulator")},
        {"a byte order mark inside the text is a character",
         std::string(kHead) + "[Software\\\\Thermora\\\\Thermora Simulator] 17\n"
                              "\xEF\xBB\xBF\"Location\"=\"C:\\\\Wrong\"\n"
                              "\"Location\"=\"C:\\\\\\\n"
                              "\xEF\xBB\xBFSim\"\n",
         QStringLiteral("C:\\\uFEFFSim"),
         {}},
        {"the key after 200,000 bytes of others",
         std::string(kHead) + manyKeys(200000) +
             "[Software\\\\Wow6432Node\\\\Thermora\\\\Thermora Simulator] 17\n"
             "\"Location\"=\"C:\\\\Thermora\"\n",
         QStringLiteral("C:\\Thermora"),
         {}},
    };
    const QStringList keys = {
        QStringLiteral("Software\\Thermora\\Thermora Simulator"),
        QStringLiteral("Software\\Wow6432Node\\Thermora\\Thermora Simulator")};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto whole =
            registryString(QByteArray::fromStdString(row.text), keys, QStringLiteral("Location"));
        EXPECT_EQ(whole.has_value(), row.location.has_value());
        EXPECT_EQ(said(whole).toStdString(),
                  (row.location ? *row.location : row.why).toStdString());
        // The same however the text arrives: here a few bytes at a time, lines split anywhere.
        std::size_t at = 0;
        const RegistryBytes in_pieces = [&row, &at](char* into, qsizetype room) {
            const std::size_t given =
                std::min({static_cast<std::size_t>(room), row.text.size() - at, 1 + at % 7});
            std::memcpy(into, row.text.data() + at, given);
            at += given;
            return static_cast<qsizetype>(given);
        };
        const auto in_pieces_found = registryString(in_pieces, keys, QStringLiteral("Location"));
        EXPECT_EQ(in_pieces_found.has_value(), whole.has_value());
        EXPECT_EQ(said(in_pieces_found), said(whole));
    }
}

// A prefix full of programs has a registry of tens of megabytes; the key is a few lines of it,
// and the reading stops once the answer is known.
TEST(WineRegistry, ReadsNoFurtherThanTheAnswer) {
    const std::string others = manyKeys(4 << 20);
    const std::string key = "[Software\\\\Thermora\\\\Thermora Simulator] 17\n";
    const struct {
        const char* name;
        std::string text;
        bool to_the_end;
    } rows[] = {
        {"the value found: nothing after it",
         std::string(kHead) + key + "\"Location\"=\"C:\\\\Sim\"\n" + others, false},
        {"a value that is not a string: the other key is looked for to the end",
         std::string(kHead) + key + "\"Location\"=dword:00000001\n" + others, true},
        {"the key without the value: a later section of it may have one",
         std::string(kHead) + key + "\"Version\"=\"1.0\"\n" + others, true},
        {"no key", std::string(kHead) + others, true},
    };
    const QStringList keys = {
        QStringLiteral("Software\\Thermora\\Thermora Simulator"),
        QStringLiteral("Software\\Wow6432Node\\Thermora\\Thermora Simulator")};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::size_t at = 0;
        const RegistryBytes read = [&row, &at](char* into, qsizetype room) {
            const std::size_t given =
                std::min(static_cast<std::size_t>(room), row.text.size() - at);
            std::memcpy(into, row.text.data() + at, given);
            at += given;
            return static_cast<qsizetype>(given);
        };
        static_cast<void>(registryString(read, keys, QStringLiteral("Location")));
        if (row.to_the_end)
            EXPECT_EQ(at, row.text.size());
        else
            EXPECT_LT(at, std::size_t{256} << 10); // a few chunks
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
        saved_home_ = std::getenv("HOME");
        unsetenv("THERMORA_DIR");
        setenv("WINEPREFIX", prefix_.c_str(), 1);
        // A home of its own: the prefixes of this machine's Steam, Lutris or Bottles are not the
        // test's.
        fs::create_directories(prefix_ / "home");
        setenv("HOME", (prefix_ / "home").c_str(), 1);
    }
    void TearDown() override {
        restore("THERMORA_DIR", saved_dir_);
        restore("WINEPREFIX", saved_prefix_);
        restore("HOME", saved_home_);
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
        return said(unixPath(QFile::decodeName(prefix_.c_str()), windows));
    }

    fs::path prefix_;
    const char* saved_dir_ = nullptr;
    const char* saved_prefix_ = nullptr;
    const char* saved_home_ = nullptr;
};

TEST_F(WinePrefix, TurnsWindowsPathsIntoPathsOfThisSystem) {
    const std::string drive_c = (prefix_ / "drive_c").string();
    // A link inside the drive that leads back to the prefix: ".." after it is still the text's.
    fs::create_directory_symlink("../../..",
                                 prefix_ / "drive_c" / "Program Files" / "Thermora" / "up");
    const struct {
        const char* windows;
        std::string expected;
    } rows[] = {
        // Refused: what no Windows path holds, and ".." above the drive's root.
        {"C:\\Sim\x1B]0;pwned\x07",
         "\"C:\\Sim\\x1B]0;pwned\\x07\" holds a control character, which no Windows path can"},
        {"C:\\Program Files\nThermora",
         "\"C:\\Program Files\\x0AThermora\" holds a control character, which no Windows path "
         "can"},
        {"C:\\..\\..\\..\\tmp", "\"C:\\..\\..\\..\\tmp\" leads above the root of drive C:"},
        {"C:\\Program Files\\..\\..\\drive_c\\Program Files",
         "\"C:\\Program Files\\..\\..\\drive_c\\Program Files\" leads above the root of drive "
         "C:"},
        {"z:/tmp/../../etc", "\"z:/tmp/../../etc\" leads above the root of drive z:"},
        // ".." and "." that stay on the drive.
        {"C:\\Program Files\\..\\Program Files\\.\\Thermora", drive_c + "/Program Files/Thermora"},
        {"C:\\Program Files\\Thermora\\up\\..\\data", drive_c + "/Program Files/Thermora/data"},
        {"Z:\\tmp\\..", "/"},
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
    enum class Special {
        None,
        NotWine,
        OtherKey,
        NoValue,
        Pipe,
        EndlessDevice,
        Huge,
        Directory,
        LinkLoop
    };
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
        // A directory no Windows program could have, told without its control bytes.
        {"an escape sequence", "C:\\\\Sim\\x1b]0;pwned\\x07", Special::None,
         "\"C:\\Sim\\x1B]0;pwned\\x07\" holds a control character, which no Windows path can"},
        {"a line break", "C:\\\\Sim\\nAlso found: C:\\\\Other", Special::None,
         "\"C:\\Sim\\x0AAlso found: C:\\Other\" holds a control character, which no Windows path "
         "can"},
        {"out of the drive", "C:\\\\..\\\\..\\\\..\\\\tmp", Special::None,
         "\"C:\\..\\..\\..\\tmp\" leads above the root of drive C:"},
        // None of these may block the start or fill the memory.
        {"a named pipe", nullptr, Special::Pipe, "system.reg is not a regular file"},
        {"a link to an endless device", nullptr, Special::EndlessDevice,
         "system.reg is not a regular file"},
        {"a directory", nullptr, Special::Directory, "system.reg is not a regular file"},
        {"far too large", nullptr, Special::Huge, "system.reg is larger than 64 MiB"},
        // Told with the system's reason.
        {"a link to itself", nullptr, Special::LinkLoop,
         "system.reg: Too many levels of symbolic links"},
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
        case Special::LinkLoop:
            fs::create_symlink("system.reg", reg);
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
