#include "platform/Files.h"
#include "platform/Folder.h"

#include "platform/FaultPoints.h"
#include "platform/FolderShared.h"

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

// The error that the last call of the Windows API left, as an error number.
std::error_code lastError() {
    return errorOf(errnoOf(GetLastError()));
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
HandleInfo follow(const std::wstring& path, bool& is_link, std::error_code& error,
                  std::string* resolved) {
    HandleInfo info;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    is_link =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const KernelHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        error = lastError();
        info.kind = error == errorOf(ENOENT)
                        ? (is_link ? FileKind::DanglingLink : FileKind::Missing)
                    : error == errorOf(ELOOP) ? FileKind::LinkLoop
                                              : FileKind::Other;
        if (info.kind == FileKind::Missing)
            error.clear();
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
        info.error = errorOf(EINVAL);
        return info;
    }
    if (isDeviceName(name)) {
        info.kind = FileKind::CharacterDevice;
        info.reserved_name = true;
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
    case ESTALE:
        return "Stale file handle";
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

std::string systemReason(std::error_code error) {
    return error.category() == std::generic_category() ? systemReason(error.value())
                                                       : error.message();
}

std::error_code writeAccess(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(longPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastError();
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? errorOf(EACCES) : std::error_code();
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

std::string lastNameOf(const std::string& path) {
    return std::string(lastName(path));
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

namespace {

// The entries of the folder `folder` (a long path), as `listDirectory` gives them.
Expected<std::vector<DirectoryEntry>, std::error_code>
listAt(const std::wstring& folder, const std::function<bool(std::string_view name)>& wanted) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\')
        base += L'\\';
    WIN32_FIND_DATAW found{};
    const FindHandle search(FindFirstFileExW((base + L"*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr,
                                             FIND_FIRST_EX_LARGE_FETCH));
    if (!search) {
        std::error_code error = lastError();
        // A file where the folder should be is "Not a directory", as on POSIX systems, however
        // the search put it (Wine: no such path, or a name not allowed).
        if (error == errorOf(ENOENT) || error == errorOf(EINVAL)) {
            const DWORD attributes = GetFileAttributesW(folder.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                error = errorOf(ENOTDIR);
        }
        return unexpected(error);
    }
    std::vector<DirectoryEntry> entries;
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
        return unexpected(lastError());
    return entries;
}

// A file opened for reading as a stream of the C library, which then owns the handle.
Expected<std::FILE*, std::error_code> streamOf(KernelHandle& handle) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_RDONLY | _O_BINARY);
    if (fd < 0)
        return unexpected(errorOf(EMFILE));
    handle.release(); // the descriptor's now, closed with it
    std::FILE* file = _fdopen(fd, "rb");
    if (file == nullptr) {
        const std::error_code error = errorOf(errno);
        _close(fd);
        return unexpected(error);
    }
    return file;
}

// The flight at `path` (a long path) whose last name is `name`, as `openFlight` opens it.
OpenedFlight openFlightAt(const std::wstring& path, std::string_view name, bool through_link) {
    OpenedFlight opened;
    if (const std::error_code fault = injectedFault(FaultPoint::ReadFlight)) {
        opened.kind = FileKind::Regular;
        opened.error = fault;
        return opened;
    }
    // Told by the name, as `inspect` tells them.
    if (isDeviceName(name)) {
        opened.kind = FileKind::CharacterDevice;
        return opened;
    }
    if (isNotAllowed(name))
        return refusedName();
    KernelHandle handle(CreateFileW(
        path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_SEQUENTIAL_SCAN | (through_link ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
    if (!handle) {
        opened.error = lastError();
        opened.kind = FileKind::Other;
        // A directory cannot be opened as a file here, where POSIX systems open it and fail
        // to read it: both say so in the same words.
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (opened.error == errorOf(EACCES) && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            opened.error = errorOf(EISDIR);
            opened.kind = FileKind::Directory;
        }
        return opened;
    }
    // A link put in a file's place after the listing saw none, opened as itself, would read as
    // a file: refused as POSIX systems refuse it.
    if (!through_link) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(handle.get(), &info) &&
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            opened.kind = FileKind::Other;
            opened.error = errorOf(ELOOP);
            return opened;
        }
    }
    opened.kind = infoOf(handle.get()).kind;
    if (opened.kind != FileKind::Regular)
        return opened;
    const Expected<std::FILE*, std::error_code> stream = streamOf(handle);
    if (stream)
        opened.file = *stream;
    else
        opened.error = stream.error();
    return opened;
}

} // namespace

Expected<std::vector<DirectoryEntry>, std::error_code>
listDirectory(const std::string& directory,
              const std::function<bool(std::string_view name)>& wanted) {
    return listAt(longPath(directory), wanted);
}

OpenedFlight openFlight(const std::string& path, bool through_link) {
    return openFlightAt(longPath(path), lastName(path), through_link);
}

// A folder worked from a handle that keeps it where it is, and from its path, checked by the
// folder's file ID before every change.
namespace {

std::int64_t nanosecondsOf(const FILETIME& time) {
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return (ticks - 116444736000000000LL) * 100;
}

std::uint64_t fileIndexOf(const BY_HANDLE_FILE_INFORMATION& file) {
    return (static_cast<std::uint64_t>(file.nFileIndexHigh) << 32) | file.nFileIndexLow;
}

// What a name of a folder on the volume `volume` holds. The volume is the folder's, as it is of
// every name in it that is not followed: a handle's own can be lost (Wine says 0 for a file
// renamed since it was opened).
FolderEntry entryOf(const BY_HANDLE_FILE_INFORMATION& file, DWORD volume) {
    FolderEntry entry;
    entry.is_link = (file.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.kind = entry.is_link                                             ? FileKind::Other
                 : (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Directory
                                                                           : FileKind::Regular;
    entry.id = {volume, fileIndexOf(file), sizeOf(file.nFileSizeHigh, file.nFileSizeLow),
                nanosecondsOf(file.ftLastWriteTime)};
    entry.links = file.nNumberOfLinks;
    return entry;
}

// A name of the folder that names no other folder and no other file's stream: one name, not "."
// or "..", none of the characters Windows keeps from names.
bool isSingleName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string_view::npos && !isNotAllowed(name);
}

// A name that a change may be made at: a single name and no device's (in the "\\?\" form the
// system would make a file of that name, which no other program could then open or remove).
bool isChangeableName(std::string_view name) {
    return isSingleName(name) && !isDeviceName(name);
}

std::error_code flushed(HANDLE handle) {
    if (const std::error_code fault = injectedFault(FaultPoint::Sync))
        return fault;
    return FlushFileBuffers(handle) ? std::error_code() : lastError();
}

// Writes `size` bytes at `offset`, whatever a read moved the handle's position to.
bool writeAllAt(HANDLE handle, std::int64_t offset, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
        DWORD written = 0;
        if (!WriteFile(handle, data, chunk, &written, &at))
            return false;
        data += written;
        size -= written;
        offset += written;
    }
    return true;
}

} // namespace

std::string userName(std::uint32_t id) {
    // Windows has no numeric owners here (they are 0): nothing better than the number to say.
    return std::to_string(id);
}

struct Folder::State {
    KernelHandle handle; // the folder, held so that it cannot be renamed, moved or removed
    std::wstring folder; // its long path, as the folder was reached
    std::wstring base;   // the same with the separator that a name follows
    BY_HANDLE_FILE_INFORMATION self{};

    std::wstring at(std::string_view name) const { return base + widened(std::string(name)); }
    std::error_code stillAt() const;
    Expected<FolderEntry, std::error_code> look(std::string_view name) const;
};

Folder::Folder() : state_(std::make_unique<State>()) {}
Folder::~Folder() = default;
Folder::Folder(Folder&&) noexcept = default;
Folder& Folder::operator=(Folder&&) noexcept = default;

std::error_code Folder::open(const std::string& path, std::string* /*foreign_link*/) {
    state_ = std::make_unique<State>();
    const std::wstring folder = longPath(path);
    // Links on the way followed as `inspect` follows them. Shared for reading and writing, not
    // for deleting: while this is open no program can rename, move or remove the folder, so
    // that the path that led to it can only lead elsewhere through a link or a folder above.
    KernelHandle handle(CreateFileW(folder.c_str(),
                                    FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION self{};
    if (!handle) {
        const std::error_code error = lastError();
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0
                   ? errorOf(ENOTDIR)
                   : error;
    }
    if (!GetFileInformationByHandle(handle.get(), &self))
        return lastError();
    if ((self.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return errorOf(ENOTDIR);
    state_->handle = std::move(handle);
    path_ = path;
    state_->folder = folder;
    state_->base = folder.empty() || folder.back() == L'\\' ? folder : folder + L'\\';
    state_->self = self;
    return {};
}

bool Folder::isOpen() const {
    return static_cast<bool>(state_->handle);
}

Expected<FolderEntry, std::error_code> Folder::lookSelf() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(state_->handle.get(), &info))
        return unexpected(lastError());
    return entryOf(info, state_->self.dwVolumeSerialNumber);
}

std::error_code Folder::stillAt() const {
    return state_->stillAt();
}

std::error_code Folder::State::stillAt() const {
    if (!handle)
        return errorOf(EBADF);
    const KernelHandle now(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!now) {
        const std::error_code error = lastError();
        return error == errorOf(ENOENT) ? errorOf(ESTALE) : error;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(now.get(), &info))
        return lastError();
    return info.dwVolumeSerialNumber == self.dwVolumeSerialNumber &&
                   fileIndexOf(info) == fileIndexOf(self)
               ? std::error_code()
               : errorOf(ESTALE);
}

Expected<FolderEntry, std::error_code> Folder::look(std::string_view name) const {
    return state_->look(name);
}

Expected<FolderEntry, std::error_code> Folder::State::look(std::string_view name) const {
    if (!isSingleName(name))
        return unexpected(errorOf(EINVAL));
    if (isDeviceName(name)) { // a device in every folder, never opened to be looked at
        FolderEntry device;
        device.kind = FileKind::CharacterDevice;
        return device;
    }
    // Looked up by the path: only while the path still leads to this folder is it this
    // folder's name.
    if (const std::error_code moved = stillAt())
        return unexpected(moved);
    const KernelHandle opened(
        CreateFileW(at(name).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!opened) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            return FolderEntry{};
        return unexpected(lastError());
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(opened.get(), &info))
        return unexpected(lastError());
    return entryOf(info, self.dwVolumeSerialNumber);
}

Expected<std::FILE*, std::error_code> Folder::openRead(std::string_view name,
                                                       FolderEntry* entry) const {
    if (!isSingleName(name) || isDeviceName(name))
        return unexpected(errorOf(EINVAL));
    if (const std::error_code moved = stillAt())
        return unexpected(moved);
    KernelHandle handle(CreateFileW(
        state_->at(name).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
        nullptr));
    if (!handle)
        return unexpected(lastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle.get()) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle.get(), &info))
        return unexpected(errorOf(EINVAL));
    const FolderEntry opened = entryOf(info, state_->self.dwVolumeSerialNumber);
    if (opened.is_link || opened.kind != FileKind::Regular)
        return unexpected(errorOf(opened.is_link ? ELOOP : EINVAL));
    if (entry != nullptr)
        *entry = opened;
    return streamOf(handle);
}

OpenedFlight Folder::openFlight(std::string_view name, bool through_link) const {
    if (!isSingleName(name))
        return refusedName();
    return openFlightAt(state_->at(name), name, through_link);
}

Expected<std::vector<DirectoryEntry>, std::error_code>
Folder::list(const std::function<bool(std::string_view name)>& wanted) const {
    if (const std::error_code moved = stillAt())
        return unexpected(moved);
    return listAt(state_->folder, wanted);
}

std::error_code Folder::rename(std::string_view from, std::string_view to, bool replacing) const {
    if (!isChangeableName(from) || !isChangeableName(to))
        return errorOf(EINVAL);
    if (const std::error_code fault = injectedFault(FaultPoint::Rename))
        return fault;
    if (const std::error_code moved = stillAt())
        return moved;
    // Without MOVEFILE_REPLACE_EXISTING the system itself refuses a taken name.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replacing ? MOVEFILE_REPLACE_EXISTING : 0);
    return MoveFileExW(state_->at(from).c_str(), state_->at(to).c_str(), flags) ? std::error_code()
                                                                                : lastError();
}

std::error_code Folder::link(std::string_view from, std::string_view to) const {
    if (!isChangeableName(from) || !isChangeableName(to))
        return errorOf(EINVAL);
    if (const std::error_code fault = injectedFault(FaultPoint::Link))
        return fault;
    if (const std::error_code moved = stillAt())
        return moved;
    if (CreateHardLinkW(state_->at(to).c_str(), state_->at(from).c_str(), nullptr))
        return {};
    // FAT and most network shares have no second names: ERROR_INVALID_FUNCTION or
    // ERROR_NOT_SUPPORTED, which are EOPNOTSUPP; NTFS gives a file 1023 at most.
    const DWORD failure = GetLastError();
    return errorOf(failure == ERROR_TOO_MANY_LINKS ? EMLINK : errnoOf(failure));
}

std::error_code Folder::remove(std::string_view name) const {
    if (!isChangeableName(name))
        return errorOf(EINVAL);
    if (const std::error_code fault = injectedFault(FaultPoint::Remove))
        return fault;
    if (const std::error_code moved = stillAt())
        return moved;
    const std::wstring path = state_->at(name);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        // A link to a folder is removed as a folder is, the link alone; a folder itself is not a
        // name this removes, as on POSIX systems.
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            return errorOf(EISDIR);
        return RemoveDirectoryW(path.c_str()) ? std::error_code() : lastError();
    }
    return DeleteFileW(path.c_str()) ? std::error_code() : lastError();
}

std::error_code Folder::replaceable(std::string_view name) const {
    if (!isChangeableName(name))
        return errorOf(EINVAL);
    // Opened as a rename opens it: a program that holds it without letting it be deleted keeps
    // it from moving, which is best known before any step is taken.
    KernelHandle file(
        CreateFileW(state_->at(name).c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file)
        return {};
    const DWORD failure = GetLastError();
    return failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND
               ? std::error_code()
               : errorOf(errnoOf(failure));
}

std::error_code Folder::sync() const {
    // Every change here is written through (MOVEFILE_WRITE_THROUGH, FlushFileBuffers) before it
    // returns, and a folder cannot be flushed as a file is; the step is still a step that can
    // fail, as on POSIX systems.
    return injectedFault(FaultPoint::Sync);
}

std::error_code Folder::writeNew(std::string_view name, std::string_view bytes) const {
    if (!isChangeableName(name))
        return errorOf(EINVAL);
    if (const std::error_code fault = injectedFault(FaultPoint::Journal))
        return fault;
    if (const std::error_code moved = stillAt())
        return moved;
    const std::wstring path = state_->at(name);
    KernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return lastError();
    std::error_code error =
        writeAllAt(file.get(), 0, bytes.data(), bytes.size()) ? std::error_code() : lastError();
    if (!error)
        error = flushed(file.get());
    if (!error)
        error = sync();
    if (error) {
        file.reset();
        DeleteFileW(path.c_str());
    }
    return error;
}

std::error_code NewFile::create(const Folder& folder, std::string_view target_name,
                                TemporaryWatcher watcher) {
    discard();
    state_->start(folder, target_name, std::move(watcher));
    if (!isChangeableName(target_name))
        return errorOf(EINVAL);
    if (const std::error_code moved = folder.stillAt())
        return moved;
    return state_->takeName([this, &folder](const std::string& candidate) {
        // Shared for deleting, so that it can be given its place by name while it is open (and
        // read back and looked at after), and an interruption's handler can remove it meanwhile.
        state_->file.reset(CreateFileW(folder.state_->at(candidate).c_str(),
                                       GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        return state_->file ? std::error_code() : lastError();
    });
}

std::error_code NewFile::write(const char* data, std::size_t size) {
    if (const std::error_code refused = state_->writeRefused())
        return refused;
    if (!writeAllAt(state_->file.get(), state_->length, data, size))
        return lastError();
    state_->length += static_cast<std::int64_t>(size);
    return {};
}

Expected<std::size_t, std::error_code> NewFile::readBack(std::int64_t offset, char* data,
                                                         std::size_t size) {
    if (!state_->file)
        return unexpected(errorOf(EBADF));
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD read = 0;
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!ReadFile(state_->file.get(), data, chunk, &read, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF)
            return std::size_t{0};
        return unexpected(lastError());
    }
    return std::size_t{read};
}

std::error_code NewFile::finish(const FolderEntry* /*like*/) {
    // Owners and permission bits are POSIX's: a new file here takes the folder's inherited
    // security, as the file it replaces had.
    if (!state_->file)
        return errorOf(EBADF);
    return flushed(state_->file.get());
}

FileIdentity NewFile::identity() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!state_->file || !GetFileInformationByHandle(state_->file.get(), &info))
        return {};
    return entryOf(info, state_->folder->state_->self.dwVolumeSerialNumber).id;
}

std::error_code NewFile::giveName() {
    // Named from its start: there is no file without a name here.
    return state_->file ? std::error_code() : errorOf(EBADF);
}

struct RunLock::State {
    KernelHandle file; // the lock file, open without sharing
    // The folder's own state, which stays where it is when the folder is moved from.
    const Folder::State* folder = nullptr;
    std::string name;
};

RunLock::RunLock() : state_(std::make_unique<State>()) {}

RunLock::~RunLock() = default;

std::string RunLock::nameFor(std::string_view target_name) {
    return std::string(target_name) + ".lock";
}

std::error_code RunLock::acquire(const Folder& folder, std::string_view target_name,
                                 const FolderEntry& /*target*/, std::uint32_t& owner) {
    state_->file.reset();
    owner = 0; // no numeric owners here
    const std::string name = nameFor(target_name);
    if (!isSingleName(name))
        return errorOf(EINVAL);
    if (isDeviceName(name))
        return errorOf(ENXIO); // a device in every folder, never a lock file
    if (const std::error_code moved = folder.stillAt())
        return moved;
    // Open without any sharing: while this run has it open, every other opening fails, whatever
    // path led there (an 8.3 name, another drive letter for the same folder) and whoever asks,
    // and nobody can remove or replace it; the system closes it when the process ends. Opened
    // for writing, so that only a user who may write there takes the lock (one who may read the
    // file can still keep runs out by holding it open unshared, as any program can any file
    // here); a link at its name is opened itself, never followed.
    KernelHandle file(CreateFileW(folder.state_->at(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    if (!file) {
        const DWORD failure = GetLastError();
        return errorOf(failure == ERROR_SHARING_VIOLATION || failure == ERROR_LOCK_VIOLATION
                           ? EWOULDBLOCK
                           : errnoOf(failure));
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return errorOf(ENXIO);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info))
        return lastError();
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return errorOf(ELOOP);
    state_->file = std::move(file);
    state_->folder = folder.state_.get();
    state_->name = name;
    return {};
}

std::error_code RunLock::stillHeld() const {
    BY_HANDLE_FILE_INFORMATION held{};
    if (!state_->file || !GetFileInformationByHandle(state_->file.get(), &held))
        return errorOf(ESTALE);
    const Expected<FolderEntry, std::error_code> named = state_->folder->look(state_->name);
    if (!named || named->kind != FileKind::Regular || named->is_link)
        return errorOf(ESTALE);
    return named->id.file == fileIndexOf(held) ? std::error_code() : errorOf(ESTALE);
}

} // namespace platform
