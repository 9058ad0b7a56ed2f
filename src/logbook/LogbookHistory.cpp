#include "logbook/LogbookHistory.h"

#include "logbook/FlightAnalysis.h"
#include "logbook/LogbookFile.h"
#include "logbook/Text.h"

#include <cerrno>
#include <cstdio>
#include <unordered_set>
#include <utility>

namespace logbook {

namespace {

constexpr int kHeaderLines = 4;
constexpr std::string_view kNamePrefix = "name = ";

// A file name as the platform compares names: itself, or with Latin-1's capitals (but the
// multiplication sign) made small where letter case does not tell names apart.
std::string comparable(std::string_view name, bool ignore_case) {
    std::string folded(name);
    if (!ignore_case)
        return folded;
    for (char& c : folded) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7))
            c = static_cast<char>(byte + 0x20);
    }
    return folded;
}

// One line of a logbook, its line end dropped.
void takeLine(std::string_view line, int number, LogbookContent& content) {
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    if (number == kHeaderLines && line.starts_with(kNamePrefix))
        content.pilot_name = std::string(line.substr(kNamePrefix.size()));
    if (number <= kHeaderLines || line.find_first_not_of('\r') == std::string_view::npos)
        return;
    if (std::optional<OldEntry> entry = readEntryLine(line))
        content.entries.push_back(std::move(*entry));
    else
        ++content.other_lines;
}

} // namespace

int readLogbook(const std::string& path, LogbookContent& content) {
    content = {};
    platform::FileKind kind = platform::FileKind::Other;
    int open_error = 0;
    std::FILE* file = platform::openFlight(path, true, kind, open_error);
    if (file == nullptr)
        return open_error != 0 ? open_error : EIO;
    std::string line;
    int number = 1;
    char block[64 * 1024];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        for (std::string_view rest(block, got); !rest.empty();) {
            const std::size_t end = rest.find('\n');
            line.append(rest.substr(0, end));
            if (end == std::string_view::npos)
                break;
            takeLine(line, number++, content);
            line.clear();
            rest.remove_prefix(end + 1);
        }
    }
    if (!line.empty())
        takeLine(line, number, content);
    const bool failed = std::ferror(file) != 0;
    const int read_error = errno;
    std::fclose(file);
    if (failed) {
        content = {};
        return read_error != 0 ? read_error : EIO;
    }
    return 0;
}

bool namesRecording(std::string_view entry_file_name, std::string_view recording_file_name,
                    bool ignore_case) {
    return comparable(entry_file_name, ignore_case) ==
           comparable(entryFileName(std::string(recording_file_name)), ignore_case);
}

std::vector<OldEntry> entriesWithoutRecording(const std::vector<OldEntry>& entries,
                                              const std::vector<FlightFile>& files,
                                              bool ignore_case) {
    std::unordered_set<std::string> recorded;
    recorded.reserve(files.size());
    for (const FlightFile& file : files)
        recorded.insert(comparable(entryFileName(file.name), ignore_case));
    std::vector<OldEntry> missing;
    for (const OldEntry& entry : entries) {
        if (!recorded.contains(comparable(entry.file_name, ignore_case)))
            missing.push_back(entry);
    }
    return missing;
}

std::vector<KeptLogbook> keptLogbooks(const std::string& logbook_path) {
    std::vector<KeptLogbook> kept;
    // A run keeps the generations beside the file that a link to the logbook leads to.
    const platform::PathInfo target = platform::inspect(logbook_path);
    const std::string& base =
        target.kind == platform::FileKind::Regular ? target.resolved : logbook_path;
    for (int age = -1; age < LogbookFile::kGenerations; ++age) {
        KeptLogbook logbook;
        logbook.age = age;
        logbook.path = age < 0 ? logbook_path : LogbookFile::generationPath(base, age);
        const platform::PathInfo info = platform::inspect(logbook.path);
        logbook.exists = info.kind == platform::FileKind::Regular;
        if (logbook.exists) {
            logbook.modified_ms = info.modified_ms;
            LogbookContent content;
            if (const int error = readLogbook(logbook.path, content); error != 0) {
                logbook.unreadable = platform::systemReason(error);
            } else {
                logbook.entries = static_cast<int>(content.entries.size());
                logbook.other_lines = content.other_lines;
                logbook.pilot_name = utf8OfLatin1(content.pilot_name);
            }
        }
        kept.push_back(std::move(logbook));
    }
    return kept;
}

GenerationResult restoreGeneration(const std::string& logbook_path, int age,
                                   platform::TemporaryWatcher watcher) {
    GenerationResult result;
    result.had_logbook = logbookExists(logbook_path);
    if (age < 0 || age >= LogbookFile::kGenerations) {
        result.failure = GenerationFailure::NoGeneration;
        result.failed_path = logbook_path;
        result.reason = "only the generations 0 (.bak) to " +
                        std::to_string(LogbookFile::kGenerations - 1) + " are kept";
        return result;
    }
    result.restored_from = LogbookFile::generationPath(logbook_path, age);
    LogbookFile out;
    if (!out.open(logbook_path, std::move(watcher))) {
        takeOpenFailure(out, logbook_path, result);
        return result;
    }
    result.had_logbook = out.replacesExisting();
    // The generation is copied while this run holds the logbook, byte for byte: it was a
    // logbook as the simulator read it.
    const std::string from = out.generationTarget(age);
    if (platform::inspect(logbook_path).is_link)
        result.restored_from = from; // where it was, beside the file the link leads to
    const auto noGeneration = [&](int error) {
        result.failure = GenerationFailure::NoGeneration;
        result.failed_path = result.restored_from;
        result.reason = platform::systemReason(error);
        return result;
    };
    if (platform::inspect(from).kind != platform::FileKind::Regular)
        return noGeneration(ENOENT);
    platform::FileKind kind = platform::FileKind::Other;
    int error = 0;
    std::FILE* file = platform::openFlight(from, true, kind, error);
    if (file == nullptr)
        return noGeneration(error != 0 ? error : ENOENT);
    char block[64 * 1024];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        if (!out.writeAsIs(block, got))
            break;
    }
    const bool read_failed = std::ferror(file) != 0;
    const int read_error = errno;
    std::fclose(file);
    if (read_failed)
        return noGeneration(read_error != 0 ? read_error : EIO);
    result.entries = countLogbookEntries(from);
    result.replaced_entries = out.replacedEntries();
    if (out.replacedReadError() != 0)
        result.replaced_unreadable = platform::systemReason(out.replacedReadError());
    commitInto(out, result);
    return result;
}

} // namespace logbook
