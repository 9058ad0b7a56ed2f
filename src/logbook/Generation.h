#pragma once

// One logbook generation without the user interface: the IGC directory listed, every flight
// analysed in order, the logbook replaced whole or not at all. The dialog and the command line
// ask their questions first and report the result in their own way.

#include "logbook/Failure.h"
#include "logbook/FlightAnalysis.h"
#include "logbook/Listing.h"
#include "logbook/LogbookEntry.h"
#include "logbook/LogbookFile.h"
#include "logbook/RunEnvironment.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace logbook {

/// The minimum flight time a pilot can ask for, in whole minutes, and what every front end
/// presets.
inline constexpr int kMinMinutes = 0;
inline constexpr int kMaxMinutes = 60;
inline constexpr int kDefaultMinutes = 1;

struct GenerationRequest {
    std::string igc_directory; // bytes, exactly as given
    std::string logbook_path;  // bytes, exactly as given
    std::string pilot_name;    // as the header holds it (Latin-1), not trimmed
    int min_time_minutes = kDefaultMinutes;
    platform::DateFormatter format_date; // entry dates; unset: the user's short date form
    int jobs = 0;                        // threads that analyse files; 0: one per core
    /// A file this large (bytes, as listed) is analysed while no other is: its fixes and track
    /// take about one and a half times its size, and several at once could take more memory
    /// than the machine has. Smaller ones (a day at 10 Hz is about 16 MB) run side by side.
    std::int64_t alone_bytes = std::int64_t{64} << 20;
};

struct GenerationResult {
    Failure failure;           // what kept the run from writing; kind None when nothing did
    std::string igc_directory; // the folder the run read
    bool had_logbook = false;  // a logbook (a regular file) existed when the run began
    std::string backup_path;   // where the replaced logbook was kept; empty when none
    int replaced_entries = -1; // entries of the logbook replaced (or kept); -1 when none or
                               // when they could not be counted
    int files = 0;             // IGC files handed to the analysis
    int entries = 0;           // entries written, those kept from the old logbook included
    int kept_entries = 0;      // entries of the old logbook kept for want of their recording
    int names_with_question_marks = 0; // entries whose file name Latin-1 could not hold whole
    int hidden_files = 0;              // hidden recordings ('.' first) that the listing left out
    RecordingsElsewhere elsewhere;     // when the folder listed no recording: where some are
    MissingRecordings dropped;         // entries of the old logbook dropped for the same want
    MissingRecordings dropped_unreadable; // and those whose recording could not be read
    bool up_to_date = false; // the new logbook was the old one byte for byte: nothing moved
    Recovery recovery = Recovery::None; // a change an earlier run left halfway, undone or finished
    std::string undo_problem;           // what a failed change could not put back; empty: all of it
    std::string restored_from;          // a restore: the earlier logbook put back
    std::vector<std::pair<std::string, SkipReason>> skipped; // path and reason, listing order
};

/// Threads that a run uses when not told: one per core, at least one.
int defaultJobs();

/// The whole run: "Generating new logbook", the listing, the header and the entries into a new
/// file that then replaces the logbook. The files are analysed on `request.jobs` threads;
/// entries, diagnostics and progress reach `environment` in listing order, byte for byte as from
/// one thread, on the calling thread. The run asks `environment` before it drops the old
/// logbook's flights without a recording and before it empties a logbook; a question closed
/// unanswered, or a cancel, ends it with nothing written.
GenerationResult generateLogbook(const GenerationRequest& request, RunEnvironment& environment);

/// A store that could not be opened or locked as the run's failure.
void takeStoreFailure(const LogbookStore& store, GenerationResult& result);
/// A logbook that could not be opened (`out.open` false) as the run's failure about `path`.
void takeOpenFailure(const LogbookFile& out, const std::string& path, GenerationResult& result);
/// Commits `out`, the run's or a restore's: the result then names the backup kept, or says what
/// failed. True when committed.
bool commitInto(LogbookFile& out, GenerationResult& result);

/// What a failed run tells its user, in lines: what failed, the path, the system's reason, and
/// what became of the old logbook. Empty for a run that did not fail.
std::string failureText(const GenerationResult& result);

/// Whether `pilot_name` holds a character that would break the logbook's header (a line end, or
/// any other control character); the logbook refuses such a name.
bool hasControlCharacter(const std::string& pilot_name);

} // namespace logbook
