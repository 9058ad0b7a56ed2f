#include "logbook/Messages.h"

#include "logbook/LogbookFile.h"
#include "logbook/Text.h"

#include "platform/Files.h"
#include "platform/LocaleDates.h"

#include <algorithm>
#include <ostream>
#include <sstream>

namespace logbook {

namespace {

// How the skipped files of one kind are counted: the singular and the plural of the words that
// follow the count ("1 not an IGC file", "12 not IGC files").
struct KindWords {
    std::string_view singular;
    std::string_view plural;
};

KindWords countedWords(SkipKind kind) {
    switch (kind) {
    case SkipKind::None:
    case SkipKind::NotAFile:
        break;
    case SkipKind::NotReadable:
        return {"not readable", "not readable"};
    case SkipKind::NotIgc:
        return {"not an IGC file", "not IGC files"};
    case SkipKind::TaskIncomplete:
        return {"with an unreadable task declaration", "with an unreadable task declaration"};
    case SkipKind::Empty:
        return {"empty", "empty"};
    case SkipKind::OneFix:
        return {"with one fix only", "with one fix only"};
    case SkipKind::NoTakeoff:
        return {"without a takeoff", "without a takeoff"};
    case SkipKind::TooShort:
        return {"too short", "too short"};
    }
    return {"not a file", "not files"};
}

std::string grouped(long long count) {
    std::string digits = std::to_string(count < 0 ? -count : count);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return count < 0 ? "-" + digits : digits;
}

} // namespace

std::string reasonText(const SkipReason& reason) {
    std::string text;
    switch (reason.kind) {
    case SkipKind::None:
        break;
    case SkipKind::NotAFile:
        text.append(reason.detail).append(", not a file");
        break;
    case SkipKind::NotReadable:
        text.append("not readable: ").append(reason.detail);
        break;
    case SkipKind::NotIgc:
        text.append("not an IGC file: ").append(reason.detail);
        break;
    case SkipKind::TaskIncomplete:
        text.append("task declaration unreadable: ").append(reason.detail);
        break;
    case SkipKind::Empty:
        text = "empty";
        break;
    case SkipKind::OneFix:
        text = "one fix only";
        break;
    case SkipKind::NoTakeoff:
        text = "no takeoff found";
        break;
    case SkipKind::TooShort: {
        std::ostringstream seconds; // as the diagnostics write them
        seconds << reason.seconds;
        text.append("too short: ").append(seconds.str()).append(" s");
        break;
    }
    }
    // The record at fault, for a pilot who opens the file to look.
    if (reason.line > 0)
        text.append(" (line ").append(std::to_string(reason.line)).append(")");
    return text;
}

std::string counted(long long count, std::string_view singular, std::string_view plural) {
    return grouped(count) + " " + std::string(count == 1 ? singular : plural);
}

namespace {

// ", 2 of them kept from the old logbook" when any were.
std::string keptClause(const GenerationResult& result) {
    if (result.kept_entries == 0)
        return {};
    if (result.entries == 1)
        return ", kept from the old logbook";
    return ", " + grouped(result.kept_entries) + " of them kept from the old logbook";
}

} // namespace

std::string writtenText(const GenerationResult& result, const std::string& logbook_path) {
    if (result.up_to_date)
        return upToDateLine(result, logbook_path);
    std::string text = "Wrote " + counted(result.entries, "entry", "entries") + " to " +
                       logbook_path + keptClause(result);
    if (result.replaced_entries >= 0)
        text += "; the logbook it replaced had " + grouped(result.replaced_entries);
    return text;
}

std::string filesReadText(const GenerationResult& result) {
    std::string text = counted(result.files, "file read", "files read") + ", " +
                       grouped(result.files - (result.entries - result.kept_entries)) + " skipped";
    if (result.names_with_question_marks > 0)
        text += ", " + counted(result.names_with_question_marks, "file name", "file names") +
                " written with \"?\"";
    if (result.hidden_files > 0)
        text += ", " + counted(result.hidden_files, "hidden file", "hidden files") + " left out";
    return text;
}

std::string backupText(const GenerationResult& result) {
    if (result.backup_path.empty())
        return {};
    return "The old logbook was kept as " + result.backup_path;
}

std::string summaryLine(const GenerationResult& result, const std::string& logbook_path) {
    // Fewer entries than before is worth a second look (a wrong folder, a stricter minimum),
    // wherever the line goes: a script's log as much as a terminal.
    std::string line = holdsFewerThanBefore(result)
                           ? "warning: Wrote " + counted(result.entries, "entry", "entries") +
                                 " to " + logbook_path + keptClause(result) + ", " +
                                 grouped(result.replaced_entries - result.entries) +
                                 " fewer than the " + grouped(result.replaced_entries) +
                                 " of the logbook it replaced"
                           : writtenText(result, logbook_path);
    line += " (" + filesReadText(result) + ")";
    if (const std::string elsewhere = elsewhereText(result); !elsewhere.empty())
        line += "; the folder holds no IGC file: " + elsewhere;
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
    std::vector<std::pair<SkipKind, long long>> kinds;
    for (const auto& skipped : result.skipped) {
        const SkipKind kind = skipped.second.kind;
        auto found = std::find_if(kinds.begin(), kinds.end(),
                                  [kind](const auto& k) { return k.first == kind; });
        if (found == kinds.end())
            kinds.emplace_back(kind, 1);
        else
            ++found->second;
    }
    std::stable_sort(kinds.begin(), kinds.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string text;
    for (const auto& [kind, count] : kinds) {
        const KindWords words = countedWords(kind);
        text += (text.empty() ? "" : ", ") + counted(count, words.singular, words.plural);
    }
    return text;
}

std::vector<std::pair<std::string, std::string>> skippedRows(const GenerationResult& result) {
    std::vector<std::pair<std::string, std::string>> rows;
    rows.reserve(result.skipped.size());
    for (const auto& [path, reason] : result.skipped)
        rows.emplace_back(platform::fileNameOf(path), reasonText(reason));
    return rows;
}

std::string elsewhereText(const GenerationResult& result) {
    const RecordingsElsewhere& elsewhere = result.elsewhere;
    if (result.files != 0 || elsewhere.in_subfolders == 0)
        return {};
    std::string folders = elsewhere.subfolder;
    if (elsewhere.subfolders > 1)
        folders += " and " + counted(elsewhere.subfolders - 1, "more folder", "more folders");
    return "its subfolders hold " + counted(elsewhere.in_subfolders, "recording", "recordings") +
           " (" + folders + "), but a logbook is made from one folder's recordings";
}

std::string emptyFolderFinding(const std::string& igc_directory, const GenerationResult& result) {
    const std::string elsewhere = elsewhereText(result);
    return result.files == 0
               ? "The folder " + igc_directory + " holds no IGC file" +
                     (elsewhere.empty() ? std::string() : "; " + elsewhere) + "."
               : "The folder " + igc_directory + " holds no flight for the logbook (" +
                     counted(result.files, "file read", "files read") + ", none kept).";
}

std::string emptyLogbookQuestion(const std::string& igc_directory, const GenerationResult& result) {
    const std::string logbook =
        result.replaced_entries >= 0
            ? "your logbook of " + counted(result.replaced_entries, "entry", "entries")
            : std::string("your logbook");
    return emptyFolderFinding(igc_directory, result) + " Replace " + logbook +
           " with an empty one?";
}

std::string emptyLogbookQuestion(const RunQuestion& question) {
    GenerationResult found;
    found.replaced_entries = question.old_entries;
    found.files = question.files;
    found.elsewhere = question.elsewhere;
    return emptyLogbookQuestion(question.igc_directory, found);
}

std::string missingRecordingsQuestion(const std::string& igc_directory,
                                      const MissingRecordings& missing) {
    const auto n = static_cast<long long>(missing.count);
    if (missing.unreadable)
        return counted(n, "flight", "flights") + " whose recording could not be read in " +
               igc_directory + ". Keep " + (n == 1 ? "its entry" : "their entries") +
               " from the old logbook?";
    return counted(n, "flight", "flights") + " of your logbook " + (n == 1 ? "has" : "have") +
           " no recording in " + igc_directory + ". Keep " + (n == 1 ? "it" : "them") +
           " in the new logbook?";
}

namespace {

// "05.01.2008, Local flight", as a pilot reads it.
std::string dateAndRoute(const OldEntry& entry) {
    return (entry.date.empty() ? std::string("no date") : utf8OfLatin1(entry.date)) + ", " +
           utf8OfLatin1(entry.route);
}

// A line that is no entry, as a pilot can find it in the file: its text with its control bytes
// shown as "?", a long one cut, one too long to be held by its length.
std::string otherLineText(const OldEntry& line) {
    constexpr std::size_t kShown = 60;
    if (line.line.empty() && line.line_length > 0)
        return "a line of " + counted(line.line_length, "byte", "bytes");
    std::string shown = line.line.substr(0, kShown);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return utf8OfLatin1(shown) + (line.line.size() > kShown ? "..." : "");
}

} // namespace

std::string missingRecordingsList(const MissingRecordings& missing) {
    std::string list;
    for (const OldEntry& entry : missing.shown)
        list += (entry.is_entry ? dateAndRoute(entry) + ", " + utf8OfLatin1(entry.file_name)
                                : "line " + grouped(entry.line_number) +
                                      " (no entry): " + otherLineText(entry)) +
                "\n";
    if (missing.count > missing.shown.size())
        list += "and " +
                counted(static_cast<long long>(missing.count - missing.shown.size()), "more flight",
                        "more flights") +
                "\n";
    return list;
}

std::string droppedText(const GenerationResult& result) {
    std::string text;
    for (const MissingRecordings* dropped : {&result.dropped, &result.dropped_unreadable}) {
        if (dropped->empty())
            continue;
        const auto count = static_cast<long long>(dropped->count);
        text += (text.empty() ? "" : "; ") + counted(count, "flight", "flights") +
                " of the old logbook " + (count == 1 ? "was" : "were") +
                " dropped: " + (count == 1 ? "its" : "their") + " recording " +
                (dropped->unreadable ? "could not be read" : "is gone");
    }
    return text;
}

std::string moreDroppedLine(const MissingRecordings& dropped) {
    if (dropped.count <= dropped.shown.size())
        return {};
    return "and " +
           counted(static_cast<long long>(dropped.count - dropped.shown.size()), "more flight",
                   "more flights") +
           " dropped";
}

std::string upToDateLine(const GenerationResult& result, const std::string& logbook_path) {
    return "The logbook was already up to date: " + logbook_path + " holds the " +
           counted(result.entries, "entry", "entries") + " it would be given; nothing was replaced";
}

std::string recoveryLine(Recovery recovery, const std::string& logbook_path) {
    switch (recovery) {
    case Recovery::None:
        break;
    case Recovery::Undone:
        return "An earlier change to " + logbook_path +
               " was interrupted; it was undone first, the logbook and its earlier logbooks "
               "put back as they were before it";
    case Recovery::Finished:
        return "An earlier change to " + logbook_path +
               " was interrupted after its new logbook was in place; it was finished first";
    }
    return {};
}

std::string droppedLine(const OldEntry& entry, const MissingRecordings& dropped,
                        const std::string& igc_directory) {
    if (!entry.is_entry)
        return "Dropped line " + grouped(entry.line_number) +
               " (no entry: " + otherLineText(entry) + "): it names no recording in " +
               igc_directory;
    return "Dropped " + utf8OfLatin1(entry.file_name) + " (" + dateAndRoute(entry) + "): " +
           (dropped.unreadable ? "its recording could not be read in " : "no recording in ") +
           igc_directory;
}

std::string keepMissingHint(const GenerationResult& result) {
    return std::string("hint: give --keep-missing to keep the flights whose recording ") +
           (result.dropped.empty()              ? "could not be read"
            : result.dropped_unreadable.empty() ? "is gone"
                                                : "is gone or could not be read");
}

std::string generationName(int age) {
    return age < 0 ? "the logbook" : generationName("", age);
}

std::string keptLogbookSummary(const KeptLogbook& kept) {
    std::string text = platform::localDateTime(kept.modified_ms) + ", ";
    if (!kept.unreadable.empty())
        return text + "not readable (" + kept.unreadable + ")";
    text += counted(kept.entries, "entry", "entries");
    if (!kept.pilot_name.empty())
        text += ", pilot " + kept.pilot_name;
    return text;
}

std::string keptLogbooksText(const std::vector<KeptLogbook>& kept,
                             const std::string& logbook_path) {
    std::string text;
    bool earlier = false;
    for (const KeptLogbook& logbook : kept) {
        if (!logbook.exists)
            continue;
        earlier = earlier || logbook.age >= 0;
        const std::string number = logbook.age < 0 ? "now" : std::to_string(logbook.age);
        text += number + std::string(4 - std::min<std::size_t>(number.size(), 3), ' ') +
                keptLogbookSummary(logbook) + "  " + logbook.path + "\n";
    }
    if (!earlier)
        return text + "No earlier logbook is kept beside " + logbook_path + "\n";
    return text + "Give --restore N to put generation N back as the logbook; the logbook it "
                  "replaces is kept as .bak, so that a restore can be undone.\n";
}

std::string restoredLine(const GenerationResult& result, const std::string& logbook_path) {
    std::string line = "Restored " + logbook_path + " from " + result.restored_from;
    if (result.entries >= 0)
        line += " (" + counted(result.entries, "entry", "entries") + ")";
    if (result.replaced_entries >= 0)
        line += "; the logbook it replaced had " + grouped(result.replaced_entries);
    if (!result.backup_path.empty())
        line += "; the old logbook was kept as " + result.backup_path;
    return line;
}

std::string reservedNameText(const std::string& name) {
    return name + ": a name that Windows reserves for a device; choose another name";
}

std::string inputsProblem(const std::string& igc_directory, const std::string& logbook_path) {
    // The run's own checks, in its order: the directory is listed, then the logbook looked at.
    std::ostream nowhere(nullptr); // the entries a run would skip are its own business
    GenerationResult result;
    result.had_logbook = logbookExists(logbook_path);
    if (const auto files = listFlights(igc_directory, nowhere); !files) {
        if (igc_directory.empty())
            return files.error().reason();
        result.failure = files.error();
    } else if (logbook_path.empty()) {
        return logbookPathProblem(logbook_path);
    } else if (std::string problem = logbookPathProblem(logbook_path); !problem.empty()) {
        result.failure = {FailureKind::NotALogbook, logbook_path, {}, std::move(problem)};
    }
    return failureText(result);
}

} // namespace logbook
