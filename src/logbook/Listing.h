#pragma once

// The IGC directory's flights, in the order the logbook takes them. Names are bytes: a file whose
// name is not valid text in the user's encoding is read like any other, and a directory is
// opened by exactly the bytes it was given.

#include "logbook/Failure.h"

#include "platform/Files.h"
#include "platform/Folder.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace logbook {

struct FlightFile {
    std::string path; // the directory joined with the name, as bytes, for words
    // The folder as listed, which the flight is opened from by its name: a folder swapped for
    // another (a link to a folder its maker may not read) after the listing changes nothing.
    std::shared_ptr<const platform::Folder> folder;
    std::string name;             // the entry's name, as bytes
    std::int64_t modified_ms = 0; // last modification, milliseconds since 1970
    std::int64_t size = 0;        // bytes when listed (0 for anything but a file)
    bool is_link = false;         // listed as a symbolic link, which its reading may follow
};

/// The entries of `directory` that the logbook takes: names ending in ".igc" in any letter case,
/// not hidden, regular files and directories alike (a directory named x.igc is handed on and the
/// reader says what it makes of it), symbolic links followed where the platform's `inspect`
/// follows them (another user's link is handed on for its reading to refuse; one on the way to
/// `directory` refuses the listing). Oldest modification first; equal times in descending order
/// of their names as text, then of their bytes. Entries that could block a reader or lead
/// nowhere (named pipes, sockets, devices, dangling links, link loops) are left out with one line
/// each on `diagnostics`. A failure of kind Directory about `directory` when the directory text
/// is empty or leads through another user's link (both said in its detail), or when the
/// directory cannot be listed or searched (the system's code). `hidden`, when given, counts the
/// hidden names ending in ".igc" that were left out.
Expected<std::vector<FlightFile>> listFlights(const std::string& directory,
                                              std::ostream& diagnostics, int* hidden = nullptr);

/// Where the recordings are when a folder holds none of its own: a pilot who chose the data
/// folder instead of its IGC folder, or keeps the recordings in folders by year.
struct RecordingsElsewhere {
    std::string igc_folder; // the folder's own "IGC" folder (any letter case) when it holds some
    int igc_recordings = 0; // and how many
    int in_subfolders = 0;  // recordings in its subfolders, two levels deep, when no IGC folder
    std::string subfolder;  // the first subfolder that holds some
    int subfolders = 0;     // subfolders that hold some
};

/// Looks for recordings around `directory`, which lists none; nothing found when it does not
/// exist or cannot be read. Stops counting after some ten thousand entries.
RecordingsElsewhere findRecordingsElsewhere(const std::string& directory);

/// `text` as a line on a terminal may show it: control bytes (ESC, BEL, a line end) as \xNN,
/// so that a file name cannot move the cursor, ring or start a line of its own.
std::string escaped(std::string_view text);

/// Why an entry of `kind` is not read as a flight ("a named pipe"); empty for a regular file or
/// a directory. For kind Other, the system's `error` when it gave one.
std::string kindText(platform::FileKind kind, std::error_code error);

} // namespace logbook
