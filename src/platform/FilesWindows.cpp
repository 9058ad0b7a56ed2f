#include "platform/Files.h"

#include "platform/FaultPoints.h"
#include "platform/TemporaryNames.h"

#include "platform/WindowsHandles.h"
#include "platform/WindowsText.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

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

// Where the last name of `path` begins: after its last separator, or after the drive of "C:name".
std::size_t lastNameAt(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos)
        return slash + 1;
    return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

std::string_view lastName(std::string_view path) {
    return path.substr(lastNameAt(path));
}

// A name that Windows keeps from files: one with a character it reserves (a colon would name a
// stream of another file) or a control character.
bool isNotAllowed(std::string_view name) {
    return std::any_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 ||
               std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
    });
}

// A name that Windows gives to a device in every folder, also with an extension ("nul.dat") and
// blanks before it, in any letter case.
bool isDeviceName(std::string_view name) {
    std::string stem(name.substr(0, name.find('.')));
    stem.erase(stem.find_last_not_of(' ') + 1);
    for (char& c : stem)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
        stem == "CONOUT$")
        return true;
    if (stem.rfind("COM", 0) != 0 && stem.rfind("LPT", 0) != 0)
        return false;
    const std::string_view number = std::string_view(stem).substr(3);
    // 1 to 9, and the raised digits 1, 2 and 3 (U+00B9, U+00B2, U+00B3), which Windows also
    // reserves.
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

// `path` with its last name as Windows takes it, so that the names made from it (".bak",
// ".tmp-", ".lock") are those of the file it names: without the dots and blanks that end it
// (which the system drops, where "logbook.dat .bak" keeps them), and an existing file's 8.3 short
// name as its long one. A name of dots alone ("..") is left as it is, and so is a path in the
// "\\?\" form, which the system takes literally.
std::string asWindowsNames(const std::string& path) {
    if (path.rfind("\\\\?\\", 0) == 0)
        return path;
    const std::size_t at = lastNameAt(path);
    const std::size_t kept = path.find_last_not_of(". ");
    if (kept == std::string::npos || kept < at)
        return path;
    std::string named = path.substr(0, kept + 1);
    const std::string_view name = lastName(named);
    if (name.find('~') == std::string_view::npos || isNotAllowed(name))
        return named;
    WIN32_FIND_DATAW found{};
    const FindHandle search(FindFirstFileW(longPath(named).c_str(), &found));
    if (search && found.cAlternateFileName[0] != L'\0' &&
        CompareStringOrdinal(found.cAlternateFileName, -1, widened(std::string(name)).c_str(), -1,
                             TRUE) == CSTR_EQUAL)
        named = named.substr(0, at) + narrowed(found.cFileName);
    return named;
}

} // namespace

PathInfo inspect(const std::string& path) {
    PathInfo info;
    info.resolved = asWindowsNames(path);
    // Told by the name, before anything is opened: CON, say, opens the console, if it opens.
    const std::string_view name = lastName(info.resolved);
    if (isNotAllowed(name)) {
        info.kind = FileKind::Other;
        info.error = EINVAL;
        return info;
    }
    if (isDeviceName(name)) {
        info.kind = FileKind::CharacterDevice;
        return info;
    }
    const HandleInfo found = follow(longPath(path), info.is_link, info.error, &info.resolved);
    info.kind = found.kind;
    info.modified_ms = found.modified_ms;
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
    // Windows's own, where its words help more than a POSIX system's would: a logbook or a
    // flight that the simulator holds open, and a name that Windows keeps from files.
    case EBUSY:
        return "In use by another program; close the simulator and try again";
    case EINVAL:
        return "The name is not allowed on Windows";
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
        // the search put it (Wine: no such path, or a name not allowed).
        if (error == ENOENT || error == EINVAL) {
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
    // Told by the name, as `inspect` tells them.
    const std::string_view name = lastName(path);
    if (isDeviceName(name)) {
        kind = FileKind::CharacterDevice;
        return nullptr;
    }
    if (isNotAllowed(name)) {
        kind = FileKind::Other;
        error = EINVAL;
        return nullptr;
    }
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
    // A link put in a file's place after the listing saw none, opened as itself, would read as
    // a file: refused as POSIX systems refuse it.
    if (!through_link) {
        BY_HANDLE_FILE_INFORMATION opened{};
        if (GetFileInformationByHandle(handle.get(), &opened) &&
            (opened.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            kind = FileKind::Other;
            error = ELOOP;
            return nullptr;
        }
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
    std::string named;         // the file's name while it has one
    bool replaces_old = false; // a file was at the target when prepared
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
    if (const int fault = injectedFault(FaultPoint::Write); fault != 0)
        return fault;
    return writeAll(state_->handle.get(), data, size) ? 0 : lastError();
}

int NewFile::prepare(ReplaceStep& step) {
    step = ReplaceStep::Sync;
    state_->replaces_old = false;
    if (!state_->handle)
        return EBADF;
    if (const int fault = injectedFault(FaultPoint::Sync); fault != 0)
        return fault;
    if (!FlushFileBuffers(state_->handle.get()))
        return lastError();
    // Closed for the replacement, which takes the old file's attributes and permissions itself.
    state_->handle.reset();
    const DWORD attributes = GetFileAttributesW(longPath(state_->target).c_str());
    state_->replaces_old =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    step = ReplaceStep::None;
    return 0;
}

bool NewFile::replacesOld() const {
    return state_->replaces_old;
}

int NewFile::replace(const std::string& backup, ReplaceStep& step) {
    step = ReplaceStep::Replace;
    if (state_->named.empty() || state_->handle)
        return EBADF; // not prepared
    const std::wstring target = longPath(state_->target);
    const std::wstring replacement = longPath(state_->named);
    if (!state_->replaces_old) {
        // A first logbook: nothing to keep, moved into place and on disk before this returns.
        if (const int fault = injectedFault(FaultPoint::Rename); fault != 0)
            return fault;
        if (!MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return lastError();
    } else {
        // One step that keeps the old logbook itself as the backup (a name that is free), with
        // its attributes and permissions, and gives the new one the old one's.
        const std::wstring kept = backup.empty() ? std::wstring() : longPath(backup);
        // The backup's name must be free, as where a second name is made for it: what is there
        // is somebody's, never replaced here.
        if (!kept.empty() && GetFileAttributesW(kept.c_str()) != INVALID_FILE_ATTRIBUTES) {
            step = ReplaceStep::Backup;
            return EEXIST;
        }
        int error = injectedFault(FaultPoint::Replace);
        DWORD failure = ERROR_SUCCESS;
        if (error == 0 && !ReplaceFileW(target.c_str(), replacement.c_str(),
                                        kept.empty() ? nullptr : kept.c_str(),
                                        REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
            failure = GetLastError();
            error = errnoOf(failure == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
                                    failure == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ||
                                    failure == ERROR_UNABLE_TO_REMOVE_REPLACED
                                ? ERROR_ACCESS_DENIED
                                : failure);
        }
        if (error != 0) {
            // Whatever the replacement got as far as, the old logbook goes back to its own name
            // and the backup's name is free again, as it was.
            if (!kept.empty()) {
                if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
                    MoveFileExW(kept.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
                else
                    DeleteFileW(kept.c_str());
            }
            step = failure == ERROR_UNABLE_TO_REMOVE_REPLACED ? ReplaceStep::Backup
                                                              : ReplaceStep::Replace;
            return error;
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
    if (const int fault = injectedFault(FaultPoint::Rename); fault != 0)
        return fault;
    if (MoveFileExW(longPath(from).c_str(), longPath(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return lastError();
}

int removeFile(const std::string& path) {
    return DeleteFileW(longPath(path).c_str()) ? 0 : lastError();
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

struct RunLock::State {
    KernelHandle file; // the lock file, open without sharing
};

RunLock::RunLock() : state_(std::make_unique<State>()) {}

RunLock::~RunLock() = default;

std::string RunLock::pathFor(const std::string& target) {
    return asWindowsNames(target) + ".lock";
}

int RunLock::acquire(const std::string& target) {
    state_->file.reset();
    const std::string path = pathFor(target);
    const std::string_view name = lastName(path);
    if (isNotAllowed(name))
        return EINVAL;
    if (isDeviceName(name))
        return ENXIO; // a device in every folder, never a lock file
    // Open without any sharing: while this run has it open, every other opening fails, whatever
    // path led there (an 8.3 name, another drive letter for the same folder) and whoever asks;
    // the system closes it when the process ends. Opened for writing, so that only a user who
    // may write there takes the lock (one who may read the file can still keep runs out by
    // holding it open unshared, as any program can any file here); a link at its name is opened
    // itself, never followed.
    KernelHandle file(CreateFileW(longPath(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD failure = GetLastError();
        return failure == ERROR_SHARING_VIOLATION || failure == ERROR_LOCK_VIOLATION
                   ? EWOULDBLOCK
                   : errnoOf(failure);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info))
        return lastError();
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return ELOOP;
    state_->file = std::move(file);
    return 0;
}

} // namespace platform
