#include "logbook/Messages.h"

#include "platform/Files.h"

#include <algorithm>
#include <ostream>

namespace logbook {

namespace {

// What a skipped file's reason says it was, counted under one name ("too short: 12 s" is one of
// the "too short"); the singular and the plural of the words that follow the count.
struct ReasonKind {
    std::string_view starts; // the reason's beginning
    std::string_view singular;
    std::string_view plural;
};

constexpr ReasonKind kReasonKinds[] = {
    {"too short", "too short", "too short"},
    {"not an IGC file", "not an IGC file", "not IGC files"},
    {"not readable", "not readable", "not readable"},
    {"task incomplete", "with an incomplete task", "with an incomplete task"},
    {"empty", "empty", "empty"},
    {"one fix only", "with one fix only", "with one fix only"},
    {"no takeoff found", "without a takeoff", "without a takeoff"},
};

std::string grouped(long long count) {
    std::string digits = std::to_string(count < 0 ? -count : count);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return count < 0 ? "-" + digits : digits;
}

} // namespace

std::string counted(long long count, std::string_view singular, std::string_view plural) {
    return grouped(count) + " " + std::string(count == 1 ? singular : plural);
}

std::string writtenText(const GenerationResult& result, const std::string& logbook_path) {
    std::string text =
        "Wrote " + counted(result.entries, "entry", "entries") + " to " + logbook_path;
    if (result.replaced_entries >= 0)
        text += "; the logbook it replaced had " + grouped(result.replaced_entries);
    return text;
}

std::string filesReadText(const GenerationResult& result) {
    return counted(result.files, "file read", "files read") + ", " +
           grouped(result.files - result.entries) + " skipped";
}

std::string backupText(const GenerationResult& result) {
    if (result.backup_path.empty())
        return {};
    return "The old logbook was kept as " + result.backup_path;
}

std::string summaryLine(const GenerationResult& result, const std::string& logbook_path) {
    std::string line = writtenText(result, logbook_path) + " (" + filesReadText(result) + ")";
    if (!result.backup_path.empty())
        line += "; the old logbook was kept as " + result.backup_path;
    return line;
}

bool holdsFewerThanBefore(const GenerationResult& result) {
    return result.replaced_entries >= 0 && result.entries < result.replaced_entries;
}

std::string progressText(long long done, long long total) {
    return grouped(done) + " of " + counted(total, "file", "files");
}

std::string skippedCountsText(const GenerationResult& result) {
    // Counted in the order the kinds are first met, then the most frequent first.
    std::vector<std::pair<std::string, std::pair<std::string, long long>>> kinds;
    for (const auto& [path, reason] : result.skipped) {
        std::string singular = "not a file";
        std::string plural = "not files";
        for (const ReasonKind& kind : kReasonKinds) {
            if (reason.rfind(kind.starts, 0) == 0) {
                singular = kind.singular;
                plural = kind.plural;
                break;
            }
        }
        auto found = std::find_if(kinds.begin(), kinds.end(),
                                  [&singular](const auto& k) { return k.first == singular; });
        if (found == kinds.end())
            kinds.push_back({singular, {plural, 1}});
        else
            ++found->second.second;
    }
    std::stable_sort(kinds.begin(), kinds.end(), [](const auto& a, const auto& b) {
        return a.second.second > b.second.second;
    });
    std::string text;
    for (const auto& [singular, counted_kind] : kinds) {
        const auto& [plural, count] = counted_kind;
        text += (text.empty() ? "" : ", ") + counted(count, singular, plural);
    }
    return text;
}

std::vector<std::pair<std::string, std::string>> skippedRows(const GenerationResult& result) {
    std::vector<std::pair<std::string, std::string>> rows;
    rows.reserve(result.skipped.size());
    for (const auto& [path, reason] : result.skipped)
        rows.emplace_back(platform::fileNameOf(path), reason);
    return rows;
}

std::string emptyLogbookQuestion(const std::string& igc_directory, int old_entries, int files) {
    const std::string found =
        files == 0 ? "The folder " + igc_directory + " holds no IGC file."
                   : "The folder " + igc_directory + " holds no flight for the logbook (" +
                         counted(files, "file read", "files read") + ", none kept).";
    return found + " Replace your logbook of " + counted(old_entries, "entry", "entries") +
           " with an empty one?";
}

std::string inputsProblem(const std::string& igc_directory, const std::string& logbook_path) {
    // The run's own checks, in its order: the directory is listed, then the logbook looked at.
    std::string why;
    std::ostream nowhere(nullptr); // the entries a run would skip are its own business
    GenerationResult result;
    result.had_logbook = logbookExists(logbook_path);
    if (!listFlights(igc_directory, why, nowhere)) {
        if (igc_directory.empty())
            return why;
        result.failure = GenerationFailure::Directory;
        result.failed_path = igc_directory;
        result.reason = why;
    } else if (logbook_path.empty()) {
        return logbookPathProblem(logbook_path);
    } else if (std::string problem = logbookPathProblem(logbook_path); !problem.empty()) {
        result.failure = GenerationFailure::NotALogbook;
        result.reason = std::move(problem);
    }
    return failureText(result);
}

} // namespace logbook
