#pragma once

// The steps of writing and replacing a logbook (and of reading a recording) at which a failure
// of the system can be made to happen, so that tests can fail each in turn and find the logbook
// and its generations as they were. The programs never fail a step on purpose: their
// `injectedFault` (NoFaults.cpp) answers no error always. A test program links a definition of its
// own in its place.

#include <system_error>

namespace platform {

enum class FaultPoint {
    Write,   // a block of the new file written
    Sync,    // a file or the folder made durable
    Link,    // a second name for a file (the old logbook as its backup, the new file's name)
    Rename,  // a file given another name (a generation moved, the new logbook put in place)
    Remove,  // a name removed (a step undone, the oldest generation given up)
    Journal, // the journal of a change written before its first step
    /// A recording opened for reading: another program holds it (Windows: a sync tool, an
    /// antivirus, the simulator), or its permissions keep it from this user.
    ReadFlight,
};

/// The error that the step `point` is to fail with instead of being done; no error: done as
/// usual.
std::error_code injectedFault(FaultPoint point);

} // namespace platform
