#include "logbook/LogbookStore.h"

#include "logbook/Listing.h"
#include "logbook/LogbookFile.h"
#include "logbook/LogbookHistory.h"
#include "logbook/Text.h"

#include "platform/Interrupts.h"
#include "platform/TemporaryNames.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <sstream>
#include <utility>

namespace logbook {

std::string generationName(const std::string& name, int age) {
    return age == 0 ? name + ".bak" : name + ".bak." + std::to_string(age);
}

namespace {

constexpr std::string_view kJournalHead = "thermora-logbook journal 1";
constexpr std::size_t kJournalLimit = 64 * 1024;

std::string journalName(const std::string& name) {
    return name + ".journal";
}

bool noSecondNames(std::error_code error) {
    using platform::errorOf;
    return error == errorOf(EPERM) || error == errorOf(EMLINK) || error == errorOf(EOPNOTSUPP) ||
           error == errorOf(ENOSYS) || error == errorOf(EXDEV);
}

std::string hexOf(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0xF];
    }
    return hex.empty() ? "-" : hex;
}

bool bytesOfHex(std::string_view hex, std::string& bytes) {
    bytes.clear();
    if (hex == "-")
        return true;
    if (hex.size() % 2 != 0)
        return false;
    for (std::size_t at = 0; at < hex.size(); at += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(hex.data() + at, hex.data() + at + 2, value, 16);
        if (error != std::errc() || end != hex.data() + at + 2)
            return false;
        bytes += static_cast<char>(value);
    }
    return true;
}

} // namespace

// One step of a change: a name given to a file of the folder, or taken from it. The file is told
// by its identity, so that whether a step was taken can be seen in the folder afterwards.
struct ChangeStep {
    enum class Kind {
        Move,   // `from` renamed `to`, which is free
        Link,   // `from` given the second name `to` (where there are none: renamed `to`)
        Put,    // `from` renamed `to` in place of what `to` holds: the change's arrival
        Remove, // `from` removed, once the change has arrived
    };
    Kind kind = Kind::Move;
    std::string from;
    std::string to;
    platform::FileIdentity id;
};

namespace {

using Step = ChangeStep;

constexpr std::string_view kKindWords[] = {"move", "link", "put", "remove"};

std::string journalText(const std::vector<Step>& steps) {
    std::string text(kJournalHead);
    text += '\n';
    for (const Step& step : steps) {
        text += kKindWords[static_cast<int>(step.kind)];
        text += ' ' + hexOf(step.from) + ' ' + hexOf(step.to) + ' ' +
                std::to_string(step.id.device) + ' ' + std::to_string(step.id.file) + '\n';
    }
    return text + "end\n";
}

// The steps of a journal whose every name is one of the logbook's own (itself, a generation, a
// temporary file of it): a journal that someone else wrote can move nothing else. False for a
// journal cut short (written by a run killed before its first step) or not of this program.
bool readJournal(const std::string& text, const std::string& name, std::vector<Step>& steps) {
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kJournalHead)
        return false;
    const auto ours = [&name](const std::string& candidate) {
        if (candidate == name || platform::isTemporaryOf(name, candidate))
            return true;
        for (int age = 0; age < kGenerations; ++age) {
            if (candidate == generationName(name, age))
                return true;
        }
        return false;
    };
    while (std::getline(lines, line)) {
        if (line == "end")
            return true;
        std::istringstream fields(line);
        std::string kind;
        std::string from;
        std::string to;
        Step step;
        if (!(fields >> kind >> from >> to >> step.id.device >> step.id.file))
            return false;
        std::size_t k = 0;
        while (k < std::size(kKindWords) && kKindWords[k] != kind)
            ++k;
        if (k == std::size(kKindWords))
            return false;
        step.kind = static_cast<Step::Kind>(k);
        if (!bytesOfHex(from, step.from) || !bytesOfHex(to, step.to) || !ours(step.from) ||
            (step.kind != Step::Kind::Remove && !ours(step.to)))
            return false;
        steps.push_back(std::move(step));
    }
    return false;
}

// What `name` holds; nothing when it could not be looked at.
platform::FolderEntry entryAt(const platform::Folder& folder, const std::string& name) {
    const platform::Expected<platform::FolderEntry, std::error_code> entry = folder.look(name);
    return entry ? *entry : platform::FolderEntry{};
}

// Whether `name` holds the file `id` now.
bool holds(const platform::Folder& folder, const std::string& name,
           const platform::FileIdentity& id) {
    const platform::Expected<platform::FolderEntry, std::error_code> entry = folder.look(name);
    return entry && entry->kind != platform::FileKind::Missing && entry->id.sameFile(id);
}

bool isFree(const platform::Folder& folder, const std::string& name) {
    const platform::Expected<platform::FolderEntry, std::error_code> entry = folder.look(name);
    return entry && entry->kind == platform::FileKind::Missing && !entry->is_link;
}

std::error_code take(const platform::Folder& folder, const Step& step) {
    switch (step.kind) {
    case Step::Kind::Move:
        return folder.rename(step.from, step.to, false);
    case Step::Kind::Link: {
        const std::error_code error = folder.link(step.from, step.to);
        // Where files have one name only (a FAT stick), the old logbook itself moves: for the
        // moment until the new one arrives the logbook's name is free.
        return noSecondNames(error) ? folder.rename(step.from, step.to, false) : error;
    }
    case Step::Kind::Put:
        return folder.rename(step.from, step.to, true);
    case Step::Kind::Remove:
        return holds(folder, step.from, step.id) ? folder.remove(step.from) : std::error_code();
    }
    return platform::errorOf(EINVAL);
}

// Undoes `step` if it was taken, as the folder shows it. No error, or the error that kept it
// undone.
std::error_code undo(const platform::Folder& folder, const Step& step) {
    if (!holds(folder, step.to, step.id))
        return {}; // never taken, or undone already
    if (step.kind == Step::Kind::Link && holds(folder, step.from, step.id))
        return folder.remove(step.to);
    if (!isFree(folder, step.from))
        return platform::errorOf(EEXIST);
    return folder.rename(step.to, step.from, false);
}

// Where the file of an untaken-back step is now, in a pilot's words.
std::string whereNow(const Step& step) {
    return step.from + " is now " + step.to;
}

} // namespace

LogbookStore::LogbookStore() = default;
LogbookStore::~LogbookStore() = default;

platform::Unexpected<Failure> LogbookStore::failWith(Failure failure) {
    failure_ = std::move(failure);
    return unexpected(failure_);
}

Expected<void> LogbookStore::open(const std::string& path) {
    path_ = path;
    failure_ = {};
    if (path.empty())
        return failWith({FailureKind::Open, path, {}, logbookPathProblem(path)});
    if (const std::string problem = logbookPathProblem(path); !problem.empty())
        return failWith({FailureKind::NotALogbook, path, {}, problem});
    // A link is followed to the file it names, so that the new logbook replaces that file and
    // not the link, and the generations lie beside it.
    const std::string target = platform::inspect(path).resolved;
    name_ = platform::lastNameOf(target);
    std::string foreign;
    if (const std::error_code error = folder_.open(platform::directoryOf(target), &foreign)) {
        if (!foreign.empty())
            return failWith({FailureKind::NotALogbook,
                             path,
                             {},
                             foreign + " is " + kindText(platform::FileKind::ForeignLink, {})});
        return failWith({FailureKind::Open, path, {}, creationProblem(target, error)});
    }
    if (const std::error_code error = lookAtLogbook())
        return failWith({FailureKind::Open, path, error, {}});
    // Put there since the path was looked at: whatever it is, it is not replaced.
    if (logbook_.is_link || (logbook_.kind != platform::FileKind::Regular &&
                             logbook_.kind != platform::FileKind::Missing))
        return failWith({FailureKind::NotALogbook,
                         path,
                         {},
                         path + " is no longer a logbook file: something else was put there"});
    return {};
}

Expected<void> LogbookStore::lock(platform::TemporaryWatcher watcher) {
    watcher_ = std::move(watcher);
    const std::string target = folder_.pathOf(name_);
    // A logbook that its owner protected from writing stays protected, as when it was written
    // in place: replacing it would only need the folder's permission.
    if (hadLogbook()) {
        if (const std::error_code error = platform::writeAccess(target))
            return failWith({FailureKind::Open, path_, error, {}});
    }
    std::uint32_t owner = 0;
    const std::string lock_path = folder_.pathOf(platform::RunLock::nameFor(name_));
    if (const std::error_code error = lock_.acquire(folder_, name_, logbook_, owner)) {
        using platform::errorOf;
        if (error == errorOf(EWOULDBLOCK))
            return failWith({FailureKind::Busy,
                             path_,
                             {},
                             "another run is writing " + path_ + " (it holds the lock file " +
                                 lock_path + "); wait until it has finished"});
        if (error == errorOf(EACCES) || error == errorOf(EPERM)) {
            const platform::Expected<platform::FolderEntry, std::error_code> lock_file =
                folder_.look(platform::RunLock::nameFor(name_));
            if (lock_file && lock_file->kind != platform::FileKind::Missing)
                return failWith({FailureKind::Open,
                                 path_,
                                 {},
                                 platform::systemReason(error) + ": the lock file " + lock_path +
                                     " belongs to " + platform::userName(lock_file->owner) +
                                     ", and you may not write it"});
        }
        // A folder that allows no new file refuses the lock file first: said as for the new
        // file.
        if (allowsNoNewFile(error) && hadLogbook())
            return failWith({FailureKind::Open,
                             path_,
                             {},
                             "The directory " + folder_.path() + " allows no new file (" +
                                 platform::systemReason(error) +
                                 "); the logbook is only ever replaced whole, never written in "
                                 "place"});
        return failWith({FailureKind::Open, path_, {}, creationProblem(target, error)});
    }
    if (Expected<void> recovered = recover(); !recovered)
        return recovered;
    removeLeftovers();
    // What the logbook is now that no other run can change it.
    if (const std::error_code error = lookAtLogbook())
        return failWith({FailureKind::Open, path_, error, {}});
    return {};
}

std::error_code LogbookStore::lookAtLogbook() {
    const platform::Expected<platform::FolderEntry, std::error_code> entry = folder_.look(name_);
    logbook_ = entry ? *entry : platform::FolderEntry{};
    return entry ? std::error_code() : entry.error();
}

Expected<void> LogbookStore::recover() {
    recovery_ = Recovery::None;
    const std::string journal = journalName(name_);
    const platform::Expected<std::string, std::error_code> text =
        folder_.readSmall(journal, kJournalLimit);
    if (!text && text.error() == platform::errorOf(ENOENT))
        return {};
    std::vector<Step> steps;
    if (!text || !readJournal(*text, name_, steps)) {
        // Cut short before its first step was taken, or none of ours: nothing to finish.
        if (const std::error_code error = folder_.remove(journal);
            error && error != platform::errorOf(ENOENT))
            return failWith({FailureKind::Open, folder_.pathOf(journal), error, {}});
        return {};
    }
    const auto put = std::find_if(steps.begin(), steps.end(),
                                  [](const Step& step) { return step.kind == Step::Kind::Put; });
    if (put != steps.end() && holds(folder_, put->to, put->id)) {
        // The new logbook had arrived: what was left is giving up the oldest generation.
        for (auto step = put + 1; step != steps.end(); ++step) {
            if (const std::error_code error = take(folder_, *step))
                return failWith({FailureKind::Open, folder_.pathOf(step->from), error, {}});
        }
        recovery_ = Recovery::Finished;
    } else {
        const platform::InterruptsHeld held;
        for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
            if (const std::error_code error = undo(folder_, *step)) {
                undo_problem_ = whereNow(*step);
                return failWith({FailureKind::Open, folder_.pathOf(step->to), error, {}});
            }
        }
        recovery_ = Recovery::Undone;
    }
    static_cast<void>(folder_.sync());
    if (const std::error_code error = folder_.remove(journal);
        error && error != platform::errorOf(ENOENT))
        return failWith({FailureKind::Open, folder_.pathOf(journal), error, {}});
    return {};
}

void LogbookStore::removeLeftovers() const {
    const std::string& name = name_;
    const auto entries = folder_.list(
        [&name](std::string_view candidate) { return platform::isTemporaryOf(name, candidate); });
    if (!entries)
        return;
    for (const platform::DirectoryEntry& entry : *entries) {
        if (entry.kind == platform::FileKind::Regular && !entry.is_link)
            static_cast<void>(folder_.remove(entry.name));
    }
}

std::vector<KeptLogbook> LogbookStore::kept() const {
    std::vector<KeptLogbook> kept;
    for (int age = -1; age < kGenerations; ++age) {
        KeptLogbook logbook;
        logbook.age = age;
        const std::string name = age < 0 ? name_ : generationName(name_, age);
        logbook.path = age < 0 ? path_ : folder_.pathOf(name);
        platform::FolderEntry entry;
        const platform::Expected<std::FILE*, std::error_code> file = folder_.openRead(name, &entry);
        using platform::errorOf;
        logbook.exists =
            file || (file.error() != errorOf(ENOENT) && file.error() != errorOf(ELOOP) &&
                     file.error() != errorOf(EINVAL));
        if (file) {
            logbook.identity = entry.id;
            logbook.modified_ms = entry.id.modified_ns / 1000000;
            const platform::Expected<LogbookSummary, std::error_code> summary =
                summarizeLogbook(*file);
            if (!summary) {
                logbook.unreadable = platform::systemReason(summary.error());
            } else {
                logbook.entries = summary->flights();
                logbook.other_lines = summary->other_lines;
                logbook.pilot_name = utf8OfLatin1(summary->pilot_name);
            }
            std::fclose(*file);
        } else if (logbook.exists) {
            if (const auto looked = folder_.look(name)) {
                logbook.identity = looked->id;
                logbook.modified_ms = looked->id.modified_ns / 1000000;
            }
            logbook.unreadable = platform::systemReason(file.error());
        }
        kept.push_back(std::move(logbook));
    }
    return kept;
}

platform::Expected<std::FILE*, std::error_code> LogbookStore::openLogbook() const {
    return folder_.openRead(name_);
}

std::error_code LogbookStore::createNew(platform::NewFile& file) const {
    return file.create(folder_, name_, watcher_);
}

bool LogbookStore::sameBytes(platform::NewFile& file) const {
    const platform::Expected<std::FILE*, std::error_code> opened = folder_.openRead(name_);
    if (!opened)
        return false;
    std::FILE* old = *opened;
    char theirs[64 * 1024];
    char ours[64 * 1024];
    std::int64_t offset = 0;
    bool same = true;
    for (;;) {
        const std::size_t got = std::fread(theirs, 1, sizeof theirs, old);
        // As many bytes of the new file, and one more at the old one's end: it must end there.
        const std::size_t wanted = got == 0 ? 1 : got;
        std::size_t have = 0;
        for (std::size_t read = 1; have < wanted && read > 0;) {
            const platform::Expected<std::size_t, std::error_code> back =
                file.readBack(offset + static_cast<std::int64_t>(have), ours + have, wanted - have);
            if (!back) {
                same = false;
                break;
            }
            read = *back;
            have += read;
        }
        if (!same || have != got || std::memcmp(theirs, ours, got) != 0) {
            same = false;
            break;
        }
        if (got == 0)
            break;
        offset += static_cast<std::int64_t>(got);
    }
    same = same && std::ferror(old) == 0;
    std::fclose(old);
    return same;
}

Expected<void> LogbookStore::run(const std::vector<Step>& steps, FailureKind failure) {
    const std::string journal = journalName(name_);
    std::error_code failed;
    const Step* failed_step = nullptr;
    {
        // No interruption from the journal to its removal: one that comes meanwhile ends the
        // process once the folder is whole again, and leaves nothing for the next run.
        const platform::InterruptsHeld held;
        if (const std::error_code error = folder_.writeNew(journal, journalText(steps)))
            return failWith({failure, folder_.pathOf(journal), error, {}});
        for (const Step& step : steps) {
            // Past the arrival the change stands: an oldest generation that could not be given
            // up is left to the next run, whose journal says to.
            if (const std::error_code error = take(folder_, step);
                error && step.kind != Step::Kind::Remove) {
                failed = error;
                failed_step = &step;
                break;
            }
            // Said at once: an interruption waiting for the steps must say what became of the
            // logbook truly.
            if (step.kind == Step::Kind::Put && watcher_)
                watcher_({}, true);
        }
        if (failed) {
            for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
                if (undo(folder_, *step)) {
                    undo_problem_ = whereNow(*step);
                    break;
                }
            }
        }
        static_cast<void>(folder_.sync());
        // The journal stays where something could not be undone: the next run puts the folder
        // back together from it.
        if (undo_problem_.empty())
            static_cast<void>(folder_.remove(journal));
    }
    if (failed)
        return failWith({failed_step->kind == Step::Kind::Put ? FailureKind::Write : failure,
                         folder_.pathOf(failed_step->to),
                         failed,
                         {}});
    return {};
}

namespace {

// The moves that make the name of generation `free_up_to`... free: each generation before it
// one place back, from the oldest, so that no name is ever taken twice.
void movesBack(const platform::Folder& folder, const std::string& name, int from_age,
               std::vector<Step>& steps) {
    for (int age = from_age; age > 0; --age) {
        const std::string older = generationName(name, age - 1);
        const platform::Expected<platform::FolderEntry, std::error_code> entry = folder.look(older);
        if (!entry || entry->kind == platform::FileKind::Missing)
            continue; // a gap: nothing to move into the place behind it
        steps.push_back({Step::Kind::Move, older, generationName(name, age), entry->id});
    }
}

} // namespace

Expected<void> LogbookStore::commit(platform::NewFile& file) {
    backup_path_.clear();
    up_to_date_ = false;
    undo_problem_.clear();
    if (lock_.stillHeld())
        return failWith({FailureKind::Busy,
                         path_,
                         {},
                         "the lock file " + folder_.pathOf(platform::RunLock::nameFor(name_)) +
                             " was removed or replaced during the run; another run may be "
                             "writing " +
                             path_});
    const platform::Expected<platform::FolderEntry, std::error_code> looked = folder_.look(name_);
    if (!looked)
        return failWith({FailureKind::Write, path_, looked.error(), {}});
    const platform::FolderEntry& old = *looked;
    // Only a logbook that is still there is kept (one deleted during the run is not).
    const bool replaces = old.kind == platform::FileKind::Regular && !old.is_link;
    if (replaces && sameBytes(file)) {
        file.discard();
        up_to_date_ = true;
        return {};
    }
    // A logbook that another program holds (the simulator, on Windows) cannot be moved: said
    // before anything moves.
    if (const std::error_code error = replaces ? folder_.replaceable(name_) : std::error_code())
        return failWith({FailureKind::Write, path_, error, {}});
    if (const std::error_code error = file.finish(replaces ? &old : nullptr))
        return failWith({FailureKind::Write, path_, error, {}});
    if (const std::error_code error = file.giveName())
        return failWith({FailureKind::Write, path_, error, {}});

    std::vector<Step> steps;
    if (replaces) {
        // Generations move back only as far as the first free place (a pilot may have put
        // `.bak` back as the logbook himself); with all of them taken, the oldest is set aside
        // and given up only once the new logbook is in place.
        int free_age = -1;
        for (int age = 0; age < kGenerations && free_age < 0; ++age) {
            if (isFree(folder_, generationName(name_, age)))
                free_age = age;
        }
        std::string aside;
        platform::FolderEntry oldest;
        if (free_age < 0) {
            free_age = kGenerations - 1;
            const std::string oldest_name = generationName(name_, free_age);
            oldest = entryAt(folder_, oldest_name);
            aside = platform::temporaryNameFor(name_);
            steps.push_back({Step::Kind::Move, oldest_name, aside, oldest.id});
        }
        movesBack(folder_, name_, free_age, steps);
        steps.push_back({Step::Kind::Link, name_, generationName(name_, 0), old.id});
        steps.push_back({Step::Kind::Put, file.name(), name_, file.identity()});
        if (!aside.empty())
            steps.push_back({Step::Kind::Remove, aside, {}, oldest.id});
    } else {
        steps.push_back({Step::Kind::Put, file.name(), name_, file.identity()});
    }
    if (Expected<void> done = run(steps, FailureKind::Backup); !done)
        return done;
    file.keep();
    if (replaces)
        backup_path_ = generationPath(0);
    return {};
}

Expected<void> LogbookStore::restore(int age, const platform::FileIdentity* expected) {
    backup_path_.clear();
    undo_problem_.clear();
    const std::string chosen = generationName(name_, age);
    if (age < 0 || age >= kGenerations)
        return failWith(
            {FailureKind::NoGeneration,
             path_,
             {},
             "only the generations 0 (.bak) to " + std::to_string(kGenerations - 1) + " are kept"});
    if (lock_.stillHeld())
        return failWith({FailureKind::Busy,
                         path_,
                         {},
                         "the lock file " + folder_.pathOf(platform::RunLock::nameFor(name_)) +
                             " was removed or replaced meanwhile"});
    const platform::Expected<platform::FolderEntry, std::error_code> found = folder_.look(chosen);
    if (!found)
        return failWith({FailureKind::NoGeneration, folder_.pathOf(chosen), found.error(), {}});
    const platform::FolderEntry& entry = *found;
    if (entry.kind != platform::FileKind::Regular || entry.is_link)
        return failWith(
            {FailureKind::NoGeneration, folder_.pathOf(chosen), platform::errorOf(ENOENT), {}});
    if (expected != nullptr && !(entry.id == *expected))
        return failWith({FailureKind::GenerationChanged,
                         folder_.pathOf(chosen),
                         {},
                         "it changed since it was listed"});
    const platform::Expected<platform::FolderEntry, std::error_code> looked = folder_.look(name_);
    if (!looked)
        return failWith({FailureKind::Write, path_, looked.error(), {}});
    const platform::FolderEntry& old = *looked;
    for (const std::string& moving : {chosen, name_}) {
        if (const std::error_code error = folder_.replaceable(moving))
            return failWith({FailureKind::Write, folder_.pathOf(moving), error, {}});
    }
    std::vector<Step> steps;
    if (old.kind == platform::FileKind::Regular && !old.is_link) {
        const std::string aside = platform::temporaryNameFor(name_);
        steps.push_back({Step::Kind::Move, chosen, aside, entry.id});
        movesBack(folder_, name_, age, steps);
        steps.push_back({Step::Kind::Link, name_, generationName(name_, 0), old.id});
        steps.push_back({Step::Kind::Put, aside, name_, entry.id});
    } else {
        steps.push_back({Step::Kind::Put, chosen, name_, entry.id});
    }
    if (Expected<void> done = run(steps, FailureKind::Backup); !done)
        return done;
    if (old.kind == platform::FileKind::Regular)
        backup_path_ = generationPath(0);
    return {};
}

} // namespace logbook
