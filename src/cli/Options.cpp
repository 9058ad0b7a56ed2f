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

// A whole number from `min` to `max`, written as `decimal` reads it; CLI11 checks the range and
// converts it. Else `refusal` and the value as given, after the option's name.
CLI::Validator wholeNumber(int min, int max, const std::string& refusal) {
    CLI::Validator validator(
        [range = CLI::Range(min, max), refusal](std::string& value) {
            const std::string number = decimal(value);
            if (number.empty() || !range(number).empty())
                return refusal + ", not '" + value + "'";
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
    // A value that wholeNumber refused: "--min-time: takes whole minutes ..." from CLI11.
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
        std::string text = error.what();
        if (const std::size_t colon = text.find(": "); colon != std::string::npos)
            text.replace(colon, 2, " ");
        return text;
    }
    return error.what();
}

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
    "frame of the run and, on a terminal, the count.\n"
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

// "0 to 60"
std::string fromTo(int min, int max) {
    return std::to_string(min) + " to " + std::to_string(max);
}

} // namespace

std::variant<Options, int> readOptions(const std::vector<std::string>& arguments,
                                       std::size_t help_width, std::ostream& out,
                                       std::ostream& errors) {
    CLI::App cli(kDescription, kProgram);
    cli.footer(kExamples);
    cli.formatter(std::make_shared<Help>(help_width));
    // Given twice, an option's last value counts.
    cli.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    cli.set_help_flag("-h,--help", "Displays help on commandline options.");
    cli.set_version_flag("-V,--version", std::string(kProgram) + " " THERMORA_VERSION,
                         "Displays version information.");
    Options options;
    std::vector<std::string> stray;
    const CLI::Option* const pilot =
        cli.add_option("-p,--pilot", options.pilot,
                       "Pilot name written into the logbook (required for a run).")
            ->type_name("NAME");
    const CLI::Option* const igc_directory =
        cli.add_option("-d,--igc-dir", options.igc_directory, "Directory of the IGC files.")
            ->type_name("DIR");
    const CLI::Option* const logbook_path =
        cli.add_option("-o,--logbook", options.logbook_path, "Logbook file to write.")
            ->type_name("FILE");
    const std::string minutes_range = fromTo(logbook::kMinMinutes, logbook::kMaxMinutes);
    const CLI::Option* const minutes =
        cli.add_option("-m,--min-time", options.minutes,
                       "Only flights at least this long are added, " + minutes_range +
                           " (default " + std::to_string(logbook::kDefaultMinutes) + ").")
            ->type_name("MINUTES")
            ->transform(wholeNumber(logbook::kMinMinutes, logbook::kMaxMinutes,
                                    "takes whole minutes from " + minutes_range));
    const CLI::Option* const jobs =
        cli.add_option("-j,--jobs", options.jobs,
                       "Files analysed at once, " + fromTo(1, kMaxJobs) +
                           " (default: one per core, here " +
                           std::to_string(logbook::defaultJobs()) +
                           "); the output is the same for any number.")
            ->type_name("N")
            ->transform(
                wholeNumber(1, kMaxJobs, "takes a whole number from " + fromTo(1, kMaxJobs)));
    cli.add_flag("-y,--yes", options.yes,
                 "Replace an existing logbook without asking; write a pilot name with characters "
                 "beyond Latin-1 anyway.");
    const CLI::Option* const allow_empty =
        cli.add_flag("--allow-empty", options.allow_empty,
                     "Replace a logbook that holds entries even by one without any, when the IGC "
                     "directory gives no flight.");
    const CLI::Option* const keep_missing =
        cli.add_flag("--keep-missing", options.keep_missing,
                     "Keep the old logbook's flights whose recording is no longer in the IGC "
                     "directory, unchanged, before the rebuilt ones.");
    const CLI::Option* const drop_missing =
        cli.add_flag("--drop-missing", options.drop_missing,
                     "Drop those flights. With neither option a terminal asks; else they are "
                     "dropped.");
    cli.add_flag("-q,--quiet", options.quiet,
                 "No per-file lines; on a terminal, only the count of the files done.");
    cli.add_flag("-v,--verbose", options.verbose,
                 "Every diagnostic of every file, as the dialog writes them; no count.");
    cli.add_flag("--list-installations", options.list_installations,
                 "List every Thermora installation found, one per line: the directory, a tab, "
                 "where it was found; then exit.");
    const CLI::Option* const list_generations = cli.add_flag(
        "--list-generations", options.list_generations,
        "List the logbook and the earlier logbooks kept beside it (.bak to .bak.4): when each "
        "was written, its entries and its pilot; then exit.");
    const int oldest = logbook::kGenerations - 1;
    const CLI::Option* const restore =
        cli.add_option("--restore", options.restore,
                       "Put the earlier logbook N back as the logbook: 0 for .bak to " +
                           std::to_string(oldest) + " for .bak." + std::to_string(oldest) +
                           ". The logbook it replaces is kept as .bak, so that --restore 0 "
                           "undoes it.")
            ->type_name("N")
            ->transform(wholeNumber(0, oldest,
                                    "takes an earlier logbook's number from " + fromTo(0, oldest)));
    // Collected only to be refused by name; not shown in the help.
    cli.add_option("arguments", stray)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->group("");

    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed = separateValues(cli, arguments);
        std::reverse(reversed.begin(), reversed.end());
        cli.parse(reversed);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0)
            return cli.exit(error, out, errors); // --help, --version
        return usageError(errors, parseErrorText(cli, error, arguments));
    }
    options.igc_directory_given = igc_directory->count() != 0;
    options.logbook_given = logbook_path->count() != 0;
    // A list of the installations needs none of the rest. A pilot required by CLI11 would refuse
    // it, and its words are not this program's, so these are said here.
    if (options.list_installations)
        return options;
    if (!stray.empty())
        return usageError(errors, "unexpected argument '" + stray.front() + "'");
    if (keep_missing->count() != 0 && drop_missing->count() != 0)
        return usageError(errors, "--keep-missing and --drop-missing exclude each other");
    if (!options.generates()) {
        // The generations take the logbook's path alone: an option of a run given with them is
        // a mistake, said rather than ignored.
        if (list_generations->count() != 0 && restore->count() != 0)
            return usageError(errors, "--list-generations and --restore exclude each other");
        const CLI::Option* const asked = restore->count() != 0 ? restore : list_generations;
        for (const CLI::Option* run :
             {pilot, igc_directory, minutes, jobs, allow_empty, keep_missing, drop_missing}) {
            if (run->count() != 0)
                return usageError(errors, asked->get_name() + " and " + run->get_name() +
                                              " exclude each other");
        }
        return options;
    }
    if (pilot->count() == 0)
        return usageError(errors, "the option --pilot is required");
    if (options.quiet && options.verbose)
        return usageError(errors, "--quiet and --verbose exclude each other");
    return options;
}

int usageError(std::ostream& errors, const std::string& message) {
    errors << kProgram << ": " << message << "\n"
           << "Try '" << kProgram << " --help' for more information.\n";
    return kUsage;
}

} // namespace cli
