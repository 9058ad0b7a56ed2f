// thermora-logbook-cli: the logbook generation without a display, on the same core as the
// dialog. Same logbook bytes, same diagnostics on the same streams, in the same order.

#include "install/InstallDir.h"
#include "logbook/Generation.h"
#include "logbook/LogbookEntry.h"
#include "logbook/LogbookFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <streambuf>
#include <string>

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

int usageError(const QString& message) {
    std::cerr << qPrintable(QCoreApplication::applicationName()) << ": "
              << message.toLocal8Bit().constData() << "\n"
              << "Try '" << qPrintable(QCoreApplication::applicationName())
              << " --help' for more information.\n";
    return kUsage;
}

// Asks on the terminal whether to replace the logbook; true only for "y" or "yes".
bool confirmReplace(const QString& path) {
    std::cerr << "This wil overwrite your existing logbook!\n"
              << "Replace " << QFile::encodeName(path).constData() << "? [y/N] " << std::flush;
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
        "Diagnostics of every file go to standard error (\"Empty log file\" to standard "
        "output), as in the dialog; a summary line ends the run.\n"
        "\n"
        "Exit status: 0 logbook written (also with no entries), 1 logbook not written (not "
        "writable, or not replaced), 2 usage error."));
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
    const QCommandLineOption yes({QStringLiteral("y"), QStringLiteral("yes")},
                                 QStringLiteral("Replace an existing logbook without asking."));
    const QCommandLineOption quiet(
        {QStringLiteral("q"), QStringLiteral("quiet")},
        QStringLiteral("No per-file diagnostics; on a terminal, a progress counter instead."));
    parser.addOptions({pilot, igc_dir, logbook_file, min_time, yes, quiet});

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0); // exits
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion(); // exits with 0
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    if (!parser.isSet(pilot))
        return usageError(QStringLiteral("the option --pilot is required"));
    const QString pilot_name = parser.value(pilot);
    if (pilot_name.isEmpty()) {
        std::cerr << "You must enter a pilot name!\n";
        return kUsage;
    }
    bool number = false;
    const int minutes = parser.value(min_time).toInt(&number);
    if (!number || minutes < 0 || minutes > 60)
        return usageError(QStringLiteral("--min-time takes whole minutes from 0 to 60, not '%1'")
                              .arg(parser.value(min_time)));

    QString directory = parser.value(igc_dir);
    QString logbook_path = parser.value(logbook_file);
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
            directory = presets.igc_directory;
        if (!parser.isSet(logbook_file))
            logbook_path = presets.logbook_file;
    }

    if (QFile::exists(logbook_path) && !parser.isSet(yes)) {
        if (!isatty(STDIN_FILENO) || !confirmReplace(logbook_path)) {
            std::cerr << "Not replacing the existing logbook "
                      << QFile::encodeName(logbook_path).constData()
                      << " (give --yes to replace it)\n";
            return kNotWritten;
        }
    }

    const bool silent = parser.isSet(quiet);
    std::cerr << "Generating new logbook\n";
    logbook::LogbookFile out;
    if (!out.open(logbook_path)) {
        std::cerr << "Couldn't open output logbook file!\nEnsure that you have write permission "
                     "to the Thermora data directory\n";
        return kNotWritten;
    }
    logbook::writeLogbookHeader(out, pilot_name.toLatin1().toStdString());

    logbook::GenerationSummary summary;
    if (const std::optional<QStringList> files = logbook::listFlights(directory)) {
        // The counter goes to the terminal itself, past the silenced streams.
        const bool counter = silent && isatty(STDERR_FILENO) != 0;
        const logbook::Progress progress = [counter](int done, int total) {
            if (counter) {
                std::fprintf(stderr, "\r%d/%d flights", done, total);
                std::fflush(stderr);
            }
        };
        std::optional<Silence> silence;
        if (silent)
            silence.emplace();
        summary = logbook::writeEntries(*files, out, minutes, QLocale::system(), progress);
        silence.reset();
        if (counter)
            std::fprintf(stderr, "\r\033[K");
    }
    out.close();
    if (out.fail()) {
        std::cerr << "Couldn't write the logbook file "
                  << QFile::encodeName(logbook_path).constData() << "\n";
        return kNotWritten;
    }
    std::cerr << "Wrote " << summary.entries << " entries to "
              << QFile::encodeName(logbook_path).constData() << " (" << summary.files
              << " files read, " << summary.files - summary.entries << " skipped)\n";
    return kWritten;
}
