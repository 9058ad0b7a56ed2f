#pragma once

// The one way the core says that something failed: what happened, where, and the system's
// reason, as data. Only the front ends word it (failureText and the boxes made from it).

#include "platform/Expected.h"
#include "platform/Files.h"

#include <string>
#include <system_error>

namespace logbook {

enum class FailureKind {
    None,
    Directory,         // the IGC directory is not given, missing, not a directory or unreadable
    NotALogbook,       // the logbook path names a device, a directory, a link to nothing
    Busy,              // another run is writing the logbook
    Open,              // no new logbook file could be created
    Write,             // writing, flushing or renaming the new logbook failed
    Backup,            // the old logbook could not be kept as .bak; it was not replaced
    Cancelled,         // stopped by the pilot; the old logbook was not replaced
    EmptyRefused,      // the new logbook would hold no entry and the old one's were kept
    Unreadable,        // the old logbook could not be read; it was not replaced
    NoGeneration,      // a restore: no earlier logbook of that age is kept
    GenerationChanged, // a restore: the earlier logbook chosen is no longer the one listed
};

struct Failure {
    FailureKind kind = FailureKind::None;
    std::string path;     // the directory or file that the failure is about
    std::error_code code; // the system's reason, when the system gave one
    /// What the code cannot say: a sentence of the step that refused (a link not followed,
    /// another run's lock), or the finding behind a refusal. Empty when the code says it all.
    std::string detail;

    explicit operator bool() const { return kind != FailureKind::None; }
    /// The system's reason in its words, else the detail.
    [[nodiscard]] std::string reason() const {
        if (!detail.empty() || !code)
            return detail;
        return platform::systemReason(code);
    }
};

/// The system's error number as a code.
inline std::error_code systemCode(int error) {
    return {error, std::generic_category()};
}

template <class T>
using Expected = platform::Expected<T, Failure>;
using platform::unexpected;

} // namespace logbook
