#include "platform/Folder.h"

#include <cerrno>
#include <cstdio>

// What a folder does the same on every system, on the primitives of its own system.
namespace platform {

int Folder::readSmall(std::string_view name, std::size_t limit, std::string& bytes) const {
    bytes.clear();
    int error = 0;
    std::FILE* file = openRead(name, error);
    if (file == nullptr)
        return error;
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        if (bytes.size() + got > limit) {
            std::fclose(file);
            bytes.clear();
            return EFBIG;
        }
        bytes.append(block, got);
    }
    error = std::ferror(file) != 0 ? EIO : 0;
    std::fclose(file);
    return error;
}

} // namespace platform
