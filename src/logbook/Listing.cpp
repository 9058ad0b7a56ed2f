#include "logbook/Listing.h"

#include <QFile>
#include <QString>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <ostream>

namespace logbook {

namespace {

bool isFlightName(const char* name, std::size_t length) {
    if (length < 4 || name[0] == '.') // hidden entries are never listed
        return false;
    const char* extension = name + length - 4;
    return extension[0] == '.' && (extension[1] | 0x20) == 'i' && (extension[2] | 0x20) == 'g' &&
           (extension[3] | 0x20) == 'c';
}

// Why an entry that is neither a regular file nor a directory is left out.
const char* kindOf(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "not a regular file";
}

std::string joined(const std::string& directory, const std::string& name) {
    // One trailing separator is the directory's own ("IGC/" names IGC); the root keeps it.
    std::string base = directory;
    if (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base.back() != '/')
        base += '/';
    return base + name;
}

struct Listed {
    FlightFile file;
    QString text; // the name as the toolkit shows it, for the order of equal times
};

} // namespace

std::optional<std::vector<FlightFile>> listFlights(const std::string& directory, std::string& why,
                                                   std::ostream& diagnostics) {
    if (directory.empty()) {
        why = "No IGC directory was given";
        return std::nullopt;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.c_str()), closedir);
    if (!dir) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    std::vector<Listed> listed;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (entry == nullptr) {
            if (errno != 0) {
                why = std::strerror(errno);
                return std::nullopt;
            }
            break;
        }
        const std::size_t length = std::strlen(entry->d_name);
        if (!isFlightName(entry->d_name, length))
            continue;
        Listed item;
        item.file.name.assign(entry->d_name, length);
        item.file.path = joined(directory, item.file.name);
        struct stat info {};
        if (fstatat(dirfd(dir.get()), entry->d_name, &info, 0) != 0) {
            const int error = errno;
            struct stat link {};
            const bool is_link =
                fstatat(dirfd(dir.get()), entry->d_name, &link, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(link.st_mode);
            diagnostics << "Skipping " << item.file.path << ": "
                        << (is_link && error == ENOENT  ? "a dangling symbolic link"
                            : is_link && error == ELOOP ? "a loop of symbolic links"
                                                        : std::strerror(error))
                        << "\n";
            continue;
        }
        if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
            diagnostics << "Skipping " << item.file.path << ": " << kindOf(info.st_mode)
                        << ", not a file\n";
            continue;
        }
        item.file.modified_ms = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000 +
                                static_cast<std::int64_t>(info.st_mtim.tv_nsec / 1000000);
        item.text = QFile::decodeName(QByteArray::fromStdString(item.file.name));
        listed.push_back(std::move(item));
    }
    // Oldest first; equal times go by name, descending, compared as text the way the toolkit's
    // listing always ordered them, so that a logbook rebuilt today has yesterday's order.
    std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        if (a.file.modified_ms != b.file.modified_ms)
            return a.file.modified_ms < b.file.modified_ms;
        if (const int order = a.text.compare(b.text); order != 0)
            return order > 0;
        return a.file.name > b.file.name;
    });
    std::vector<FlightFile> files;
    files.reserve(listed.size());
    for (Listed& item : listed)
        files.push_back(std::move(item.file));
    return files;
}

} // namespace logbook
