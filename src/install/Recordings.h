#pragma once

// The recordings in an installation's IGC directory, by which one place of the simulator's files
// is preferred to another (an installation to another, the VirtualStore's copy to the
// installation's own): the place where the pilot flew last. No Qt, for every system.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace install {

/// Milliseconds since 1970 of the newest recording in `igc_directory` (a regular file whose name
/// is a flight's, *.igc); -1 when it holds none or cannot be read.
std::int64_t newestRecording(const std::string& igc_directory);

/// Which of several places to prefer, given the newest recording of each (as newestRecording
/// gives them) in the order they were searched: the one whose recording is newest; on equal
/// times, or with none anywhere, the first. 0 when there are none.
std::size_t newestRecordingAmong(std::span<const std::int64_t> newest);

} // namespace install
