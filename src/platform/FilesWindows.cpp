#include "platform/Files.h"

#include "platform/TemporaryNames.h"

#include "platform/WindowsHandles.h"
#include "platform/WindowsText.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int lastError() {
    return errnoOf(GetLastError());
}

std::int64_t millisecondsOf(const FILETIME& time) {
    // FILETIME counts 100 ns since 1601; the core counts milliseconds since 1970.
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return (ticks - 116444736000000000LL) / 10000;
}

struct HandleInfo {
    FileKind kind = FileKind::Other;
    std::int64_t modified_ms = 0;
    std::int64_t size = 0;
};

std::int64_t sizeOf(DWORD high, DWORD low) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

HandleInfo infoOf(HANDLE handle) {
    HandleInfo info;
    switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR:
        info.kind = FileKind::CharacterDevice;
        return info;
    case FILE_TYPE_PIPE:
        info.kind = FileKind::NamedPipe;
        return info;
    case FILE_TYPE_DISK:
        break;
    default:
        return info;
    }
    BY_HANDLE_FILE_INFORMATION file{};
    if (!GetFileInformationByHandle(handle, &file))
        return info;
    info.kind = (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Directory
                                                                        : FileKind::Regular;
    info.modified_ms = millisecondsOf(file.ftLastWriteTime);
    if (info.kind == FileKind::Regular)
        info.size = sizeOf(file.nFileSizeHigh, file.nFileSizeLow);
    return info;
}

// What a path names, links followed; `error` set when it could not be looked at.
HandleInfo follow(const std::wstring& path, bool& is_link, int& error, std::string* resolved) {
    HandleInfo info;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    is_link =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const KernelHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        error = lastError();
        info.kind = error == ENOENT  ? (is_link ? FileKind::DanglingLink : FileKind::Missing)
                    : error == ELOOP ? FileKind::LinkLoop
                                     : FileKind::Other;
        if (info.kind != FileKind::Other)
            error = info.kind == FileKind::Missing ? 0 : error;
        return info;
    }
    info = infoOf(handle.get());
    if (resolved != nullptr && is_link) {
        wchar_t final_path[32768];
        const DWORD length =
            GetFinalPathNameByHandleW(handle.get(), final_path, 32768, FILE_NAME_NORMALIZED);
        if (length > 0 && length < 32768) {
            std::wstring full(final_path, length);
            if (full.rfind(L"\\\\?\\UNC\\", 0) == 0)
                full = L"\\\\" + full.substr(8);
            else if (full.rfind(L"\\\\?\\", 0) == 0)
                full = full.substr(4);
            *resolved = narrowed(full);
        }
    }
    return info;
}

bool writeAll(HANDLE handle, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, data, chunk, &written, nullptr))
            return false;
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

PathInfo inspect(const std::string& path) {
    PathInfo info;
    info.resolved = path;
    const HandleInfo found = follow(longPath(path), info.is_link, info.error, &info.resolved);
    info.kind = found.kind;
    return info;
}

std::string systemReason(int error) {
    // Worded as on POSIX systems, so that a failure reads the same wherever the tool runs.
    switch (error) {
    case ENOENT:
        return "No such file or directory";
    case EACCES:
        return "Permission denied";
    case EROFS:
        return "Read-only file system";
    case ENOSPC:
        return "No space left on device";
    case EEXIST:
        return "File exists";
    case ENOTDIR:
        return "Not a directory";
    case EISDIR:
        return "Is a directory";
    case EXDEV:
        return "Invalid cross-device link";
    case EOPNOTSUPP:
        return "Operation not supported";
    case ELOOP:
        return "Too many levels of symbolic links";
    case ENAMETOOLONG:
        return "File name too long";
    case ENOMEM:
        return "Cannot allocate memory";
    case EBADF:
        return "Bad file descriptor";
    case EIO:
        return "Input/output error";
    default:
        return std::strerror(error);
    }
}

int writeAccess(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(longPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastError();
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? EACCES : 0;
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    // "C:\logbook.dat" is in "C:\", not in the drive's current directory "C:".
    if (slash == 0 || (slash == 2 && path[1] == ':'))
        return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty())
        return name;
    const char last = directory.back();
    if (last == '\\' || last == '/' || (directory.size() == 2 && last == ':'))
        return directory + name;
    // Continued in the directory's own style: "C:/Flights" was written with forward slashes.
    const bool forward =
        directory.find('/') != std::string::npos && directory.find('\\') == std::string::npos;
    return directory + (forward ? '/' : '\\') + name;
}

bool isFlightName(std::string_view name) {
    // Hidden is an attribute here, which the listing looks at; a name may start with a dot.
    if (name.size() < 4)
        return false;
    const std::string_view extension = name.substr(name.size() - 4);
    return extension[0] == '.' && (extension[1] | 0x20) == 'i' && (extension[2] | 0x20) == 'g' &&
           (extension[3] | 0x20) == 'c';
}

bool listDirectory(const std::string& directory,
                   const std::function<bool(std::string_view name)>& wanted,
                   std::vector<DirectoryEntry>& entries, int& error) {
    std::wstring base = longPath(directory);
    if (!base.empty() && base.back() != L'\\')
        base += L'\\';
    WIN32_FIND_DATAW found{};
    const FindHandle search(FindFirstFileExW((base + L"*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr,
                                             FIND_FIRST_EX_LARGE_FETCH));
    if (!search) {
        error = lastError();
        // A file where the folder should be is "Not a directory", as on POSIX systems, however
        // the search put it (Wine: no such path).
        if (error == ENOENT) {
            const DWORD attributes = GetFileAttributesW(longPath(directory).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                error = ENOTDIR;
        }
        return false;
    }
    error = 0;
    do {
        // Hidden entries are never listed, as the toolkit's listing never listed them.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0)
            continue;
        const std::string name = narrowed(found.cFileName);
        if (!wanted(name))
            continue;
        DirectoryEntry entry;
        entry.name = name;
        entry.is_link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (entry.is_link) {
            bool is_link = false;
            const HandleInfo target = follow(base + found.cFileName, is_link, entry.error, nullptr);
            entry.kind = target.kind;
            entry.modified_ms = target.modified_ms;
            entry.size = target.size;
        } else {
            entry.kind = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                             ? FileKind::Directory
                             : FileKind::Regular;
            entry.modified_ms = millisecondsOf(found.ftLastWriteTime);
            if (entry.kind == FileKind::Regular)
                entry.size = sizeOf(found.nFileSizeHigh, found.nFileSizeLow);
        }
        entries.push_back(std::move(entry));
    } while (FindNextFileW(search.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        error = lastError();
    return error == 0;
}

std::FILE* openFlight(const std::string& path, bool through_link, FileKind& kind, int& error) {
    error = 0;
    KernelHandle handle(CreateFileW(
        longPath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_SEQUENTIAL_SCAN | (through_link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
    if (!handle) {
        error = lastError();
        kind = FileKind::Other;
        // A directory cannot be opened as a file here, where POSIX systems open it and fail
        // to read it: both say so in the same words.
        const DWORD attributes = GetFileAttributesW(longPath(path).c_str());
        if (error == EACCES && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            error = EISDIR;
            kind = FileKind::Directory;
        }
        return nullptr;
    }
    kind = infoOf(handle.get()).kind;
    if (kind != FileKind::Regular)
        return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        error = EMFILE;
        return nullptr;
    }
    handle.release(); // the descriptor's now, closed with it
    std::FILE* file = _fdopen(fd, "rb");
    if (file == nullptr) {
        error = errno;
        _close(fd);
    }
    return file;
}

struct NewFile::State {
    KernelHandle handle;
    std::string target;
    std::string named; // the file's name while it has one
    TemporaryWatcher watcher;

    void tell(const std::string& path, bool in_place) const {
        if (watcher)
            watcher(path, in_place);
    }
};

NewFile::NewFile() : state_(std::make_unique<State>()) {}

NewFile::~NewFile() {
    discard();
}

int NewFile::create(const std::string& target, TemporaryWatcher watcher) {
    discard();
    state_->target = target;
    state_->watcher = std::move(watcher);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = temporaryNameFor(target);
        state_->handle.reset(
            CreateFileW(longPath(candidate).c_str(), GENERIC_WRITE | DELETE,
                        // shared for deleting: an interruption's handler removes it meanwhile
                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (state_->handle) {
            state_->named = candidate;
            state_->tell(candidate, false);
            return 0;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return lastError();
    }
    return EEXIST;
}

int NewFile::write(const char* data, std::size_t size) {
    if (!state_->handle)
        return EBADF;
    return writeAll(state_->handle.get(), data, size) ? 0 : lastError();
}

int NewFile::replace(const std::string& backup, ReplaceStep& step) {
    step = ReplaceStep::Sync;
    if (!state_->handle)
        return EBADF;
    if (!FlushFileBuffers(state_->handle.get())) {
        const int error = lastError();
        return error;
    }
    state_->handle.reset();

    const std::wstring target = longPath(state_->target);
    const std::wstring replacement = longPath(state_->named);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // A first logbook: nothing to keep, moved into place and on disk before this returns.
        step = ReplaceStep::Replace;
        if (!MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return lastError();
    } else {
        // One step that keeps the old logbook itself as the backup, with its attributes and
        // permissions, and gives the new one the old one's.
        const std::wstring kept = backup.empty() ? std::wstring() : longPath(backup);
        if (!ReplaceFileW(target.c_str(), replacement.c_str(),
                          kept.empty() ? nullptr : kept.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                          nullptr, nullptr)) {
            const DWORD failure = GetLastError();
            if (failure == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 && !kept.empty()) {
                // The old logbook went to the backup's name and the new one could not follow:
                // the old one goes back to its place.
                MoveFileExW(kept.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
                step = ReplaceStep::Replace;
            } else {
                step = failure == ERROR_UNABLE_TO_REMOVE_REPLACED ? ReplaceStep::Backup
                                                                  : ReplaceStep::Replace;
            }
            return errnoOf(failure == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
                                   failure == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ||
                                   failure == ERROR_UNABLE_TO_REMOVE_REPLACED
                               ? ERROR_ACCESS_DENIED
                               : failure);
        }
    }
    state_->named.clear();
    state_->tell({}, true);
    step = ReplaceStep::None;
    return 0;
}

void NewFile::discard() {
    state_->handle.reset();
    if (!state_->named.empty()) {
        DeleteFileW(longPath(state_->named).c_str());
        state_->named.clear();
        state_->tell({}, false);
    }
}

int renameReplacing(const std::string& from, const std::string& to) {
    if (MoveFileExW(longPath(from).c_str(), longPath(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return lastError();
}

void removeLeftovers(const std::string& target) {
    const std::string target_name = fileNameOf(target);
    std::vector<DirectoryEntry> entries;
    int error = 0;
    listDirectory(
        directoryOf(target),
        [&target_name](std::string_view name) { return isTemporaryOf(target_name, name); }, entries,
        error);
    const std::string directory = directoryOf(target);
    for (const DirectoryEntry& entry : entries) {
        if (entry.kind == FileKind::Regular && !entry.is_link)
            DeleteFileW(longPath(joinPath(directory, entry.name)).c_str());
    }
}

namespace {

// A mutex that this thread owns: released, then closed.
struct HeldMutexTraits : KernelHandleTraits {
    static void close(Handle handle) noexcept {
        ReleaseMutex(handle);
        CloseHandle(handle);
    }
};
using HeldMutex = UniqueHandle<HeldMutexTraits>;

} // namespace

struct RunLock::State {
    HeldMutex mutex;
};

RunLock::RunLock() : state_(std::make_unique<State>()) {}

RunLock::~RunLock() = default;

int RunLock::acquire(const std::string& target) {
    // A mutex named after the target's directory (its full path, in any letter case), which
    // the system releases when the process ends. The directory must exist, as on POSIX.
    const std::wstring directory = longPath(directoryOf(target));
    if (GetFileAttributesW(directory.c_str()) == INVALID_FILE_ATTRIBUTES)
        return lastError();
    std::uint64_t hash = 1469598103934665603ULL; // FNV-1a
    for (const wchar_t c : directory) {
        hash ^= static_cast<std::uint64_t>(towlower(c));
        hash *= 1099511628211ULL;
    }
    wchar_t name[64];
    swprintf(name, 64, L"Local\\thermora-logbook-%016llx", static_cast<unsigned long long>(hash));
    KernelHandle mutex(CreateMutexW(nullptr, FALSE, name));
    if (!mutex)
        return 0; // no lock to be had: run unlocked, as every run did before
    const DWORD waited = WaitForSingleObject(mutex.get(), 0);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
        return EWOULDBLOCK;
    // Held now; a lock this one held before is given up after, never in between.
    state_->mutex.reset(mutex.release());
    return 0;
}

} // namespace platform
