// The options as thermora-logbook-cli reads them: every form that scripts have been written in
// means what it always meant, the refused ones in the words they were always refused in.

#include "cli/Options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace cli {
// A failed comparison shows the options by name.
void PrintTo(const Options& o, std::ostream* out) {
    *out << "{pilot '" << o.pilot << "', igc_directory '" << o.igc_directory << "' ("
         << o.igc_directory_given << "), logbook_path '" << o.logbook_path << "' ("
         << o.logbook_given << "), minutes " << o.minutes << ", jobs " << o.jobs << ", yes "
         << o.yes << ", allow_empty " << o.allow_empty << ", quiet " << o.quiet << ", verbose "
         << o.verbose << ", list_installations " << o.list_installations << ", keep_missing "
         << o.keep_missing << ", drop_missing " << o.drop_missing << ", list_generations "
         << o.list_generations << ", restore " << o.restore << "}";
}
} // namespace cli

namespace {

struct Read {
    platform::Expected<cli::Options, cli::Exit> result;
    std::string out;
    std::string errors;
};

Read read(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream errors;
    Read read{cli::readOptions(arguments, 80, out, errors), {}, {}};
    read.out = out.str();
    read.errors = errors.str();
    return read;
}

TEST(CliOptions, RefusesInItsOwnWords) {
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        const char* error;
    } rows[] = {
        {"nothing parted after --", {"-p", "X", "--", "-o="}, "unexpected argument '-o='"},
        {"minutes after =",
         {"-p", "X", "--min-time=-1"},
         "--min-time takes whole minutes from 0 to 60, not '-1'"},
        {"minutes after = of a short option",
         {"-p", "X", "-m=61"},
         "--min-time takes whole minutes from 0 to 60, not '61'"},
        {"minutes given empty",
         {"-p", "X", "--min-time="},
         "--min-time takes whole minutes from 0 to 60, not ''"},
        {"minutes as typed, blanks kept",
         {"-p", "X", "-m", " 61 "},
         "--min-time takes whole minutes from 0 to 60, not ' 61 '"},
        {"minutes in hexadecimal",
         {"-p", "X", "-m", "0x10"},
         "--min-time takes whole minutes from 0 to 60, not '0x10'"},
        {"a sign alone",
         {"-p", "X", "-m", "+"},
         "--min-time takes whole minutes from 0 to 60, not '+'"},
        {"minutes beyond any int",
         {"-p", "X", "-m", "4294967297"},
         "--min-time takes whole minutes from 0 to 60, not '4294967297'"},
        {"the last minutes count",
         {"-p", "X", "-m", "5", "-m", "x"},
         "--min-time takes whole minutes from 0 to 60, not 'x'"},
        {"no jobs", {"-p", "X", "-j=0"}, "--jobs takes a whole number from 1 to 256, not '0'"},
        {"too many jobs",
         {"-p", "X", "--jobs", "257"},
         "--jobs takes a whole number from 1 to 256, not '257'"},
        {"keep and drop",
         {"-p", "X", "--drop-missing", "--keep-missing"},
         "--keep-missing and --drop-missing exclude each other"},
        {"no such earlier logbook",
         {"--restore", "5"},
         "--restore takes an earlier logbook's number from 0 to 4, not '5'"},
        {"restore and list",
         {"--restore=1", "--list-generations"},
         "--list-generations and --restore exclude each other"},
        {"restore and a run's option",
         {"--restore=1", "-m", "3"},
         "--restore and --min-time exclude each other"},
        {"listing the generations and a pilot",
         {"--list-generations", "-p", "X"},
         "--list-generations and --pilot exclude each other"},
        {"two letters swapped",
         {"-p", "X", "--verbsoe"},
         "Unknown option 'verbsoe'. Did you mean '--verbose'?"},
        {"no value at the end", {"-p", "X", "-qo"}, "Missing value after '-qo'."},
        {"nothing given", {}, "the option --pilot is required"},
        {"a run's option without a pilot", {"-d", "flights"}, "the option --pilot is required"},
        {"quiet and verbose", {"-p", "X", "-v", "-q"}, "--quiet and --verbose exclude each other"},
        {"quiet and verbose, even for a restore",
         {"--restore", "1", "-q", "-v"},
         "--quiet and --verbose exclude each other"},
        {"a clash before a missing pilot",
         {"-q", "-v"},
         "--quiet and --verbose exclude each other"},
        {"keep and drop before a clash with the restore",
         {"--restore", "1", "--drop-missing", "--keep-missing"},
         "--keep-missing and --drop-missing exclude each other"},
        {"restore and list before a clash with a pilot",
         {"-p", "X", "--list-generations", "--restore", "1"},
         "--list-generations and --restore exclude each other"},
        {"the run's options in the order of the help",
         {"--restore", "1", "--drop-missing", "-j", "2", "-d", "flights"},
         "--restore and --igc-dir exclude each other"},
        {"an unknown option before a clash",
         {"-p", "X", "-q", "-v", "--colour"},
         "Unknown option 'colour'."},
        {"a stray argument before a clash",
         {"-p", "X", "--keep-missing", "--drop-missing", "extra"},
         "unexpected argument 'extra'"},
        {"a refused value before a clash",
         {"-p", "X", "-q", "-v", "-m", "61"},
         "--min-time takes whole minutes from 0 to 60, not '61'"},
        {"listing the installations, an unknown option",
         {"--list-installations", "-q", "-v", "--colour"},
         "Unknown option 'colour'."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Read refused = read(row.arguments);
        ASSERT_FALSE(refused.result.has_value());
        EXPECT_EQ(refused.result.error().status, cli::kUsage);
        EXPECT_EQ(refused.errors, std::string("thermora-logbook-cli: ") + row.error +
                                      "\nTry 'thermora-logbook-cli --help' for more "
                                      "information.\n");
        EXPECT_EQ(refused.out, "");
    }
}

TEST(CliOptions, ReadsEveryFormAsItWasMeant) {
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        cli::Options options;
    } rows[] = {
        {"-o=FILE: the value after the =",
         {"-p", "X", "-o=lb.dat"},
         {.pilot = "X", .logbook_path = "lb.dat", .logbook_given = true}},
        {"-oFILE",
         {"-p", "X", "-olb.dat"},
         {.pilot = "X", .logbook_path = "lb.dat", .logbook_given = true}},
        {"--logbook=FILE",
         {"-p", "X", "--logbook=lb.dat"},
         {.pilot = "X", .logbook_path = "lb.dat", .logbook_given = true}},
        {"--logbook= is empty, the next argument not its value",
         {"-p", "X", "--logbook=", "-q"},
         {.pilot = "X", .logbook_given = true, .quiet = true}},
        {"-o= is empty too", {"-o=", "-p", "X"}, {.pilot = "X", .logbook_given = true}},
        {"only the first = parts name and value",
         {"-p", "X", "-d=a=b", "--logbook=c=d"},
         {.pilot = "X",
          .igc_directory = "a=b",
          .logbook_path = "c=d",
          .igc_directory_given = true,
          .logbook_given = true}},
        {"-yd=DIR: flags run together up to the value",
         {"-p", "X", "-yd=flights"},
         {.pilot = "X", .igc_directory = "flights", .igc_directory_given = true, .yes = true}},
        {"-yd DIR",
         {"-p", "X", "-yd", "flights"},
         {.pilot = "X", .igc_directory = "flights", .igc_directory_given = true, .yes = true}},
        {"-qyo=FILE",
         {"-p", "X", "-qyo=lb.dat"},
         {.pilot = "X",
          .logbook_path = "lb.dat",
          .logbook_given = true,
          .yes = true,
          .quiet = true}},
        {"-p=Name", {"-p=Name"}, {.pilot = "Name"}},
        {"--pilot=Name with blanks kept", {"--pilot= Jane "}, {.pilot = " Jane "}},
        {"a value that looks like an option is never rewritten",
         {"-p", "-o=x", "-d", "--yes"},
         {.pilot = "-o=x", .igc_directory = "--yes", .igc_directory_given = true}},
        {"the last of two",
         {"-p", "X", "-o", "no.dat", "-o", "lb.dat"},
         {.pilot = "X", .logbook_path = "lb.dat", .logbook_given = true}},
        {"-m=MINUTES", {"-p", "X", "-m=5"}, {.pilot = "X", .minutes = 5}},
        {"-mMINUTES", {"-p", "X", "-m0"}, {.pilot = "X", .minutes = 0}},
        {"minutes with blanks and a +",
         {"-p", "X", "--min-time", " +60\t"},
         {.pilot = "X", .minutes = 60}},
        {"minutes in decimal, leading zeros and all",
         {"-p", "X", "-m", "010"},
         {.pilot = "X", .minutes = 10}},
        {"minus zero", {"-p", "X", "-m", "-0"}, {.pilot = "X", .minutes = 0}},
        {"only the last minutes count",
         {"-p", "X", "-m", "x", "-m", "7"},
         {.pilot = "X", .minutes = 7}},
        {"jobs", {"-p", "X", "-j", "256"}, {.pilot = "X", .jobs = 256}},
        {"every flag",
         {"-p", "X", "-y", "--allow-empty", "-v"},
         {.pilot = "X", .yes = true, .allow_empty = true, .verbose = true}},
        {"a restore needs no pilot, only the logbook",
         {"--restore=04", "-o", "lb.dat", "-y"},
         {.logbook_path = "lb.dat", .logbook_given = true, .yes = true, .restore = 4}},
        {"listing asks for nothing else",
         {"--list-installations", "-q", "-v", "stray"},
         {.quiet = true, .verbose = true, .list_installations = true}},
        {"listing, whatever clashes beside it",
         {"--list-installations", "--keep-missing", "--drop-missing", "--restore=1", "-p", "X"},
         {.pilot = "X",
          .list_installations = true,
          .keep_missing = true,
          .drop_missing = true,
          .restore = 1}},
        {"the generations listed for a logbook, quietly",
         {"--list-generations", "-o", "lb.dat", "-y", "-q"},
         {.logbook_path = "lb.dat",
          .logbook_given = true,
          .yes = true,
          .quiet = true,
          .list_generations = true}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Read accepted = read(row.arguments);
        ASSERT_TRUE(accepted.result.has_value()) << accepted.errors;
        EXPECT_EQ(*accepted.result, row.options);
        EXPECT_EQ(accepted.errors, "");
    }
}

// The help and the version end the program with success, before anything else is checked.
TEST(CliOptions, EndsWithTheHelpOrTheVersion) {
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        const char* out_start;
    } rows[] = {
        {"help", {"--help"}, "Usage: thermora-logbook-cli [OPTIONS]\n\nRebuilds "},
        {"help among options that clash",
         {"-q", "-v", "-h", "--keep-missing", "--drop-missing"},
         "Usage: thermora-logbook-cli [OPTIONS]\n\nRebuilds "},
        {"version", {"-V"}, "thermora-logbook-cli "},
        {"version after a pilot", {"-p", "X", "--version"}, "thermora-logbook-cli "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Read ended = read(row.arguments);
        ASSERT_FALSE(ended.result.has_value());
        EXPECT_EQ(ended.result.error().status, 0);
        EXPECT_EQ(ended.out.rfind(row.out_start, 0), 0U) << ended.out;
        EXPECT_EQ(ended.errors, "");
    }
}

// An option's line in the help names the value it takes and nothing else, also for the options
// that exclude others.
TEST(CliOptions, HelpNamesAnOptionAndItsValueOnly) {
    const char* const lines[] = {
        "  -p,--pilot NAME             Pilot name written into the logbook (required for\n",
        "  --keep-missing              Keep the old logbook's flights whose recording is\n",
        "  -q,--quiet                  No per-file lines; on a terminal, only the count\n",
        "  --restore N                 Put the earlier logbook N back as the logbook: 0\n",
    };
    const Read help = read({"--help"});
    for (const char* line : lines)
        EXPECT_NE(help.out.find(line), std::string::npos) << line << "not in\n" << help.out;
}

} // namespace
