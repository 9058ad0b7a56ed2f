#include "logbook/Generation.h"

#include "logbook/FlightAnalysis.h"

#include <QDir>
#include <QFileInfo>

namespace logbook {

std::optional<QStringList> listFlights(const QString& directory) {
    // Files and directories alike (a directory named x.igc is handed on, and the reader says
    // what it makes of it), no hidden entries; by modification time, oldest first.
    const auto filters = QDir::Filters(QDir::Dirs | QDir::Files | QDir::Drives);
    const auto order = QDir::SortFlags(QDir::Time | QDir::Reversed);
    const QDir dir(directory, QStringLiteral("*.igc;*.IGC"), order, filters);
    if (!dir.exists() || !dir.isReadable())
        return std::nullopt;
    QStringList paths;
    const QFileInfoList entries = dir.entryInfoList();
    paths.reserve(entries.size());
    for (const QFileInfo& entry : entries)
        paths.append(entry.filePath());
    return paths;
}

GenerationSummary writeEntries(const QStringList& files, std::ostream& logbook,
                               int min_time_minutes, const QLocale& locale,
                               const Progress& progress) {
    GenerationSummary summary;
    const auto total = static_cast<int>(files.size());
    for (const QString& path : files) {
        if (analyzeFlight(path, logbook, min_time_minutes, locale))
            ++summary.entries;
        ++summary.files;
        if (progress)
            progress(summary.files, total);
    }
    return summary;
}

} // namespace logbook
