#include "logbook/LogbookHistory.h"

#include "logbook/FlightAnalysis.h"
#include "logbook/LogbookFile.h"
#include "logbook/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <ostream>
#include <unordered_map>
#include <utility>

namespace logbook {

namespace {

constexpr int kHeaderLines = 4;
constexpr std::string_view kNamePrefix = "name = ";

// Why a stream's reading failed: the system's error that the C library left, else EIO.
std::error_code readError() {
    return platform::errorOf(errno != 0 ? errno : EIO);
}

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

// Hands each line of `file` to `take`: its bytes without the line end (at most `kLongestLine`
// of them are held: a longer line comes as `too_long`, without its bytes), its number from 1, and
// where it lies. Lines end in LF or CR LF; a file whose first line ends in a lone CR (as old Mac
// programs wrote) is read as lines ending in CR. No error, or the system's error.
template <typename Take>
std::error_code forEachLine(std::FILE* file, const Take& take) {
    enum class Ends { Unknown, Lf, Cr };
    Ends ends = Ends::Unknown;
    std::string line;
    bool too_long = false;
    bool cr_pending = false; // a CR ended the last block: a line end, or half of a CR LF
    long long number = 1;
    std::int64_t offset = 0; // of the next byte
    std::int64_t start = 0;  // of the line
    char last = 0;           // the last byte of the line so far
    const auto add = [&](std::string_view piece) {
        if (!piece.empty())
            last = piece.back();
        if (!too_long && line.size() + piece.size() <= kLongestLine + 1)
            line.append(piece);
        else
            too_long = true;
    };
    // The line ends before byte `end`, its line end left out: a CR before an LF is the line
    // end's.
    const auto end_line = [&](std::int64_t end) {
        std::int64_t length = end - start;
        if (ends != Ends::Cr && length > 0 && last == '\r')
            --length;
        const std::string_view text =
            too_long ? std::string_view()
                     : std::string_view(line).substr(0, static_cast<std::size_t>(length));
        take(text, number++, LineSpan{start, length}, too_long);
        line.clear();
        too_long = false;
        last = 0;
    };
    char block[64 * 1024];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        std::string_view rest(block, got);
        if (cr_pending) { // decided by the byte after it
            cr_pending = false;
            ends = rest.front() == '\n' ? Ends::Lf : Ends::Cr;
            if (ends == Ends::Cr) {
                end_line(offset - 1);
                start = offset;
            }
        }
        while (!rest.empty()) {
            const std::size_t end = ends == Ends::Lf   ? rest.find('\n')
                                    : ends == Ends::Cr ? rest.find('\r')
                                                       : rest.find_first_of("\r\n");
            if (end == std::string_view::npos) {
                add(rest);
                offset += static_cast<std::int64_t>(rest.size());
                break;
            }
            if (ends == Ends::Unknown && rest[end] == '\r') {
                if (end + 1 == rest.size()) { // the next block tells
                    add(rest);
                    offset += static_cast<std::int64_t>(rest.size());
                    cr_pending = true;
                    break;
                }
                ends = rest[end + 1] == '\n' ? Ends::Lf : Ends::Cr;
                continue; // found again under the rule now known
            }
            ends = ends == Ends::Unknown ? Ends::Lf : ends;
            add(rest.substr(0, end));
            offset += static_cast<std::int64_t>(end + 1);
            end_line(offset - 1);
            start = offset;
            rest.remove_prefix(end + 1);
        }
    }
    if (cr_pending) { // the file's last byte, a lone CR
        ends = Ends::Cr;
        end_line(offset - 1);
        start = offset;
    }
    if (start < offset)
        end_line(offset);
    return std::ferror(file) != 0 ? readError() : std::error_code();
}

// One line read into the summary; the entry it reads as, or the line that is none (is_entry
// false); nothing for the header and for a blank line.
std::optional<OldEntry> summarize(std::string_view line, long long number, LineSpan span,
                                  bool too_long, LogbookSummary& summary) {
    if (number == kHeaderLines && line.starts_with(kNamePrefix))
        summary.pilot_name = std::string(line.substr(kNamePrefix.size()));
    if (number <= kHeaderLines ||
        (!too_long && line.find_first_not_of(" \t\r") == std::string_view::npos))
        return std::nullopt;
    std::optional<OldEntry> entry = too_long ? std::nullopt : readEntryLine(line);
    if (entry) {
        ++summary.entries;
    } else {
        ++summary.other_lines;
        entry.emplace();
        entry->is_entry = false;
        entry->line = std::string(line);
    }
    entry->line_number = number;
    entry->line_length = span.length;
    return entry;
}

} // namespace

platform::Expected<LogbookSummary, std::error_code> summarizeLogbook(std::FILE* file) {
    LogbookSummary summary;
    const std::error_code error = forEachLine(
        file, [&](std::string_view line, long long number, LineSpan span, bool too_long) {
            static_cast<void>(summarize(line, number, span, too_long, summary));
        });
    if (error)
        return platform::unexpected(error);
    return summary;
}

platform::Expected<OldLogbook, std::error_code>
readOldLogbook(std::FILE* file, const std::vector<FlightFile>& files, bool ignore_case) {
    OldLogbook old;
    std::unordered_map<std::string, std::size_t> recorded; // the first listed of each name
    recorded.reserve(files.size());
    for (std::size_t index = 0; index < files.size(); ++index) {
        recorded.try_emplace(comparable(entryFileName(files[index].name), ignore_case), index);
        // An entry written before names were composed names its recording too.
        recorded.try_emplace(comparable(entryFileName(files[index].name, false), ignore_case),
                             index);
    }
    old.lines_of_file.resize(files.size());
    const std::error_code error = forEachLine(
        file, [&](std::string_view line, long long number, LineSpan span, bool too_long) {
            std::optional<OldEntry> entry = summarize(line, number, span, too_long, old.summary);
            if (!entry)
                return;
            if (entry->is_entry) {
                const auto listed = recorded.find(comparable(entry->file_name, ignore_case));
                if (listed != recorded.end()) {
                    old.lines_of_file[listed->second].push_back(span);
                    return;
                }
            }
            old.missing_lines.push_back(span);
            if (old.missing.shown.size() < kShownFlights)
                old.missing.shown.push_back(std::move(*entry));
            ++old.missing.count;
        });
    if (error)
        return platform::unexpected(error);
    return old;
}

std::error_code copyLines(std::FILE* file, const std::vector<LineSpan>& spans, std::ostream& out) {
    // Read once more from the start, the lines passed on as they pass: no seek, whose offsets
    // are narrower than a file's on some systems, and no line held, however long.
    std::rewind(file);
    std::int64_t at = 0; // of the block's first byte
    auto span = spans.begin();
    char block[64 * 1024];
    for (std::size_t got;
         span != spans.end() && (got = std::fread(block, 1, sizeof block, file)) > 0;
         at += static_cast<std::int64_t>(got)) {
        const std::int64_t end = at + static_cast<std::int64_t>(got);
        while (span != spans.end() && span->offset < end) {
            const std::int64_t from = std::max(span->offset, at);
            const std::int64_t to = std::min(span->offset + span->length, end);
            if (to > from)
                out.write(block + (from - at), static_cast<std::streamsize>(to - from));
            if (span->offset + span->length > end)
                break; // the line goes on in the next block
            out << '\n';
            ++span;
        }
    }
    if (std::ferror(file) != 0)
        return readError();
    // The file ended before the lines it held.
    return span == spans.end() ? std::error_code() : platform::errorOf(EIO);
}

bool namesRecording(std::string_view entry_file_name, std::string_view recording_file_name,
                    bool ignore_case) {
    return comparable(entry_file_name, ignore_case) ==
           comparable(entryFileName(std::string(recording_file_name)), ignore_case);
}

std::vector<KeptLogbook> keptLogbooks(const std::string& logbook_path) {
    LogbookStore store;
    if (!store.open(logbook_path)) {
        // Nothing to be listed beside a path that names no logbook's place.
        std::vector<KeptLogbook> kept(1);
        kept[0].path = logbook_path;
        return kept;
    }
    return store.kept();
}

const platform::FileIdentity* listedIdentity(const std::vector<KeptLogbook>& kept, int age) {
    for (const KeptLogbook& logbook : kept) {
        if (logbook.age == age && logbook.exists)
            return &logbook.identity;
    }
    return nullptr;
}

GenerationResult restoreGeneration(const std::string& logbook_path, int age,
                                   const platform::FileIdentity* listed,
                                   platform::TemporaryWatcher watcher) {
    GenerationResult result;
    LogbookStore store;
    if (!store.open(logbook_path) || !store.lock(std::move(watcher))) {
        takeStoreFailure(store, result);
        return result;
    }
    result.had_logbook = store.hadLogbook();
    result.recovery = store.recovery();
    result.restored_from = store.generationPath(std::clamp(age, 0, kGenerations - 1));
    const std::vector<KeptLogbook> kept = store.kept();
    for (const KeptLogbook& logbook : kept) {
        if (logbook.age < 0 && logbook.exists)
            result.replaced_entries = logbook.entries;
        if (logbook.age == age && logbook.exists)
            result.entries = logbook.entries;
    }
    if (Expected<void> restored = store.restore(age, listed); !restored) {
        result.failure = restored.error();
        result.undo_problem = store.undoProblem();
        return result;
    }
    result.backup_path = store.backupPath();
    return result;
}

} // namespace logbook
