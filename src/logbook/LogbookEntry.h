#pragma once

// The logbook file: its header and one entry line per kept flight, as the simulator reads them.

#include "igc/FlightLog.h"

#include "platform/LocaleDates.h"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace logbook {

/// The values of one logbook line, in line order.
struct LogbookEntry {
    igc::IgcDate date;       // day, month, two-digit year
    std::string glider_type; // "Unknown" when the file names none
    std::string glider_id;
    std::string route;        // "Local flight", or start - turnpoints - finish
    double flight_time = 0.0; // seconds
    double engine_time = 0.0; // seconds
    double distance = 0.0;    // metres; 0 when none
    double speed = 0.0;       // km/h
    std::string file_name;    // the IGC file's name without its directory
};

/// The header: two comment lines, an empty line and "name = " with the pilot name as given.
void writeLogbookHeader(std::ostream& out, const std::string& pilot_name);

/// Appends one entry line and flushes. The date as `format_date` gives it (the user's short date
/// form unless told).
void writeLogbookEntry(
    std::ostream& out, const LogbookEntry& entry,
    const platform::DateFormatter& format_date = platform::localeDateFormatter());

/// The entry's date as `format_date` gives it (05.01.2008, 1/5/2008), Latin-1; empty when the
/// file gave no valid date (no date record, or a day the calendar does not have).
std::string formatEntryDate(const igc::IgcDate& date, const platform::DateFormatter& format_date);

/// "hh:mm" of whole seconds, the hours reduced modulo 24 and the remaining seconds dropped.
std::string formatDuration(double seconds);

/// One line of a logbook below its header. An entry: the date first, the glider's type and
/// identification and the route, the flight and engine times as "hh:mm", the distance and the
/// speed ("152.3 km" and "78.4 km/h", or "-" and "-"), the recording's file name last.
struct OldEntry {
    std::string line;      // the line's bytes as they stood, without its line end
    std::string date;      // as the line holds it (Latin-1)
    std::string route;     // as the line holds it (Latin-1)
    std::string file_name; // as the line holds it (Latin-1)
    /// A line below the header that does not read as an entry (typed by hand, cut short, of
    /// another program): no recording can be told from it, so it is a flight without one, named
    /// by its place and its text. Its date, route and file name are empty; `line` is empty too
    /// when the line was longer than a line is held.
    bool is_entry = true;
    long long line_number = 0; // from 1, the header's lines counted
    std::int64_t line_length = 0;
};

/// How many flights a question or a list shows at most, the rest counted: a screenful.
inline constexpr std::size_t kShownFlights = 20;

/// The old logbook's flights whose recording is gone (or, `unreadable`, could not be read during
/// the run): the first `kShownFlights` of them, and how many there are.
struct MissingRecordings {
    std::vector<OldEntry> shown;
    std::size_t count = 0;
    bool unreadable = false;
    [[nodiscard]] bool empty() const { return count == 0; }
};

/// `line` (without its line end) as an entry; nothing for a line that does not read as one: too
/// few fields, a time, distance or speed that the entry writer would not have written, an empty
/// file name or one that does not end in ".igc", a control byte.
std::optional<OldEntry> readEntryLine(std::string_view line);

} // namespace logbook
