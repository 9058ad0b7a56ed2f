// The logbook is never lost: replaced whole or not at all, the old one kept as .bak, a wrong
// directory refused, special entries of the IGC directory skipped, names used as bytes and
// never breaking a logbook line.

#include "FlightBuilder.h"
#include "logbook/FlightAnalysis.h"
#include "logbook/Generation.h"
#include "logbook/Listing.h"
#include "logbook/LogbookFile.h"
#include "logbook/Messages.h"
#include "support/CaptureStream.h"
#include "support/FileBytes.h"
#include "support/RunRecorder.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

namespace logbook {
namespace {

namespace fs = std::filesystem;
using testing_support::bytesOf;

class Safety : public ::testing::Test {
protected:
    void SetUp() override { dir_ = testing_support::freshTestDirectory("safety-"); }
    void TearDown() override { fs::remove_all(dir_); }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    // The names in the work directory, sorted: what a run left behind.
    std::string entries() const { return testing_support::namesIn(dir_); }
    fs::path dir_;
};

TEST_F(Safety, TheOldLogbookIsReplacedWholeOrNotAtAll) {
    enum class End { Commit, Discard, Destroy };
    const struct {
        const char* name;
        bool old_exists;
        End end;
        const char* logbook; // afterwards; empty: none
        const char* backup;  // afterwards; empty: none
        const char* left;    // names in the directory afterwards (the run lock's file stays)
    } rows[] = {
        {"new logbook", false, End::Commit, "new\r\n", "", "logbook.dat logbook.dat.lock"},
        {"replaced, old kept", true, End::Commit, "new\r\n", "old",
         "logbook.dat logbook.dat.bak logbook.dat.lock"},
        {"discarded", true, End::Discard, "old", "", "logbook.dat logbook.dat.lock"},
        {"dropped unfinished (cancel, crash)", true, End::Destroy, "old", "",
         "logbook.dat logbook.dat.lock"},
        {"dropped without an old one", false, End::Destroy, "", "", "logbook.dat.lock"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const std::string path = (dir_ / "logbook.dat").string();
        if (row.old_exists) {
            write("logbook.dat", "old");
            fs::permissions(path, fs::perms(0640));
        }
        std::vector<std::pair<std::string, bool>> told;
        {
            LogbookFile out;
            ASSERT_TRUE(out.open(path, [&told](const std::string& temporary, bool in_place) {
                told.emplace_back(temporary, in_place);
            }));
            out << "new\n";
            // Until the rename the old logbook is as it was.
            EXPECT_EQ(bytesOf(path), row.old_exists ? "old" : "");
            if (row.end == End::Commit) {
                ASSERT_TRUE(out.commit()) << out.failure().reason();
            }
            if (row.end == End::Discard)
                out.discard();
            EXPECT_EQ(out.store().backupPath(), *row.backup ? path + ".bak" : "");
        }
        EXPECT_EQ(fs::exists(path) ? bytesOf(path) : "", row.logbook);
        EXPECT_EQ(fs::exists(path + ".bak") ? bytesOf(path + ".bak") : "", row.backup);
        EXPECT_EQ(entries(), row.left);
        if (row.old_exists && row.end == End::Commit) {
            EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
            EXPECT_EQ(fs::status(path + ".bak").permissions(), fs::perms(0640));
        }
        // The watcher heard of the new file while it had a name beside the logbook (where the
        // system gives it none until the commit, only then), and of its end.
        if (row.end == End::Commit) {
            ASSERT_EQ(told.size(), 2U);
        }
        if (!told.empty()) {
            EXPECT_EQ(told.front().first.rfind(path + ".tmp-", 0), 0U);
            EXPECT_EQ(told.back(), std::make_pair(std::string(), row.end == End::Commit));
        }
    }
}

TEST_F(Safety, ALinkedLogbookReplacesTheFileItNames) {
    fs::create_directories(dir_ / "real");
    write("real/logbook.dat", "old");
    fs::create_symlink(dir_ / "real" / "logbook.dat", dir_ / "link.dat");
    LogbookFile out;
    ASSERT_TRUE(out.open((dir_ / "link.dat").string()));
    out << "new\n";
    ASSERT_TRUE(out.commit()) << out.failure().reason();
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.dat"));
    EXPECT_EQ(bytesOf(dir_ / "real" / "logbook.dat"), "new\r\n");
    EXPECT_EQ(bytesOf(dir_ / "real" / "logbook.dat.bak"), "old");
}

TEST_F(Safety, AFailedOpenChangesNothing) {
    fs::create_directories(dir_ / "logbook.dat");
    write("file", "x");
    const struct {
        const char* name;
        std::string path;
        std::string error;
        bool replaces;
    } rows[] = {
        {"a directory", (dir_ / "logbook.dat").string(),
         (dir_ / "logbook.dat").string() + " is a directory, not a logbook file", false},
        {"missing directory", (dir_ / "missing" / "logbook.dat").string(),
         "No such file or directory: the folder " + (dir_ / "missing").string() + " does not exist",
         false},
        {"inside a file", (dir_ / "file" / "logbook.dat").string(),
         "Not a directory: " + (dir_ / "file").string() + " is not a folder", false},
        {"empty path", "", "No logbook file was given", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogbookFile out;
        EXPECT_FALSE(out.open(row.path));
        EXPECT_TRUE(out.fail());
        EXPECT_EQ(out.failure().reason(), row.error);
        EXPECT_EQ(out.replacesExisting(), row.replaces);
        EXPECT_FALSE(out.commit());
    }
    EXPECT_EQ(entries(), "file logbook.dat");
}

TEST_F(Safety, ADirectoryWithoutRoomForANewFileIsRefused) {
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, whom permission bits do not stop (the command line "
                        "tests cover this case as another user)";
    write("logbook.dat", "old");
    fs::permissions(dir_, fs::perms(0555));
    LogbookFile out;
    EXPECT_FALSE(out.open((dir_ / "logbook.dat").string()));
    EXPECT_EQ(out.failure().reason(), "The directory " + dir_.string() +
                               " allows no new file (Permission denied); the logbook is only ever "
                               "replaced whole, never written in place");
    fs::permissions(dir_, fs::perms(0755));
    EXPECT_EQ(bytesOf(dir_ / "logbook.dat"), "old");
}

TEST_F(Safety, AWrongDirectoryWritesNothing) {
    write("logbook.dat", "old");
    write("a-file", "x");
    const struct {
        const char* name;
        std::string directory;
        std::string text;
    } rows[] = {
        {"empty text", "",
         "Couldn't read the IGC directory!\n\nNo IGC directory was given\nThe old logbook was "
         "left as it was."},
        {"missing", (dir_ / "missing").string(),
         "Couldn't read the IGC directory!\n" + (dir_ / "missing").string() +
             "\nNo such file or directory\nThe old logbook was left as it was."},
        {"a file", (dir_ / "a-file").string(),
         "Couldn't read the IGC directory!\n" + (dir_ / "a-file").string() +
             "\nNot a directory\nThe old logbook was left as it was."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        GenerationRequest request;
        request.igc_directory = row.directory;
        request.logbook_path = (dir_ / "logbook.dat").string();
        request.pilot_name = "Pilot";
        testing_support::RunRecorder recorder;
        const GenerationResult result = generateLogbook(request, recorder);
        EXPECT_EQ(result.failure.kind, FailureKind::Directory);
        EXPECT_EQ(failureText(result), row.text);
        EXPECT_EQ(recorder.lines.str(), "Generating new logbook\n");
    }
    EXPECT_EQ(bytesOf(dir_ / "logbook.dat"), "old");
    EXPECT_EQ(entries(), "a-file logbook.dat");
}

TEST_F(Safety, AnEmptyDirectoryStillGivesTheHeader) {
    fs::create_directories(dir_ / "IGC");
    GenerationRequest request;
    request.igc_directory = (dir_ / "IGC").string();
    request.logbook_path = (dir_ / "logbook.dat").string();
    request.pilot_name = "Pilot";
    testing_support::RunRecorder recorder;
    const GenerationResult result = generateLogbook(request, recorder);
    EXPECT_EQ(result.failure.kind, FailureKind::None);
    EXPECT_EQ(result.backup_path, "");
    EXPECT_EQ(bytesOf(dir_ / "logbook.dat"), "# Thermora Log Book. (Vantaline V1.0)\r\n"
                                             "# This file is autogenerated, do not edit!\r\n"
                                             "\r\nname = Pilot\r\n");
}

TEST_F(Safety, EntriesThatCouldBlockOrLeadNowhereAreSkipped) {
    write("good.igc", "A");
    ASSERT_EQ(mkfifo((dir_ / "pipe.igc").c_str(), 0644), 0);
    fs::create_symlink(dir_ / "pipe.igc", dir_ / "to-pipe.igc");
    fs::create_symlink("/dev/null", dir_ / "device.igc");
    fs::create_symlink(dir_ / "gone", dir_ / "dangling.igc");
    fs::create_symlink(dir_ / "loop-b.igc", dir_ / "loop-a.igc");
    fs::create_symlink(dir_ / "loop-a.igc", dir_ / "loop-b.igc");
    fs::create_symlink(dir_ / "good.igc", dir_ / "to-good.igc");
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = (dir_ / "socket.igc").string();
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    std::copy(socket_path.begin(), socket_path.end(), address.sun_path);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    std::ostringstream skipped;
    const auto files = listFlights(dir_.string(), skipped);
    close(sock);
    ASSERT_TRUE(files.has_value()) << files.error().reason();
    std::vector<std::string> names;
    for (const FlightFile& file : *files)
        names.push_back(file.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"good.igc", "to-good.igc"}));
    // One line each, in the directory's own order: compare as a set of lines.
    std::vector<std::string> lines;
    std::istringstream in(skipped.str());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    const std::string d = dir_.string() + "/";
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Skipping " + d + "dangling.igc: a dangling symbolic link",
                         "Skipping " + d + "device.igc: a character device, not a file",
                         "Skipping " + d + "loop-a.igc: a loop of symbolic links",
                         "Skipping " + d + "loop-b.igc: a loop of symbolic links",
                         "Skipping " + d + "pipe.igc: a named pipe, not a file",
                         "Skipping " + d + "socket.igc: a socket, not a file",
                         "Skipping " + d + "to-pipe.igc: a named pipe, not a file",
                     }));
}

// What the listing saw may have changed by the time the file is read: a named pipe put in a
// flight's place is skipped, not waited on; a link is followed only when it was listed as one.
TEST_F(Safety, AFlightIsReadOnlyAsItWasListed) {
    std::ifstream source(std::string(THERMORA_TEST_DATA) + "/generation/01-search.igc",
                         std::ios::binary);
    write("good.igc", {std::istreambuf_iterator<char>(source), {}});
    ASSERT_EQ(mkfifo((dir_ / "pipe.igc").c_str(), 0644), 0);
    fs::create_symlink(dir_ / "good.igc", dir_ / "link.igc");
    const struct {
        const char* name;
        bool listed_as_link;
        std::string reason; // empty: an entry
    } rows[] = {
        {"pipe.igc", false, "a named pipe, not a file"},
        {"link.igc", false, "not readable: Too many levels of symbolic links"},
        {"link.igc", true, ""},
        {"good.igc", false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FlightFile file;
        file.path = (dir_ / row.name).string();
        file.name = row.name;
        file.is_link = row.listed_as_link;
        const FlightResult result = analyzeFile(file, 0);
        EXPECT_EQ(reasonText(result.reason), row.reason) << result.errors;
        EXPECT_EQ(result.entry.empty(), !row.reason.empty());
    }
}

// Folders swapped for links while a run holds the logbook, as an attacker who owns the path
// would: the run reads and writes only the folders it opened. Its logbook's folder swapped for a
// link to another user's folder leaves that user's logbook and generations alone; its IGC
// folder swapped for a link to a folder the attacker may not read puts none of its recordings
// into the logbook.
TEST_F(Safety, FoldersSwappedDuringARunRedirectNothing) {
    testing_support::FlightBuilder mine(36000, 50.0, 10.0);
    mine.header("HFGTYGLIDERTYPE:Mine").hold(30, 1).move(300, 1, 22, 0).hold(30, 1);
    testing_support::FlightBuilder secret(36000, 50.0, 10.0);
    secret.header("HFGTYGLIDERTYPE:Secret").hold(30, 1).move(300, 1, 22, 0).hold(30, 1);
    const fs::path mal = dir_ / "mal";
    const fs::path victim = dir_ / "victim";
    for (const fs::path& folder : {mal / "data", mal / "IGC", victim / "data", victim / "IGC"})
        fs::create_directories(folder);
    for (const char* name : {"a.igc", "b.igc"}) {
        std::ofstream(mal / "IGC" / name, std::ios::binary) << mine.text();
        std::ofstream(victim / "IGC" / name, std::ios::binary) << secret.text();
    }
    std::ofstream(mal / "data" / "logbook.dat", std::ios::binary) << "# old\r\n";
    for (const std::string name : {"logbook.dat", "logbook.dat.bak.4", "logbook.dat.lock"})
        std::ofstream(victim / "data" / name, std::ios::binary) << "hers: " << name;
    const auto victims = [&victim] {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(victim))
            if (entry.is_regular_file())
                files[entry.path().string()] = bytesOf(entry.path());
        return files;
    };
    const auto before = victims();

    GenerationRequest request;
    request.igc_directory = (mal / "IGC").string();
    request.logbook_path = (mal / "data" / "logbook.dat").string();
    request.pilot_name = "P";
    request.min_time_minutes = 0;
    request.jobs = 1;
    bool swapped = false;
    testing_support::RunRecorder recorder;
    recorder.on_file = [&](const FlightResult&) {
        if (std::exchange(swapped, true))
            return;
        fs::rename(mal / "data", mal / "data.was");
        fs::create_directory_symlink(victim / "data", mal / "data");
        fs::rename(mal / "IGC", mal / "IGC.was");
        fs::create_directory_symlink(victim / "IGC", mal / "IGC");
    };
    const GenerationResult result = generateLogbook(request, recorder);
    ASSERT_EQ(result.failure.kind, FailureKind::None) << failureText(result);
    EXPECT_EQ(victims(), before) << "nothing of hers touched";
    const std::string written = bytesOf(mal / "data.was" / "logbook.dat");
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 4 + 2) << written;
    EXPECT_EQ(written.find("Secret"), std::string::npos) << written;
    EXPECT_EQ(bytesOf(mal / "data.was" / "logbook.dat.bak"), "# old\r\n");
}

// A lock file removed by hand during a run no longer keeps a second run out: the first one
// writes nothing, so that two runs never both write.
TEST_F(Safety, ARunWhoseLockFileWasRemovedDoesNotWrite) {
    write("logbook.dat", "old");
    fs::create_directories(dir_ / "IGC");
    testing_support::FlightBuilder flight(36000, 50.0, 10.0);
    flight.hold(30, 1).move(300, 1, 22, 0).hold(30, 1);
    std::ofstream(dir_ / "IGC" / "a.igc", std::ios::binary) << flight.text();
    GenerationRequest request;
    request.igc_directory = (dir_ / "IGC").string();
    request.logbook_path = (dir_ / "logbook.dat").string();
    request.pilot_name = "P";
    testing_support::RunRecorder recorder;
    recorder.on_file = [this](const FlightResult&) { fs::remove(dir_ / "logbook.dat.lock"); };
    const GenerationResult result = generateLogbook(request, recorder);
    EXPECT_EQ(result.failure.kind, FailureKind::Busy);
    EXPECT_NE(failureText(result).find("was removed or replaced during the run"), std::string::npos)
        << failureText(result);
    EXPECT_EQ(bytesOf(dir_ / "logbook.dat"), "old");
    EXPECT_EQ(entries(), "IGC logbook.dat");
}

// A generation's name that is a link is moved as the link, or given up as one: the backup is
// put there by a rename, never written through it, whoever's the link is.
TEST_F(Safety, AGenerationThatIsALinkIsNeverWrittenThrough) {
    const struct {
        const char* name;
        int links;         // .bak, .bak.1, ... that are links to a file elsewhere
        const char* after; // each generation afterwards: the old logbook, a link, or none
    } rows[] = {
        {".bak a link", 1, "old link - - -"},
        {"every generation a link", kGenerations, "old link link link link"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "elsewhere");
        write("elsewhere/kept.dat", "ELSEWHERE");
        write("logbook.dat", "old");
        const std::string path = (dir_ / "logbook.dat").string();
        for (int age = 0; age < row.links; ++age)
            fs::create_symlink(dir_ / "elsewhere" / "kept.dat", generationName(path, age));
        LogbookFile out;
        ASSERT_TRUE(out.open(path));
        out << "new\n";
        ASSERT_TRUE(out.commit()) << out.failure().reason();
        std::string after;
        for (int age = 0; age < kGenerations; ++age) {
            const fs::path generation = generationName(path, age);
            after += age == 0 ? "" : " ";
            after += fs::is_symlink(generation) ? "link"
                     : fs::exists(generation)   ? bytesOf(generation)
                                                : "-";
        }
        EXPECT_EQ(after, row.after);
        EXPECT_EQ(bytesOf(path), "new\r\n");
        EXPECT_EQ(bytesOf(dir_ / "elsewhere" / "kept.dat"), "ELSEWHERE");
        EXPECT_EQ(testing_support::namesIn(dir_ / "elsewhere"), "kept.dat");
    }
}

// Equal modification times keep the order the toolkit's listing gave them; for names that are
// valid text the two listings must agree exactly.
TEST_F(Safety, OrderAgreesWithTheToolkitsListing) {
    using namespace std::chrono_literals;
    const char* names[] = {"b.igc",
                           "B.igc",
                           "a.IGC",
                           "a.igc",
                           "10.igc",
                           "9.igc",
                           "z\xC3\xBC.igc",
                           "zu.igc",
                           "Zz.igc",
                           "\xEE\x80\x80.igc",
                           "\xF0\x9F\x98\x80.igc",
                           "\xE2\x82\xAC.igc",
                           "_x.igc",
                           "x y.igc",
                           "\xC3\x85.igc"};
    const auto base = fs::file_time_type::clock::now() - 2h;
    int k = 0;
    for (const char* name : names) {
        write(name, "A");
        // Three groups of equal times, one of them a millisecond apart from another.
        const auto offset = k % 3 == 0 ? 0ms : k % 3 == 1 ? 1ms : 5000ms;
        fs::last_write_time(dir_ / name, base + offset);
        ++k;
    }
    std::ostringstream skipped;
    const auto files = listFlights(dir_.string(), skipped);
    ASSERT_TRUE(files.has_value());
    QStringList ours;
    for (const FlightFile& file : *files)
        ours << QFile::decodeName(QByteArray::fromStdString(file.name));
    const QDir toolkit(QFile::decodeName(dir_.c_str()), QStringLiteral("*.igc;*.IGC"),
                       QDir::SortFlags(QDir::Time | QDir::Reversed),
                       QDir::Filters(QDir::Dirs | QDir::Files | QDir::Drives));
    EXPECT_EQ(ours.join(u'|').toStdString(), toolkit.entryList().join(u'|').toStdString());
}

TEST_F(Safety, NamesAreBytes) {
    const std::string odd = "fl\xFF\xFEg.igc";
    write(odd, "A");
    fs::create_directories(dir_ / "dir\xFF");
    std::ofstream(dir_ / "dir\xFF" / "x.igc") << "A";
    std::ostringstream skipped;
    const auto files = listFlights(dir_.string(), skipped);
    ASSERT_TRUE(files.has_value());
    ASSERT_EQ(files->size(), 1U);
    EXPECT_EQ(files->front().path, (dir_ / odd).string());
    const auto inner = listFlights((dir_ / "dir\xFF").string() + "/", skipped);
    ASSERT_TRUE(inner.has_value()) << inner.error().reason();
    ASSERT_EQ(inner->size(), 1U);
    EXPECT_EQ(inner->front().path, (dir_ / "dir\xFF" / "x.igc").string());
}

TEST(EntryFileName, NeverAddsAFieldOrALine) {
    const struct {
        const char* name;
        std::string file_name;
        std::string field;
    } rows[] = {
        {"plain", "flight.igc", "flight.igc"},
        {"semicolon", "a;b.igc", "a_b.igc"},
        {"line feed", "a\nb.igc", "a_b.igc"},
        {"carriage return", "a\rb.igc", "a_b.igc"},
        {"escape and delete", "\x1B[31m\x7F.igc", "_[31m_.igc"},
        {"tab", "a\tb.igc", "a_b.igc"},
        {"Latin-1 letters kept",
         "Flug \xC3\xBC"
         "ber.igc",
         "Flug \xFC"
         "ber.igc"},
        {"not valid text", "fl\xFF.igc", "fl?.igc"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(entryFileName(row.file_name), row.field);
    }
}

TEST(PilotName, ControlCharactersAreRefused) {
    const struct {
        std::string name;
        bool refused;
    } rows[] = {{"Example Pilot", false}, {"  blanks ", false},
                {"J\xFCrgen", false},     {"a\nb", true},
                {"a\rb", true},           {"a\tb", true},
                {"\x7F", true},           {std::string(1, '\0'), true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(hasControlCharacter(row.name), row.refused);
    }
}

} // namespace
} // namespace logbook
