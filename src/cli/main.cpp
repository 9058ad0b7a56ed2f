// thermora-logbook-cli: the logbook generation without a display, on the same core as the
// dialog. Same logbook bytes, same diagnostics on the same streams, in the same order. Also lists
// the earlier logbooks kept beside the logbook and puts one back.

#include "cli/Options.h"
#include "cli/Terminal.h"
#include "install/Installation.h"
#include "logbook/Generation.h"
#include "logbook/Listing.h"
#include "logbook/LogbookFile.h"
#include "logbook/LogbookHistory.h"
#include "logbook/Messages.h"
#include "logbook/RequestCheck.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Interrupts.h"
#ifdef _WIN32
#include "platform/WindowsText.h"
#endif

#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using cli::kNotWritten;
using cli::kUsage;
using cli::kWritten;

// A line of the program's own, not of the run: it names the program first.
void say(const std::string& text) {
    std::cerr << "thermora-logbook-cli: " << text << "\n";
}

// A run that wrote no logbook says why.
int notWritten(const std::string& text) {
    say(text);
    return kNotWritten;
}

// Every installation: THERMORA_DIR's, then those of the Wine prefixes in the order searched. One
// line each, directory and source apart by a tab, for scripts: a tab, a line end or any other
// control byte of a directory (a prefix's folder may be named anything) is written as \xNN, so
// that no name splits a line or makes up one of its own.
int listInstallations() {
    const install::InstallationSearch search =
        install::searchInstallations(install::SearchExtent::Everywhere);
    for (const install::FoundInstallation& installation : search.found)
        std::cout << logbook::escaped(installation.directory) << '\t'
                  << logbook::escaped(installation.source) << '\n';
    if (search.found.empty())
        return notWritten(install::notFoundText(search));
    return kWritten;
}

// Whatever happens from here on, an interruption (SIGINT, SIGTERM, SIGHUP, SIGPIPE) removes the
// temporary file and says what became of the logbook, on a line of its own on a terminal. The
// handler writes past the escaping of the standard streams, so the path comes escaped already.
void catchInterrupts(const std::string& path, bool had_logbook, bool on_terminal) {
    const std::string start = on_terminal ? "\n" : "";
    const std::string logbook_path = on_terminal ? cli::terminalText(path) : path;
    platform::catchInterrupts(start + "thermora-logbook-cli: interrupted; " +
                                  (had_logbook
                                       ? "the logbook " + logbook_path + " was left as it was\n"
                                       : "no logbook was written\n"),
                              start + "thermora-logbook-cli: interrupted after the new logbook " +
                                  logbook_path + " was written\n");
}

// The paths not given are those of the installation found: the search, when there was one. The
// generations listed or one put back take the logbook's path alone.
std::optional<install::InstallationSearch> takeInstallationPaths(cli::Options& options) {
    if ((options.igc_directory_given || !options.generates()) && options.logbook_given)
        return std::nullopt;
    install::InstallationSearch search = install::searchInstallations();
    if (search.taken) {
        const install::PresetPaths presets =
            install::presetPaths(search.found[*search.taken].directory);
        if (!options.igc_directory_given)
            options.igc_directory = presets.igc_directory;
        if (!options.logbook_given)
            options.logbook_path = presets.logbook_file;
        // Where the presets point when it is not the installation's own data folder.
        if (!presets.note.empty() && (!options.igc_directory_given || !options.logbook_given))
            std::cerr << presets.note << "\n";
    }
    return search;
}

// What became of the paths given as Windows writes them ("C:\..."): each translated through the
// Wine prefix, said; or why one could not be.
struct GivenPaths {
    std::vector<std::string> notes;
    std::string problem;
};

GivenPaths translateGivenPaths(cli::Options& options,
                               const std::optional<install::InstallationSearch>& search) {
    GivenPaths given;
    const install::InstallationSearch none;
    for (auto [is_given, path] : {std::pair{options.igc_directory_given, &options.igc_directory},
                                  std::pair{options.logbook_given, &options.logbook_path}}) {
        if (!is_given)
            continue;
        const install::GivenPath translated = install::givenPath(*path, search ? *search : none);
        *path = translated.path;
        if (!translated.note.empty())
            given.notes.push_back(translated.note);
        if (given.problem.empty())
            given.problem = translated.problem;
    }
    return given;
}

// Whether the run goes on, or the program ends with an exit status.
using GoOn = platform::Expected<void, cli::Exit>;

GoOn stop(int status) {
    return platform::unexpected(cli::Exit{status});
}

// The paths translated, said; a path that names nothing here, or an installation other than the
// one the pilot named, stops the run before anything is asked or written.
GoOn pathsUsable(const std::optional<install::InstallationSearch>& search,
                 const GivenPaths& given) {
    for (const std::string& note : given.notes)
        std::cerr << logbook::escaped(note) << "\n";
    if (!given.problem.empty())
        return stop(notWritten(logbook::escaped(given.problem)));
    if (search && search->taken)
        if (const std::string named = install::namedPlaceLine(*search); !named.empty())
            return stop(notWritten(named));
    return {};
}

// A pilot name that the core refuses, or that holds characters beyond Latin-1: refused without
// --yes, else written with "?" for them after a warning.
GoOn acceptedPilot(const logbook::RequestCheck& check, bool yes) {
    if (check.refusal != logbook::Refusal::None)
        return stop(cli::usageError(std::cerr, logbook::pilotRefusalLine(check)));
    if (check.beyond_latin1.empty())
        return {};
    say(logbook::latin1Line(check, yes));
    return yes ? GoOn() : stop(kUsage);
}

int noInstallation(const install::InstallationSearch& search, const cli::Options& options) {
    const bool igc_directory_missing = !options.igc_directory_given && options.generates();
    return cli::usageError(std::cerr, install::notFoundText(search) + "; give " +
                                          (igc_directory_missing && !options.logbook_given
                                               ? "--igc-dir and --logbook"
                                           : igc_directory_missing ? "--igc-dir"
                                                                   : "--logbook"));
}

// An existing logbook is replaced with --yes, or after a yes on the terminal.
GoOn mayReplace(const cli::Options& options) {
    const std::string& logbook_path = options.logbook_path;
    if (options.yes)
        return {};
    if (!platform::isTerminal(platform::Stream::Input))
        return stop(notWritten(logbook::notReplacingLine(logbook_path)));
    // Asked only when the run could go ahead: a wrong IGC directory is said first. A restore
    // reads none.
    if (const std::string problem =
            options.generates() ? logbook::pathsProblem(options.igc_directory, logbook_path) : "";
        !problem.empty())
        return stop(notWritten(problem));
    if (!cli::confirmReplace(logbook_path, std::cin, std::cerr))
        return stop(notWritten(logbook::notReplacingLine(logbook_path)));
    return {};
}

// The run's environment on the terminal: the count drawn on `drawing` (standard error past its
// escaping) and never between the exact diagnostics of --verbose; one line per file without an
// entry, the files' own diagnostics only with --verbose, nothing of the files with --quiet; the
// questions answered by the options, else by the pilot on a terminal, else as a script expects.
class TerminalRun : public logbook::RunEnvironment {
public:
    TerminalRun(const cli::Options& options, std::ostream& drawing)
        : options_(options),
          counter_(std::cerr, drawing,
                   !options.verbose && platform::isTerminal(platform::Stream::Errors)) {}

    void progress(int done, int total) override { counter_.show(done, total); }
    logbook::Answer ask(const logbook::RunQuestion& question) override {
        if (question.kind == logbook::RunQuestion::Kind::ReplaceWithEmpty)
            return options_.allow_empty ? logbook::Answer::Yes : logbook::Answer::No;
        if (options_.keep_missing || options_.drop_missing)
            return options_.keep_missing ? logbook::Answer::Yes : logbook::Answer::No;
        if (!platform::isTerminal(platform::Stream::Input))
            return logbook::Answer::No;
        asked_ = true;
        counter_.clear();
        return cli::askKeepMissing(options_.igc_directory, question.missing, std::cin, std::cerr);
    }
    void fileDone(const logbook::FlightResult& file) override {
        if (options_.verbose)
            RunEnvironment::fileDone(file);
        else if (!options_.quiet && file.entry.empty())
            counter_.writeLine(cli::skippedLine(file));
    }
    std::ostream& fileDiagnostics() override {
        return options_.quiet ? cli::nowhere() : RunEnvironment::fileDiagnostics();
    }
    std::ostream& diagnosticOutput() override {
        return options_.quiet ? cli::nowhere() : RunEnvironment::diagnosticOutput();
    }
    void temporaryNamed(const std::string& path, bool in_place) override {
        platform::watchTemporary(path, in_place);
    }

    /// Takes the count off the screen.
    void clear() { counter_.clear(); }
    /// Whether the pilot was asked about the flights without a recording.
    [[nodiscard]] bool asked() const { return asked_; }

private:
    const cli::Options& options_;
    cli::Counter counter_;
    bool asked_ = false;
};

// The run on the core, with the interruptions caught; then the flights it dropped, named once the
// new logbook is in place (a run that fails after the decision has dropped nothing).
logbook::GenerationResult generate(const cli::Options& options, const logbook::RequestCheck& check,
                                   std::ostream& drawing,
                                   const platform::DateFormatter& format_date) {
    catchInterrupts(options.logbook_path, check.replaces_logbook,
                    platform::isTerminal(platform::Stream::Errors));
    logbook::GenerationRequest request;
    request.igc_directory = options.igc_directory;
    request.logbook_path = options.logbook_path;
    request.pilot_name = check.pilot_latin1;
    request.min_time_minutes = options.minutes;
    request.jobs = options.jobs;
    request.format_date = format_date;
    TerminalRun environment(options, drawing);
    const logbook::GenerationResult result = logbook::generateLogbook(request, environment);
    environment.clear();
    // The hint only where nobody was asked. Flights dropped are a warning: --quiet does not
    // silence them.
    if (result.failure.kind == logbook::FailureKind::None) {
        const bool dropped = !result.dropped.empty() || !result.dropped_unreadable.empty();
        for (const logbook::MissingRecordings* flights :
             {&result.dropped, &result.dropped_unreadable}) {
            for (const logbook::OldEntry& entry : flights->shown)
                std::cerr << logbook::escaped(
                                 logbook::droppedLine(entry, *flights, options.igc_directory))
                          << "\n";
            if (const std::string more = logbook::moreDroppedLine(*flights); !more.empty())
                std::cerr << more << "\n";
        }
        if (dropped && !options.drop_missing && !environment.asked())
            std::cerr << logbook::keepMissingHint(result) << "\n";
    }
    return result;
}

// What became of the logbook, and the status that says it: `done` is the line of a success.
int told(const logbook::GenerationResult& result, const std::string& done,
         const std::string& logbook_path) {
    if (const std::string recovered = logbook::recoveryLine(result.recovery, logbook_path);
        !recovered.empty())
        std::cerr << recovered << "\n";
    if (result.failure.kind == logbook::FailureKind::EmptyRefused)
        return notWritten(logbook::failureText(result) +
                          "\nGive --allow-empty to write the empty logbook anyway.");
    if (result.failure.kind != logbook::FailureKind::None)
        return notWritten(logbook::failureText(result));
    std::cerr << done << "\n";
    return kWritten;
}

// The logbook and the earlier logbooks kept beside it, on standard output.
int listGenerations(const std::string& logbook_path) {
    std::cout << logbook::keptLogbooksText(logbook::keptLogbooks(logbook_path), logbook_path);
    return kWritten;
}

// An earlier logbook put back as the logbook, past the same checks as a run's: the question
// before an existing logbook is replaced, the interruptions caught, the lock.
int restore(const cli::Options& options) {
    const std::string& logbook_path = options.logbook_path;
    const bool had_logbook = logbook::logbookExists(logbook_path);
    // The generation as it is when the question is asked: a restore puts back only what the
    // pilot said yes to, never what another run moved into its place meanwhile.
    const std::vector<logbook::KeptLogbook> kept = logbook::keptLogbooks(logbook_path);
    const auto chosen =
        std::find_if(kept.begin(), kept.end(), [&options](const logbook::KeptLogbook& logbook) {
            return logbook.age == options.restore && logbook.exists;
        });
    // Asked only when there is a logbook to put back: else the restore says that there is none.
    if (had_logbook && chosen != kept.end()) {
        if (const GoOn replace = mayReplace(options); !replace)
            return replace.error().status;
    }
    catchInterrupts(logbook_path, had_logbook, platform::isTerminal(platform::Stream::Errors));
    const logbook::GenerationResult result = logbook::restoreGeneration(
        logbook_path, options.restore, chosen != kept.end() ? &chosen->identity : nullptr,
        platform::watchTemporary);
    // Changed since it was asked about: what is kept now, to choose again.
    if (result.failure.kind == logbook::FailureKind::GenerationChanged)
        std::cerr << logbook::keptLogbooksText(logbook::keptLogbooks(logbook_path), logbook_path);
    return told(result, logbook::restoredLine(result, logbook_path), logbook_path);
}

// The whole program, on the arguments after the program's name.
int run(const std::vector<std::string>& arguments) {
    cli::TerminalStreams terminal;
    const platform::Expected<cli::Options, cli::Exit> read =
        cli::readOptions(arguments, cli::helpWidth(), std::cout, std::cerr);
    if (!read)
        return read.error().status; // the help, the version, or a usage error
    cli::Options options = *read;
    if (options.list_installations)
        return listInstallations();
    if (!options.generates()) {
        const std::optional<install::InstallationSearch> search = takeInstallationPaths(options);
        const GivenPaths given = translateGivenPaths(options, search);
        if (search && !search->taken)
            return noInstallation(*search, options);
        if (const GoOn usable = pathsUsable(search, given); !usable)
            return usable.error().status;
        if (search)
            std::cerr << install::choiceText(*search);
        return options.list_generations ? listGenerations(options.logbook_path) : restore(options);
    }

    // Which installation is taken is said only once the pilot name holds.
    const std::optional<install::InstallationSearch> search = takeInstallationPaths(options);
    // Translated before they are looked at; said once the pilot name holds.
    const GivenPaths given = translateGivenPaths(options, search);
    // The paths are left to the run, which says itself what is wrong with them.
    const logbook::RequestCheck check = logbook::checkRequest(
        options.pilot, options.igc_directory, options.logbook_path, logbook::PathCheck::ByTheRun);
    if (const GoOn pilot = acceptedPilot(check, options.yes); !pilot)
        return pilot.error().status;
    if (search && !search->taken)
        return noInstallation(*search, options);
    if (const GoOn usable = pathsUsable(search, given); !usable)
        return usable.error().status;
    // Which of several installations the run takes, before anything is written to it.
    if (search)
        std::cerr << install::choiceText(*search);
    // The data folder given for its IGC folder: the folder to give is named.
    if (!check.better_folder.empty())
        return notWritten(logbook::betterFolderLine(options.igc_directory, check));

    if (check.replaces_logbook) {
        if (const GoOn replace = mayReplace(options); !replace)
            return replace.error().status;
    }
    // The dates as the simulator writes them, in the form of its prefix when it runs under Wine.
    const logbook::GenerationResult result =
        generate(options, check, terminal.errorsAsWritten(),
                 install::entryDateFormatter(options.logbook_path,
                                             search ? *search : install::InstallationSearch{}));
    return told(result, logbook::summaryLine(result, options.logbook_path), options.logbook_path);
}

} // namespace

#ifdef _WIN32
// The command line as Windows gives it, in UTF-16: every argument to UTF-8, as the core takes
// paths and names.
int wmain(int argc, wchar_t** argv) {
    platform::prepareStandardStreams();
    std::vector<std::string> arguments;
    for (int k = 1; k < argc; ++k)
        arguments.push_back(platform::narrowed(argv[k]));
    return run(arguments);
}
#else
int main(int argc, char** argv) {
    // The paths are used exactly as given, whatever their encoding.
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
