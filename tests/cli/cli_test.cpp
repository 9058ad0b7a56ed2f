// thermora-logbook-cli end to end: the same logbook bytes and diagnostics as the core the dialog
// uses, the exit codes, the refusal to replace a logbook unasked, the usage errors, the old
// logbook's flights whose recording is gone, the earlier logbooks listed and put back.

#include "logbook/Generation.h"
#include "logbook/LogbookHistory.h"
#include "logbook/Messages.h"
#include "platform/Files.h"
#include "platform/LocaleDatesQt.h"
#include "support/BrokenRecordings.h"
#include "support/CaptureStream.h"
#include "support/HeldLock.h"

#include "support/FileBytes.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing_support::CaptureStream;

struct CliRun {
    int exit_code = -1;
    std::string output;
    std::string errors;
};

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            (std::string("cli-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "install" / "data");
        fs::copy(THERMORA_DEMO_IGC, dir_ / "install" / "data" / "IGC");
        // A defined order: the listing goes by modification time.
        int hour = 0;
        for (const char* name :
             {"2026-05-14-triangle.igc", "2026-05-16-local.igc", "2026-05-20-motor-glider.igc",
              "2026-05-22-hop.igc", "2026-05-23-broken.igc"})
            fs::last_write_time(dir_ / "install" / "data" / "IGC" / name,
                                fs::file_time_type::clock::now() - std::chrono::hours(10 - hour++));
    }
    void TearDown() override { fs::remove_all(dir_); }

    CliRun run(const QStringList& arguments, const QByteArray& input = {},
               const QString& program = QStringLiteral(THERMORA_CLI)) const {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("THERMORA_DIR"),
                           QString::fromStdString((dir_ / "install").string()));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(path(dir_));
        process.start(program, arguments);
        process.write(input);
        process.closeWriteChannel();
        CliRun result;
        if (!process.waitForFinished(60000)) {
            process.kill();
            return result;
        }
        result.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.output = process.readAllStandardOutput().toStdString();
        result.errors = process.readAllStandardError().toStdString();
        return result;
    }
    QString path(const fs::path& p) const { return QString::fromStdString(p.string()); }

    fs::path dir_;
};

TEST_F(Cli, WritesWhatTheDialogsCoreWrites) {
    const fs::path igc = dir_ / "install" / "data" / "IGC";
    // The core, as the dialog drives it.
    std::string core_errors;
    std::string core_output;
    {
        CaptureStream errors(std::cerr);
        CaptureStream output(std::cout);
        logbook::GenerationRequest request;
        request.igc_directory = igc.string();
        request.logbook_path = (dir_ / "core.dat").string();
        request.pilot_name = "Demo Pilot";
        request.format_date = platform::qtDateFormatter(QLocale(QLocale::German, QLocale::Germany));
        // Everything where the program's diagnostics go, as in the dialog.
        struct Dialog : logbook::RunEnvironment {
            logbook::Answer ask(const logbook::RunQuestion&) override {
                return logbook::Answer::No;
            }
        } dialog;
        ASSERT_EQ(logbook::generateLogbook(request, dialog).failure.kind,
                  logbook::FailureKind::None);
        core_errors = errors.text();
        core_output = output.text();
    }
    const CliRun cli = run({"--pilot", "Demo Pilot", "--verbose"});
    ASSERT_EQ(cli.exit_code, 0) << cli.errors;
    EXPECT_EQ(testing_support::bytesOf(dir_ / "install" / "data" / "logbook.dat"),
              testing_support::bytesOf(dir_ / "core.dat"));
    // Any number of threads gives the same bytes and the same streams.
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        const QString other = path(dir_ / (std::string("jobs-") + jobs + ".dat"));
        const CliRun threaded = run({"-p", "Demo Pilot", "-j", jobs, "-o", other, "--verbose"});
        EXPECT_EQ(testing_support::bytesOf(other.toStdString()),
                  testing_support::bytesOf(dir_ / "core.dat"));
        EXPECT_EQ(threaded.errors.substr(0, threaded.errors.rfind("Wrote ")), core_errors);
        EXPECT_EQ(threaded.output, core_output);
    }
    EXPECT_EQ(cli.errors, core_errors + "Wrote 3 entries to " +
                              (dir_ / "install" / "data" / "logbook.dat").string() +
                              " (5 files read, 2 skipped)\n");
    EXPECT_EQ(cli.output, core_output);
    EXPECT_NE(testing_support::bytesOf(dir_ / "core.dat")
                  .find("14.05.2026;LS 8;D-8123;Alpha - Bravo - Charlie - Delta;"),
              std::string::npos);
}

TEST_F(Cli, ByDefaultOneLinePerSkippedFile) {
    const std::string igc = (dir_ / "install" / "data" / "IGC").string();
    const fs::path logbook = dir_ / "default.dat";
    const CliRun cli = run({"-p", "Demo Pilot", "-o", path(logbook)});
    EXPECT_EQ(cli.exit_code, 0);
    EXPECT_EQ(cli.errors, "Generating new logbook\n"
                          "Skipped " +
                              igc +
                              "/2026-05-22-hop.igc: too short: 5 s\n"
                              "Skipped " +
                              igc +
                              "/2026-05-23-broken.igc: not an IGC file: Missing A "
                              "record\n"
                              "Wrote 3 entries to " +
                              logbook.string() + " (5 files read, 2 skipped)\n");
    EXPECT_EQ(cli.output, "");
}

// Every kind of reason a file gives no entry, as the default output words it, one line per file.
TEST_F(Cli, EveryReasonInTheDefaultOutput) {
    const fs::path igc = dir_ / "broken";
    fs::create_directories(igc);
    const std::vector<testing_support::BrokenRecording> table =
        testing_support::writeBrokenRecordings(igc, ::geteuid() != 0);
    const fs::path logbook = dir_ / "logbook.dat";
    const CliRun cli = run({"-p", "Pilot", "-d", path(igc), "-o", path(logbook)});
    EXPECT_EQ(cli.exit_code, 0);
    std::string expected = "Generating new logbook\n";
    for (const auto& row : table) {
        if (!row.reason.empty())
            expected += "Skipped " + (igc / row.name).string() + ": " + row.reason + "\n";
    }
    expected += "Wrote 3 entries to " + logbook.string() + " (" + std::to_string(table.size()) +
                " files read, " + std::to_string(table.size() - 3) + " skipped)\n";
    EXPECT_EQ(cli.errors, expected);
}

TEST_F(Cli, APilotNameBeyondLatin1OnlyWithYes) {
    const fs::path logbook = dir_ / "latin1.dat";
    const CliRun cli =
        run({"-p", "\xC5\x81ukasz \xE9\x88\xB4\xE6\x9C\xA8", "-o", path(logbook), "-y", "-q"});
    EXPECT_EQ(cli.exit_code, 0);
    EXPECT_EQ(cli.errors.substr(0, cli.errors.find("Generating")),
              "thermora-logbook-cli: warning: the simulator's logbook holds Western European "
              "letters only (Latin-1): \"\xC5\x81\", \"\xE9\x88\xB4\", \"\xE6\x9C\xA8\" written "
              "as \"?\"\n");
    EXPECT_EQ(testing_support::bytesOf(logbook).substr(0, 103),
              "# Thermora Log Book. (Vantaline V1.0)\r\n# This file is autogenerated, do not "
              "edit!\r\n\r\nname = ?ukasz ??\r\n");
}

TEST_F(Cli, QuietLeavesOnlyTheFrameOfTheRun) {
    const fs::path logbook = dir_ / "quiet.dat";
    const CliRun cli = run({"-p", "Demo Pilot", "-o", path(logbook), "-q", "-m", "0"});
    EXPECT_EQ(cli.exit_code, 0);
    EXPECT_EQ(cli.errors, "Generating new logbook\nWrote 4 entries to " + logbook.string() +
                              " (5 files read, 1 skipped)\n");
    EXPECT_EQ(cli.output, "");
}

TEST_F(Cli, ReplacesALogbookOnlyWhenTold) {
    const fs::path logbook = dir_ / "old.dat";
    std::ofstream(logbook, std::ios::binary) << "old logbook\r\n";
    const CliRun refused = run({"-p", "X", "-o", path(logbook)}, "y\n"); // input is no terminal
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.errors, "thermora-logbook-cli: Not replacing the existing logbook " +
                                  logbook.string() + " (give --yes to replace it)\n");
    EXPECT_EQ(testing_support::bytesOf(logbook), "old logbook\r\n");
    const CliRun replaced = run({"-p", "X", "-o", path(logbook), "--yes", "-q"});
    EXPECT_EQ(replaced.exit_code, 0);
    EXPECT_EQ(testing_support::bytesOf(logbook).substr(0, 38),
              "# Thermora Log Book. (Vantaline V1.0)\r");
}

// On a terminal (made with script(1)) the command asks before replacing a logbook, and counts
// the files done on a line that it erases before any other line. Where the terminal's echo of
// the answer lands depends on when it arrives, so only what follows it is compared.
TEST_F(Cli, AsksAndCountsOnATerminal) {
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        GTEST_SKIP() << "script(1) from util-linux is not installed";
    const fs::path logbook = dir_ / "terminal.dat";
    const std::string counted = "\r5 of 5 files\r\033[K";
    const std::string wrote = "Wrote 3 entries to " + logbook.string() +
                              "; the logbook it replaced had 0 (5 files read, 2 skipped); the old "
                              "logbook was kept as " +
                              logbook.string() + ".bak\r\n";
    const struct {
        const char* options;
        const char* answer;
        int exit_code;
        std::string output_end;
        bool counted;
        bool asked;
    } rows[] = {
        {"", "y\n", 0, counted + wrote, true, true},
        {"", "n\n", 1,
         "thermora-logbook-cli: Not replacing the existing logbook " + logbook.string() +
             " (give --yes to replace it)\r\n",
         false, true},
        // A wrong IGC directory is said before the question, which is then not asked.
        {"-d /nonexistent", "y\n", 1,
         "thermora-logbook-cli: Couldn't read the IGC directory!\r\n/nonexistent\r\nNo such file "
         "or directory\r\nThe old logbook was left as it was.\r\n",
         false, false},
        {"-y -q", "", 0, counted + wrote, true, false},
        {"-y -v", "", 0, "\n" + wrote, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.options) + " " + row.answer);
        std::ofstream(logbook, std::ios::binary) << "old";
        const QString command =
            QStringLiteral("'%1' -p X -o '%2' %3")
                .arg(QStringLiteral(THERMORA_CLI), path(logbook), QString::fromLatin1(row.options));
        const CliRun terminal =
            run({"-q", "-e", "-c", command, "/dev/null"}, row.answer, QStringLiteral("script"));
        EXPECT_EQ(terminal.exit_code, row.exit_code);
        const std::string& output = terminal.output;
        ASSERT_GE(output.size(), row.output_end.size()) << terminal.output;
        EXPECT_EQ(output.substr(output.size() - row.output_end.size()), row.output_end);
        EXPECT_EQ(output.find(" of 5 files") != std::string::npos, row.counted);
        EXPECT_EQ(output.find("This will overwrite your existing logbook! It is kept as "
                              "terminal.dat.bak.\r\nReplace ") != std::string::npos,
                  row.asked);
        // Each "Skipped" line starts a line of its own, never after the count.
        for (std::size_t at = 0; (at = output.find("Skipped ", at + 1)) != std::string::npos;) {
            const std::string before = output.substr(0, at);
            EXPECT_TRUE(before.ends_with("\n") || before.ends_with("\r\033[K")) << before;
        }
    }
}

// A file name or a logbook path may hold any byte. On a terminal (script(1) again) it is shown as
// text, never obeyed; in a pipe or a file every byte is as the core wrote it, --verbose's
// diagnostics being data there.
TEST_F(Cli, NamesReachATerminalAsText) {
    const bool have_script = !QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty();
    const fs::path odd = dir_ / "odd";
    fs::create_directories(odd);
    const fs::path igc = dir_ / "install" / "data" / "IGC";
    fs::copy_file(igc / "2026-05-23-broken.igc", odd / "evil\x1B]0;pwned\x07.igc");
    fs::copy_file(igc / "2026-05-22-hop.igc", odd / "hop\xC2\x9B"
                                                    "2J.igc");
    const fs::path out = dir_ / "out\x1B[2J";
    fs::create_directories(out);
    const std::string raw = odd.string() + "/evil\x1B]0;pwned\x07.igc";
    const std::string escaped = odd.string() + "/evil\\x1B]0;pwned\\x07.igc";
    const std::string logbook = (out / "logbook.dat").string();
    const std::string logbook_escaped = (dir_ / "out\\x1B[2J" / "logbook.dat").string();
    const struct {
        const char* name;
        bool terminal;
        const char* options;
        std::vector<std::string> lines; // each somewhere in the output, a line end after it
    } rows[] = {
        {"--verbose on a terminal",
         true,
         "-v",
         {"Couldn't load IGC file " + escaped + "!\r\n",
          "Wrote 0 entries to " + logbook_escaped + " (2 files read, 2 skipped)\r\n"}},
        {"the default on a terminal",
         true,
         "",
         {"Skipped " + escaped + ": not an IGC file: Missing A record\r\n",
          "Skipped " + odd.string() + "/hop\\xC2\\x9B2J.igc: too short: 5 s\r\n"}},
        {"--verbose in a pipe",
         false,
         "-v",
         {"Couldn't load IGC file " + raw + "!\n",
          "Wrote 0 entries to " + logbook + " (2 files read, 2 skipped)\n"}},
        {"the default in a pipe: one line per file all the same",
         false,
         "",
         {"Skipped " + escaped + ": not an IGC file: Missing A record\n",
          "Skipped " + odd.string() +
              "/hop\xC2\x9B"
              "2J.igc: too short: 5 s\n"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.terminal && !have_script) {
            std::cerr << "script(1) from util-linux is not installed: " << row.name
                      << " left out\n";
            continue;
        }
        fs::remove(logbook);
        std::string output;
        if (row.terminal) {
            const QString command = QStringLiteral("'%1' -p X -d '%2' -o '%3' %4")
                                        .arg(QStringLiteral(THERMORA_CLI), path(odd), path(logbook),
                                             QString::fromLatin1(row.options));
            const CliRun terminal =
                run({"-q", "-e", "-c", command, "/dev/null"}, {}, QStringLiteral("script"));
            EXPECT_EQ(terminal.exit_code, 0);
            output = terminal.output;
            // Nothing steers the terminal but the count's own return and erasing.
            std::string rest = output;
            for (std::size_t at; (at = rest.find("\r\033[K")) != std::string::npos;)
                rest.erase(at, 4);
            EXPECT_EQ(rest.find_first_of(std::string("\x1B\x07", 2)), std::string::npos) << rest;
            EXPECT_EQ(rest.find("\xC2\x9B"), std::string::npos) << rest;
        } else {
            QStringList arguments = {"-p", "X", "-d", path(odd), "-o", path(logbook)};
            if (*row.options != '\0')
                arguments << QString::fromLatin1(row.options);
            const CliRun pipe = run(arguments);
            EXPECT_EQ(pipe.exit_code, 0);
            output = pipe.errors;
        }
        for (const std::string& line : row.lines)
            EXPECT_NE(output.find(line), std::string::npos) << line << "\nnot in\n" << output;
    }
}

TEST_F(Cli, ExitCodesAndUsageErrors) {
    fs::create_directories(dir_ / "logbook-is-a-directory.dat");
    const struct {
        const char* name;
        QStringList arguments;
        int exit_code;
        std::string errors_start;
    } rows[] = {
        {"no pilot", {}, 2, "thermora-logbook-cli: the option --pilot is required\n"},
        {"empty pilot",
         {"-p", ""},
         2,
         "thermora-logbook-cli: the pilot name must not be empty\nTry 'thermora-logbook-cli "
         "--help' for more information.\n"},
        // The earlier rule took a name of blanks and wrote "name =    " into the logbook.
        {"pilot of blanks only",
         {"-p", "   "},
         2,
         "thermora-logbook-cli: the pilot name must not be empty\nTry 'thermora-logbook-cli "
         "--help' for more information.\n"},
        {"quiet and verbose",
         {"-p", "X", "-q", "--verbose"},
         2,
         "thermora-logbook-cli: --quiet and --verbose exclude each other\n"},
        {"-v is --verbose", {"-p", "X", "-qv"}, 2, "thermora-logbook-cli: --quiet and --verbose"},
        {"pilot name beyond Latin-1",
         {"-p", "\xC5\x81ukasz \xE9\x88\xB4\xE6\x9C\xA8\xE9\x88\xB4"},
         2,
         "thermora-logbook-cli: the simulator's logbook holds Western European letters only "
         "(Latin-1): \"\xC5\x81\", \"\xE9\x88\xB4\", \"\xE6\x9C\xA8\" would be written as "
         "\"?\"; give --yes to write the name so\n"},
        {"minutes above 60",
         {"-p", "X", "-m", "61"},
         2,
         "thermora-logbook-cli: --min-time takes whole minutes from 0 to 60, not '61'\n"},
        {"negative minutes",
         {"-p", "X", "--min-time=-1"},
         2,
         "thermora-logbook-cli: --min-time takes whole minutes from 0 to 60, not '-1'\n"},
        {"minutes not a number",
         {"-p", "X", "-m", "1.5"},
         2,
         "thermora-logbook-cli: --min-time takes whole minutes from 0 to 60, not '1.5'\n"},
        {"jobs zero",
         {"-p", "X", "--jobs", "0"},
         2,
         "thermora-logbook-cli: --jobs takes a whole number from 1 to 256, not '0'\n"},
        {"jobs not a number",
         {"-p", "X", "-j", "many"},
         2,
         "thermora-logbook-cli: --jobs takes a whole number from 1 to 256, not 'many'\n"},
        {"unknown option",
         {"-p", "X", "--colour"},
         2,
         "thermora-logbook-cli: Unknown option 'colour'.\n"},
        {"stray argument",
         {"-p", "X", "extra"},
         2,
         "thermora-logbook-cli: unexpected argument 'extra'\n"},
        {"logbook not writable",
         {"-p", "X", "-o", QString::fromStdString((dir_ / "missing" / "logbook.dat").string()),
          "-y"},
         1,
         "Generating new logbook\nthermora-logbook-cli: Couldn't open output logbook file!\nEnsure "
         "that you have write "
         "permission to the Thermora data directory\n"},
        {"help", {"--help"}, 0, ""},
        {"version", {"--version"}, 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const CliRun cli = run(row.arguments);
        EXPECT_EQ(cli.exit_code, row.exit_code);
        EXPECT_EQ(cli.errors.substr(0, row.errors_start.size()), row.errors_start);
    }
    for (const char* version : {"--version", "-V"})
        EXPECT_EQ(run({version}).output, "thermora-logbook-cli " THERMORA_VERSION "\n");
}

// Every way of writing an option gives it the value meant, "-o=FILE" included: the logbook is
// written where it was asked for and nowhere else. Run in the test's directory, so that a value
// that kept its "=" would show as a file of its own.
TEST_F(Cli, ReadsTheValueOfEveryOptionForm) {
    fs::create_directories(dir_ / "one");
    fs::copy(dir_ / "install" / "data" / "IGC" / "2026-05-14-triangle.igc", dir_ / "one");
    const struct {
        const char* name;
        QStringList arguments;
        const char* pilot; // in the logbook "lb.dat"; none for a usage error
        const char* error;
    } rows[] = {
        {"unknown option",
         {"-p", "X", "-o", "lb.dat", "--colour=red"},
         nullptr,
         "Unknown option 'colour'."},
        {"misspelt option",
         {"-p", "X", "-o", "lb.dat", "--quite"},
         nullptr,
         "Unknown option 'quite'. Did you mean '--quiet'?"},
        {"the start of one option",
         {"--list-inst"},
         nullptr,
         "Unknown option 'list-inst'. Did you mean '--list-installations'?"},
        {"unknown options in a run of flags",
         {"-p", "X", "-o", "lb.dat", "-yx", "-z"},
         nullptr,
         "Unknown options: x, z."},
        {"missing value", {"-p", "X", "-qo"}, nullptr, "Missing value after '-qo'."},
        {"no jobs",
         {"-p", "X", "-o", "lb.dat", "--jobs", "0"},
         nullptr,
         "--jobs takes a whole number from 1 to 256, not '0'"},
        {"no jobs after =",
         {"-p", "X", "-o", "lb.dat", "-j=0"},
         nullptr,
         "--jobs takes a whole number from 1 to 256, not '0'"},
        {"options end at --",
         {"-p", "X", "-o", "lb.dat", "--", "-o=other.dat"},
         nullptr,
         "unexpected argument '-o=other.dat'"},
        {"-o=FILE", {"-p", "X", "-q", "-d", "one", "-o=lb.dat"}, "X", nullptr},
        {"-oFILE", {"-p", "X", "-q", "-d", "one", "-olb.dat"}, "X", nullptr},
        {"-o FILE", {"-p", "X", "-q", "-d", "one", "-o", "lb.dat"}, "X", nullptr},
        {"--logbook=FILE", {"-p", "X", "-q", "-d", "one", "--logbook=lb.dat"}, "X", nullptr},
        {"--logbook FILE", {"-p", "X", "-q", "-d", "one", "--logbook", "lb.dat"}, "X", nullptr},
        {"-d=DIR", {"-p", "X", "-q", "-d=one", "-o", "lb.dat"}, "X", nullptr},
        {"-yd=DIR", {"-p", "X", "-q", "-yd=one", "-o", "lb.dat"}, "X", nullptr},
        {"-yd DIR", {"-p", "X", "-q", "-yd", "one", "-o", "lb.dat"}, "X", nullptr},
        {"--igc-dir=DIR", {"-p", "X", "-q", "--igc-dir=one", "-o", "lb.dat"}, "X", nullptr},
        {"-qyo=FILE", {"-p", "X", "-d", "one", "-qyo=lb.dat"}, "X", nullptr},
        {"-m=MINUTES", {"-p", "X", "-q", "-d", "one", "-m=5", "-o", "lb.dat"}, "X", nullptr},
        {"the last of two",
         {"-p", "X", "-q", "-d", "one", "-o", "no.dat", "-o", "lb.dat"},
         "X",
         nullptr},
        {"--", {"-p", "X", "-q", "-d", "one", "-o", "lb.dat", "--"}, "X", nullptr},
        {"-p=Name", {"-p=Name", "-q", "-d", "one", "-o", "lb.dat"}, "Name", nullptr},
        {"--pilot=Name", {"--pilot=Name", "-q", "-d", "one", "-o", "lb.dat"}, "Name", nullptr},
        {"a value like an option",
         {"-p", "-o=x", "-q", "-d", "one", "-o", "lb.dat"},
         "-o=x",
         nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const CliRun cli = run(row.arguments);
        std::vector<std::string> expected_files;
        if (row.error != nullptr) {
            EXPECT_EQ(cli.exit_code, 2);
            EXPECT_EQ(cli.errors, std::string("thermora-logbook-cli: ") + row.error +
                                      "\nTry 'thermora-logbook-cli --help' for more "
                                      "information.\n");
        } else {
            EXPECT_EQ(cli.exit_code, 0);
            EXPECT_EQ(cli.errors, "Generating new logbook\nWrote 1 entry to lb.dat (1 file read, 0 "
                                  "skipped)\n");
            EXPECT_NE(testing_support::bytesOf(dir_ / "lb.dat")
                          .find(std::string("\r\nname = ") + row.pilot + "\r\n"),
                      std::string::npos);
            expected_files = {"lb.dat", "lb.dat.lock"}; // the run lock's file stays
        }
        // Nothing but the logbook asked for was written.
        std::vector<std::string> written;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir_))
            if (entry.path().filename() != "install" && entry.path().filename() != "one")
                written.push_back(entry.path().filename().string());
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, expected_files);
        for (const std::string& name : written)
            fs::remove_all(dir_ / name);
    }
}

// The help fits where it is shown (COLUMNS, else the terminal's width, else 80), and every
// option that it names is one the program knows.
TEST_F(Cli, HelpFitsItsTerminalAndOffersOnlyKnownOptions) {
    const QString help = QStringLiteral("'" THERMORA_CLI "' --help");
    const struct {
        QString shell_command;
        std::size_t width;
    } rows[] = {
        {"unset COLUMNS; " + help, 80},
        {"COLUMNS=60 " + help, 60},
        {"unset COLUMNS; SHELL=/bin/sh script -qec \"stty cols 60; " + help + "\" /dev/null", 60},
    };
    std::string text;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shell_command.toStdString());
        text = run({"-c", row.shell_command}, {}, QStringLiteral("/bin/sh")).output;
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        std::istringstream lines(text);
        std::size_t longest = 0;
        for (std::string line; std::getline(lines, line);)
            longest = std::max(longest, line.size());
        EXPECT_LE(longest, row.width);
        EXPECT_GT(longest, row.width - 10);
    }
    std::replace(text.begin(), text.end(), ',', ' '); // "-p,--pilot"
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        const std::string option = word.substr(0, word.find_first_of("=["));
        if (option.size() >= 2 && option[0] == '-' && std::isalpha(option.back()) != 0) {
            SCOPED_TRACE(option);
            EXPECT_EQ(run({QString::fromStdString(option)}).errors.find("Unknown"),
                      std::string::npos);
        }
    }
}

TEST_F(Cli, ListsTheInstallationsFound) {
    // THERMORA_DIR first; the Wine prefixes of this machine's home may add more lines.
    const CliRun cli = run({"--list-installations"});
    EXPECT_EQ(cli.exit_code, 0);
    const std::string first = (dir_ / "install").string() + "\tTHERMORA_DIR\n";
    EXPECT_EQ(cli.output.substr(0, first.size()), first);
    EXPECT_EQ(cli.errors, "");
}

// --list-installations is read by scripts: one line per installation whatever its directory
// holds, and a registry's directory that no Windows program could have is none.
TEST_F(Cli, ListsEachInstallationOnALineOfItsOwn) {
    const fs::path home = dir_ / "home";
    const fs::path bottle = home / ".local/share/bottles/bottles/new\nAlso\tx";
    const std::string bottle_shown =
        (home / ".local/share/bottles/bottles").string() + "/new\\x0AAlso\\x09x";
    const std::string not_found = "thermora-logbook-cli: no Thermora installation found "
                                  "(THERMORA_DIR is not set; Wine prefix " +
                                  (home / ".wine").string() + ": ";
    const struct {
        const char* name;
        const char* thermora_dir; // nullptr: not set
        const char* location;     // in ~/.wine's system.reg, escaped as there; nullptr: none
        bool odd_bottle;          // a bottle named with a line break and a tab holds one
        int exit_code;
        std::string output;
        std::string errors;
    } rows[] = {
        {"THERMORA_DIR with an escape sequence and a tab", "/opt/a\x1B]0;x\x07\tb", nullptr, false,
         0, "/opt/a\\x1B]0;x\\x07\\x09b\tTHERMORA_DIR\n", ""},
        {"a bottle named with a line break and a tab", nullptr, nullptr, true, 0,
         bottle_shown + "/drive_c/Thermora\tBottles bottle " + bottle_shown + "\n", ""},
        {"a Location with an escape sequence", nullptr, "C:\\\\Sim\\x1b]0;pwned\\x07", false, 1, "",
         not_found +
             "\"C:\\Sim\\x1B]0;pwned\\x07\" holds a control character, which no Windows path "
             "can)\n"},
        {"a Location with a line break", nullptr, "C:\\\\Sim\\nC:\\\\Fake\\tTHERMORA_DIR", false, 1,
         "",
         not_found +
             "\"C:\\Sim\\x0AC:\\Fake\\x09THERMORA_DIR\" holds a control character, which no "
             "Windows path can)\n"},
        {"a Location that climbs out of its drive", nullptr, "C:\\\\Sim\\\\..\\\\..\\\\..\\\\tmp",
         false, 1, "",
         not_found + "\"C:\\Sim\\..\\..\\..\\tmp\" leads above the root of drive C:)\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(home);
        fs::create_directories(home / ".wine" / "drive_c" / "Sim");
        fs::create_directories(home / ".wine" / "dosdevices");
        fs::create_directory_symlink("../drive_c", home / ".wine" / "dosdevices" / "c:");
        if (row.location != nullptr)
            std::ofstream(home / ".wine" / "system.reg")
                << "WINE REGISTRY Version 2\n\n[Software\\\\Thermora\\\\Thermora Simulator] 1\n"
                << "\"Location\"=\"" << row.location << "\"\n";
        if (row.odd_bottle) {
            fs::create_directories(bottle / "dosdevices");
            fs::create_directories(bottle / "drive_c" / "Thermora");
            fs::create_directory_symlink("../drive_c", bottle / "dosdevices" / "c:");
            std::ofstream(bottle / "system.reg")
                << "WINE REGISTRY Version 2\n\n[Software\\\\Thermora\\\\Thermora Simulator] 1\n"
                   "\"Location\"=\"C:\\\\Thermora\"\n";
        }
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("THERMORA_DIR"));
        environment.remove(QStringLiteral("WINEPREFIX"));
        if (row.thermora_dir != nullptr)
            environment.insert(QStringLiteral("THERMORA_DIR"), QString::fromUtf8(row.thermora_dir));
        environment.insert(QStringLiteral("HOME"), path(home));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(THERMORA_CLI), {"--list-installations"});
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), row.exit_code);
        EXPECT_EQ(process.readAllStandardOutput().toStdString(), row.output);
        EXPECT_EQ(process.readAllStandardError().toStdString(), row.errors);
    }
}

// Of two Wine prefixes that hold the simulator, the run takes the one with the newer recording
// and says so before its own lines.
TEST_F(Cli, SaysWhichOfSeveralInstallationsItTakes) {
    const auto install = [this](const fs::path& prefix, std::chrono::hours age) {
        fs::create_directories(prefix / "dosdevices");
        fs::create_directories(prefix / "drive_c" / "Thermora" / "data");
        fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
        std::ofstream(prefix / "system.reg")
            << "WINE REGISTRY Version 2\n\n[Software\\\\Thermora\\\\Thermora Simulator] 1\n"
               "\"Location\"=\"C:\\\\Thermora\"\n";
        const fs::path igc = prefix / "drive_c" / "Thermora" / "data" / "IGC";
        fs::copy(dir_ / "install" / "data" / "IGC", igc);
        for (const fs::directory_entry& file : fs::directory_iterator(igc))
            fs::last_write_time(file.path(), fs::file_time_type::clock::now() - age);
        return (prefix / "drive_c" / "Thermora").string();
    };
    const fs::path bottle = dir_ / ".local/share/bottles/bottles/Thermora";
    const std::string older = install(dir_ / ".wine", std::chrono::hours(30));
    const std::string taken = install(bottle, std::chrono::hours(2));

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("THERMORA_DIR"));
    environment.remove(QStringLiteral("WINEPREFIX"));
    environment.insert(QStringLiteral("HOME"), path(dir_));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(THERMORA_CLI), {"-p", "X", "-q", "--yes"});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0);
    const std::string choice =
        "Taking the Thermora installation " + taken + " (Bottles bottle " + bottle.string() +
        "): its IGC directory holds the newest recording\n" + "Also found: " + older +
        " (Wine prefix " + (dir_ / ".wine").string() + ")\n";
    const std::string errors = process.readAllStandardError().toStdString();
    EXPECT_EQ(errors.substr(0, choice.size()), choice);
    EXPECT_TRUE(fs::exists(taken + "/data/logbook.dat"));
    EXPECT_FALSE(fs::exists(older + "/data/logbook.dat"));
}

// The installation as the pilot set it up: a WINEPREFIX without the simulator, THERMORA_DIR set to
// the data folder and a drive the prefix lacks stop the run with what to do; paths written as
// Windows writes them are found through the prefix's drives, said; the dates take the form that
// the prefix sets for its user, whatever the locale of the terminal.
TEST_F(Cli, StatesThePilotsInstallation) {
    const fs::path bottle = dir_ / ".local/share/bottles/bottles/Thermora";
    const fs::path simulator = bottle / "drive_c" / "Thermora";
    fs::create_directories(bottle / "dosdevices");
    fs::create_directories(simulator / "data");
    fs::create_directory_symlink("../drive_c", bottle / "dosdevices" / "c:");
    std::ofstream(bottle / "system.reg")
        << "WINE REGISTRY Version 2\n\n[Software\\\\Thermora\\\\Thermora Simulator] 1\n"
           "\"Location\"=\"C:\\\\Thermora\"\n";
    std::ofstream(bottle / "user.reg")
        << "WINE REGISTRY Version 2\n\n[Control Panel\\\\International] 1\n"
           "\"sShortDate\"=\"yyyy-MM-dd\"\n";
    fs::copy(dir_ / "install" / "data" / "IGC", simulator / "data" / "IGC");
    fs::create_directories(dir_ / "other");
    const std::string program = "thermora-logbook-cli: ";
    const std::string logbook = (simulator / "data" / "logbook.dat").string();
    const struct {
        const char* name;
        const char* thermora_dir; // below the test's folder; null: not set
        const char* wine_prefix;  // likewise
        QStringList arguments;
        int exit_code;
        std::string errors; // the first lines
    } rows[] = {
        {"a WINEPREFIX without the simulator",
         nullptr,
         "other",
         {"-p", "X", "--yes"},
         1,
         program + "WINEPREFIX names the Wine prefix " + (dir_ / "other").string() +
             ", which holds no Thermora installation (no system.reg): unset WINEPREFIX, or set it "
             "to the Wine prefix that holds the simulator, or give --igc-dir and --logbook\n"},
        {"THERMORA_DIR set to the data folder",
         "install/data",
         nullptr,
         {"-p", "X", "--yes"},
         1,
         program + "THERMORA_DIR names " + (dir_ / "install" / "data").string() +
             ", the simulator's data folder, not its installation folder: set THERMORA_DIR to " +
             (dir_ / "install").string() + "\n"},
        {"a drive the prefix lacks",
         nullptr,
         ".local/share/bottles/bottles/Thermora",
         {"-p", "X", "--yes", "-o", "Q:\\logbook.dat"},
         1,
         program + "Q:\\logbook.dat is a Windows path, and the Wine prefix " + bottle.string() +
             " has no place for it (no drive Q: in " + (bottle / "dosdevices").string() + ")\n"},
        {"Windows paths",
         nullptr,
         ".local/share/bottles/bottles/Thermora",
         {"-p", "X", "--yes", "-q", "-d", "c:\\thermora\\DATA\\igc", "-o",
          "C:\\Thermora\\data\\logbook.dat"},
         0,
         "c:\\thermora\\DATA\\igc is " + (simulator / "data" / "IGC").string() +
             " in the Wine prefix " + bottle.string() + "\nC:\\Thermora\\data\\logbook.dat is " +
             logbook + " in the Wine prefix " + bottle.string() + "\n"},
        {"the prefix's installation", nullptr, nullptr, {"-p", "X", "--yes", "-q"}, 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(logbook);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), path(dir_));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        environment.remove(QStringLiteral("THERMORA_DIR"));
        environment.remove(QStringLiteral("WINEPREFIX"));
        if (row.thermora_dir != nullptr)
            environment.insert(QStringLiteral("THERMORA_DIR"), path(dir_ / row.thermora_dir));
        if (row.wine_prefix != nullptr)
            environment.insert(QStringLiteral("WINEPREFIX"), path(dir_ / row.wine_prefix));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(path(dir_));
        process.start(QStringLiteral(THERMORA_CLI), row.arguments);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), row.exit_code);
        const std::string errors = process.readAllStandardError().toStdString();
        EXPECT_EQ(errors.substr(0, row.errors.size()), row.errors) << errors;
        EXPECT_EQ(fs::exists(logbook), row.exit_code == 0);
        // The entries' dates in the prefix's form, not the German "14.05.2026" of the locale.
        if (row.exit_code == 0) {
            const std::string written = testing_support::bytesOf(logbook);
            EXPECT_NE(written.find("\r\n2026-05-14;"), std::string::npos) << written;
            EXPECT_EQ(written.find("14.05.2026"), std::string::npos) << written;
        }
    }
}

TEST_F(Cli, SaysWhichOptionToGiveWithoutAnInstallation) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("THERMORA_DIR"));
    const std::string prefix = (dir_ / "no-prefix").string();
    environment.insert(QStringLiteral("WINEPREFIX"), QString::fromStdString(prefix));
    // No prefixes of Steam, Lutris or Bottles either, whatever this machine's home holds.
    environment.insert(QStringLiteral("HOME"), path(dir_));
    process.setProcessEnvironment(environment);
    const struct {
        QStringList arguments;
        const char* option;
    } rows[] = {{{"-p", "X"}, "--igc-dir and --logbook"},
                {{"-p", "X", "-d", "/tmp"}, "--logbook"},
                {{"-p", "X", "-o", "/tmp/x.dat"}, "--igc-dir"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.option);
        process.start(QStringLiteral(THERMORA_CLI), row.arguments);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 2);
        // One message, with where the search looked; the earlier program wrote the search's own
        // "Error: couldn't find the Thermora installation" line before it.
        EXPECT_EQ(process.readAllStandardError().toStdString(),
                  "thermora-logbook-cli: no Thermora installation found (THERMORA_DIR is not set; "
                  "Wine prefix " +
                      prefix + ": no system.reg); give " + row.option +
                      "\nTry 'thermora-logbook-cli --help' for more information.\n");
    }
}

// An old logbook for a run on the demo recordings: two flights whose recording is not there, not
// in the order of their dates; a flight whose recording is there, in words a rebuild would not
// write, and one whose recording is there in another letter case; two lines that are no entry,
// one of them naming a recording that is not there: flights without a recording too.
const std::string kGoneB = "03.04.2021;ASK 21;D-1234;Field - Hill;01:30;00:00;52.0 km;34.7 "
                           "km/h;gone-b.igc";
const std::string kLowerCase = "05.04.2021;LS 4;D-4444;Local flight;00:20;00:00;-;-;flight.igc";
const std::string kGoneA = "04.04.2021;Ka 8;D-8888;Hop;00:10;00:00;-;-;gone-a.igc";
const std::string kGoneC = "06.04.2021;Ka 8;gone-c.igc";
const std::string kOldLogbook =
    "# Thermora Log Book. (Vantaline V1.0)\r\n# This file is autogenerated, do not edit!\r\n\r\n"
    "name = Old\r\n" +
    kGoneB + "\r\n16.05.2026;ASK 21;D-2121;Stale;01:00;00:00;-;-;2026-05-16-local.igc\r\n" +
    "not an entry\r\n" + kLowerCase + "\r\n" + kGoneA + "\r\n" + kGoneC + "\r\n";

class CliMissing : public Cli {
protected:
    void SetUp() override {
        Cli::SetUp();
        igc_ = dir_ / "install" / "data" / "IGC";
        logbook_ = dir_ / "logbook.dat";
        // As the simulator's system, letter case tells no file names apart: FLIGHT.IGC is the
        // recording of flight.igc.
        fs::copy_file(igc_ / "2026-05-16-local.igc", igc_ / "FLIGHT.IGC");
        fs::last_write_time(igc_ / "FLIGHT.IGC", fs::file_time_type::clock::now());
        // What a run writes without an old logbook: its header, then the rebuilt entries.
        const fs::path fresh = dir_ / "fresh.dat";
        ASSERT_EQ(run({"-p", "P", "-d", path(igc_), "-o", path(fresh), "-q"}).exit_code, 0);
        rebuilt_ = testing_support::bytesOf(fresh);
        rebuilt_entries_at_ = rebuilt_.find("name = P\r\n") + 10;
        std::ofstream(logbook_, std::ios::binary) << kOldLogbook;
    }
    // The logbook that a run writes, with the flights without a recording kept or not.
    std::string written(bool kept) const {
        return rebuilt_.substr(0, rebuilt_entries_at_) +
               (kept ? kGoneB + "\r\nnot an entry\r\n" + kGoneA + "\r\n" + kGoneC + "\r\n" : "") +
               rebuilt_.substr(rebuilt_entries_at_);
    }
    std::string dropped(const std::string& file, const std::string& date_and_route) const {
        return "Dropped " + file + " (" + date_and_route + "): no recording in " + igc_.string() +
               "\n";
    }

    fs::path igc_;
    fs::path logbook_;
    std::string rebuilt_;
    std::size_t rebuilt_entries_at_ = 0;
};

TEST_F(CliMissing, KeepsOrDropsTheFlightsWhoseRecordingIsGone) {
    const std::string skipped = "Generating new logbook\nSkipped " + igc_.string() +
                                "/2026-05-22-hop.igc: too short: 5 s\nSkipped " + igc_.string() +
                                "/2026-05-23-broken.igc: not an IGC file: Missing A record\n";
    const std::string named =
        dropped("gone-b.igc", "03.04.2021, Field - Hill") + "Dropped line 7 (no entry: not an " +
        "entry): it names no recording in " + igc_.string() + "\n" +
        dropped("gone-a.igc", "04.04.2021, Hop") + "Dropped line 10 (no entry: " + kGoneC +
        "): it names no recording in " + igc_.string() + "\n";
    const std::string summary_end =
        " (6 files read, 2 skipped); the old logbook was kept as " + logbook_.string() + ".bak\n";
    const std::string fewer = "warning: Wrote 4 entries to " + logbook_.string() +
                              ", 2 fewer than the 6 of the logbook it replaced" + summary_end;
    const struct {
        const char* name;
        QStringList options;
        bool kept;
        std::string errors;
    } rows[] = {
        {"--keep-missing",
         {"--keep-missing"},
         true,
         skipped + "Wrote 8 entries to " + logbook_.string() +
             ", 4 of them kept from the old logbook; the logbook it replaced had 6" + summary_end},
        {"--drop-missing: named", {"--drop-missing"}, false, skipped + named + fewer},
        {"neither, and no terminal: named, and how to keep them",
         {},
         false,
         skipped + named +
             "hint: give --keep-missing to keep the flights whose recording is gone\n" + fewer},
        // Flights dropped are a warning that --quiet does not silence.
        {"neither, quiet: the flights still named",
         {"-q"},
         false,
         "Generating new logbook\n" + named +
             "hint: give --keep-missing to keep the flights whose recording is gone\n" + fewer},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::ofstream(logbook_, std::ios::binary) << kOldLogbook;
        const CliRun cli =
            run(QStringList{"-p", "P", "-d", path(igc_), "-o", path(logbook_), "-y"} + row.options);
        EXPECT_EQ(cli.exit_code, 0);
        EXPECT_EQ(cli.errors, row.errors);
        EXPECT_EQ(testing_support::bytesOf(logbook_), written(row.kept));
        fs::remove(logbook_.string() + ".bak");
    }
}

// On a terminal (script(1)) the run asks, and keeps the flights unless told not to; the input
// ended (Ctrl-D) answers nothing and writes nothing. The question's words and answers are the
// terminal's own tests'.
TEST_F(CliMissing, AsksOnATerminalBeforeDroppingFlights) {
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        GTEST_SKIP() << "script(1) from util-linux is not installed";
    const struct {
        const char* answer;
        std::optional<bool> kept; // none: the old logbook as it was
    } rows[] = {{"\n", true}, {"n\n", false}, {"\x04", std::nullopt}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.answer);
        std::ofstream(logbook_, std::ios::binary) << kOldLogbook;
        const QString command = QStringLiteral("'%1' -p P -y -d '%2' -o '%3'")
                                    .arg(QStringLiteral(THERMORA_CLI), path(igc_), path(logbook_));
        const CliRun terminal =
            run({"-q", "-e", "-c", command, "/dev/null"}, row.answer, QStringLiteral("script"));
        EXPECT_EQ(terminal.exit_code, row.kept ? 0 : 1);
        EXPECT_NE(terminal.output.find("Keep them in the new logbook? [Y/n] "), std::string::npos);
        EXPECT_EQ(terminal.output.find("hint:"), std::string::npos);
        if (row.kept) {
            EXPECT_EQ(testing_support::bytesOf(logbook_), written(*row.kept));
        } else {
            EXPECT_NE(terminal.output.find("The logbook was not generated: cancelled."),
                      std::string::npos)
                << terminal.output;
            EXPECT_EQ(testing_support::bytesOf(logbook_), kOldLogbook);
        }
    }
}

// --list-generations shows what the core finds beside the logbook, the installation's when no
// --logbook is given.
TEST_F(Cli, ListsTheEarlierLogbooks) {
    const fs::path given = dir_ / "given.dat";
    const fs::path preset = dir_ / "install" / "data" / "logbook.dat";
    const struct {
        const char* name;
        QStringList arguments;
        fs::path logbook;
        std::vector<std::string> kept; // the suffixes of the files made beside it
    } rows[] = {
        {"a few kept, one missing between", {"-o", path(given)}, given, {"", ".bak", ".bak.2"}},
        {"none kept", {"-o", path(given)}, given, {""}},
        {"the installation's", {}, preset, {"", ".bak.4"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        int entries = 0;
        for (const std::string& suffix : row.kept) {
            std::ofstream file(row.logbook.string() + suffix, std::ios::binary);
            file << "# Thermora Log Book. (Vantaline V1.0)\r\n#\r\n\r\nname = Pilot " << suffix
                 << "\r\n";
            for (int k = 0; k <= entries; ++k)
                file << "14.05.2026;LS 8;D-8123;Local flight;02:44;00:00;-;-;f.igc\r\n";
            ++entries;
        }
        const CliRun cli = run(QStringList{"--list-generations"} + row.arguments);
        EXPECT_EQ(cli.exit_code, 0);
        EXPECT_EQ(cli.errors, "");
        EXPECT_EQ(cli.output, logbook::keptLogbooksText(logbook::keptLogbooks(row.logbook.string()),
                                                        row.logbook.string()));
        for (const std::string& suffix : row.kept) {
            EXPECT_NE(cli.output.find(row.logbook.string() + suffix + "\n"), std::string::npos);
            fs::remove(row.logbook.string() + suffix);
        }
    }
}

// --restore N puts an earlier logbook back as a run replaces a logbook: asked for, locked, and
// undone by --restore 0.
TEST_F(Cli, RestoresAnEarlierLogbookAsARunReplacesOne) {
    const std::string at = (dir_ / "logbook.dat").string();
    const auto generation = [&at](int age) { // -1: the logbook itself
        return age < 0 ? at : at + ".bak" + (age > 0 ? "." + std::to_string(age) : "");
    };
    // The logbook holds two entries, the earlier ones three (".bak") to seven (".bak.4").
    const auto contentOf = [](int age) {
        std::string bytes = "# Thermora Log Book. (Vantaline V1.0)\r\n#\r\n\r\nname = Pilot " +
                            std::to_string(age) + "\r\n";
        for (int k = 0; k < age + 3; ++k)
            bytes += "14.05.2026;LS 8;D-8123;Local flight;02:44;00:00;-;-;f" + std::to_string(k) +
                     ".igc\r\n";
        return bytes;
    };
    // The logbook and every earlier one in place, but the one of age `gone`.
    const auto prepare = [&](int gone) {
        for (int age = -1; age < 5; ++age) {
            if (age == gone)
                fs::remove(generation(age));
            else
                std::ofstream(generation(age), std::ios::binary) << contentOf(age);
        }
    };
    const auto restore = [this, &at](const QStringList& arguments) {
        return run(QStringList{"-o", QString::fromStdString(at)} + arguments);
    };
    for (int age = 0; age < 5; ++age) {
        SCOPED_TRACE(age);
        prepare(-2);
        const CliRun cli = restore({"-y", "--restore", QString::number(age)});
        EXPECT_EQ(cli.exit_code, 0);
        EXPECT_EQ(cli.errors, "Restored " + at + " from " + generation(age) + " (" +
                                  std::to_string(age + 3) +
                                  " entries); the logbook it replaced had 2; the old logbook was "
                                  "kept as " +
                                  at + ".bak\n");
        EXPECT_EQ(testing_support::bytesOf(at), contentOf(age));
        // Undone by putting back the logbook it replaced, kept as ".bak".
        EXPECT_EQ(restore({"-y", "--restore", "0"}).exit_code, 0);
        EXPECT_EQ(testing_support::bytesOf(at), contentOf(-1));
    }

    const struct {
        const char* name;
        QStringList arguments;
        int gone;    // the age of the one not there; -2: none
        bool locked; // another run holds the logbook
        int exit_code;
        std::string errors;
    } rows[] = {
        {"no logbook to replace: nothing to ask",
         {"--restore", "1"},
         -1,
         false,
         0,
         "Restored " + at + " from " + at + ".bak.1 (4 entries)\n"},
        {"a logbook not to be replaced unasked",
         {"--restore", "1"},
         -2,
         false,
         1,
         "thermora-logbook-cli: Not replacing the existing logbook " + at +
             " (give --yes to replace it)\n"},
        {"another run writing",
         {"-y", "--restore", "1"},
         -2,
         true,
         1,
         "thermora-logbook-cli: Couldn't write the logbook file!\nanother run is writing " + at +
             " (it holds the lock file " + at +
             ".lock); wait until it has finished\nThe old logbook was left as it was.\n"},
        {"no such earlier logbook, said before asking",
         {"--restore", "3"},
         3,
         false,
         1,
         "thermora-logbook-cli: Couldn't restore the logbook!\n" + at +
             ".bak.3\nNo such file or directory\nThe old logbook was left as it was.\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        prepare(row.gone);
        testing_support::HeldLock lock;
        if (row.locked) {
            ASSERT_EQ(lock.take(at), 0);
        }
        const CliRun cli = restore(row.arguments);
        EXPECT_EQ(cli.exit_code, row.exit_code);
        EXPECT_EQ(cli.errors, row.errors);
        EXPECT_EQ(testing_support::bytesOf(at), contentOf(row.exit_code == 0 ? 1 : -1));
    }
}
// What a run finds around a folder that is not the one meant, and what it wrote differently from
// the names it was given: the data folder names its IGC folder, folders by year are said, a name
// beyond Latin-1 and a hidden recording are counted, a missing logbook folder is named.
TEST_F(Cli, SaysWhatItFoundAroundTheFolderAndInTheNames) {
    const fs::path data = dir_ / "install" / "data";
    const fs::path years = dir_ / "years";
    fs::create_directories(years / "2025");
    fs::create_directories(years / "2026");
    fs::copy_file(data / "IGC" / "2026-05-14-triangle.igc", years / "2025" / "a.igc");
    fs::copy_file(data / "IGC" / "2026-05-16-local.igc", years / "2026" / "b.igc");
    fs::copy_file(data / "IGC" / "2026-05-16-local.igc", data / "IGC" /
                                                             "\xC5\x81\xC3\xB3"
                                                             "d\xC5\xBA.igc");
    fs::copy_file(data / "IGC" / "2026-05-16-local.igc", data / "IGC" / ".hidden.igc");
    const struct {
        const char* name;
        QStringList arguments;
        int exit_code;
        std::string line; // the last line of standard error
    } rows[] = {
        {"the data folder for its IGC folder",
         {"-p", "X", "-d", path(data), "-o", path(dir_ / "a.dat")},
         1,
         "thermora-logbook-cli: " + data.string() + " holds no IGC file, but " +
             (data / "IGC").string() + " holds 6 recordings: give --igc-dir " +
             (data / "IGC").string()},
        {"recordings in folders by year",
         {"-p", "X", "-d", path(years), "-o", path(dir_ / "b.dat")},
         0,
         "Wrote 0 entries to " + (dir_ / "b.dat").string() +
             " (0 files read, 0 skipped); the folder holds no IGC file: its subfolders hold 2 "
             "recordings (" +
             (years / "2025").string() +
             " and 1 more folder), but a logbook is made from one "
             "folder's recordings"},
        {"a name beyond Latin-1 and a hidden recording",
         {"-p", "X", "-d", path(data / "IGC"), "-o", path(dir_ / "c.dat"), "-q"},
         0,
         "Wrote 4 entries to " + (dir_ / "c.dat").string() +
             " (6 files read, 2 skipped, 1 file name written with \"?\", 1 hidden file left out)"},
        {"a logbook folder that does not exist",
         {"-p", "X", "-o", path(dir_ / "none" / "d.dat")},
         1,
         "No such file or directory: the folder " + (dir_ / "none").string() +
             " does not exist\nNo logbook was written."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const CliRun cli = run(row.arguments);
        EXPECT_EQ(cli.exit_code, row.exit_code) << cli.errors;
        const std::string end = row.line + "\n";
        ASSERT_GE(cli.errors.size(), end.size()) << cli.errors;
        EXPECT_EQ(cli.errors.substr(cli.errors.size() - end.size()), end) << cli.errors;
    }
}

} // namespace
