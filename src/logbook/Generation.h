#pragma once

// One logbook generation without the user interface: the IGC directory listed, every flight
// analysed in order, the logbook replaced whole or not at all. The dialog and the command line
// ask their questions first and report the result in their own way.

#include "logbook/Listing.h"
#include "logbook/LogbookFile.h"

#include <QLocale>

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace logbook {

struct GenerationRequest {
    std::string igc_directory; // bytes, exactly as given
    std::string logbook_path;  // bytes, exactly as given
    std::string pilot_name;    // as the header holds it (Latin-1), not trimmed
    int min_time_minutes = 1;
    QLocale locale = QLocale::system();
    LogbookFile::TemporaryWatcher temporary_watcher; // for a signal handler's clean-up
};

enum class GenerationFailure {
    None,
    Directory, // the IGC directory is not given, missing, not a directory or unreadable
    Open,      // no new logbook file could be created
    Write,     // writing, flushing or renaming the new logbook failed
    Backup,    // the old logbook could not be kept as .bak; it was not replaced
};

struct GenerationResult {
    GenerationFailure failure = GenerationFailure::None;
    std::string failed_path;  // the directory or file the failure is about
    std::string reason;       // the system's reason
    bool had_logbook = false; // a logbook of that name existed when the run began
    std::string backup_path;  // where the replaced logbook was kept; empty when none
    int files = 0;            // IGC files handed to the analysis
    int entries = 0;          // entries written
};

/// Called after each file with the number of files done and the total.
using Progress = std::function<void(int done, int total)>;

/// Analyses every file in order and appends the entries to `logbook`; counts into `result`.
void writeEntries(const std::vector<FlightFile>& files, std::ostream& logbook, int min_time_minutes,
                  const QLocale& locale, GenerationResult& result, const Progress& progress = {});

/// The whole run: "Generating new logbook" on `frame`, the listing, the header and the entries
/// into a new file that then replaces the logbook. Per-file diagnostics go where the analysis
/// writes them (std::cerr and std::cout).
GenerationResult generateLogbook(const GenerationRequest& request, std::ostream& frame,
                                 const Progress& progress = {});

/// What a failed run tells its user, in lines: what failed, the path, the system's reason, and
/// what became of the old logbook. Empty for a run that did not fail.
std::string failureText(const GenerationResult& result);

/// Whether `pilot_name` holds a character that would break the logbook's header (a line end, or
/// any other control character); the logbook refuses such a name.
bool hasControlCharacter(const std::string& pilot_name);

} // namespace logbook
