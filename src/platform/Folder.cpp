#include "platform/Folder.h"

#include "platform/FolderShared.h"
#include "platform/TemporaryNames.h"

#include <cerrno>
#include <cstdio>
#include <utility>

// What a folder does the same on every system, on the primitives of its own system.
namespace platform {

std::string Folder::pathOf(std::string_view name) const {
    return joinPath(path(), std::string(name));
}

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

void NewFile::State::start(const Folder& in, std::string_view target_name, TemporaryWatcher told) {
    folder = &in;
    target = std::string(target_name);
    watcher = std::move(told);
    length = 0;
}

void NewFile::State::tell(const std::string& name, bool in_place) const {
    if (watcher)
        watcher(name.empty() ? std::string() : folder->pathOf(name), in_place);
}

int NewFile::State::takeName(const std::function<int(const std::string& candidate)>& make) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = temporaryNameFor(target);
        const int error = make(candidate);
        if (error == 0) {
            named = candidate;
            tell(candidate, false);
            return 0;
        }
        if (error != EEXIST)
            return error;
    }
    return EEXIST;
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
