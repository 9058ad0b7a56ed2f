#pragma once

// What a run needs from whoever started it, and nothing else: where its progress goes, the
// answers to its questions, whether it was cancelled, and where its diagnostics go. The dialogs'
// run controller, the command line's terminal and the tests' recorder each implement it; the run
// itself words nothing and shows nothing.

#include "logbook/FlightAnalysis.h"
#include "logbook/Listing.h"
#include "logbook/LogbookEntry.h"

#include <iosfwd>
#include <string>

namespace logbook {

/// A pilot's answer. Cancel is a question closed without an answer (Escape, the window's close
/// button, the end of the input): the run stops and writes nothing.
enum class Answer { Yes, No, Cancel };

/// A question the run asks on its way, as its facts: each front end words it (DialogFlow's
/// runQuestionBox, the command line's prompts).
struct RunQuestion {
    enum class Kind {
        /// Keep the old logbook's flights whose recording is not in the folder (`missing`)?
        KeepMissing,
        /// The folder gave no flight: replace a logbook that holds entries (`old_entries`, -1
        /// when they could not be counted) with an empty one?
        ReplaceWithEmpty,
    };
    Kind kind = Kind::KeepMissing;
    std::string igc_directory; // as given
    MissingRecordings missing;
    int old_entries = -1;
    int files = 0;                 // files read
    RecordingsElsewhere elsewhere; // where the folder's recordings are, when it held none
};

class RunEnvironment {
public:
    virtual ~RunEnvironment() = default;

    /// Polled between files and before the logbook is replaced: true stops the run.
    [[nodiscard]] virtual bool cancelled() const { return false; }
    /// The run has begun: its progress may show from now on (a dialog's questions before the
    /// run come first).
    virtual void begin();
    /// `done` of `total` files analysed, after each file, on the run's thread.
    virtual void progress(int done, int total);
    /// Asks the pilot; the run waits for the answer.
    virtual Answer ask(const RunQuestion& question) = 0;
    /// A file's result, in listing order: by default its diagnostics go to fileDiagnostics()
    /// and diagnosticOutput().
    virtual void fileDone(const FlightResult& file);
    /// Where the run's own lines go ("Generating new logbook"): the program's diagnostics sink
    /// unless told otherwise.
    virtual std::ostream& diagnostics();
    /// Where the lines about particular files go (an entry that the listing skipped, a file's
    /// diagnostics): the sink unless told otherwise.
    virtual std::ostream& fileDiagnostics();
    /// Where the lines for standard output go ("Empty log file").
    virtual std::ostream& diagnosticOutput();
    /// Told the new logbook's temporary name while it has one, and its arrival: for an
    /// interruption's handler.
    virtual void temporaryNamed(const std::string& path, bool in_place);
};

} // namespace logbook
