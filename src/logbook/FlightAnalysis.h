#pragma once

// One IGC file turned into at most one logbook entry: the flight located by ground speed, its
// flight and engine time, its route and, for a declared task, the task distance and speed.

#include <QLocale>
#include <QString>

#include <iosfwd>

namespace logbook {

/// Loads the IGC file at `path` (as the directory listing gives it), analyses the flight and,
/// when it passes every check, appends its entry to `logbook`. True when an entry was written.
/// Flights shorter than `min_time_minutes` are dropped. Progress and the reason for a skipped
/// file go to std::cerr ("Empty log file" to std::cout).
bool analyzeFlight(const QString& path, std::ostream& logbook, int min_time_minutes,
                   const QLocale& locale = QLocale::system());

} // namespace logbook
