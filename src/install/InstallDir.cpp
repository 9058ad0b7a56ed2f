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

#include <cstdlib>
#include <optional>

namespace install {

namespace {

// The installation directory from the Wine prefix's registry, or why there is none.
std::optional<QString> fromWinePrefix(QString& prefix, QString& why) {
    const QByteArray wine_prefix = qgetenv("WINEPREFIX");
    prefix = !wine_prefix.isEmpty() ? QFile::decodeName(wine_prefix)
                                    : QDir::homePath() + QStringLiteral("/.wine");
    QFile file(prefix + QStringLiteral("/system.reg"));
    if (!file.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("no system.reg");
        return std::nullopt;
    }
    const QStringList keys = {
        QStringLiteral("Software\\Thermora\\Thermora Simulator"),
        QStringLiteral("Software\\Wow6432Node\\Thermora\\Thermora Simulator")};
    const std::optional<QString> location =
        registryString(file.readAll(), keys, QStringLiteral("Location"), why);
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
