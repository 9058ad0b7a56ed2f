#include "install/InstallDir.h"

#include <QDir>
#include <QFile>

#include <iostream>

#ifdef _WIN32

// On Windows readInstallDir reads the registry, without Qt: WindowsRegistry.cpp.

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
