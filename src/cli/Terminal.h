#pragma once

// What thermora-logbook-cli shows on a terminal besides the run's own lines: the count of the
// files done, the questions before a logbook is replaced or flights are dropped, text from
// outside (file names, a registry's directory, the files' diagnostics) that cannot speak to the
// terminal, and the width the help is wrapped to.

#include "logbook/FlightAnalysis.h"
#include "logbook/LogbookEntry.h"
#include "logbook/RunEnvironment.h"
#include "platform/Diagnostics.h"

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

/// The columns the help is wrapped to: COLUMNS when it is set to a number, else the width of the
/// terminal that standard output is, else 80 (a pipe or a file).
std::size_t helpWidth();

/// The files done so far, on one line of the terminal that each file's count overwrites. Drawn
/// at most ten times a second (a run of 20,000 small files would spend its time on the terminal
/// otherwise), and always for the last file; taken off the screen before any other line.
class Counter {
public:
    using Clock = std::chrono::steady_clock;

    /// Draws on `terminal` when `shown`; else draws nothing, and lines pass straight through.
    Counter(std::ostream& terminal, bool shown);
    /// Draws on `drawing` and writes the lines to `lines`: two streams to one terminal, the
    /// count's own control bytes past the escaping that the lines go through.
    Counter(std::ostream& lines, std::ostream& drawing, bool shown);
    /// `done` of `total` files, at `now`.
    void show(int done, int total, Clock::time_point now = Clock::now());
    /// Takes the count off the screen; the next count is drawn at once.
    void clear();
    /// `line` on a line of its own, the count taken off the screen first.
    void writeLine(const std::string& line);

private:
    std::ostream& lines_;
    std::ostream& drawing_;
    bool shown_;
    bool on_screen_ = false;
    Clock::time_point drawn_;
};

// Text from outside as a terminal shows it: the platform's, shared with the dialogs.
using platform::EscapingBuffer;
using platform::TerminalStreams;
using platform::terminalText;

/// The line for a file that gave no entry, "Skipped P: too short: 5 s", its path P with the
/// control bytes that would move the cursor or ring the bell escaped.
std::string skippedLine(const logbook::FlightResult& file);

/// Asks on `terminal` whether to replace the logbook at `path` and reads one line of `input` for
/// the answer: true only for a yes, false also when the input ends first.
bool confirmReplace(const std::string& path, std::istream& input, std::ostream& terminal);

/// Asks on `terminal` whether to keep the old logbook's flights `missing`, whose recording is not
/// in `igc_directory`, and reads one line of `input` for the answer: Yes for a yes or an empty
/// line, No for anything else, Cancel when the input ends first (Ctrl-D: the run stops and
/// writes nothing, as a closed question box does).
logbook::Answer askKeepMissing(const std::string& igc_directory,
                               const logbook::MissingRecordings& missing, std::istream& input,
                               std::ostream& terminal);

/// A stream that shows nothing: where the files' diagnostics go under --quiet.
std::ostream& nowhere();

} // namespace cli
