#pragma once

// The lock of a logbook held by this process, as another run would hold it: for tests of what a
// run or a restore does meanwhile.

#include "platform/Files.h"
#include "platform/Folder.h"

#include <cstdint>
#include <string>

namespace testing_support {

class HeldLock {
public:
    /// Takes the lock of the logbook at `logbook_path` (links resolved). 0, or the error.
    int take(const std::string& logbook_path) {
        const std::string target = platform::inspect(logbook_path).resolved;
        if (const int error = folder_.open(platform::directoryOf(target)); error != 0)
            return error;
        platform::FolderEntry logbook;
        const std::string name = platform::fileNameOf(target);
        static_cast<void>(folder_.look(name, logbook));
        std::uint32_t owner = 0;
        return lock_.acquire(folder_, name, logbook, owner);
    }

private:
    platform::Folder folder_;
    platform::RunLock lock_;
};

} // namespace testing_support
