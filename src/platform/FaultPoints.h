#pragma once

// The steps of writing and replacing a logbook at which a failure of the system can be made
// to happen, so that tests can fail each in turn and find the logbook and its generations as
// they were. The programs never fail a step on purpose: their `injectedFault` (NoFaults.cpp)
// answers 0 always. A test program links a definition of its own in its place.

namespace platform {

enum class FaultPoint {
    Write,   // a block of the new file written
    Sync,    // a file made durable (the new logbook, a copy of the old one)
    Link,    // a second name for the old logbook, as its backup
    Copy,    // a block of the old logbook copied, where links are not to be had
    Rename,  // a file given another name (a generation moved, the new logbook put in place)
    Replace, // the Windows replacement of the logbook with its backup kept
};

/// The error (an errno value) that the step `point` is to fail with instead of being done; 0:
/// done as usual.
int injectedFault(FaultPoint point);

} // namespace platform
