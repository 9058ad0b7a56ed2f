#include "cli/Options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iterator>
#include <memory>
#include <ostream>
#include <sstream>
#include <string_view>

namespace cli {

namespace {

const char* const kProgram = "thermora-logbook-cli";

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

// `text` as a whole number in decimal, as the option values have always been read: blanks
// around it and a sign allowed, nothing else. Given without the blanks, the "+" and the leading
// zeros, which CLI11 would read as an octal number ("010" is 8 to it); empty when no number.
std::string decimal(const std::string& text) {
    const char* const blanks = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    std::string_view digits(text);
    digits = digits.substr(first, text.find_last_not_of(blanks) + 1 - first);
    const std::string sign = digits[0] == '-' ? "-" : "";
    if (digits[0] == '-' || digits[0] == '+')
        digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return {};
    return sign +
           std::string(digits.substr(std::min(digits.find_first_not_of('0'), digits.size() - 1)));
}

// A check of a whole number from `min` to `max`, written as `decimal` reads it; CLI11 checks the
// range and converts it. A value refused gives the line "`name` `refusal`, not 'value'", kept in
// `refused` for the usage error: CLI11 tells only that a check failed.
CLI::Validator wholeNumber(const std::string& name, int min, int max, const std::string& refusal,
                           std::string& refused) {
    CLI::Validator validator(
        [range = CLI::Range(min, max), line = name + " " + refusal, &refused](std::string& value) {
            const std::string number = decimal(value);
            if (number.empty() || !range(number).empty()) {
                refused = line + ", not '" + value + "'";
                return refused;
            }
            value = number;
            return std::string();
        },
        "");
    // Given twice, an option's last value counts, and only it has to be a number.
    validator.application_index(0);
    return validator;
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

// The help at the terminal's width, which CLI11's own formatter does not wrap to: the usage line
// first, then the description, the options (their descriptions wrapped in their column) and the
// examples. The usage line leaves out the arguments that are collected only to be refused.
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
    // The value's name alone: CLI11 would list after it the options that each one excludes.
    std::string make_option_opts(const CLI::Option* option) const override {
        return option->get_type_size() == 0 ? "" : " " + get_label(option->get_type_name());
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
// CLI11 suggests none.
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

// The unknown options by name, from CLI11's arguments left over: "--colour=red" is 'colour',
// "-xy" is 'x'; for one long option, the option it most likely meant.
std::string unknownOptions(const CLI::App& cli) {
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

// The help of each system: the installation search, the paths and the interruptions are the
// system's own, and a pilot on Windows reads nothing of Wine or of signals.
#ifdef _WIN32
const char* const kDescription =
    "Rebuilds the Thermora pilot logbook from the IGC recordings of a directory, oldest "
    "first, without a window.\n"
    "\n"
    "The IGC directory and the logbook file default to data\\IGC and data\\logbook.dat in the "
    "simulator's installation folder: THERMORA_DIR, else the folder that the simulator's "
    "installer named in the registry (--list-installations lists them).\n"
    "An existing logbook is replaced only with --yes, or after answering \"y\" in a "
    "console window. A logbook that holds entries is replaced by one without any (an IGC "
    "directory without flights) only with --allow-empty.\n"
    "Output, on standard error: by default one line for each file that gives no entry, "
    "naming the file and why, then a summary line; in a console window, a line that counts the "
    "files done. --verbose writes every diagnostic of every file as the dialog writes them "
    "(\"Empty log file\" to standard output), without the count; --quiet writes only the "
    "frame of the run, the flights dropped from the old logbook and, in a console window, the "
    "count.\n"
    "The logbook holds the pilot name as Latin-1 text: a name with other characters is "
    "refused unless --yes is given (they are then written as \"?\").\n"
    "\n"
    "Flights of the old logbook whose recording is no longer in the IGC directory are kept, "
    "as they stood and before the rebuilt ones, with --keep-missing, and dropped with "
    "--drop-missing. With neither, a console window asks (keeping them unless told otherwise); "
    "without one they are dropped, each named on a line of its own.\n"
    "\n"
    "The new logbook replaces the old one only once it is whole and on disk. The old one is "
    "kept as the same name plus .bak; the four before it as .bak.1 (the newest of them) to "
    ".bak.4. --list-generations lists them, and --restore N puts one back as the logbook. A "
    "failed or interrupted run leaves the old logbook as it was. Only a regular file is "
    "replaced. One run at a time writes a logbook, holding the lock file beside it (the same "
    "name plus .lock, which stays): a second run says \"another run is writing\" and writes "
    "nothing.\n"
    "\n"
    "Exit status: 0 logbook written (also with no entries), 1 logbook not written (IGC "
    "directory not readable, logbook not writable, not to be replaced or not to be "
    "emptied; no such earlier logbook to restore), 2 usage error; 130 stopped with Ctrl+C, "
    "149 with Ctrl+Break, 129 the console window closed or the session ended.\n";

const char* const kExamples =
    "Examples:\n"
    "  The logbook of the installation found, the old one kept as logbook.dat.bak:\n"
    "    thermora-logbook-cli --pilot \"Jane Doe\" --yes\n"
    "  Flights of 5 minutes or more from C:\\Flights, only the count shown:\n"
    "    thermora-logbook-cli -p \"Jane Doe\" -d C:\\Flights -m 5 -q\n";
#else
const char* const kDescription =
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
    "frame of the run, the flights dropped from the old logbook and, on a terminal, the "
    "count.\n"
    "The logbook holds the pilot name as Latin-1 text: a name with other characters is "
    "refused unless --yes is given (they are then written as \"?\").\n"
    "\n"
    "Flights of the old logbook whose recording is no longer in the IGC directory are kept, "
    "as they stood and before the rebuilt ones, with --keep-missing, and dropped with "
    "--drop-missing. With neither, a terminal asks (keeping them unless told otherwise); "
    "without a terminal they are dropped, each named on a line of its own.\n"
    "\n"
    "The new logbook replaces the old one only once it is whole and on disk. The old one is "
    "kept as the same name plus .bak, with its owner and permissions; the four before it as "
    ".bak.1 (the newest of them) to .bak.4. --list-generations lists them, and --restore N "
    "puts one back as the logbook. A failed or interrupted run leaves the old "
    "logbook as it was. Only a regular file is replaced. One run at a time writes a logbook, "
    "holding the lock file beside it (the same name plus .lock, which stays): a second run "
    "says \"another run is writing\" and writes nothing.\n"
    "\n"
    "Exit status: 0 logbook written (also with no entries), 1 logbook not written (IGC "
    "directory not readable, logbook not writable, not to be replaced or not to be "
    "emptied; no such earlier logbook to restore), 2 usage error; 129, 130, 141 or 143 "
    "interrupted by SIGHUP, SIGINT, SIGPIPE or SIGTERM.\n";

const char* const kExamples =
    "Examples:\n"
    "  The logbook of the installation found, the old one kept as logbook.dat.bak:\n"
    "    thermora-logbook-cli --pilot \"Jane Doe\" --yes\n"
    "  Flights of 5 minutes or more from ~/flights, only the count shown:\n"
    "    thermora-logbook-cli -p \"Jane Doe\" -d ~/flights -m 5 -q\n";
#endif

// "0 to 60"
std::string fromTo(int min, int max) {
    return std::to_string(min) + " to " + std::to_string(max);
}

// Two options that exclude each other, named in this order when both are given.
struct Exclusion {
    CLI::Option* first;
    CLI::Option* second;
};

// The command line as CLI11 reads it: the options, bound to the Options they fill in, which of
// them exclude each other, and what reading the arguments ends in. Read once.
class Command {
public:
    explicit Command(std::size_t help_width);
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    platform::Expected<Options, Exit> read(const std::vector<std::string>& arguments,
                                           std::ostream& out, std::ostream& errors);

private:
    void addValueOptions();
    void addFlags();
    void addOtherRequests();
    [[nodiscard]] std::vector<Exclusion> exclusions() const;
    [[nodiscard]] std::string clash() const;
    [[nodiscard]] std::string refusal(const CLI::ParseError& error,
                                      const std::vector<std::string>& arguments) const;

    CLI::App cli_;
    Options options_;
    std::vector<std::string> stray_; // the arguments that are no option's nor its value
    std::string refused_value_;      // the line of the value that a whole-number check refused
    CLI::Option* pilot_ = nullptr;
    CLI::Option* igc_directory_ = nullptr;
    CLI::Option* logbook_path_ = nullptr;
    CLI::Option* minutes_ = nullptr;
    CLI::Option* jobs_ = nullptr;
    CLI::Option* allow_empty_ = nullptr;
    CLI::Option* keep_missing_ = nullptr;
    CLI::Option* drop_missing_ = nullptr;
    CLI::Option* quiet_ = nullptr;
    CLI::Option* verbose_ = nullptr;
    CLI::Option* list_generations_ = nullptr;
    CLI::Option* restore_ = nullptr;
};

Command::Command(std::size_t help_width) : cli_(kDescription, kProgram) {
    cli_.footer(kExamples);
    cli_.formatter(std::make_shared<Help>(help_width));
    // Given twice, an option's last value counts.
    cli_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    cli_.set_help_flag("-h,--help", "Displays help on commandline options.");
    cli_.set_version_flag("-V,--version", std::string(kProgram) + " " THERMORA_VERSION,
                          "Displays version information.");
    // The help lists the options in the order they are added.
    addValueOptions();
    addFlags();
    addOtherRequests();
    for (const Exclusion& pair : exclusions())
        pair.first->excludes(pair.second);
}

// The options that take a value: the pilot name, the paths and the run's numbers.
void Command::addValueOptions() {
    pilot_ = cli_.add_option("-p,--pilot", options_.pilot,
                             "Pilot name written into the logbook (required for a run).")
                 ->type_name("NAME");
    igc_directory_ =
        cli_.add_option("-d,--igc-dir", options_.igc_directory, "Directory of the IGC files.")
            ->type_name("DIR");
    logbook_path_ = cli_.add_option("-o,--logbook", options_.logbook_path, "Logbook file to write.")
                        ->type_name("FILE");
    const std::string minutes_range = fromTo(logbook::kMinMinutes, logbook::kMaxMinutes);
    minutes_ = cli_.add_option("-m,--min-time", options_.minutes,
                               "Only flights at least this long are added, " + minutes_range +
                                   " (default " + std::to_string(logbook::kDefaultMinutes) + ").")
                   ->type_name("MINUTES");
    minutes_->transform(wholeNumber(minutes_->get_name(), logbook::kMinMinutes,
                                    logbook::kMaxMinutes,
                                    "takes whole minutes from " + minutes_range, refused_value_));
    jobs_ = cli_.add_option("-j,--jobs", options_.jobs,
                            "Files analysed at once, " + fromTo(1, kMaxJobs) +
                                " (default: one per core, here " +
                                std::to_string(logbook::defaultJobs()) +
                                "); the output is the same for any number.")
                ->type_name("N");
    jobs_->transform(wholeNumber(jobs_->get_name(), 1, kMaxJobs,
                                 "takes a whole number from " + fromTo(1, kMaxJobs),
                                 refused_value_));
}

// The options that take no value: the answers given beforehand and the amount of output.
void Command::addFlags() {
    cli_.add_flag("-y,--yes", options_.yes,
                  "Replace an existing logbook without asking; write a pilot name with characters "
                  "beyond Latin-1 anyway.");
    allow_empty_ =
        cli_.add_flag("--allow-empty", options_.allow_empty,
                      "Replace a logbook that holds entries even by one without any, when the IGC "
                      "directory gives no flight.");
    keep_missing_ =
        cli_.add_flag("--keep-missing", options_.keep_missing,
                      "Keep the old logbook's flights whose recording is no longer in the IGC "
                      "directory, unchanged, before the rebuilt ones.");
    drop_missing_ =
        cli_.add_flag("--drop-missing", options_.drop_missing,
                      "Drop those flights. With neither option a terminal asks; else they are "
                      "dropped.");
    quiet_ = cli_.add_flag("-q,--quiet", options_.quiet,
                           "No per-file lines; on a terminal, only the count of the files done.");
    verbose_ =
        cli_.add_flag("-v,--verbose", options_.verbose,
                      "Every diagnostic of every file, as the dialog writes them; no count.");
}

// The options that ask for something other than a run, and the arguments that are no option's.
void Command::addOtherRequests() {
    cli_.add_flag("--list-installations", options_.list_installations,
                  "List every Thermora installation found, one per line: the directory, a tab, "
                  "where it was found; then exit.");
    list_generations_ = cli_.add_flag(
        "--list-generations", options_.list_generations,
        "List the logbook and the earlier logbooks kept beside it (.bak to .bak.4): when each "
        "was written, its entries and its pilot; then exit.");
    const int oldest = logbook::kGenerations - 1;
    restore_ = cli_.add_option("--restore", options_.restore,
                               "Put the earlier logbook N back as the logbook: 0 for .bak to " +
                                   std::to_string(oldest) + " for .bak." + std::to_string(oldest) +
                                   ". The logbook it replaces is kept as .bak, so that --restore 0 "
                                   "undoes it.")
                   ->type_name("N");
    restore_->transform(wholeNumber(restore_->get_name(), 0, oldest,
                                    "takes an earlier logbook's number from " + fromTo(0, oldest),
                                    refused_value_));
    // Collected only to be refused by name; not shown in the help.
    cli_.add_option("arguments", stray_)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->group("");
}

// The options that exclude each other, in the order that a clash is said when there are several.
std::vector<Exclusion> Command::exclusions() const {
    std::vector<Exclusion> pairs = {{keep_missing_, drop_missing_}, {list_generations_, restore_}};
    // The generations take the logbook's path alone: an option of a run given with them is a
    // mistake, said rather than ignored.
    for (CLI::Option* generations : {list_generations_, restore_}) {
        for (CLI::Option* run :
             {pilot_, igc_directory_, minutes_, jobs_, allow_empty_, keep_missing_, drop_missing_})
            pairs.push_back({generations, run});
    }
    pairs.push_back({quiet_, verbose_});
    return pairs;
}

// The words for CLI11's ExcludesError, which does not say which options clashed as data: the
// first of the pairs given. CLI11 knows no pairs but these.
std::string Command::clash() const {
    for (const Exclusion& pair : exclusions()) {
        if (pair.first->count() != 0 && pair.second->count() != 0)
            return pair.first->get_name() + " and " + pair.second->get_name() +
                   " exclude each other";
    }
    return {};
}

// CLI11's other parse errors in the words this tool has always used for them.
std::string Command::refusal(const CLI::ParseError& error,
                             const std::vector<std::string>& arguments) const {
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr)
        return unknownOptions(cli_);
    // An option's value is taken from the next argument whatever it is, so only the last
    // argument can lack one.
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && !arguments.empty())
        return "Missing value after '" + arguments.back() + "'.";
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr && !refused_value_.empty())
        return refused_value_;
    return error.what();
}

platform::Expected<Options, Exit> Command::read(const std::vector<std::string>& arguments,
                                                std::ostream& out, std::ostream& errors) {
    const auto refused = [&errors](const std::string& line) {
        return platform::unexpected(Exit{usageError(errors, line)});
    };
    bool clashed = false; // options given that exclude each other
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed = separateValues(cli_, arguments);
        std::reverse(reversed.begin(), reversed.end());
        cli_.parse(reversed);
    } catch (const CLI::ExcludesError&) {
        clashed = true; // said below, after what has always been said before it
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0)
            return platform::unexpected(Exit{cli_.exit(error, out, errors)}); // --help, --version
        return refused(refusal(error, arguments));
    }
    options_.igc_directory_given = igc_directory_->count() != 0;
    options_.logbook_given = logbook_path_->count() != 0;
    // CLI11 looks for unknown options only once no options clash; a misspelt option comes first.
    if (clashed && cli_.remaining_size() != 0)
        return refused(unknownOptions(cli_));
    // A list of the installations needs none of the rest, whatever else is given.
    if (options_.list_installations)
        return options_;
    if (!stray_.empty())
        return refused("unexpected argument '" + stray_.front() + "'");
    if (clashed)
        return refused(clash());
    // Only a run takes a pilot, which CLI11 cannot require of some uses and not of others.
    if (options_.generates() && pilot_->count() == 0)
        return refused("the option --pilot is required");
    return options_;
}

} // namespace

platform::Expected<Options, Exit> readOptions(const std::vector<std::string>& arguments,
                                              std::size_t help_width, std::ostream& out,
                                              std::ostream& errors) {
    Command command(help_width);
    return command.read(arguments, out, errors);
}

int usageError(std::ostream& errors, const std::string& message) {
    errors << kProgram << ": " << message << "\n"
           << "Try '" << kProgram << " --help' for more information.\n";
    return kUsage;
}

} // namespace cli
