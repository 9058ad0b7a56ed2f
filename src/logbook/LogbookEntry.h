#pragma once

// The logbook file: its header and one entry line per kept flight, as the simulator reads them.

#include "igc/FlightLog.h"

#include <QLocale>
#include <QString>

#include <iosfwd>
#include <string>

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

/// Appends one entry line and flushes. The date follows `locale`'s short date form.
void writeLogbookEntry(std::ostream& out, const LogbookEntry& entry,
                       const QLocale& locale = QLocale::system());

/// The entry's date in `locale`'s short form with a four-digit year (05.01.2008, 1/5/2008);
/// empty when the file gave no valid date.
QString formatEntryDate(const igc::IgcDate& date, const QLocale& locale);

/// "hh:mm" of whole seconds, the hours reduced modulo 24 and the remaining seconds dropped.
std::string formatDuration(double seconds);

} // namespace logbook
