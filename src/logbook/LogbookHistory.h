#pragma once

// What a logbook held before a run replaces it: its entries read back, the flights among them
// whose recording is gone from the IGC folder (which a rebuild from the folder alone would drop),
// and the earlier logbooks kept beside it, listed and put back as the logbook in one step.

#include "logbook/Generation.h"
#include "logbook/Listing.h"

#include "platform/Files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace logbook {

/// What a logbook file holds, read back.
struct LogbookContent {
    std::vector<OldEntry> entries; // the lines after the header that read as entries, in order
    int other_lines = 0;           // lines after the header that hold something else
    std::string pilot_name;        // the header's "name = " line (Latin-1); empty when none
};

/// Reads the logbook at `path`. 0, or the system's error (nothing then read).
int readLogbook(const std::string& path, LogbookContent& content);

/// Whether an entry's file name is that of a recording named `recording_file_name` (as the entry
/// writer gives it), in the letter case that the platform's file names keep: exactly on POSIX
/// systems, any letter case of Latin-1's letters on Windows (`ignore_case`).
bool namesRecording(std::string_view entry_file_name, std::string_view recording_file_name,
                    bool ignore_case = platform::kFileNamesIgnoreCase);

/// The entries of `entries` whose file name names none of `files`, in their order.
std::vector<OldEntry> entriesWithoutRecording(const std::vector<OldEntry>& entries,
                                              const std::vector<FlightFile>& files,
                                              bool ignore_case = platform::kFileNamesIgnoreCase);

/// The logbook, or one of the earlier logbooks kept beside it.
struct KeptLogbook {
    int age = -1;                 // -1 for the logbook itself, else 0 (".bak") to 4 (".bak.4")
    std::string path; // the logbook's as given; a generation's beside the file it leads to
    bool exists = false;          // a regular file is there
    std::int64_t modified_ms = 0; // when it was last written, milliseconds since 1970
    int entries = -1;             // lines that read as entries; -1 when it could not be read
    int other_lines = 0;          // lines after the header that are no entry
    std::string pilot_name;       // as UTF-8
    std::string unreadable;       // why it could not be read, in the system's words
};

/// The logbook at `logbook_path` and its five generations, the logbook first, then from the
/// newest; those that do not exist with `exists` false.
std::vector<KeptLogbook> keptLogbooks(const std::string& logbook_path);

/// Puts the generation `age` (0 for ".bak" to 4) of the logbook at `logbook_path` back as the
/// logbook, through the same safe replacement as a run: the lock, the path's checks, the logbook
/// it replaces kept as ".bak" and the older ones moved back one place, so that a restore can
/// itself be undone by restoring ".bak". The result as a run's: `entries` those of the logbook
/// put back, `restored_from` its generation's path; failure NoGeneration when there is none.
GenerationResult restoreGeneration(const std::string& logbook_path, int age,
                                   platform::TemporaryWatcher watcher = {});

} // namespace logbook
