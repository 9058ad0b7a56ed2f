// The command line never loses a logbook: signals, a second run at the same time, a full disk,
// a directory that allows no new file, special files in the IGC directory, wrong directories,
// and names that are not text, all through the real program.

#include "support/ChildProcess.h"
#include "support/FileBytes.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace {

namespace fs = std::filesystem;
using testing_support::bytesOf;
using testing_support::ChildProcess;

const std::string kOld = "# old logbook\r\nname = Someone\r\n";

class CliSafety : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testing_support::freshTestDirectory("cli-safety-");
        fs::create_directories(dir_ / "out");
        fs::copy(THERMORA_DEMO_IGC, dir_ / "IGC");
        int minute = 0;
        for (const auto& entry : fs::directory_iterator(dir_ / "IGC"))
            fs::last_write_time(entry.path(), fs::file_time_type::clock::now() -
                                                  std::chrono::minutes(100 - ++minute));
        logbook_ = (dir_ / "out" / "logbook.dat").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A directory of `count` flights (links to one recording), long enough to be caught mid-run.
    std::string manyFlights(int count) const {
        const fs::path many = dir_ / "many";
        fs::create_directories(many);
        for (int k = 0; k < count; ++k)
            fs::create_hard_link(dir_ / "IGC" / "2026-05-14-triangle.igc",
                                 many / ("f" + std::to_string(k) + ".igc"));
        return many.string();
    }
    static std::vector<std::string> cli(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), THERMORA_CLI);
        return arguments;
    }
    // The names in the logbook's directory, sorted.
    std::string outEntries() const { return testing_support::namesIn(dir_ / "out"); }
    fs::path dir_;
    std::string logbook_;
};

TEST_F(CliSafety, AnInterruptedRunLeavesTheOldLogbookAndNothingElse) {
    const std::string many = manyFlights(3000);
    const struct {
        int signal_number;
        int exit_code; // -1: killed, no word said
    } rows[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}, {SIGPIPE, 141}, {SIGKILL, -1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signal_number);
        std::ofstream(logbook_, std::ios::binary) << kOld;
        ChildProcess run(cli({"-p", "X", "-d", many, "-o", logbook_, "-y"}));
        ASSERT_TRUE(run.waitForErrors("Generating new logbook\n"));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(run.pid(), row.signal_number);
        ASSERT_TRUE(run.wait());
        EXPECT_EQ(bytesOf(logbook_), kOld);
        EXPECT_EQ(run.exit_code, row.exit_code);
        if (row.exit_code > 0) {
            const std::string last = "thermora-logbook-cli: interrupted; the logbook " + logbook_ +
                                     " was left as it was\n";
            ASSERT_GE(run.errors.size(), last.size());
            EXPECT_EQ(run.errors.substr(run.errors.size() - last.size()), last);
        }
        // Whatever the run was killed in, the next run leaves nothing of it behind.
        ChildProcess next(cli({"-p", "X", "-d", (dir_ / "IGC").string(), "-o", logbook_, "-y"}));
        ASSERT_TRUE(next.wait());
        EXPECT_EQ(next.exit_code, 0) << next.errors;
        EXPECT_EQ(outEntries(), "logbook.dat logbook.dat.bak logbook.dat.lock");
        fs::remove(logbook_ + ".bak");
    }
}

TEST_F(CliSafety, RunsAtOnceExcludeEachOther) {
    const std::string many = manyFlights(200);
    std::string outputs[5];
    for (int k = 0; k < 5; ++k) {
        const std::string alone = (dir_ / ("alone" + std::to_string(k))).string();
        fs::create_directories(alone);
        ChildProcess reference(cli(
            {"-p", "Pilot " + std::to_string(k), "-d", many, "-o", alone + "/logbook.dat", "-q"}));
        ASSERT_TRUE(reference.wait());
        outputs[k] = bytesOf(alone + "/logbook.dat");
    }
    const auto isOutput = [&outputs](const std::string& bytes) {
        return std::find(std::begin(outputs), std::end(outputs), bytes) != std::end(outputs);
    };
    std::ofstream(logbook_, std::ios::binary) << kOld;
    std::vector<std::unique_ptr<ChildProcess>> runs;
    for (int k = 0; k < 5; ++k)
        runs.push_back(std::make_unique<ChildProcess>(
            cli({"-p", "Pilot " + std::to_string(k), "-d", many, "-o", logbook_, "-y", "-q"})));
    int written = 0;
    for (const auto& run : runs) {
        ASSERT_TRUE(run->wait());
        if (run->exit_code == 0) {
            ++written;
            continue;
        }
        EXPECT_EQ(run->exit_code, 1);
        EXPECT_EQ(run->errors,
                  "Generating new logbook\nthermora-logbook-cli: Couldn't write the logbook file!\n"
                  "another run is writing " +
                      logbook_ + " (it holds the lock file " + logbook_ +
                      ".lock); wait until it has finished\nThe old logbook was left as it was.\n");
    }
    EXPECT_GE(written, 1);
    // One whole logbook, and the backup either the old one or a whole one of another run.
    EXPECT_TRUE(isOutput(bytesOf(logbook_)));
    const std::string backup = bytesOf(logbook_ + ".bak");
    EXPECT_TRUE(backup == kOld || isOutput(backup));
    EXPECT_EQ(written == 1, backup == kOld);
    EXPECT_EQ(outEntries(), "logbook.dat logbook.dat.bak logbook.dat.lock");
}

TEST_F(CliSafety, NothingInTheIgcDirectoryHangsTheRun) {
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0644), 0);
    fs::create_symlink(dir_ / "fifo", dir_ / "IGC" / "x.igc");
    fs::create_symlink(dir_ / "nowhere", dir_ / "IGC" / "gone.igc");
    ChildProcess run(cli({"-p", "X", "-d", (dir_ / "IGC").string(), "-o", logbook_}));
    ASSERT_TRUE(run.wait(std::chrono::seconds(60))) << "the run hangs";
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    const std::string igc = (dir_ / "IGC").string();
    EXPECT_NE(run.errors.find("Skipping " + igc + "/x.igc: a named pipe, not a file\n"),
              std::string::npos)
        << run.errors;
    EXPECT_NE(run.errors.find("Skipping " + igc + "/gone.igc: a dangling symbolic link\n"),
              std::string::npos);
}

TEST_F(CliSafety, WrongDirectoriesAndPilotNamesWriteNothing) {
    std::ofstream(dir_ / "a-file") << "x";
    const std::string missing = (dir_ / "missing").string();
    const std::string file = (dir_ / "a-file").string();
    const std::string old_kept = "\nThe old logbook was left as it was.\n";
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        int exit_code;
        std::string errors;
    } rows[] = {
        {"missing directory",
         {"-p", "X", "-d", missing, "-o", logbook_, "-y"},
         1,
         "Generating new logbook\nthermora-logbook-cli: Couldn't read the IGC directory!\n" +
             missing + "\nNo such file or directory" + old_kept},
        {"empty directory text",
         {"-p", "X", "-d", "", "-o", logbook_, "-y"},
         1,
         "Generating new logbook\nthermora-logbook-cli: Couldn't read the IGC directory!\n\nNo IGC "
         "directory was "
         "given" +
             old_kept},
        {"a file as directory",
         {"-p", "X", "--igc-dir=" + file, "-o", logbook_, "-y"},
         1,
         "Generating new logbook\nthermora-logbook-cli: Couldn't read the IGC directory!\n" + file +
             "\nNot a directory" + old_kept},
        {"pilot name with a line break",
         {"-p", "Pilot\nname = Other", "-d", (dir_ / "IGC").string(), "-o", logbook_, "-y"},
         2,
         "thermora-logbook-cli: the pilot name must not hold a line break or any other control "
         "character\nTry 'thermora-logbook-cli --help' for more information.\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::ofstream(logbook_, std::ios::binary) << kOld;
        ChildProcess run(cli(row.arguments));
        ASSERT_TRUE(run.wait());
        EXPECT_EQ(run.exit_code, row.exit_code);
        EXPECT_EQ(run.errors, row.errors);
        EXPECT_EQ(bytesOf(logbook_), kOld);
        EXPECT_EQ(outEntries(), "logbook.dat");
    }
}

// An IGC directory without flights (a wrong one, say) empties a logbook that holds entries only
// with --allow-empty; with no entry to lose, the empty logbook is written.
TEST_F(CliSafety, ALogbookIsEmptiedOnlyWhenAllowed) {
    const std::string none = (dir_ / "none").string();
    fs::create_directories(none);
    const std::string header = "#\r\n#\r\n\r\nname = Someone\r\n";
    const std::string wrote = "Wrote 0 entries to " + logbook_;
    const std::string kept = "; the old logbook was kept as " + logbook_ + ".bak\n";
    const struct {
        const char* old; // none: no logbook before
        const char* option;
        int exit_code;
        std::string errors; // after "Generating new logbook"
    } rows[] = {
        {"a;b\r\n", "-y", 1,
         "thermora-logbook-cli: The logbook was not replaced by an empty one.\nThe folder " + none +
             " holds no IGC file.\nThe old logbook was left as it was.\nGive --allow-empty to "
             "write the empty logbook anyway.\n"},
        {"a;b\r\n", "--allow-empty", 0,
         "Dropped line 5 (no entry: a;b): it names no recording in " + none +
             "\nhint: give --keep-missing to keep the flights whose recording is gone\nwarning: " +
             wrote +
             ", 1 fewer than the 1 of the logbook it replaced (0 files read, 0 "
             "skipped)" +
             kept},
        {"", "-y", 0, wrote + "; the logbook it replaced had 0 (0 files read, 0 skipped)" + kept},
        {nullptr, "-y", 0, wrote + " (0 files read, 0 skipped)\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.old == nullptr ? "no logbook" : row.old);
        fs::remove_all(dir_ / "out");
        fs::create_directories(dir_ / "out");
        if (row.old != nullptr)
            std::ofstream(logbook_, std::ios::binary) << header + row.old;
        ChildProcess run(cli({"-p", "X", "-d", none, "-o", logbook_, "-y", row.option}));
        ASSERT_TRUE(run.wait());
        EXPECT_EQ(run.exit_code, row.exit_code);
        EXPECT_EQ(run.errors, "Generating new logbook\n" + row.errors);
        const std::string logbook = bytesOf(logbook_);
        EXPECT_TRUE(row.exit_code == 0 ? logbook.ends_with("\r\n\r\nname = X\r\n")
                                       : logbook == header + row.old)
            << logbook;
    }
}

TEST_F(CliSafety, NamesAndPathsAreBytes) {
    // A directory and files whose names are not valid UTF-8, and names that would break lines.
    const fs::path odd_dir = dir_ / "IGC\xFF";
    fs::create_directories(odd_dir);
    const fs::path local = dir_ / "IGC" / "2026-05-16-local.igc";
    const char* names[] = {"fl\xFF.igc", "a;b.igc", "new\nline.igc", "car\rriage.igc"};
    int minute = 0;
    for (const char* name : names) {
        fs::copy_file(local, odd_dir / name);
        fs::last_write_time(odd_dir / name,
                            fs::file_time_type::clock::now() - std::chrono::minutes(10 - ++minute));
    }
    const std::string odd_logbook = (dir_ / "out" / "lb\xFF.dat").string();
    std::ofstream(odd_logbook, std::ios::binary) << kOld;

    ChildProcess refused(cli({"-p", "X", "-d", odd_dir.string(), "-o", odd_logbook}));
    ASSERT_TRUE(refused.wait());
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.errors, "thermora-logbook-cli: Not replacing the existing logbook " +
                                  odd_logbook + " (give --yes to replace it)\n");

    ChildProcess run(cli({"-p", "X", "-yd", odd_dir.string(), "-o" + odd_logbook, "-q"}));
    ASSERT_TRUE(run.wait());
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_EQ(outEntries(), "lb\xFF.dat lb\xFF.dat.bak lb\xFF.dat.lock");
    EXPECT_EQ(bytesOf(odd_logbook + ".bak"), kOld);
    const std::string logbook = bytesOf(odd_logbook);
    // Four entries of nine fields each, one line each, in the order of the files' times.
    std::vector<std::string> file_fields;
    std::size_t at = logbook.find("name = X\r\n") + 10;
    for (std::size_t end; (end = logbook.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const std::string line = logbook.substr(at, end - at);
        EXPECT_EQ(std::count(line.begin(), line.end(), ';'), 8) << line;
        file_fields.push_back(line.substr(line.rfind(';') + 1));
    }
    EXPECT_EQ(file_fields,
              (std::vector<std::string>{"fl?.igc", "a_b.igc", "new_line.igc", "car_riage.igc"}));
}

TEST_F(CliSafety, AFullDiskLeavesTheOldLogbook) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system for a full disk needs root";
    const fs::path small = dir_ / "out";
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no tmpfs could be mounted here: " << std::strerror(errno);
    struct Unmount {
        fs::path path;
        ~Unmount() { umount(path.c_str()); }
    } unmount{small};
    std::ofstream(logbook_, std::ios::binary) << kOld;
    {
        // Leaves a few kilobytes free: room for the start of the new logbook, not for all of it.
        std::ofstream filler(small / "filler", std::ios::binary);
        filler << std::string(52 * 1024, 'x');
    }
    const std::string many = manyFlights(300);
    ChildProcess run(cli({"-p", "X", "-d", many, "-o", logbook_, "-y", "-q"}));
    ASSERT_TRUE(run.wait());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.errors,
              "Generating new logbook\nthermora-logbook-cli: Couldn't write the logbook file!\n" +
                  logbook_ + "\nNo space left on device\nThe old logbook was left as it was.\n");
    EXPECT_EQ(bytesOf(logbook_), kOld);
    EXPECT_EQ(outEntries(), "filler logbook.dat logbook.dat.lock");
}

TEST_F(CliSafety, ADirectoryWithoutRoomForANewFileIsRefused) {
    std::vector<std::string> as_other_user;
    if (geteuid() == 0) {
        // Root passes every permission check: run the program as nobody.
        if (!fs::exists("/usr/bin/setpriv"))
            GTEST_SKIP() << "setpriv(1) from util-linux is needed to run as another user";
        as_other_user = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        std::vector<std::string> probe = as_other_user;
        probe.insert(probe.end(), {"/usr/bin/test", "-x", THERMORA_CLI});
        ChildProcess reachable(probe);
        if (!reachable.wait() || reachable.exit_code != 0)
            GTEST_SKIP() << "the user nobody cannot run " THERMORA_CLI
                            " (a build below a private directory)";
    }
    std::ofstream(logbook_, std::ios::binary) << kOld;
    fs::permissions(logbook_, fs::perms(0666));
    fs::permissions(dir_, fs::perms(0755));
    fs::permissions(dir_ / "IGC", fs::perms(0755));
    fs::permissions(dir_ / "out", fs::perms(0555));
    std::vector<std::string> arguments =
        cli({"-p", "X", "-d", (dir_ / "IGC").string(), "-o", logbook_, "-y"});
    arguments.insert(arguments.begin(), as_other_user.begin(), as_other_user.end());
    ChildProcess run(arguments);
    ASSERT_TRUE(run.wait());
    fs::permissions(dir_ / "out", fs::perms(0755));
    EXPECT_EQ(run.exit_code, 1) << run.errors;
    EXPECT_EQ(
        run.errors,
        "Generating new logbook\nthermora-logbook-cli: Couldn't open output logbook file!\nEnsure "
        "that you have write permission to the Thermora data directory\n" +
            logbook_ + "\nThe directory " + (dir_ / "out").string() +
            " allows no new file (Permission denied); the logbook is only "
            "ever replaced whole, never written in place\nThe old logbook was "
            "left as it was.\n");
    EXPECT_EQ(bytesOf(logbook_), kOld);
}

} // namespace
