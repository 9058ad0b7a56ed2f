#pragma once

// What the programs tell a pilot about a run, worded once for all of them: the dialog, the
// command line and the Windows dialog show these texts and word none of their own.

#include "logbook/Generation.h"
#include "logbook/LogbookHistory.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace logbook {

/// Why a file gave no entry, in the words of the per-file lines and the dialog's list: "not an
/// IGC file: Missing A record", "task declaration unreadable: parse error in C record (line 7)", "too short:
/// 4 s"; empty for a file that gave one.
std::string reasonText(const SkipReason& reason);

/// A count with its noun: "1 entry", "2 entries", "4,000 entries" (thousands grouped by ",").
std::string counted(long long count, std::string_view singular, std::string_view plural);

/// "Wrote 3 entries to L", ", 2 of them kept from the old logbook" when some were, and "; the
/// logbook it replaced had 340" when one was replaced.
std::string writtenText(const GenerationResult& result, const std::string& logbook_path);
/// "5 files read, 2 skipped", and ", 2 file names written with "?"" (names beyond Latin-1) and
/// ", 3 hidden files left out" when there were any.
std::string filesReadText(const GenerationResult& result);
/// "The old logbook was kept as L.bak"; empty when there was none.
std::string backupText(const GenerationResult& result);
/// The command line's one summary line: the three above in one sentence, beginning with
/// "warning: " and saying how many fewer when the new logbook holds fewer entries than the one it
/// replaced.
std::string summaryLine(const GenerationResult& result, const std::string& logbook_path);

/// Whether the new logbook holds fewer entries than the one it replaced: the pilot should look.
bool holdsFewerThanBefore(const GenerationResult& result);

/// How far a run is, in files: "1,234 of 20,000 files", "1 of 1 file".
std::string progressText(long long done, long long total);

/// The skipped files counted per kind of reason, the most frequent first, in words that fit
/// the count: "4,000 too short, 12 not IGC files"; empty when nothing was skipped.
std::string skippedCountsText(const GenerationResult& result);

/// A skipped file for a list: its name without the directory, and the reason.
std::vector<std::pair<std::string, std::string>> skippedRows(const GenerationResult& result);

/// Where the recordings are when the IGC folder held none but its subfolders do: "its subfolders
/// hold 78 recordings (D/2025 and 2 more folders), but a logbook is made from one folder's
/// recordings"; empty otherwise.
std::string elsewhereText(const GenerationResult& result);

/// What the run found in an IGC folder that gives no flight: "The folder F holds no IGC file.".
std::string emptyFolderFinding(const std::string& igc_directory, const GenerationResult& result);

/// The question before the old logbook of a run (its entries, or that they could not be
/// counted) is replaced by an empty one.
std::string emptyLogbookQuestion(const std::string& igc_directory, const GenerationResult& result);
/// The same for the run's question.
std::string emptyLogbookQuestion(const RunQuestion& question);

/// The question before the old logbook's flights without a recording are dropped: "2 flights of
/// your logbook have no recording in F. Keep them in the new logbook?"; for recordings that
/// could not be read, "2 flights whose recording could not be read in F. Keep their entries from
/// the old logbook?"
std::string missingRecordingsQuestion(const std::string& igc_directory,
                                      const MissingRecordings& missing);
/// Those flights, one line each, "05.01.2008, Local flight, flight01.igc" (UTF-8), as many as
/// are shown, then "and 999 more flights" for the rest.
std::string missingRecordingsList(const MissingRecordings& missing);
/// What the result says of the old logbook's flights dropped for want of their recording: "2
/// flights of the old logbook were dropped: their recording is gone"; empty when none was.
std::string droppedText(const GenerationResult& result);
/// After the "Dropped" lines of those shown, when there are more: "and 999 more flights dropped".
std::string moreDroppedLine(const MissingRecordings& dropped);
/// What a run says when its logbook was already as new: nothing was replaced or moved.
std::string upToDateLine(const GenerationResult& result, const std::string& logbook_path);
/// What a run says of a change that an earlier run left halfway, before its own result; empty
/// when there was none.
std::string recoveryLine(Recovery recovery, const std::string& logbook_path);
/// The command line's line for such a flight dropped: "Dropped flight01.igc (05.01.2008, Local
/// flight): no recording in F" (`dropped` says why: gone, or not readable).
std::string droppedLine(const OldEntry& entry, const MissingRecordings& dropped,
                        const std::string& igc_directory);
/// After those lines, when neither option answered the question.
std::string keepMissingHint(const GenerationResult& result);

/// The logbook and the earlier logbooks kept beside it, as --list-generations shows them: a row
/// each that exists (the generation's number, when it was written, its entries, its pilot, its
/// path), then how to put one back.
std::string keptLogbooksText(const std::vector<KeptLogbook>& kept, const std::string& logbook_path);
/// How a pilot names a generation: "the logbook", ".bak", ".bak.3".
std::string generationName(int age);
/// "2026-12-08 12:29, 63 entries, pilot Jane Doe": when, what and whose.
std::string keptLogbookSummary(const KeptLogbook& kept);
/// The line that ends a restore: "Restored L from L.bak.2 (61 entries); the logbook it replaced
/// had 63; the old logbook was kept as L.bak".
std::string restoredLine(const GenerationResult& result, const std::string& logbook_path);

/// A logbook file name that Windows keeps for a device in every folder: "NUL.dat: a name that
/// Windows reserves for a device; choose another name".
std::string reservedNameText(const std::string& name);

/// Why a run cannot start with this IGC directory and logbook path, in the words of the failed
/// run: the directory not given, missing, not a directory or not readable; the logbook not given
/// or something other than a logbook file. Empty when both will do. Asked before the question
/// whether to replace a logbook, which would be in vain for a run that cannot start.
std::string inputsProblem(const std::string& igc_directory, const std::string& logbook_path);

} // namespace logbook
