#pragma once

// One IGC file turned into at most one logbook entry: the flight located by ground speed, its
// flight and engine time, its route and, for a declared task, the task distance and speed.

#include "logbook/Listing.h"

#include "igc/FlightLog.h"
#include "nav/NavPoint.h"
#include "platform/LocaleDates.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace logbook {

/// Why a file gives no entry. The programs word it (reasonText) and count it by its kind.
enum class SkipKind : std::uint8_t {
    None,           // the file gave an entry
    NotAFile,       // a named pipe or a device put in the file's place after the listing
    NotReadable,    // it could not be opened or read
    NotIgc,         // no IGC recording: no A record first, a header that does not parse
    TaskIncomplete, // an IGC recording whose task declaration breaks off
    Empty,          // no fix
    OneFix,         // one fix only
    NoTakeoff,      // no pair of fixes fast enough for a takeoff
    TooShort,       // shorter than the minimum flight time
};

struct SkipReason {
    SkipKind kind = SkipKind::None;
    std::string detail = {}; // the particular words: the system's reason, the reader's error, what
                             // was found instead of a file ("a named pipe")
    long long line = 0;      // NotIgc, TaskIncomplete: 1-based line of the record at fault; 0: none
    double seconds = 0;      // TooShort: the flight time
};

/// What one IGC file gives the logbook, without a trace on the process's streams.
struct FlightResult {
    std::string path;   // bytes, as listed
    std::string entry;  // the entry line ("\n" ended), empty when the file gives none
    SkipReason reason;  // why it gives none; kind None with an entry
    std::string errors; // the file's diagnostics for standard error, as they were always written
    std::string output; // and for standard output ("Empty log file: ...")
};

/// Loads and analyses the IGC file at `path` (bytes, as the directory listing gives it). Flights
/// shorter than `min_time_minutes` give no entry. Thread-safe: touches no shared state.
FlightResult
analyzeFile(const std::string& path, int min_time_minutes,
            const platform::DateFormatter& format_date = platform::localeDateFormatter());
/// The same for a file that a listing gave: a symbolic link is followed only when it was listed
/// as one, and a file that is no longer a regular file (a named pipe put in its place) is
/// skipped, never waited on.
FlightResult
analyzeFile(const FlightFile& file, int min_time_minutes,
            const platform::DateFormatter& format_date = platform::localeDateFormatter());

/// Memory that the analyses of one thread hand on from file to file: a recording's fixes and its
/// track take a block each, which freed and taken again costs the system a fresh page for every
/// 4 KiB of it. Blocks beyond a few recordings' size are given back after their file, so that
/// what a thread keeps stays small whatever it read.
struct AnalysisBuffers {
    std::vector<igc::Fix> fixes;
    std::vector<nav::TrackPoint> track;
};

/// As above, reusing `buffers` (one per thread).
FlightResult analyzeFile(const FlightFile& file, int min_time_minutes,
                         const platform::DateFormatter& format_date, AnalysisBuffers& buffers);

/// Writes a file's result where the dialog always wrote it: its diagnostics to the program's
/// diagnostics sink (standard error and standard output unless pointed elsewhere), its entry (if
/// any) to `logbook`, flushed.
void writeFlightResult(const FlightResult& result, std::ostream& logbook);

/// Loads the IGC file at `path` (bytes, as the directory listing gives it), analyses the flight
/// and, when it passes every check, appends its entry to `logbook`. True when an entry was written.
/// Flights shorter than `min_time_minutes` are dropped. Progress and the reason for a skipped
/// file go to the diagnostics sink: standard error ("Empty log file" to standard output).
bool analyzeFlight(const std::string& path, std::ostream& logbook, int min_time_minutes,
                   const platform::DateFormatter& format_date = platform::localeDateFormatter());

/// The entry's file-name field for the file name `name` (bytes): the name as Latin-1 text, with
/// every ";" and every control character made "_", so that no name can add a field or a line.
/// `composed` false: as earlier versions wrote it, a decomposed letter's mark as "?".
std::string entryFileName(const std::string& name, bool composed = true);

} // namespace logbook
