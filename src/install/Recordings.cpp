#include "install/Recordings.h"

#include "platform/Files.h"

#include <algorithm>
#include <vector>

namespace install {

std::int64_t newestRecording(const std::string& igc_directory) {
    const auto entries = platform::listDirectory(igc_directory, platform::isFlightName);
    if (!entries)
        return -1;
    std::int64_t newest = -1;
    for (const platform::DirectoryEntry& entry : *entries) {
        if (entry.kind == platform::FileKind::Regular)
            newest = std::max(newest, entry.modified_ms);
    }
    return newest;
}

std::size_t newestRecordingAmong(std::span<const std::int64_t> newest) {
    std::size_t best = 0;
    for (std::size_t k = 1; k < newest.size(); ++k) {
        if (newest[k] > newest[best])
            best = k;
    }
    return best;
}

} // namespace install
