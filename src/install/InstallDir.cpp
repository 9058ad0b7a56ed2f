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

#include "install/Installations.h"

#include <cstdlib>

namespace install {

bool readInstallDir(std::string& dir) {
    const char* value = std::getenv("THERMORA_DIR");
    if (value != nullptr && *value != '\0') {
        dir = value;
        return true;
    }
    QStringList missed;
    const std::vector<Installation> found = installationsIn(winePrefixes(), &missed);
    if (found.empty()) {
        std::cerr << "Error: couldn't find the Thermora installation (THERMORA_DIR is not set; "
                  << missed.front().toLocal8Bit().constData();
        if (missed.size() > 1)
            std::cerr << "; nor in " << missed.size() - 1
                      << " more Wine prefixes of Steam, Lutris or Bottles";
        std::cerr << "); set THERMORA_DIR to the simulator's installation directory\n";
        return false;
    }
    const std::size_t taken = preferredInstallation(found);
    if (found.size() > 1) {
        std::cerr << "Taking the Thermora installation " << found[taken].directory << " ("
                  << found[taken].source.toLocal8Bit().constData()
                  << "): its IGC directory holds the newest recording\n";
        for (std::size_t k = 0; k < found.size(); ++k) {
            if (k != taken)
                std::cerr << "Also found: " << found[k].directory << " ("
                          << found[k].source.toLocal8Bit().constData() << ")\n";
        }
    }
    dir = found[taken].directory;
    return true;
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
