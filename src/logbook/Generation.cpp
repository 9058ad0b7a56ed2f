#include "logbook/Generation.h"

#include "logbook/FlightAnalysis.h"
#include "logbook/LogbookEntry.h"
#include "logbook/LogbookHistory.h"
#include "logbook/Messages.h"

#include "platform/Interrupts.h"

#include <algorithm>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

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

// Files analysed on `jobs` threads and handed to `deliver` in listing order on the calling thread.
// Workers run at most `window` files ahead of the one to be emitted, and a file of the request's
// alone_bytes or more is analysed alone, so that memory stays bounded by the largest files whatever
// the directory holds. False when cancelled.
bool analyzeInOrder(const std::vector<FlightFile>& files, const GenerationRequest& request,
                    const platform::DateFormatter& format_date, int jobs,
                    const std::function<void(FlightResult&&)>& deliver) {
    const auto cancelled = [&request] {
        return request.cancel != nullptr && request.cancel->load(std::memory_order_relaxed);
    };
    if (jobs <= 1 || files.size() <= 1) {
        AnalysisBuffers buffers;
        for (const FlightFile& file : files) {
            if (cancelled())
                return false;
            deliver(analyzeSafely(file, request.min_time_minutes, format_date, buffers));
        }
        return !cancelled();
    }

    const std::size_t window = 2 * static_cast<std::size_t>(jobs);
    std::vector<std::optional<FlightResult>> pending(window);
    std::mutex mutex;
    std::condition_variable ready; // a slot was filled
    std::condition_variable room;  // a slot was emptied, or the run stops
    std::size_t next_to_take = 0;  // under mutex
    std::size_t next_to_emit = 0;  // under mutex
    int running = 0;               // analyses under way, under mutex
    bool alone = false;            // a large file's analysis is under way, under mutex
    bool stop = false;             // under mutex

    const auto work = [&] {
        AnalysisBuffers buffers;
        for (;;) {
            std::size_t index = 0;
            bool large = false;
            {
                std::unique_lock lock(mutex);
                room.wait(lock, [&] {
                    if (stop || next_to_take >= files.size())
                        return true;
                    const bool next_large = files[next_to_take].size >= request.alone_bytes;
                    return next_to_take < next_to_emit + window && !alone &&
                           (!next_large || running == 0);
                });
                if (stop || next_to_take >= files.size())
                    return;
                index = next_to_take++;
                large = files[index].size >= request.alone_bytes;
                ++running;
                alone = large;
            }
            FlightResult result =
                analyzeSafely(files[index], request.min_time_minutes, format_date, buffers);
            {
                const std::lock_guard lock(mutex);
                pending[index % window] = std::move(result);
                --running;
                if (large)
                    alone = false;
            }
            ready.notify_all();
            room.notify_all(); // a large file may wait for this one, or others for it
        }
    };
    std::vector<std::thread> workers;
    {
        // Workers take no interruption: its handler runs on the thread that set it up.
        const platform::InterruptsBlocked blocked;
        for (int k = 0; k < jobs; ++k)
            workers.emplace_back(work);
    }

    bool finished = true;
    for (std::size_t index = 0; index < files.size(); ++index) {
        if (cancelled()) {
            finished = false;
            break;
        }
        FlightResult result;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return pending[index % window].has_value(); });
            result = std::move(*pending[index % window]);
            pending[index % window].reset();
            next_to_emit = index + 1;
        }
        room.notify_all();
        deliver(std::move(result));
    }
    {
        const std::lock_guard lock(mutex);
        stop = true;
    }
    room.notify_all();
    for (std::thread& worker : workers)
        worker.join();
    return finished && !cancelled();
}

} // namespace

int defaultJobs() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

GenerationResult generateLogbook(const GenerationRequest& request, std::ostream& frame,
                                 const Progress& progress) {
    GenerationResult result;
    frame << "Generating new logbook\n" << std::flush;
    // A wrong directory must not leave an empty logbook behind: list before anything is opened.
    std::string why;
    const std::optional<std::vector<FlightFile>> files =
        listFlights(request.igc_directory, why, *request.diagnostics, &result.hidden_files);
    if (files && files->empty())
        result.elsewhere = findRecordingsElsewhere(request.igc_directory);
    LogbookFile out;
    if (!files) {
        result.failure = GenerationFailure::Directory;
        result.failed_path = request.igc_directory;
        result.reason = why;
        result.had_logbook = logbookExists(request.logbook_path);
        return result;
    }
    const bool opened = out.open(request.logbook_path, request.temporary_watcher);
    result.had_logbook = out.replacesExisting();
    if (!opened) {
        takeOpenFailure(out, request.logbook_path, result);
        return result;
    }
    writeLogbookHeader(out, request.pilot_name);
    result.recovery = out.store().recovery();
    // The old logbook is read while this run holds it: its flights whose recording is gone are
    // kept, as they stood and in their order, only when the pilot says so. One that cannot be
    // read is not taken for an empty one.
    if (out.replacesExisting()) {
        int error = 0;
        std::FILE* old_file = out.store().openLogbook(error);
        OldLogbook old;
        if (old_file != nullptr)
            error = readOldLogbook(old_file, *files, old);
        if (error != 0) {
            result.replaced_unreadable = platform::systemReason(error);
        } else {
            result.replaced_entries = old.summary.entries + old.summary.other_lines;
            if (!old.missing.empty() && request.keep_missing && request.keep_missing(old.missing)) {
                error = copyLines(old_file, old.missing_lines, out);
                if (error != 0) {
                    std::fclose(old_file);
                    result.failure = GenerationFailure::Write;
                    result.failed_path = request.logbook_path;
                    result.reason = platform::systemReason(error);
                    result.had_logbook = true;
                    return result;
                }
                result.kept_entries = static_cast<int>(old.missing.count);
                result.entries = result.kept_entries;
            } else {
                result.dropped = std::move(old.missing);
            }
        }
        if (old_file != nullptr)
            std::fclose(old_file);
    }
    const auto total = static_cast<int>(files->size());
    const int jobs = request.jobs > 0 ? request.jobs : defaultJobs();
    const platform::DateFormatter format_date =
        request.format_date ? request.format_date : platform::localeDateFormatter();
    const bool finished =
        analyzeInOrder(*files, request, format_date, jobs, [&](FlightResult&& file) {
            ++result.files;
            if (!file.entry.empty()) {
                ++result.entries;
                out << file.entry;
                // The simulator reads the logbook as Latin-1: a name beyond it is written with
                // "?" for what it cannot hold.
                const std::string name = platform::fileNameOf(file.path);
                if (std::count(name.begin(), name.end(), '?') <
                    std::ranges::count(entryFileName(name), '?'))
                    ++result.names_with_question_marks;
            } else {
                result.skipped.emplace_back(file.path, file.reason);
            }
            if (request.on_file) {
                request.on_file(file);
            } else {
                *request.diagnostics << file.errors;
                *request.output << file.output;
            }
            if (progress)
                progress(result.files, total);
        });
    if (!finished) {
        result.failure = GenerationFailure::Cancelled;
        result.failed_path = request.logbook_path;
        result.reason = "Cancelled";
        return result;
    }
    // A logbook whose entries could not be counted may hold any number: asked as one with
    // entries is.
    if (result.entries == 0 &&
        (result.replaced_entries > 0 || !result.replaced_unreadable.empty()) &&
        !(request.confirm_empty &&
          request.confirm_empty(emptyLogbookQuestion(request.igc_directory, result)))) {
        result.failure = GenerationFailure::KeptOld;
        result.failed_path = request.logbook_path;
        result.reason = emptyFolderFinding(request.igc_directory, result);
        return result;
    }
    commitInto(out, result);
    return result;
}

GenerationFailure failureOf(LogbookStore::Failure failure) {
    switch (failure) {
    case LogbookStore::Failure::NotALogbook:
        return GenerationFailure::NotALogbook;
    case LogbookStore::Failure::Busy:
        return GenerationFailure::Busy;
    case LogbookStore::Failure::Write:
        return GenerationFailure::Write;
    case LogbookStore::Failure::Backup:
        return GenerationFailure::Backup;
    case LogbookStore::Failure::NoGeneration:
        return GenerationFailure::NoGeneration;
    case LogbookStore::Failure::Changed:
        return GenerationFailure::GenerationChanged;
    default:
        return GenerationFailure::Open;
    }
}

void takeStoreFailure(const LogbookStore& store, GenerationResult& result) {
    result.failure = failureOf(store.failure());
    if (result.failure == GenerationFailure::Write || result.failure == GenerationFailure::Backup)
        result.failure = GenerationFailure::Open; // nothing was written yet
    result.failed_path = store.errorPath();
    result.reason = store.error();
    result.undo_problem = store.undoProblem();
    result.had_logbook = store.hadLogbook();
}

void takeOpenFailure(const LogbookFile& out, const std::string& path, GenerationResult& result) {
    takeStoreFailure(out.store(), result);
    // Said of the path as given, in the words of whichever step refused it.
    result.failure = failureOf(out.failure());
    if (result.failure == GenerationFailure::Write || result.failure == GenerationFailure::Backup)
        result.failure = GenerationFailure::Open;
    result.failed_path = path;
    result.reason = out.error();
}

bool commitInto(LogbookFile& out, GenerationResult& result) {
    if (!out.commit()) {
        result.failure = failureOf(out.failure());
        result.failed_path = out.errorPath();
        result.reason = out.error();
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
    switch (result.failure) {
    case GenerationFailure::None:
        return {};
    case GenerationFailure::NotALogbook:
    case GenerationFailure::Busy:
        // The reason names the path itself.
        return "Couldn't write the logbook file!\n" + result.reason + "\n" + fate;
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
    case GenerationFailure::Cancelled:
        return "The logbook was not generated: cancelled.\n" + fate;
    case GenerationFailure::KeptOld:
        return "The logbook was not replaced by an empty one.\n" + result.reason + "\n" + fate;
    case GenerationFailure::NoGeneration:
    case GenerationFailure::GenerationChanged:
        return "Couldn't restore the logbook!\n" + result.failed_path + "\n" + result.reason +
               "\n" + fate;
    }
    return title + "\n" + result.failed_path + "\n" + result.reason + "\n" + fate;
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
