#include "logbook/Generation.h"

#include "logbook/FlightAnalysis.h"
#include "logbook/LogbookEntry.h"

#include <sys/stat.h>

#include <iostream>

namespace logbook {

namespace {

bool pathExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && lstat(path.c_str(), &info) == 0;
}

} // namespace

void writeEntries(const std::vector<FlightFile>& files, std::ostream& logbook, int min_time_minutes,
                  const QLocale& locale, GenerationResult& result, const Progress& progress) {
    const auto total = static_cast<int>(files.size());
    for (const FlightFile& file : files) {
        if (analyzeFlight(file.path, logbook, min_time_minutes, locale))
            ++result.entries;
        ++result.files;
        if (progress)
            progress(result.files, total);
    }
}

GenerationResult generateLogbook(const GenerationRequest& request, std::ostream& frame,
                                 const Progress& progress) {
    GenerationResult result;
    frame << "Generating new logbook\n" << std::flush;
    // A wrong directory must not leave an empty logbook behind: list before anything is opened.
    std::string why;
    const std::optional<std::vector<FlightFile>> files =
        listFlights(request.igc_directory, why, std::cerr);
    LogbookFile out;
    if (!files) {
        result.failure = GenerationFailure::Directory;
        result.failed_path = request.igc_directory;
        result.reason = why;
        result.had_logbook = pathExists(request.logbook_path);
        return result;
    }
    const bool opened = out.open(request.logbook_path, request.temporary_watcher);
    result.had_logbook = out.replacesExisting();
    if (!opened) {
        result.failure = GenerationFailure::Open;
        result.failed_path = request.logbook_path;
        result.reason = out.error();
        return result;
    }
    writeLogbookHeader(out, request.pilot_name);
    writeEntries(*files, out, request.min_time_minutes, request.locale, result, progress);
    if (!out.commit()) {
        result.failure = out.errorPath() != out.backupTarget() ? GenerationFailure::Write
                                                               : GenerationFailure::Backup;
        result.failed_path = out.errorPath();
        result.reason = out.error();
        return result;
    }
    result.backup_path = out.backupPath();
    return result;
}

std::string failureText(const GenerationResult& result) {
    std::string title;
    switch (result.failure) {
    case GenerationFailure::None:
        return {};
    case GenerationFailure::Directory:
        title = "Couldn't read the IGC directory!";
        break;
    case GenerationFailure::Open:
        title = "Couldn't open output logbook file!\nEnsure that you have write permission to the "
                "Thermora data directory";
        break;
    case GenerationFailure::Write:
        title = "Couldn't write the logbook file!";
        break;
    case GenerationFailure::Backup:
        title = "Couldn't keep a copy of the old logbook!";
        break;
    }
    return title + "\n" + result.failed_path + "\n" + result.reason + "\n" +
           (result.had_logbook ? "The old logbook was left as it was." : "No logbook was written.");
}

bool hasControlCharacter(const std::string& pilot_name) {
    for (const char c : pilot_name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

} // namespace logbook
