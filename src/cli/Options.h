#pragma once

// What a command line asks of thermora-logbook-cli: its options read by CLI11, in the words and
// forms that scripts written for this program rely on, and the usage errors it answers with.

#include "logbook/Generation.h"
#include "platform/Expected.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

/// The program's exit statuses, besides those of an interruption.
enum ExitStatus { kWritten = 0, kNotWritten = 1, kUsage = 2 };

/// The most files analysed at once that --jobs accepts.
inline constexpr int kMaxJobs = 256;

/// A run as the command line asks for it. The paths are bytes, exactly as given; the pilot name
/// is UTF-8 (bytes as given on POSIX systems).
struct Options {
    std::string pilot = {};
    std::string igc_directory = {}; // meant only when `igc_directory_given`
    std::string logbook_path = {};  // meant only when `logbook_given`
    bool igc_directory_given = false;
    bool logbook_given = false;
    int minutes = logbook::kDefaultMinutes; // the shortest flight the logbook takes
    int jobs = 0;                           // files analysed at once; 0: one per core
    bool yes = false;                       // replace a logbook, write a name beyond Latin-1
    bool allow_empty = false;
    bool quiet = false;
    bool verbose = false;
    bool list_installations = false; // only list them; nothing else was checked
    // The old logbook's flights whose recording is gone from the IGC directory: kept, dropped,
    // or, with neither, asked about on a terminal and else dropped.
    bool keep_missing = false;
    bool drop_missing = false;
    bool list_generations = false; // only list the logbook and the earlier ones kept beside it
    int restore = -1;              // the earlier logbook (0 for ".bak") to put back; -1: a run
    /// Whether the options ask for a run on the IGC directory, not for the logbook's generations
    /// listed or one of them put back, which take the logbook's path alone.
    [[nodiscard]] bool generates() const { return !list_generations && restore < 0; }
    bool operator==(const Options&) const = default;
};

/// The program ends as soon as its command line is read: the help or the version was written, or
/// a usage error said.
struct Exit {
    int status; // the program's exit status
};

/// Reads `arguments`, those after the program's name (bytes as given on POSIX systems, UTF-8 on
/// Windows). Gives the options asked for, or the exit when the arguments ask for none: the help
/// (at `help_width` columns) or the version written to `out`, or a usage error to `errors`.
platform::Expected<Options, Exit> readOptions(const std::vector<std::string>& arguments,
                                              std::size_t help_width, std::ostream& out,
                                              std::ostream& errors);

/// Writes `message` to `errors` as a usage error, with the pointer to the help, and gives the
/// usage error's status.
int usageError(std::ostream& errors, const std::string& message);

} // namespace cli
