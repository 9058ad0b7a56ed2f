// The options as thermora-logbook-cli reads them: every form that scripts have been written in
// means what it always meant, the refused ones in the words they were always refused in.

#include "cli/Options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <variant>
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
    std::variant<cli::Options, int> result;
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
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Read refused = read(row.arguments);
        ASSERT_TRUE(std::holds_alternative<int>(refused.result));
        EXPECT_EQ(std::get<int>(refused.result), cli::kUsage);
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
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Read accepted = read(row.arguments);
        ASSERT_TRUE(std::holds_alternative<cli::Options>(accepted.result)) << accepted.errors;
        EXPECT_EQ(std::get<cli::Options>(accepted.result), row.options);
        EXPECT_EQ(accepted.errors, "");
    }
}

} // namespace
