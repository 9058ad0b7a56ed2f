// thermora-logbook-cli: the logbook generation without a display, on the same core as the
// dialog. Same logbook bytes, same diagnostics on the same streams, in the same order.

#include "install/InstallDir.h"
#include "install/Installations.h"
#include "logbook/Generation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

namespace {

enum ExitCode { kWritten = 0, kNotWritten = 1, kUsage = 2 };

// Swallows what the per-file diagnostics would write while --quiet is given.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// Redirects std::cerr and std::cout into nothing for its lifetime.
class Silence {
public:
    Silence() : errors_(std::cerr.rdbuf(&null_)), output_(std::cout.rdbuf(&null_)) {}
    ~Silence() {
        std::cerr.rdbuf(errors_);
        std::cout.rdbuf(output_);
    }
    Silence(const Silence&) = delete;
    Silence& operator=(const Silence&) = delete;

private:
    NullBuffer null_;
    std::streambuf* errors_;
    std::streambuf* output_;
};

// What a signal handler may touch: fixed buffers filled before the signals can arrive, and a
// phase that tells whether the new logbook is still a temporary file.
namespace interruption {
enum Phase : int { kNoFile = 0, kTemporary = 1, kReplaced = 2 };
volatile std::sig_atomic_t phase = kNoFile;
char temporary[4096];
char left_alone[4096 + 256]; // "the logbook was left as it was"
char replaced[4096 + 256];   // the signal came after the new logbook was in place
std::size_t left_alone_length = 0;
std::size_t replaced_length = 0;

extern "C" void onSignal(int signal_number) {
    const char* message = left_alone;
    std::size_t length = left_alone_length;
    if (phase == kTemporary && ::unlink(temporary) != 0 && errno == ENOENT) {
        // The rename came first: the new logbook is in place, there is nothing to remove.
        message = replaced;
        length = replaced_length;
    } else if (phase == kReplaced) {
        message = replaced;
        length = replaced_length;
    }
    static_cast<void>(::write(STDERR_FILENO, message, length));
    ::_exit(128 + signal_number);
}

void format(char* buffer, std::size_t size, std::size_t& length, const std::string& text) {
    length = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
}

// Whatever happens from here on, SIGINT, SIGTERM and SIGHUP remove the temporary file and say
// what became of the logbook.
void install(const std::string& logbook_path, bool had_logbook, bool on_terminal) {
    const std::string start = on_terminal ? "\n" : "";
    format(left_alone, sizeof left_alone, left_alone_length,
           start + "thermora-logbook-cli: interrupted; " +
               (had_logbook ? "the logbook " + logbook_path + " was left as it was\n"
                            : "no logbook was written\n"));
    format(replaced, sizeof replaced, replaced_length,
           start + "thermora-logbook-cli: interrupted after the new logbook " + logbook_path +
               " was written\n");
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, signal_number);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal_number, &action, nullptr);
}

// Told by the logbook file where its temporary file is, and when it took the logbook's place.
void watch(const std::string& path, bool in_place) {
    sigset_t block;
    sigset_t old;
    sigemptyset(&block);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&block, signal_number);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    std::size_t length = 0;
    format(temporary, sizeof temporary, length, path);
    temporary[length] = '\0';
    phase = in_place ? kReplaced : path.empty() ? kNoFile : kTemporary;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}
} // namespace interruption

// The bytes given on the command line for a value option, the last one given, as the parser
// reads the options: "--name value", "--name=value", "-x value", "-xvalue" and short options
// run together ("-yd DIR"). The parser's strings have lost bytes that are not text in the
// user's encoding; a path must be used exactly as given.
std::optional<std::string> rawValue(int argc, char** argv, char short_name,
                                    std::string_view long_name) {
    constexpr std::string_view kValueOptions[] = {"pilot", "igc-dir", "logbook", "min-time",
                                                  "jobs"};
    constexpr std::string_view kValueShort = "pdomj";
    std::optional<std::string> value;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        if (argument.substr(0, 2) == "--") {
            const std::string_view option = argument.substr(2);
            const std::size_t equals = option.find('=');
            const std::string_view name = option.substr(0, equals);
            if (equals != std::string_view::npos) {
                if (name == long_name)
                    value = std::string(option.substr(equals + 1));
            } else if (std::find(std::begin(kValueOptions), std::end(kValueOptions), name) !=
                           std::end(kValueOptions) &&
                       i + 1 < argc) {
                ++i;
                if (name == long_name)
                    value = argv[i];
            }
            continue;
        }
        if (argument.size() < 2 || argument[0] != '-')
            continue;
        for (std::size_t k = 1; k < argument.size(); ++k) {
            if (kValueShort.find(argument[k]) == std::string_view::npos)
                continue;
            std::string given;
            if (k + 1 < argument.size())
                given = argument.substr(k + 1);
            else if (i + 1 < argc)
                given = argv[++i];
            if (argument[k] == short_name)
                value = given;
            break;
        }
    }
    return value;
}

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// Every installation: THERMORA_DIR's, then those of the Wine prefixes in the order searched.
int listInstallations() {
    std::vector<install::Installation> found;
    if (const char* value = std::getenv("THERMORA_DIR"); value != nullptr && *value != '\0')
        found.push_back({value, QStringLiteral("THERMORA_DIR"), -1});
    for (install::Installation& installation : install::installationsIn(install::winePrefixes()))
        found.push_back(std::move(installation));
    for (const install::Installation& installation : found)
        std::cout << installation.directory << '\t' << installation.source.toLocal8Bit().constData()
                  << '\n';
    if (found.empty()) {
        std::cerr << "thermora-logbook-cli: no Thermora installation found\n";
        return kNotWritten;
    }
    return kWritten;
}

int usageError(const QString& message) {
    std::cerr << qPrintable(QCoreApplication::applicationName()) << ": "
              << message.toLocal8Bit().constData() << "\n"
              << "Try '" << qPrintable(QCoreApplication::applicationName())
              << " --help' for more information.\n";
    return kUsage;
}

// Asks on the terminal whether to replace the logbook; true only for "y" or "yes".
bool confirmReplace(const std::string& path) {
    std::cerr << "This will overwrite your existing logbook!\n"
              << "Replace " << path << "? [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    const QString reply = QString::fromLocal8Bit(answer.c_str()).trimmed().toLower();
    return reply == QLatin1String("y") || reply == QLatin1String("yes");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("thermora-logbook-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(THERMORA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Rebuilds the Thermora pilot logbook from the IGC recordings of a directory, oldest "
        "first, without a display.\n"
        "\n"
        "The IGC directory and the logbook file default to data/IGC and data/logbook.dat in the "
        "simulator's installation directory (THERMORA_DIR, else the Wine prefix's registry).\n"
        "An existing logbook is replaced only with --yes, or after answering \"y\" on a "
        "terminal.\n"
        "Output: by default one line on standard error for each file that gives no entry, "
        "naming the file and why, then a summary line. --verbose writes every diagnostic of "
        "every file as the dialog writes them (to standard error, \"Empty log file\" to "
        "standard output); --quiet writes only the frame of the run and, on a terminal, a "
        "progress counter.\n"
        "The logbook holds the pilot name as Latin-1 text: a name with other characters is "
        "refused unless --yes is given (they are then written as \"?\").\n"
        "\n"
        "The new logbook replaces the old one only once it is whole and on disk; the old one "
        "is kept as the same name plus .bak. A failed or interrupted run leaves the old logbook "
        "as it was.\n"
        "\n"
        "Exit status: 0 logbook written (also with no entries), 1 logbook not written (IGC "
        "directory not readable, logbook not writable, or not replaced), 2 usage error; 129, 130 "
        "or 143 interrupted by SIGHUP, SIGINT or SIGTERM."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption pilot(
        {QStringLiteral("p"), QStringLiteral("pilot")},
        QStringLiteral("Pilot name written into the logbook (required)."), QStringLiteral("NAME"));
    const QCommandLineOption igc_dir({QStringLiteral("d"), QStringLiteral("igc-dir")},
                                     QStringLiteral("Directory of the IGC files."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption logbook_file({QStringLiteral("o"), QStringLiteral("logbook")},
                                          QStringLiteral("Logbook file to write."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption min_time(
        {QStringLiteral("m"), QStringLiteral("min-time")},
        QStringLiteral("Only flights at least this long are added, 0 to 60 (default 1)."),
        QStringLiteral("MINUTES"), QStringLiteral("1"));
    const QCommandLineOption yes(
        {QStringLiteral("y"), QStringLiteral("yes")},
        QStringLiteral("Replace an existing logbook without asking; write a pilot name with "
                       "characters beyond Latin-1 anyway."));
    const QCommandLineOption quiet(
        {QStringLiteral("q"), QStringLiteral("quiet")},
        QStringLiteral("No per-file lines; on a terminal, a progress counter instead."));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"),
        QStringLiteral("Every diagnostic of every file, as the dialog writes them."));
    const QCommandLineOption jobs(
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("Files analysed at once, 1 to 256 (default: one per core, here %1); the "
                       "output is the same for any number.")
            .arg(logbook::defaultJobs()),
        QStringLiteral("N"));
    const QCommandLineOption list_installations(
        QStringLiteral("list-installations"),
        QStringLiteral("List every Thermora installation found, one per line: the directory, a "
                       "tab, where it was found; then exit."));
    parser.addOptions(
        {pilot, igc_dir, logbook_file, min_time, jobs, yes, quiet, verbose, list_installations});

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0); // exits
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion(); // exits with 0
    if (parser.isSet(list_installations))
        return listInstallations();
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    if (!parser.isSet(pilot))
        return usageError(QStringLiteral("the option --pilot is required"));
    if (parser.isSet(quiet) && parser.isSet(verbose))
        return usageError(QStringLiteral("--quiet and --verbose exclude each other"));
    const QString pilot_name = parser.value(pilot);
    if (pilot_name.isEmpty())
        return usageError(QStringLiteral("the pilot name must not be empty"));
    // The simulator reads the pilot name as Latin-1, on one header line.
    const std::string pilot_text = pilot_name.toLatin1().toStdString();
    if (logbook::hasControlCharacter(pilot_text))
        return usageError(QStringLiteral(
            "the pilot name must not hold a line break or any other control character"));
    if (const QString beyond = logbook::charactersBeyondLatin1(pilot_name); !beyond.isEmpty()) {
        const std::string what = "the logbook holds the pilot name as Latin-1 text, which has no " +
                                 beyond.toLocal8Bit().toStdString();
        if (!parser.isSet(yes)) {
            std::cerr << "thermora-logbook-cli: " << what
                      << "; give --yes to write them as \"?\"\n";
            return kUsage;
        }
        std::cerr << "thermora-logbook-cli: warning: " << what << "; written as \"?\"\n";
    }
    bool number = false;
    const int minutes = parser.value(min_time).toInt(&number);
    if (!number || minutes < 0 || minutes > 60)
        return usageError(QStringLiteral("--min-time takes whole minutes from 0 to 60, not '%1'")
                              .arg(parser.value(min_time)));

    int threads = logbook::defaultJobs();
    if (parser.isSet(jobs)) {
        threads = parser.value(jobs).toInt(&number);
        if (!number || threads < 1 || threads > 256)
            return usageError(QStringLiteral("--jobs takes a whole number from 1 to 256, not '%1'")
                                  .arg(parser.value(jobs)));
    }

    std::string directory = rawValue(argc, argv, 'd', "igc-dir").value_or(std::string());
    std::string logbook_path = rawValue(argc, argv, 'o', "logbook").value_or(std::string());
    if (!parser.isSet(igc_dir) || !parser.isSet(logbook_file)) {
        std::string install;
        if (!install::readInstallDir(install)) {
            return usageError(QStringLiteral("no Thermora installation found; give %1")
                                  .arg(!parser.isSet(igc_dir) && !parser.isSet(logbook_file)
                                           ? QStringLiteral("--igc-dir and --logbook")
                                       : !parser.isSet(igc_dir) ? QStringLiteral("--igc-dir")
                                                                : QStringLiteral("--logbook")));
        }
        const install::Presets presets = install::presetsFor(install);
        if (!parser.isSet(igc_dir))
            directory = QFile::encodeName(presets.igc_directory).toStdString();
        if (!parser.isSet(logbook_file))
            logbook_path = QFile::encodeName(presets.logbook_file).toStdString();
    }

    const bool had_logbook = exists(logbook_path);
    if (had_logbook && !parser.isSet(yes)) {
        if (!isatty(STDIN_FILENO) || !confirmReplace(logbook_path)) {
            std::cerr << "Not replacing the existing logbook " << logbook_path
                      << " (give --yes to replace it)\n";
            return kNotWritten;
        }
    }

    const bool silent = parser.isSet(quiet);
    const bool every_line = parser.isSet(verbose);
    interruption::install(logbook_path, had_logbook, isatty(STDERR_FILENO) != 0);
    logbook::GenerationRequest request;
    request.igc_directory = directory;
    request.logbook_path = logbook_path;
    request.pilot_name = pilot_text;
    request.min_time_minutes = minutes;
    request.jobs = threads;
    request.temporary_watcher = interruption::watch;
    if (!every_line) {
        // One line per file without an entry; the files' own diagnostics only with --verbose.
        request.on_file = [silent](const logbook::FlightResult& file) {
            if (!silent && file.entry.empty())
                std::cerr << "Skipped " << file.path << ": " << file.reason << "\n";
        };
    }

    // The counter goes to the terminal itself, past the silenced streams.
    const bool counter = silent && isatty(STDERR_FILENO) != 0;
    const logbook::Progress progress = [counter](int done, int total) {
        if (counter) {
            std::fprintf(stderr, "\r%d/%d flights", done, total);
            std::fflush(stderr);
        }
    };
    // The frame of the run stays on standard error when the per-file lines are silenced.
    std::ostream frame(std::cerr.rdbuf());
    logbook::GenerationResult result;
    {
        std::optional<Silence> silence;
        if (silent)
            silence.emplace();
        result = logbook::generateLogbook(request, frame, progress);
    }
    if (counter)
        std::fprintf(stderr, "\r\033[K");
    if (result.failure != logbook::GenerationFailure::None) {
        std::cerr << logbook::failureText(result) << "\n";
        return kNotWritten;
    }
    std::cerr << "Wrote " << result.entries << " entries to " << logbook_path << " ("
              << result.files << " files read, " << result.files - result.entries << " skipped)";
    if (!result.backup_path.empty())
        std::cerr << "; the old logbook was kept as " << result.backup_path;
    std::cerr << "\n";
    return kWritten;
}
