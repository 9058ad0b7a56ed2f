#include "logbook/Generation.h"

#include "logbook/FlightAnalysis.h"
#include "logbook/LogbookEntry.h"
#include "logbook/LogbookHistory.h"
#include "logbook/Messages.h"

#include "platform/Interrupts.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <thread>
#include <unordered_map>

namespace logbook {

namespace {

FlightResult analyzeSafely(const FlightFile& file, int min_time_minutes,
                           const platform::DateFormatter& format_date, AnalysisBuffers& buffers) {
    try {
        return analyzeFile(file, min_time_minutes, format_date, buffers);
    } catch (const std::bad_alloc&) { // a monstrous file
        FlightResult result;
        result.path = file.path;
        result.reason = {SkipKind::NotReadable, "out of memory"};
        result.errors = "Couldn't load IGC file " + file.path + "!\n";
        return result;
    } catch (const std::exception& error) {
        FlightResult result;
        result.path = file.path;
        result.reason = {SkipKind::NotReadable, error.what()};
        result.errors = "Couldn't load IGC file " + file.path + "!\n";
        return result;
    }
}

// Files analysed on several threads and handed on in listing order on the calling thread.
// Workers run at most `window` files ahead of the one to be handed on, and a file of the
// request's alone_bytes or more is analysed alone, so that memory stays bounded by the largest
// files whatever the directory holds.
class OrderedAnalysis {
public:
    OrderedAnalysis(const std::vector<FlightFile>& files, const GenerationRequest& request,
                    const platform::DateFormatter& format_date, int jobs)
        : files_(files), request_(request), format_date_(format_date),
          window_(2 * static_cast<std::size_t>(jobs)), pending_(window_) {}

    // A worker: takes the next file it may, analyses it, puts its result in its slot; until
    // every file is taken or the run stops.
    void work() {
        AnalysisBuffers buffers;
        for (;;) {
            const std::optional<std::size_t> index = take();
            if (!index)
                return;
            const bool large = isLarge(*index);
            FlightResult result =
                analyzeSafely(files_[*index], request_.min_time_minutes, format_date_, buffers);
            {
                const std::lock_guard lock(mutex_);
                pending_[*index % window_] = std::move(result);
                --running_;
                if (large)
                    alone_ = false;
            }
            ready_.notify_all();
            room_.notify_all(); // a large file may wait for this one, or others for it
        }
    }

    // The result of file `index`, once a worker has it; its slot is free again.
    FlightResult next(std::size_t index) {
        FlightResult result;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [&] { return pending_[index % window_].has_value(); });
            result = std::move(*pending_[index % window_]);
            pending_[index % window_].reset();
            next_to_emit_ = index + 1;
        }
        room_.notify_all();
        return result;
    }

    // The workers take no more files.
    void stop() {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        room_.notify_all();
    }

private:
    [[nodiscard]] bool isLarge(std::size_t index) const {
        return files_[index].size >= request_.alone_bytes;
    }
    // The next file to analyse, once the window and the large files allow; none when done.
    std::optional<std::size_t> take() {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] {
            if (stop_ || next_to_take_ >= files_.size())
                return true;
            return next_to_take_ < next_to_emit_ + window_ && !alone_ &&
                   (!isLarge(next_to_take_) || running_ == 0);
        });
        if (stop_ || next_to_take_ >= files_.size())
            return std::nullopt;
        const std::size_t index = next_to_take_++;
        ++running_;
        alone_ = isLarge(index);
        return index;
    }

    const std::vector<FlightFile>& files_;
    const GenerationRequest& request_;
    const platform::DateFormatter& format_date_;
    const std::size_t window_;
    std::vector<std::optional<FlightResult>> pending_; // under mutex_, one slot a file
    std::mutex mutex_;
    std::condition_variable ready_; // a slot was filled
    std::condition_variable room_;  // a slot was emptied, or the run stops
    std::size_t next_to_take_ = 0;  // under mutex_
    std::size_t next_to_emit_ = 0;  // under mutex_
    int running_ = 0;               // analyses under way, under mutex_
    bool alone_ = false;            // a large file's analysis is under way, under mutex_
    bool stop_ = false;             // under mutex_
};

// Files analysed on `jobs` threads and handed to `deliver` in listing order on the calling
// thread, as one thread would hand them. False when cancelled.
bool analyzeInOrder(const std::vector<FlightFile>& files, const GenerationRequest& request,
                    const platform::DateFormatter& format_date, int jobs,
                    const RunEnvironment& environment,
                    const std::function<void(FlightResult&&)>& deliver) {
    if (jobs <= 1 || files.size() <= 1) {
        AnalysisBuffers buffers;
        for (const FlightFile& file : files) {
            if (environment.cancelled())
                return false;
            deliver(analyzeSafely(file, request.min_time_minutes, format_date, buffers));
        }
        return !environment.cancelled();
    }
    OrderedAnalysis analysis(files, request, format_date, jobs);
    std::vector<std::jthread> workers;
    {
        // Workers take no interruption: its handler runs on the thread that set it up.
        const platform::InterruptsBlocked blocked;
        for (int k = 0; k < jobs; ++k)
            workers.emplace_back([&analysis] { analysis.work(); });
    }
    // However this thread leaves (a delivery that throws: no memory for an entry), the workers
    // are told to stop before they are joined.
    struct StopOnExit {
        OrderedAnalysis& analysis;
        ~StopOnExit() { analysis.stop(); }
    } const stop_on_exit{analysis};
    for (std::size_t index = 0; index < files.size(); ++index) {
        if (environment.cancelled())
            return false;
        deliver(analysis.next(index));
    }
    return !environment.cancelled();
}

} // namespace

int defaultJobs() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

namespace {

// What the run keeps of the old logbook past its first reading: where the entries of each listed
// recording lie, for a recording that cannot be read during the run. The file itself is closed
// after each reading: Windows replaces no file that is open.
struct OldLogbookKept {
    std::vector<std::vector<LineSpan>> lines_of_file;
};

using OpenFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// The old logbook, read while this run holds it: its flights whose recording is gone are kept,
// as they stood and in their order, only when the pilot says so. One that cannot be read is
// never taken for an empty one: the run stops and it stays. False when the run is over.
bool takeOldLogbook(const GenerationRequest& request, const std::vector<FlightFile>& files,
                    RunEnvironment& environment, LogbookFile& out, GenerationResult& result,
                    OldLogbookKept& kept) {
    const platform::Expected<std::FILE*, std::error_code> opened = out.store().openLogbook();
    const OpenFile file(opened ? *opened : nullptr, std::fclose);
    platform::Expected<OldLogbook, std::error_code> read =
        opened ? readOldLogbook(file.get(), files) : platform::unexpected(opened.error());
    if (!read) {
        result.failure = {FailureKind::Unreadable, request.logbook_path, read.error(), {}};
        return false;
    }
    OldLogbook& old = *read;
    kept.lines_of_file = std::move(old.lines_of_file);
    result.replaced_entries = old.summary.flights();
    if (old.missing.empty())
        return true;
    RunQuestion question;
    question.kind = RunQuestion::Kind::KeepMissing;
    question.igc_directory = request.igc_directory;
    question.missing = old.missing;
    switch (environment.ask(question)) {
    case Answer::Cancel:
        result.failure = {FailureKind::Cancelled, request.logbook_path, {}, {}};
        return false;
    case Answer::No:
        result.dropped = std::move(old.missing);
        return true;
    case Answer::Yes:
        break;
    }
    if (const std::error_code error = copyLines(file.get(), old.missing_lines, out)) {
        result.failure = {FailureKind::Write, request.logbook_path, error, {}};
        return false;
    }
    result.kept_entries = static_cast<int>(old.missing.count);
    result.entries = result.kept_entries;
    return true;
}

// The entries of a run from the first recording that could not be read (one the old logbook
// holds an entry of) on: held back until the pilot has said whether its old entries stay, so
// that each stays in its recording's place.
struct HeldEntries {
    static constexpr std::size_t kNew = SIZE_MAX;
    struct Piece {
        std::string entry;       // a new entry; empty in an unreadable recording's place
        std::size_t file = kNew; // the unreadable recording's index in the listing
    };
    std::vector<Piece> pieces;
    std::vector<LineSpan> old_lines; // the unreadable recordings' old entries
    [[nodiscard]] bool holding() const { return !pieces.empty(); }
};

// A file's result into the logbook and the counts.
void takeFile(FlightResult&& file, std::size_t index, const OldLogbookKept& old, LogbookFile& out,
              HeldEntries& held, GenerationResult& result) {
    ++result.files;
    if (file.entry.empty()) {
        if (file.reason.kind == SkipKind::NotReadable && index < old.lines_of_file.size() &&
            !old.lines_of_file[index].empty()) {
            held.pieces.push_back({{}, index});
            for (const LineSpan& line : old.lines_of_file[index])
                held.old_lines.push_back(line);
        }
        result.skipped.emplace_back(file.path, file.reason);
        return;
    }
    ++result.entries;
    if (held.holding())
        held.pieces.push_back({std::move(file.entry), HeldEntries::kNew});
    else
        out << file.entry;
    // The simulator reads the logbook as Latin-1: a name beyond it is written with "?" for what
    // it cannot hold.
    const std::string name = platform::fileNameOf(file.path);
    if (std::count(name.begin(), name.end(), '?') < std::ranges::count(entryFileName(name), '?'))
        ++result.names_with_question_marks;
}

// The old entries of the recordings that could not be read: kept in their places when the pilot
// says so, the entries held back written after each. False when the run is over.
bool takeHeldEntries(const GenerationRequest& request, const OldLogbookKept& old, HeldEntries& held,
                     RunEnvironment& environment, LogbookFile& out, GenerationResult& result) {
    if (!held.holding())
        return true;
    // Their lines, read once more: entries all, so each is short.
    std::sort(held.old_lines.begin(), held.old_lines.end(),
              [](const LineSpan& a, const LineSpan& b) { return a.offset < b.offset; });
    // Read again under the run's lock, and closed before the logbook is replaced.
    std::ostringstream copied;
    {
        const platform::Expected<std::FILE*, std::error_code> opened = out.store().openLogbook();
        const OpenFile file(opened ? *opened : nullptr, std::fclose);
        const std::error_code error =
            opened ? copyLines(file.get(), held.old_lines, copied) : opened.error();
        if (error) {
            result.failure = {FailureKind::Unreadable, request.logbook_path, error, {}};
            return false;
        }
    }
    RunQuestion question;
    question.kind = RunQuestion::Kind::KeepMissing;
    question.igc_directory = request.igc_directory;
    question.missing.unreadable = true;
    std::unordered_map<std::int64_t, std::string> line_at; // by where it lies
    const std::string lines = std::move(copied).str();
    for (std::size_t from = 0; const LineSpan& span : held.old_lines) {
        const std::size_t to = lines.find('\n', from);
        std::string line = lines.substr(from, to - from);
        from = to + 1;
        if (std::optional<OldEntry> entry = readEntryLine(line);
            entry && question.missing.shown.size() < kShownFlights)
            question.missing.shown.push_back(std::move(*entry));
        ++question.missing.count;
        line_at.emplace(span.offset, std::move(line));
    }
    const Answer answer = environment.ask(question);
    if (answer == Answer::Cancel) {
        result.failure = {FailureKind::Cancelled, request.logbook_path, {}, {}};
        return false;
    }
    const bool keep = answer == Answer::Yes;
    if (!keep)
        result.dropped_unreadable = std::move(question.missing);
    for (HeldEntries::Piece& piece : held.pieces) {
        if (piece.file == HeldEntries::kNew) {
            out << piece.entry;
        } else if (keep) {
            for (const LineSpan& span : old.lines_of_file[piece.file]) {
                out << line_at[span.offset] << '\n';
                ++result.kept_entries;
                ++result.entries;
            }
        }
    }
    return true;
}

// A run whose folder gave no entry empties a logbook that held some only when the pilot says
// so (a wrong folder chosen, say). False when the run is over.
bool mayEmpty(const GenerationRequest& request, RunEnvironment& environment,
              GenerationResult& result) {
    if (result.entries > 0 || result.replaced_entries <= 0)
        return true;
    RunQuestion question;
    question.kind = RunQuestion::Kind::ReplaceWithEmpty;
    question.igc_directory = request.igc_directory;
    question.old_entries = result.replaced_entries;
    question.files = result.files;
    question.elsewhere = result.elsewhere;
    const Answer answer = environment.ask(question);
    if (answer == Answer::Yes)
        return true;
    result.failure = {answer == Answer::Cancel ? FailureKind::Cancelled : FailureKind::EmptyRefused,
                      request.logbook_path,
                      {},
                      {}};
    return false;
}

} // namespace

GenerationResult generateLogbook(const GenerationRequest& request, RunEnvironment& environment) {
    GenerationResult result;
    result.igc_directory = request.igc_directory;
    environment.begin();
    environment.diagnostics() << "Generating new logbook\n" << std::flush;
    // A wrong directory must not leave an empty logbook behind: list before anything is opened.
    const Expected<std::vector<FlightFile>> files =
        listFlights(request.igc_directory, environment.fileDiagnostics(), &result.hidden_files);
    if (!files) {
        result.failure = files.error();
        result.had_logbook = logbookExists(request.logbook_path);
        return result;
    }
    if (files->empty())
        result.elsewhere = findRecordingsElsewhere(request.igc_directory);
    LogbookFile out;
    const Expected<void> opened =
        out.open(request.logbook_path, [&environment](const std::string& path, bool in_place) {
            environment.temporaryNamed(path, in_place);
        });
    result.had_logbook = out.replacesExisting();
    if (!opened) {
        takeOpenFailure(out, request.logbook_path, result);
        return result;
    }
    writeLogbookHeader(out, request.pilot_name);
    result.recovery = out.store().recovery();
    OldLogbookKept old;
    if (out.replacesExisting() && !takeOldLogbook(request, *files, environment, out, result, old))
        return result;
    HeldEntries held;
    std::size_t index = 0;
    const auto total = static_cast<int>(files->size());
    const int jobs = request.jobs > 0 ? request.jobs : defaultJobs();
    const platform::DateFormatter format_date =
        request.format_date ? request.format_date : platform::localeDateFormatter();
    const bool finished =
        analyzeInOrder(*files, request, format_date, jobs, environment, [&](FlightResult&& file) {
            environment.fileDone(file);
            takeFile(std::move(file), index++, old, out, held, result);
            environment.progress(result.files, total);
        });
    if (!finished) {
        result.failure = {FailureKind::Cancelled, request.logbook_path, {}, {}};
        return result;
    }
    if (!takeHeldEntries(request, old, held, environment, out, result))
        return result;
    if (mayEmpty(request, environment, result))
        commitInto(out, result);
    return result;
}

void takeStoreFailure(const LogbookStore& store, GenerationResult& result) {
    result.failure = store.failure();
    if (result.failure.kind == FailureKind::Write || result.failure.kind == FailureKind::Backup)
        result.failure.kind = FailureKind::Open; // nothing was written yet
    result.undo_problem = store.undoProblem();
    result.had_logbook = store.hadLogbook();
}

void takeOpenFailure(const LogbookFile& out, const std::string& path, GenerationResult& result) {
    takeStoreFailure(out.store(), result);
    // Said of the path as given, in the words of whichever step refused it.
    result.failure = out.failure();
    if (result.failure.kind == FailureKind::Write || result.failure.kind == FailureKind::Backup)
        result.failure.kind = FailureKind::Open;
    result.failure.path = path;
}

bool commitInto(LogbookFile& out, GenerationResult& result) {
    if (Expected<void> committed = out.commit(); !committed) {
        result.failure = committed.error();
        result.undo_problem = out.store().undoProblem();
        return false;
    }
    result.backup_path = out.store().backupPath();
    result.up_to_date = out.store().upToDate();
    return true;
}

std::string failureText(const GenerationResult& result) {
    // Never "as it was" when it is not: what could not be put back is said instead.
    const std::string fate =
        !result.undo_problem.empty()
            ? "The generations could not all be put back: " + result.undo_problem +
                  "; the next run puts them back."
        : result.had_logbook ? "The old logbook was left as it was."
                             : "No logbook was written.";
    std::string title;
    switch (result.failure.kind) {
    case FailureKind::None:
        return {};
    case FailureKind::NotALogbook:
    case FailureKind::Busy:
        // The reason names the path itself.
        return "Couldn't write the logbook file!\n" + result.failure.reason() + "\n" + fate;
    case FailureKind::Directory:
        title = "Couldn't read the IGC directory!";
        break;
    case FailureKind::Open:
        title = "Couldn't open output logbook file!\nEnsure that you have write permission to the "
                "Thermora data directory";
        break;
    case FailureKind::Write:
        title = "Couldn't write the logbook file!";
        break;
    case FailureKind::Backup:
        title = "Couldn't keep a copy of the old logbook!";
        break;
    case FailureKind::Unreadable:
        title = "Couldn't read the old logbook!";
        break;
    case FailureKind::Cancelled:
        return "The logbook was not generated: cancelled.\n" + fate;
    case FailureKind::EmptyRefused:
        return "The logbook was not replaced by an empty one.\n" +
               emptyFolderFinding(result.igc_directory, result) + "\n" + fate;
    case FailureKind::NoGeneration:
    case FailureKind::GenerationChanged:
        return "Couldn't restore the logbook!\n" + result.failure.path + "\n" +
               result.failure.reason() + "\n" + fate;
    }
    return title + "\n" + result.failure.path + "\n" + result.failure.reason() + "\n" + fate;
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
