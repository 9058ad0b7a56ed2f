#pragma once

// The lock of a logbook held by this process, as another run would hold it: for tests of what a
// run or a restore does meanwhile.

#include "platform/Files.h"
#include "platform/Folder.h"

#include <cstdint>
#include <string>
#include <system_error>

namespace testing_support {

class HeldLock {
public:
    /// Takes the lock of the logbook at `logbook_path` (links resolved). 0, or the error number.
    int take(const std::string& logbook_path) {
        const std::string target = platform::inspect(logbook_path).resolved;
        if (const std::error_code error = folder_.open(platform::directoryOf(target)))
            return error.value();
        const std::string name = platform::fileNameOf(target);
        const auto looked = folder_.look(name);
        std::uint32_t owner = 0;
        return lock_.acquire(folder_, name, looked ? *looked : platform::FolderEntry{}, owner)
            .value();
    }

private:
    platform::Folder folder_;
    platform::RunLock lock_;
};

} // namespace testing_support
