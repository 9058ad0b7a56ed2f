// The command line as an attacker and a careless user would try it: a backup that grants
// nothing, only a regular file replaced, nothing left behind by a dead run, an IGC directory
// that cannot be searched, and file names that would speak to the terminal.

#include "support/ChildProcess.h"
#include "support/FileBytes.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using testing_support::bytesOf;
using testing_support::ChildProcess;

constexpr uid_t kNobody = 65534;
const std::string kOld = "# old logbook\r\nname = Someone\r\n";

class CliAbuse : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testing_support::freshTestDirectory("cli-abuse-");
        fs::permissions(dir_, fs::perms(0755));
        fs::copy(THERMORA_DEMO_IGC, dir_ / "IGC");
        fs::create_directories(dir_ / "out");
        logbook_ = (dir_ / "out" / "logbook.dat").string();
    }
    void TearDown() override {
        fs::permissions(dir_ / "IGC", fs::perms(0755));
        fs::remove_all(dir_);
    }
    std::string outEntries() const { return testing_support::namesIn(dir_ / "out"); }

    // The command line with `arguments`, run as the user nobody when `other_user`; empty (and
    // `why` set) when that user cannot run the build here.
    static std::vector<std::string> cli(std::vector<std::string> arguments, bool other_user,
                                        std::string& why) {
        arguments.insert(arguments.begin(), THERMORA_CLI);
        if (!other_user)
            return arguments;
        if (!fs::exists("/usr/bin/setpriv")) {
            why = "setpriv(1) from util-linux is needed to run as another user";
            return {};
        }
        const std::vector<std::string> as = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                             "--clear-groups"};
        std::vector<std::string> probe = as;
        probe.insert(probe.end(), {"/usr/bin/test", "-x", THERMORA_CLI});
        ChildProcess reachable(probe);
        if (!reachable.wait() || reachable.exit_code != 0) {
            why = "the user nobody cannot run " THERMORA_CLI " (a build below a private directory)";
            return {};
        }
        arguments.insert(arguments.begin(), as.begin(), as.end());
        return arguments;
    }

    fs::path dir_;
    std::string logbook_;
};

TEST_F(CliAbuse, TheBackupIsTheReplacedLogbookItself) {
    const struct {
        const char* name;
        bool root_only; // another user's logbook, replaced by root
        uid_t owner;
        mode_t mode;
    } rows[] = {
        {"the pilot's own, private", false, 0, 0600},
        {"the pilot's own, shared", false, 0, 0664},
        {"a set-user-ID program of nobody's", true, kNobody, 04755},
        {"nobody's private logbook", true, kNobody, 0600},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.root_only && geteuid() != 0) {
            std::cout << "skipped row '" << row.name << "': only root can give a file away\n";
            continue;
        }
        fs::remove_all(dir_ / "out");
        fs::create_directories(dir_ / "out");
        const uid_t owner = row.root_only ? row.owner : geteuid();
        const gid_t group = row.root_only ? row.owner : getegid();
        ASSERT_EQ(chown((dir_ / "out").c_str(), owner, group), 0);
        fs::copy_file("/usr/bin/id", logbook_);
        ASSERT_EQ(chown(logbook_.c_str(), owner, group), 0);
        ASSERT_EQ(chmod(logbook_.c_str(), row.mode), 0);
        struct stat old {};
        ASSERT_EQ(stat(logbook_.c_str(), &old), 0);

        std::string why;
        ChildProcess run(
            cli({"-p", "P", "-d", (dir_ / "IGC").string(), "-o", logbook_, "-y"}, false, why));
        ASSERT_TRUE(run.wait());
        EXPECT_EQ(run.exit_code, 0) << run.errors;

        // The old file under the backup's name: same file, owner, group, mode; nothing copied.
        struct stat backup {};
        ASSERT_EQ(stat((logbook_ + ".bak").c_str(), &backup), 0);
        EXPECT_EQ(backup.st_ino, old.st_ino);
        EXPECT_EQ(backup.st_uid, owner);
        EXPECT_EQ(backup.st_gid, group);
        EXPECT_EQ(backup.st_mode, old.st_mode);
        // The new logbook: the pilot's, with his permissions, never a set-ID bit.
        struct stat fresh {};
        ASSERT_EQ(stat(logbook_.c_str(), &fresh), 0);
        EXPECT_EQ(fresh.st_uid, owner);
        EXPECT_EQ(fresh.st_gid, group);
        EXPECT_EQ(fresh.st_mode & 07777, row.mode & 0777);
        EXPECT_EQ(outEntries(), "logbook.dat logbook.dat.bak logbook.dat.lock");
    }
}

TEST_F(CliAbuse, OnlyARegularFileIsReplaced) {
    const std::string out = (dir_ / "out").string() + "/";
    ASSERT_EQ(mkfifo((out + "pipe.dat").c_str(), 0644), 0);
    fs::create_symlink("/dev/null", out + "null.dat");
    fs::create_symlink(out + "gone", out + "dangling.dat");
    fs::create_directories(out + "dir.dat");
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = out + "socket.dat";
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    std::copy(socket_path.begin(), socket_path.end(), address.sun_path);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(sock);
    std::ofstream(out + "protected.dat", std::ios::binary) << kOld;
    fs::permissions(out + "protected.dat", fs::perms(0444));
    const bool root = geteuid() == 0;
    if (root) { // a device node of its own, /dev/null's numbers
        ASSERT_EQ(mknod((out + "device.dat").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }
    const std::string before = outEntries();

    const std::string refused =
        "Generating new logbook\nthermora-logbook-cli: Couldn't write the logbook file!\n";
    const struct {
        const char* name;
        bool other_user;
        std::string errors;
    } rows[] = {
        {"pipe.dat", false, refused + out + "pipe.dat is a named pipe, not a logbook file"},
        {"null.dat", false, refused + out + "null.dat is a character device, not a logbook file"},
        {"socket.dat", false, refused + out + "socket.dat is a socket, not a logbook file"},
        {"dangling.dat", false, refused + out + "dangling.dat points to nothing"},
        {"dir.dat", false, refused + out + "dir.dat is a directory, not a logbook file"},
        {"device.dat", false,
         refused + out + "device.dat is a character device, not a logbook file"},
        {"protected.dat", root,
         "Generating new logbook\nthermora-logbook-cli: Couldn't open output logbook file!\nEnsure "
         "that you have write "
         "permission to the Thermora data directory\n" +
             out + "protected.dat\nPermission denied"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (!root && std::string(row.name) == "device.dat")
            continue; // only root makes device nodes
        std::string why;
        const std::vector<std::string> arguments =
            cli({"-p", "P", "-d", (dir_ / "IGC").string(), "-o", out + row.name, "-y"},
                row.other_user, why);
        if (arguments.empty()) {
            std::cout << "skipped row " << row.name << ": " << why << "\n";
            continue;
        }
        ChildProcess run(arguments);
        ASSERT_TRUE(run.wait());
        EXPECT_EQ(run.exit_code, 1);
        const bool had = std::string(row.name) == "protected.dat";
        EXPECT_EQ(run.errors, row.errors + (had ? "\nThe old logbook was left as it was.\n"
                                                : "\nNo logbook was written.\n"));
        EXPECT_EQ(outEntries(), before);
    }
    EXPECT_EQ(bytesOf(out + "protected.dat"), kOld);
    EXPECT_TRUE(fs::is_fifo(out + "pipe.dat"));
}

TEST_F(CliAbuse, TheSystemsOwnDeviceIsRefusedInAPrivateMountNamespace) {
    if (geteuid() != 0 || !fs::exists("/usr/bin/unshare"))
        GTEST_SKIP() << "a private mount namespace with a /dev of its own needs root and unshare";
    // If the run replaced what it was given, it would replace only the namespace's own node.
    const std::string script = "mount -t tmpfs tmpfs /dev && mknod -m 666 /dev/null c 1 3 && "
                               "exec \"$0\" -p P -d \"$1\" -o /dev/null -y";
    ChildProcess run({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                      script, THERMORA_CLI, (dir_ / "IGC").string()});
    ASSERT_TRUE(run.wait());
    if (run.errors.find("Generating") == std::string::npos)
        GTEST_SKIP() << "no private mount namespace here: " << run.errors;
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.errors, "Generating new logbook\nthermora-logbook-cli: Couldn't write the "
                          "logbook file!\n/dev/null is "
                          "a character device, not a logbook file\nNo logbook was written.\n");
}

TEST_F(CliAbuse, NothingOfADeadRunStaysBehind) {
    std::ofstream(logbook_, std::ios::binary) << kOld;
    // What runs killed between their steps leave: temporary files beside the logbook. Names
    // that merely look alike belong to someone else.
    for (const char* name : {"logbook.dat.tmp-Ab12Cd", "logbook.dat.tmp-zzzzzz",
                             "logbook.dat.tmp-kept", "other.dat.tmp-Ab12Cd", "logbook.dat.old"})
        std::ofstream(dir_ / "out" / name) << "x";
    std::string why;
    ChildProcess run(
        cli({"-p", "P", "-d", (dir_ / "IGC").string(), "-o", logbook_, "-y"}, false, why));
    ASSERT_TRUE(run.wait());
    EXPECT_EQ(run.exit_code, 0) << run.errors;
    EXPECT_EQ(outEntries(), "logbook.dat logbook.dat.bak logbook.dat.lock logbook.dat.old "
                            "logbook.dat.tmp-kept other.dat.tmp-Ab12Cd");

    // A reader of the output that goes away ends the run as SIGTERM would: exit 141, the old
    // logbook as it was, nothing left.
    fs::create_directories(dir_ / "broken");
    for (int k = 0; k < 3000; ++k)
        fs::create_hard_link(dir_ / "IGC" / "2026-05-23-broken.igc",
                             dir_ / "broken" / ("b" + std::to_string(k) + ".igc"));
    const std::string logbook = bytesOf(logbook_);
    ChildProcess piped({"/bin/bash", "-c",
                        "\"$0\" -p P -d \"$1\" -o \"$2\" -y 2>&1 | head -c 10 >/dev/null; "
                        "echo ${PIPESTATUS[0]}",
                        THERMORA_CLI, (dir_ / "broken").string(), logbook_});
    ASSERT_TRUE(piped.wait());
    EXPECT_EQ(piped.output, "141\n");
    EXPECT_EQ(bytesOf(logbook_), logbook);
    EXPECT_EQ(outEntries(), "logbook.dat logbook.dat.bak logbook.dat.lock logbook.dat.old "
                            "logbook.dat.tmp-kept other.dat.tmp-Ab12Cd");
}

TEST_F(CliAbuse, AnIgcDirectoryThatCannotBeSearchedIsUnreadable) {
    std::ofstream(logbook_, std::ios::binary) << kOld;
    fs::permissions(dir_ / "out", fs::perms(0777));
    fs::permissions(logbook_, fs::perms(0666));
    fs::permissions(dir_ / "IGC", fs::perms(0444)); // names listed, files not to be opened
    std::string why;
    const std::vector<std::string> arguments =
        cli({"-p", "P", "-d", (dir_ / "IGC").string(), "-o", logbook_, "-y"}, geteuid() == 0, why);
    if (arguments.empty())
        GTEST_SKIP() << why;
    ChildProcess run(arguments);
    ASSERT_TRUE(run.wait());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.errors,
              "Generating new logbook\nthermora-logbook-cli: Couldn't read the IGC directory!\n" +
                  (dir_ / "IGC").string() +
                  "\nPermission denied\nThe old logbook was left as it was.\n");
    EXPECT_EQ(bytesOf(logbook_), kOld);
}

// Another user's links are not followed, to write or to read: bob's link at his installation's
// logbook path, in a sticky folder or to a folder of root's leaves root's files as they were;
// his link in his IGC folder to a recording of root's is skipped, never read into a logbook.
// The pilot's own links, and bob's to his own files, are followed as ever.
TEST_F(CliAbuse, AnotherUsersLinksAreNotFollowed) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to make another user's link";
    const fs::path root = dir_ / "root";
    const std::string flight = "2026-05-16-local.igc";
    // Made as bob (nobody) would have made it, or as root.
    const auto made = [](const fs::path& path, bool bobs) {
        if (bobs) {
            ASSERT_EQ(lchown(path.c_str(), kNobody, kNobody), 0) << path;
        }
    };
    const auto link = [&made](const fs::path& target, const fs::path& path, bool bobs) {
        fs::create_symlink(target, path);
        made(path, bobs);
    };
    const auto old = [&made](const fs::path& path, bool bobs) {
        std::ofstream(path, std::ios::binary) << kOld;
        made(path, bobs);
    };
    fs::create_directories(root);
    old(root / "secret.dat", false);
    fs::copy_file(dir_ / "IGC" / flight, root / flight);
    fs::permissions(root / "secret.dat", fs::perms(0600));
    fs::permissions(root / flight, fs::perms(0600));
    fs::permissions(root, fs::perms(0700));
    // bob's installations: "bob" whose links lead to root's files, "bob2" whose lead to his own.
    for (const char* home : {"bob", "bob2"}) {
        fs::create_directories(dir_ / home / "data");
        fs::copy(dir_ / "IGC", dir_ / home / "data" / "IGC");
        for (const fs::path& path :
             {dir_ / home, dir_ / home / "data", dir_ / home / "data" / "IGC"})
            made(path, true);
    }
    link(root / "secret.dat", dir_ / "bob" / "data" / "logbook.dat", true);
    link(root / flight, dir_ / "bob" / "data" / "IGC" / "mine.igc", true);
    old(dir_ / "bob2" / "kept.dat", true);
    link(dir_ / "bob2" / "kept.dat", dir_ / "bob2" / "data" / "logbook.dat", true);
    fs::copy_file(dir_ / "IGC" / flight, dir_ / "bob2" / "flight.igc");
    made(dir_ / "bob2" / "flight.igc", true);
    link(dir_ / "bob2" / "flight.igc", dir_ / "bob2" / "data" / "IGC" / "mine.igc", true);
    fs::create_directories(dir_ / "tmp");
    fs::permissions(dir_ / "tmp", fs::perms(01777));
    link(root / "secret.dat", dir_ / "tmp" / "logbook.dat", true);
    link(root, dir_ / "bobs-out", true);
    link(root, dir_ / "bobs-igc", true);
    // The pilot's (root's) own links.
    old(dir_ / "mine.dat", false);
    link(dir_ / "mine.dat", logbook_, false);
    link(root / flight, dir_ / "IGC" / "mine.igc", false);
    old(dir_ / "out" / "other.dat", false);

    const std::string d = dir_.string() + "/";
    const std::string refused = "thermora-logbook-cli: Couldn't write the logbook file!\n";
    const std::string not_followed = " is a link of another user's; not followed\n";
    const struct {
        const char* name;
        const char* installation; // THERMORA_DIR, else the two below
        std::string igc;
        std::string logbook;
        int exit_code;
        std::string said;    // a line of standard error
        const char* written; // the file that now holds the new logbook; nullptr: none
        bool with_mine;      // holding the entry of mine.igc
    } rows[] = {
        {"bob's link at his logbook's path to root's file", "bob", "", "", 1,
         refused + d + "bob/data/logbook.dat" + not_followed, nullptr, false},
        {"-o into a sticky folder through bob's link", nullptr, d + "IGC", d + "tmp/logbook.dat", 1,
         refused + d + "tmp/logbook.dat" + not_followed, nullptr, false},
        {"-o through bob's link to a folder of root's", nullptr, d + "IGC",
         d + "bobs-out/logbook.dat", 1, refused + d + "bobs-out" + not_followed, nullptr, false},
        {"bob's link to a folder of root's as the IGC folder", nullptr, d + "bobs-igc",
         d + "out/other.dat", 1,
         "Couldn't read the IGC directory!\n" + d + "bobs-igc\n" + d + "bobs-igc" + not_followed,
         nullptr, false},
        {"bob's link in his IGC folder to root's recording", nullptr, d + "bob/data/IGC",
         d + "out/other.dat", 0,
         "Skipped " + d +
             "bob/data/IGC/mine.igc: not readable: a link of another user's; not followed\n",
         "out/other.dat", false},
        {"the pilot's own links", nullptr, d + "IGC", logbook_, 0, "Wrote 4 entries to " + logbook_,
         "mine.dat", true},
        {"bob's links to his own files", "bob2", "", "", 0,
         "Wrote 4 entries to " + d + "bob2/data/logbook.dat", "bob2/kept.dat", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> arguments = {"-p", "P", "-y"};
        std::vector<std::string> environment;
        if (row.installation != nullptr)
            environment.push_back("THERMORA_DIR=" + d + row.installation);
        else
            arguments.insert(arguments.end(), {"-d", row.igc, "-o", row.logbook});
        std::string why;
        ChildProcess run(cli(arguments, false, why), environment);
        ASSERT_TRUE(run.wait());
        EXPECT_EQ(run.exit_code, row.exit_code) << run.errors;
        EXPECT_NE(run.errors.find(row.said), std::string::npos) << run.errors;
        if (row.written != nullptr) {
            const std::string logbook = bytesOf(dir_ / row.written);
            EXPECT_TRUE(logbook.starts_with("# Thermora Log Book.")) << logbook;
            EXPECT_EQ(logbook.find("mine.igc") != std::string::npos, row.with_mine);
            EXPECT_EQ(bytesOf(d + row.written + ".bak"), kOld);
        }
    }
    EXPECT_EQ(bytesOf(root / "secret.dat"), kOld);
    EXPECT_EQ(bytesOf(root / flight), bytesOf(dir_ / "IGC" / flight));
    EXPECT_EQ(testing_support::namesIn(root), flight + " secret.dat");
}

TEST_F(CliAbuse, WhatIsSaidIsTrueAndHarmless) {
    // No logbook before a failed run: none was "left as it was".
    std::string why;
    ChildProcess missing(
        cli({"-p", "P", "-d", (dir_ / "none").string(), "-o", logbook_}, false, why));
    ASSERT_TRUE(missing.wait());
    EXPECT_EQ(missing.errors,
              "Generating new logbook\nthermora-logbook-cli: Couldn't read the IGC directory!\n" +
                  (dir_ / "none").string() +
                  "\nNo such file or directory\nNo logbook was written.\n");

    // A file name with ESC and BEL reaches the terminal escaped.
    fs::create_directories(dir_ / "odd");
    fs::copy_file(dir_ / "IGC" / "2026-05-23-broken.igc", dir_ / "odd" / "a\x1B[2J\x07.igc");
    ChildProcess run(cli({"-p", "P", "-d", (dir_ / "odd").string(), "-o", logbook_}, false, why));
    ASSERT_TRUE(run.wait());
    EXPECT_EQ(run.errors.find('\x1B'), std::string::npos);
    EXPECT_EQ(run.errors.find('\x07'), std::string::npos);
    EXPECT_NE(run.errors.find("Skipped " + (dir_ / "odd").string() + "/a\\x1B[2J\\x07.igc: "),
              std::string::npos)
        << run.errors;
}

} // namespace
