#include "platform/Folder.h"

#include "platform/FaultPoints.h"
#include "platform/FolderShared.h"
#include "platform/TemporaryNames.h"

#include <cerrno>
#include <cstdio>
#include <utility>

// What a folder does the same on every system, on the primitives of its own system.
namespace platform {

// A name that starts with a dot is hidden on POSIX systems; on Windows hidden is an attribute,
// which the listing looks at, and a name may start with a dot.
#ifdef _WIN32
constexpr bool kLeadingDotHides = false;
#else
constexpr bool kLeadingDotHides = true;
#endif

bool isFlightName(std::string_view name) {
    if (name.size() < 4 || (kLeadingDotHides && name[0] == '.'))
        return false;
    const std::string_view extension = name.substr(name.size() - 4);
    return extension[0] == '.' && (extension[1] | 0x20) == 'i' && (extension[2] | 0x20) == 'g' &&
           (extension[3] | 0x20) == 'c';
}

std::string Folder::pathOf(std::string_view name) const {
    return joinPath(path(), std::string(name));
}

Expected<std::string, std::error_code> Folder::readSmall(std::string_view name,
                                                         std::size_t limit) const {
    const Expected<std::FILE*, std::error_code> opened = openRead(name);
    if (!opened)
        return unexpected(opened.error());
    std::FILE* file = *opened;
    std::string bytes;
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) {
        if (bytes.size() + got > limit) {
            std::fclose(file);
            return unexpected(errorOf(EFBIG));
        }
        bytes.append(block, got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return unexpected(errorOf(EIO));
    return bytes;
}

void NewFile::State::start(const Folder& in, std::string_view target_name, TemporaryWatcher told) {
    folder = &in;
    target = std::string(target_name);
    watcher = std::move(told);
    length = 0;
}

std::error_code NewFile::State::writeRefused() const {
    if (!file)
        return errorOf(EBADF);
    return injectedFault(FaultPoint::Write);
}

void NewFile::State::tell(const std::string& name, bool in_place) const {
    if (watcher)
        watcher(name.empty() ? std::string() : folder->pathOf(name), in_place);
}

std::error_code
NewFile::State::takeName(const std::function<std::error_code(const std::string& candidate)>& make) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = temporaryNameFor(target);
        const std::error_code error = make(candidate);
        if (!error) {
            named = candidate;
            tell(candidate, false);
            return {};
        }
        if (error != errorOf(EEXIST))
            return error;
    }
    return errorOf(EEXIST);
}

NewFile::NewFile() : state_(std::make_unique<State>()) {}

NewFile::~NewFile() {
    discard();
}

const std::string& NewFile::name() const {
    return state_->named;
}

void NewFile::keep() {
    // Whoever put it in place tells the watcher so, at that moment.
    state_->named.clear();
    state_->file.reset();
}

void NewFile::discard() {
    // Closed first: a file removed while open keeps its name on Windows until it is closed.
    state_->file.reset();
    if (!state_->named.empty()) {
        static_cast<void>(state_->folder->remove(state_->named));
        state_->named.clear();
        state_->tell({}, false);
    }
}

} // namespace platform
