#pragma once

// The steps of a logbook generation that do not talk to the user: the header, the listing of
// the IGC directory and the entries. The dialog and the command line put them together with
// their own way of asking and reporting.

#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>
#include <iosfwd>
#include <optional>

namespace logbook {

/// The entries of `directory` that the logbook takes, in its order: names matching "*.igc" or
/// "*.IGC" (files and directories alike, hidden ones not), oldest modification time first, as
/// paths of the directory joined with the name. No value when the directory cannot be listed.
/// An empty `directory` lists the current working directory.
std::optional<QStringList> listFlights(const QString& directory);

struct GenerationSummary {
    int files = 0;   // IGC files handed to the analysis
    int entries = 0; // entries written
};

/// Called after each file with the number of files done and the total.
using Progress = std::function<void(int done, int total)>;

/// Analyses every file in order and appends the entries to `logbook`.
GenerationSummary writeEntries(const QStringList& files, std::ostream& logbook,
                               int min_time_minutes, const QLocale& locale = QLocale::system(),
                               const Progress& progress = {});

} // namespace logbook
