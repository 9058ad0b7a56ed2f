// thermora-logbook-cli: the logbook generation without a display, on the same core as the
// dialog. Same logbook bytes, same diagnostics on the same streams, in the same order.

#include "install/Installation.h"
#include "logbook/DialogFlow.h"
#include "logbook/Generation.h"
#include "logbook/Messages.h"
#include "logbook/Text.h"
#include "platform/Console.h"
#ifdef _WIN32
#include "platform/WindowsText.h"
#endif
#include "platform/Interrupts.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace {

enum ExitCode { kWritten = 0, kNotWritten = 1, kUsage = 2 };

// Swallows what the per-file diagnostics would write while --quiet is given.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// A whole number as the option values have always been read: blanks around it and a sign
// allowed, nothing else.
std::optional<int> wholeNumber(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\n\v\f\r");
    const std::size_t last = text.find_last_not_of(" \t\n\v\f\r");
    if (first == std::string::npos)
        return std::nullopt;
    const std::string digits = text.substr(first, last - first + 1);
    std::size_t at = digits[0] == '+' || digits[0] == '-' ? 1 : 0;
    if (at == digits.size() || digits.find_first_not_of("0123456789", at) != std::string::npos)
        return std::nullopt;
    long long value = 0;
    for (; at < digits.size(); ++at) {
        value = value * 10 + (digits[at] - '0');
        if (value > 2147483648LL)
            return std::nullopt;
    }
    value = digits[0] == '-' ? -value : value;
    if (value > 2147483647LL)
        return std::nullopt;
    return static_cast<int>(value);
}

// Whatever happens from here on, an interruption (SIGINT, SIGTERM, SIGHUP, SIGPIPE) removes the
// temporary file and says what became of the logbook.
void catchInterrupts(const std::string& logbook_path, bool had_logbook, bool on_terminal) {
    const std::string start = on_terminal ? "\n" : "";
    platform::catchInterrupts(start + "thermora-logbook-cli: interrupted; " +
                                  (had_logbook
                                       ? "the logbook " + logbook_path + " was left as it was\n"
                                       : "no logbook was written\n"),
                              start + "thermora-logbook-cli: interrupted after the new logbook " +
                                  logbook_path + " was written\n");
}

// The arguments as CLI11 is to read them. "-o=lb.dat" and "-yd=DIR" have always meant the value
// after the "=", and scripts are written so, where CLI11 would keep the "=" in the value; and
// "--logbook=" gives an empty value, where CLI11 would take the next argument instead. So a value
// written after "=" is handed over as an argument of its own, which CLI11 takes as the value
// whatever it looks like. Values themselves are never rewritten, nor anything after "--".
std::vector<std::string> separateValues(const CLI::App& cli,
                                        const std::vector<std::string>& arguments) {
    const auto takesValue = [&cli](const std::string& name) {
        const CLI::Option* option = cli.get_option_no_throw(name);
        return option != nullptr && option->get_items_expected_max() > 0;
    };
    std::vector<std::string> separated;
    bool is_value = false; // the argument is the value of the option before it
    for (auto next = arguments.begin(); next != arguments.end(); ++next) {
        const std::string& argument = *next;
        if (is_value || argument.size() < 2 || argument[0] != '-') {
            is_value = false;
            separated.push_back(argument);
            continue;
        }
        if (argument == "--") {
            separated.insert(separated.end(), next, arguments.end());
            break;
        }
        // Where the name of an option that takes a value ends, if the argument names one.
        std::size_t name_end = std::string::npos;
        if (argument[1] == '-') {
            const std::size_t equals = std::min(argument.find('='), argument.size());
            if (takesValue(argument.substr(0, equals)))
                name_end = equals;
        } else {
            // Short flags run together up to the first letter that takes a value.
            for (std::size_t k = 1; k < argument.size() && name_end == std::string::npos; ++k) {
                const std::string name{'-', argument[k]};
                if (cli.get_option_no_throw(name) == nullptr)
                    break;
                if (takesValue(name))
                    name_end = k + 1;
            }
        }
        is_value = name_end == argument.size();
        if (name_end < argument.size() && argument[name_end] == '=') {
            separated.push_back(argument.substr(0, name_end));
            separated.push_back(argument.substr(name_end + 1));
        } else {
            separated.push_back(argument);
        }
    }
    return separated;
}

// Columns of the terminal that the help is shown on: COLUMNS when set, else the terminal's own
// width, else 80 (a pipe or a file).
std::size_t helpWidth() {
    if (const char* columns = std::getenv("COLUMNS"); columns != nullptr) {
        char* end = nullptr;
        const long value = std::strtol(columns, &end, 10);
        if (end != columns && *end == '\0' && value > 0)
            return static_cast<std::size_t>(value);
    }
    if (const std::size_t columns = platform::terminalColumns(platform::Stream::Output);
        columns > 0)
        return columns;
    return 80;
}

// `text` with each line broken at blanks into lines of at most `width` columns, continued at the
// line's own indentation. A line indented by four blanks or more is a command to copy and stays
// whole.
std::string wrapped(const std::string& text, std::size_t width) {
    std::istringstream lines(text);
    std::string result;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t indent = std::min(line.find_first_not_of(' '), line.size());
        if (indent >= 4) {
            result += line + "\n";
            continue;
        }
        std::istringstream words(line.substr(indent));
        std::string out(indent, ' ');
        bool first = true; // the next word starts the output line
        for (std::string word; words >> word;) {
            if (!first && out.size() + 1 + word.size() > width) {
                result += out + "\n";
                out.assign(indent, ' ');
                first = true;
            }
            out += (first ? "" : " ") + word;
            first = false;
        }
        result += out + "\n";
    }
    return result;
}

// The help at the terminal's width: the usage line first, then the description, the options
// (their descriptions wrapped in their column) and the examples. The usage line leaves out the
// arguments that are collected only to be refused.
class Help : public CLI::Formatter {
public:
    explicit Help(std::size_t width) : width_(std::max<std::size_t>(width, 40)) {}

    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        std::string options = make_groups(app, mode);
        options.erase(options.find_last_not_of('\n') + 1); // the hidden group's blank line
        return make_usage(app, name) + "\n" + make_description(app) + options + "\n\n" +
               make_footer(app);
    }
    std::string make_usage(const CLI::App* app, std::string) const override {
        return "Usage: " + app->get_name() + " [OPTIONS]\n";
    }
    std::string make_description(const CLI::App* app) const override {
        return wrapped(app->get_description(), width_);
    }
    std::string make_footer(const CLI::App* app) const override {
        return wrapped(app->get_footer(), width_);
    }
    std::string make_option_desc(const CLI::Option* option) const override {
        std::string text = wrapped(option->get_description(),
                                   std::max<std::size_t>(width_ - get_column_width(), 20));
        text.pop_back(); // the line end that closes the option's line comes after it
        return text;
    }

private:
    std::size_t width_;
};

// How close `typed` is to `name`: the letters to insert, delete, change or swap with their
// neighbour to turn one into the other.
std::size_t editDistance(std::string_view typed, std::string_view name) {
    std::vector<std::vector<std::size_t>> d(typed.size() + 1,
                                            std::vector<std::size_t>(name.size() + 1));
    for (std::size_t i = 0; i <= typed.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= name.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= typed.size(); ++i) {
        for (std::size_t j = 1; j <= name.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (typed[i - 1] == name[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && typed[i - 1] == name[j - 2] && typed[i - 2] == name[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[typed.size()][name.size()];
}

// The long option that an unknown `--typed` most likely meant: the only one that it begins, else
// the one closest to it, by at most one letter in three (two at most); empty when none is.
std::string closestOption(const CLI::App& cli, const std::string& typed) {
    std::vector<std::string> names;
    for (const CLI::Option* option : cli.get_options())
        for (const std::string& name : option->get_lnames())
            names.push_back(name);
    std::vector<std::string> extended;
    std::copy_if(names.begin(), names.end(), std::back_inserter(extended),
                 [&typed](const std::string& name) { return name.rfind(typed, 0) == 0; });
    if (extended.size() == 1)
        return "--" + extended.front();
    const std::size_t allowed = std::clamp<std::size_t>(typed.size() / 3, 1, 2);
    std::string closest;
    std::size_t best = allowed + 1;
    for (const std::string& name : names) {
        if (const std::size_t distance = editDistance(typed, name); distance < best) {
            best = distance;
            closest = "--" + name;
        }
    }
    return closest;
}

// CLI11's parse errors in the words this tool has always used for them.
std::string parseErrorText(const CLI::App& cli, const CLI::ParseError& error,
                           const std::vector<std::string>& arguments) {
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
        // The unknown options by name: "--colour=red" is 'colour', "-xy" is 'x'.
        std::string names;
        const std::vector<std::string> unknown = cli.remaining();
        for (const std::string& option : unknown) {
            const std::size_t start = std::min(option.find_first_not_of('-'), option.size());
            names +=
                (names.empty() ? "" : ", ") +
                (start == 1 ? option.substr(1, 1) : option.substr(start, option.find('=') - start));
        }
        if (unknown.size() > 1)
            return "Unknown options: " + names + ".";
        const std::string suggestion =
            unknown.front().rfind("--", 0) == 0 ? closestOption(cli, names) : std::string();
        return "Unknown option '" + names + "'." +
               (suggestion.empty() ? "" : " Did you mean '" + suggestion + "'?");
    }
    // An option's value is taken from the next argument whatever it is, so only the last
    // argument can lack one.
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && !arguments.empty())
        return "Missing value after '" + arguments.back() + "'.";
    return error.what();
}

// Every installation: THERMORA_DIR's, then those of the Wine prefixes in the order searched.
int listInstallations() {
    const install::InstallationSearch search =
        install::searchInstallations(install::SearchExtent::Everywhere);
    for (const install::FoundInstallation& installation : search.found)
        std::cout << installation.directory << '\t' << installation.source << '\n';
    if (search.found.empty()) {
        std::cerr << "thermora-logbook-cli: " << install::notFoundText(search) << "\n";
        return kNotWritten;
    }
    return kWritten;
}

// A run that wrote no logbook says why, in lines of which the first names the program.
int runError(const std::string& text) {
    std::cerr << "thermora-logbook-cli: " << text << "\n";
    return kNotWritten;
}

// The files done so far, on one line of the terminal that each file's count overwrites. Drawn
// at most ten times a second (a run of 20,000 small files would spend its time on the terminal
// otherwise), and always for the last file; taken off the screen before any other line.
class Counter {
public:
    explicit Counter(bool shown) : shown_(shown) {}
    void show(int done, int total) {
        if (!shown_)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (on_screen_ && done < total && now - drawn_ < std::chrono::milliseconds(100))
            return;
        std::fprintf(stderr, "\r%s", logbook::progressText(done, total).c_str());
        std::fflush(stderr);
        on_screen_ = true;
        drawn_ = now;
    }
    void clear() {
        if (!on_screen_)
            return;
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        on_screen_ = false;
    }

private:
    bool shown_;
    bool on_screen_ = false;
    std::chrono::steady_clock::time_point drawn_;
};

int usageError(const std::string& message) {
    std::cerr << "thermora-logbook-cli: " << message << "\n"
              << "Try 'thermora-logbook-cli --help' for more information.\n";
    return kUsage;
}

// Asks on the terminal whether to replace the logbook; true only for "y" or "yes".
bool confirmReplace(const std::string& path) {
    std::cerr << "This will overwrite your existing logbook!\n"
              << "Replace " << path << "? [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    const std::size_t first = answer.find_first_not_of(" \t\r");
    std::string reply = first == std::string::npos ? std::string() : answer.substr(first);
    reply.erase(reply.find_last_not_of(" \t\r") + 1);
    std::transform(reply.begin(), reply.end(), reply.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return reply == "y" || reply == "yes";
}

// The whole program, on the arguments after the program's name: bytes as given on POSIX
// systems, UTF-8 on Windows.
int run(const std::vector<std::string>& arguments) {

    CLI::App cli(
        "Rebuilds the Thermora pilot logbook from the IGC recordings of a directory, oldest "
        "first, without a display.\n"
        "\n"
        "The IGC directory and the logbook file default to data/IGC and data/logbook.dat in the "
        "simulator's installation directory: THERMORA_DIR, else the one found in the Wine "
        "prefixes of Wine, Steam (Proton), Lutris and Bottles (--list-installations lists "
        "them).\n"
        "An existing logbook is replaced only with --yes, or after answering \"y\" on a "
        "terminal. A logbook that holds entries is replaced by one without any (an IGC directory "
        "without flights) only with --allow-empty.\n"
        "Output, on standard error: by default one line for each file that gives no entry, "
        "naming the file and why, then a summary line; on a terminal, a line that counts the "
        "files done. --verbose writes every diagnostic of every file as the dialog writes them "
        "(\"Empty log file\" to standard output), without the count; --quiet writes only the "
        "frame of the run and, on a terminal, the count.\n"
        "The logbook holds the pilot name as Latin-1 text: a name with other characters is "
        "refused unless --yes is given (they are then written as \"?\").\n"
        "\n"
        "The new logbook replaces the old one only once it is whole and on disk. The old one is "
        "kept as the same name plus .bak, with its owner and permissions; the four before it as "
        ".bak.1 (the newest of them) to .bak.4. A failed or interrupted run leaves the old "
        "logbook as it was. Only a regular file is replaced. One run at a time writes a logbook "
        "directory: a second run says \"another run is writing\" and writes nothing.\n"
        "\n"
        "Exit status: 0 logbook written (also with no entries), 1 logbook not written (IGC "
        "directory not readable, logbook not writable, not to be replaced or not to be "
        "emptied), 2 usage error; 129, 130, 141 or 143 interrupted by SIGHUP, SIGINT, SIGPIPE or "
        "SIGTERM.\n",
        "thermora-logbook-cli");
    cli.footer("Examples:\n"
               "  The logbook of the installation found, the old one kept as logbook.dat.bak:\n"
               "    thermora-logbook-cli --pilot \"Jane Doe\" --yes\n"
               "  Flights of 5 minutes or more from ~/flights, only the count shown:\n"
               "    thermora-logbook-cli -p \"Jane Doe\" -d ~/flights -m 5 -q\n");
    cli.formatter(std::make_shared<Help>(helpWidth()));
    // Given twice, an option's last value counts.
    cli.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    cli.set_help_flag("-h,--help", "Displays help on commandline options.");
    cli.set_version_flag("-V,--version", "thermora-logbook-cli " THERMORA_VERSION,
                         "Displays version information.");
    std::string pilot;
    std::string directory;
    std::string logbook_path;
    std::string min_time = "1";
    std::string jobs;
    bool yes = false;
    bool allow_empty = false;
    bool quiet = false;
    bool verbose = false;
    bool list_installations = false;
    std::vector<std::string> positional;
    CLI::Option* const pilot_option =
        cli.add_option("-p,--pilot", pilot, "Pilot name written into the logbook (required).")
            ->type_name("NAME");
    CLI::Option* const igc_dir_option =
        cli.add_option("-d,--igc-dir", directory, "Directory of the IGC files.")->type_name("DIR");
    CLI::Option* const logbook_option =
        cli.add_option("-o,--logbook", logbook_path, "Logbook file to write.")->type_name("FILE");
    cli.add_option("-m,--min-time", min_time,
                   "Only flights at least this long are added, 0 to 60 (default 1).")
        ->type_name("MINUTES");
    CLI::Option* const jobs_option =
        cli.add_option("-j,--jobs", jobs,
                       "Files analysed at once, 1 to 256 (default: one per core, here " +
                           std::to_string(logbook::defaultJobs()) +
                           "); the output is the same for any number.")
            ->type_name("N");
    cli.add_flag("-y,--yes", yes,
                 "Replace an existing logbook without asking; write a pilot name with characters "
                 "beyond Latin-1 anyway.");
    cli.add_flag("--allow-empty", allow_empty,
                 "Replace a logbook that holds entries even by one without any, when the IGC "
                 "directory gives no flight.");
    cli.add_flag("-q,--quiet", quiet,
                 "No per-file lines; on a terminal, only the count of the files done.");
    cli.add_flag("-v,--verbose", verbose,
                 "Every diagnostic of every file, as the dialog writes them; no count.");
    cli.add_flag("--list-installations", list_installations,
                 "List every Thermora installation found, one per line: the directory, a tab, "
                 "where it was found; then exit.");
    // Collected only to be refused by name; not shown in the help.
    cli.add_option("arguments", positional)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->group("");

    try {
        std::vector<std::string> reversed = separateValues(cli, arguments);
        std::reverse(reversed.begin(), reversed.end());
        cli.parse(reversed);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0)
            return cli.exit(error); // --help, --version
        return usageError(parseErrorText(cli, error, arguments));
    }
    if (list_installations)
        return listInstallations();
    if (!positional.empty())
        return usageError("unexpected argument '" + positional.front() + "'");
    if (pilot_option->count() == 0)
        return usageError("the option --pilot is required");
    if (quiet && verbose)
        return usageError("--quiet and --verbose exclude each other");
    if (logbook::isMissingPilotName(pilot))
        return usageError("the pilot name must not be empty");
    // The simulator reads the pilot name as Latin-1, on one header line.
    const std::string pilot_text = logbook::latin1Of(pilot);
    if (logbook::hasControlCharacter(pilot_text))
        return usageError(
            "the pilot name must not hold a line break or any other control character");
    if (const std::string beyond = logbook::charactersBeyondLatin1(pilot); !beyond.empty()) {
        const std::string what =
            "the logbook holds the pilot name as Latin-1 text, which has no " + beyond;
        if (!yes) {
            std::cerr << "thermora-logbook-cli: " << what
                      << "; give --yes to write them as \"?\"\n";
            return kUsage;
        }
        std::cerr << "thermora-logbook-cli: warning: " << what << "; written as \"?\"\n";
    }
    // Read as they always were: surrounding white space and a "+" are allowed.
    const std::optional<int> given_minutes = wholeNumber(min_time);
    const int minutes = given_minutes.value_or(-1);
    if (minutes < 0 || minutes > 60)
        return usageError("--min-time takes whole minutes from 0 to 60, not '" + min_time + "'");

    int threads = logbook::defaultJobs();
    if (jobs_option->count() != 0) {
        threads = wholeNumber(jobs).value_or(0);
        if (threads < 1 || threads > 256)
            return usageError("--jobs takes a whole number from 1 to 256, not '" + jobs + "'");
    }

    const bool has_igc_dir = igc_dir_option->count() != 0;
    const bool has_logbook = logbook_option->count() != 0;
    if (!has_igc_dir || !has_logbook) {
        const install::InstallationSearch search = install::searchInstallations();
        if (!search.taken) {
            return usageError(install::notFoundText(search) + "; give " +
                              (!has_igc_dir && !has_logbook ? "--igc-dir and --logbook"
                               : !has_igc_dir               ? "--igc-dir"
                                                            : "--logbook"));
        }
        // Which of several installations the run takes, before anything is written to it.
        std::cerr << install::choiceText(search);
        const install::PresetPaths presets =
            install::presetPaths(search.found[*search.taken].directory);
        if (!has_igc_dir)
            directory = presets.igc_directory;
        if (!has_logbook)
            logbook_path = presets.logbook_file;
    }

    const bool had_logbook = logbook::logbookExists(logbook_path);
    if (had_logbook && !yes) {
        if (!platform::isTerminal(platform::Stream::Input))
            return runError("Not replacing the existing logbook " + logbook_path +
                            " (give --yes to replace it)");
        // Asked only when the run could go ahead: a wrong IGC directory is said first.
        if (const std::string problem = logbook::inputsProblem(directory, logbook_path);
            !problem.empty())
            return runError(problem);
        if (!confirmReplace(logbook_path))
            return runError("Not replacing the existing logbook " + logbook_path +
                            " (give --yes to replace it)");
    }

    const bool silent = quiet;
    const bool every_line = verbose;
    const bool on_terminal = platform::isTerminal(platform::Stream::Errors);
    catchInterrupts(logbook_path, had_logbook, on_terminal);
    logbook::GenerationRequest request;
    request.igc_directory = directory;
    request.logbook_path = logbook_path;
    request.pilot_name = pilot_text;
    request.min_time_minutes = minutes;
    request.jobs = threads;
    request.temporary_watcher = platform::watchTemporary;
    // Asked only once the IGC directory turned out to give no flight: a wrong directory.
    request.confirm_empty = [allow_empty](const std::string&) { return allow_empty; };
    // The count goes to the terminal itself, past the silenced streams, and never between the
    // exact diagnostics of --verbose.
    Counter counter(!every_line && on_terminal);
    if (!every_line) {
        // One line per file without an entry; the files' own diagnostics only with --verbose.
        request.on_file = [silent, &counter](const logbook::FlightResult& file) {
            if (silent || !file.entry.empty())
                return;
            counter.clear();
            std::cerr << "Skipped " << logbook::echoed(file.path) << ": "
                      << logbook::reasonText(file.reason) << "\n";
        };
    }
    const logbook::Progress progress = [&counter](int done, int total) {
        counter.show(done, total);
    };
    // --quiet: the files' diagnostics go nowhere; the frame of the run stays.
    NullBuffer null;
    std::ostream nowhere(&null);
    if (silent) {
        request.diagnostics = &nowhere;
        request.output = &nowhere;
    }
    const logbook::GenerationResult result = logbook::generateLogbook(request, std::cerr, progress);
    counter.clear();
    if (result.failure == logbook::GenerationFailure::KeptOld)
        return runError(logbook::failureText(result) +
                        "\nGive --allow-empty to write the empty logbook anyway.");
    if (result.failure != logbook::GenerationFailure::None)
        return runError(logbook::failureText(result));
    std::cerr << logbook::summaryLine(result, logbook_path) << "\n";
    return kWritten;
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
