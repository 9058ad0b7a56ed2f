#include "install/InstallDir.h"

#include <QDir>
#include <QFile>

#include <iostream>

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>

namespace install {

namespace {

// The system's text for a registry error code, without the line end that FormatMessage
// appends, so that the diagnostic stays on one line.
std::string systemMessage(LONG code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

} // namespace

bool readInstallDir(std::string& dir) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Thermora\\Thermora Simulator", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        std::cerr << "Error: couldn't open registry key!\n";
        return false;
    }
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    const LONG result = RegQueryValueExA(key, "Location", nullptr, nullptr,
                                         reinterpret_cast<LPBYTE>(buffer), &size);
    if (result != ERROR_SUCCESS) {
        std::cerr << "Error: couldn't read registry key! (" << systemMessage(result) << ")\n";
        RegCloseKey(key);
        return false;
    }
    // A value stored without its terminating NUL fills the buffer to the end: read no further
    // than the bytes the registry returned.
    dir.assign(buffer, strnlen(buffer, size));
    RegCloseKey(key);
    return true;
}

} // namespace install

#else

#include "install/WineRegistry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace install {

namespace {

// Wine's system.reg holds a few megabytes at most; anything far larger is not a registry.
constexpr off_t kMaxRegistrySize = 64 * 1024 * 1024;

// Reads the registry file, but only a regular file of sane size: a named pipe would block the
// start for ever and a link to an endless device would fill the memory.
bool readRegistryFile(const QByteArray& path, QByteArray& content, QString& why) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = errno == ENOENT ? QStringLiteral("no system.reg")
                              : QStringLiteral("system.reg: %1")
                                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat info {};
    bool ok = fstat(fd, &info) == 0;
    if (ok && !S_ISREG(info.st_mode)) {
        why = QStringLiteral("system.reg is not a regular file");
        ok = false;
    } else if (ok && info.st_size > kMaxRegistrySize) {
        why = QStringLiteral("system.reg is larger than 64 MiB");
        ok = false;
    }
    if (ok) {
        content.resize(static_cast<qsizetype>(info.st_size));
        qsizetype at = 0;
        while (at < content.size()) {
            const ssize_t got =
                ::read(fd, content.data() + at, static_cast<std::size_t>(content.size() - at));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            at += got;
        }
        content.truncate(at); // a file that shrank while it was read
    }
    ::close(fd);
    return ok;
}

// The installation directory from the Wine prefix's registry, or why there is none.
std::optional<QString> fromWinePrefix(QString& prefix, QString& why) {
    const QByteArray wine_prefix = qgetenv("WINEPREFIX");
    prefix = !wine_prefix.isEmpty() ? QFile::decodeName(wine_prefix)
                                    : QDir::homePath() + QStringLiteral("/.wine");
    QByteArray registry;
    if (!readRegistryFile(QFile::encodeName(prefix + QStringLiteral("/system.reg")), registry, why))
        return std::nullopt;
    const QStringList keys = {
        QStringLiteral("Software\\Thermora\\Thermora Simulator"),
        QStringLiteral("Software\\Wow6432Node\\Thermora\\Thermora Simulator")};
    const std::optional<QString> location =
        registryString(registry, keys, QStringLiteral("Location"), why);
    if (!location)
        return std::nullopt;
    return unixPath(prefix, *location, why);
}

} // namespace

bool readInstallDir(std::string& dir) {
    const char* value = std::getenv("THERMORA_DIR");
    if (value != nullptr && *value != '\0') {
        dir = value;
        return true;
    }
    QString prefix;
    QString why;
    if (const std::optional<QString> found = fromWinePrefix(prefix, why)) {
        dir = QFile::encodeName(*found).toStdString();
        return true;
    }
    std::cerr << "Error: couldn't find the Thermora installation (THERMORA_DIR is not set; Wine "
                 "prefix "
              << QFile::encodeName(prefix).constData() << ": " << why.toLocal8Bit().constData()
              << "); set THERMORA_DIR to the simulator's installation directory\n";
    return false;
}

} // namespace install

#endif

namespace install {

Presets presetsFor(const std::string& dir) {
    const QString base = QFile::decodeName(QByteArray::fromStdString(dir));
    const QString data = base + QDir::separator() + QStringLiteral("data") + QDir::separator();
    return {data + QStringLiteral("IGC"), data + QStringLiteral("logbook.dat")};
}

} // namespace install
