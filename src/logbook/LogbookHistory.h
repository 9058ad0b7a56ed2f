#pragma once

// What a logbook held before a run replaces it, read back line by line within fixed bounds
// whatever the file holds (a line of 300 MB, a gigabyte without a line end): its entries, its
// pilot, and the flights among them whose recording is gone from the IGC folder (which a
// rebuild from the folder alone would drop); and the earlier logbooks kept beside it, listed and
// put back as the logbook.

#include "logbook/Generation.h"
#include "logbook/Listing.h"
#include "logbook/LogbookStore.h"

#include "platform/Expected.h"
#include "platform/Files.h"

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace logbook {

/// The longest line read as a line: an entry is far shorter, and a longer line is no entry
/// (counted among the other lines without being held).
inline constexpr std::size_t kLongestLine = 64 * 1024;

/// What a logbook file holds, summed up.
struct LogbookSummary {
    int entries = 0;        // lines after the header that read as entries
    int other_lines = 0;    // lines after the header that hold something else
    std::string pilot_name; // the header's "name = " line (Latin-1); empty when none
    /// The flights it holds as a pilot counts them: every line below the header that holds
    /// something, an entry or not (a flight typed by hand is one too).
    [[nodiscard]] int flights() const { return entries + other_lines; }
};

/// Reads the logbook `file` to its end: what it holds, or the system's error.
platform::Expected<LogbookSummary, std::error_code> summarizeLogbook(std::FILE* file);

/// Where one line of a file lies, its line end left out.
struct LineSpan {
    std::int64_t offset = 0;
    std::int64_t length = 0;
};

/// The old logbook, read for a run.
struct OldLogbook {
    LogbookSummary summary;
    MissingRecordings missing;           // its flights without a recording in the folder
    std::vector<LineSpan> missing_lines; // where each of them lies, in their order
    /// Where the entries of each listed recording lie (by the listing's index), for a recording
    /// that cannot be read during the run: its old entry then stands in for it.
    std::vector<std::vector<LineSpan>> lines_of_file;
};

/// Reads the logbook `file` and finds its flights without a recording among `files`: its
/// entries whose file name names none of them, in any letter case (the simulator's system
/// ignores it, and so does a FAT stick that wrote "FLIGHT.IGC" for "flight.igc"), and its lines
/// that are no entry. Or the system's error.
platform::Expected<OldLogbook, std::error_code>
readOldLogbook(std::FILE* file, const std::vector<FlightFile>& files, bool ignore_case = true);

/// Appends the lines `spans` of `file` to `out`, each as it stood, with a line end; a line of
/// any length, passed on block by block. No error, or the system's error (EIO when the file ends
/// before them).
std::error_code copyLines(std::FILE* file, const std::vector<LineSpan>& spans, std::ostream& out);

/// Whether an entry's file name is that of a recording named `recording_file_name` (as the entry
/// writer gives it): in any letter case of Latin-1's letters (`ignore_case`), as the simulator's
/// system matches names, or exactly.
bool namesRecording(std::string_view entry_file_name, std::string_view recording_file_name,
                    bool ignore_case = true);

/// The logbook at `logbook_path` and its five generations, the logbook first, then from the
/// newest; those that do not exist with `exists` false.
std::vector<KeptLogbook> keptLogbooks(const std::string& logbook_path);

/// Puts the generation `age` (0 for ".bak" to 4) of the logbook at `logbook_path` back as the
/// logbook, under the logbook's lock: the chosen one leaves its place, the logbook becomes
/// ".bak" and the generations before the chosen place move back one, so that a restore is
/// undone by restoring ".bak" and loses nothing. Refused (failure GenerationChanged) when
/// `listed`, the generation as the pilot chose it, is no longer what its place holds. The result
/// as a run's: `entries` those of the logbook put back, `restored_from` its generation's path;
/// failure NoGeneration when there is none.
/// The identity of generation `age` in `kept`, as listed; null when it is not kept.
const platform::FileIdentity* listedIdentity(const std::vector<KeptLogbook>& kept, int age);

GenerationResult restoreGeneration(const std::string& logbook_path, int age,
                                   const platform::FileIdentity* listed = nullptr,
                                   platform::TemporaryWatcher watcher = {});

} // namespace logbook
