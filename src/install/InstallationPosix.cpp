#include "install/Installation.h"

#include "install/InstallDir.h"
#include "install/Installations.h"

#include <cstdlib>

namespace install {

bool findInstallation(std::string& dir) {
    return readInstallDir(dir);
}

PresetPaths presetPaths(const std::string& dir) {
    return {dir + "/data/IGC", dir + "/data/logbook.dat"};
}

std::vector<FoundInstallation> everyInstallation() {
    std::vector<FoundInstallation> found;
    if (const char* value = std::getenv("THERMORA_DIR"); value != nullptr && *value != '\0')
        found.push_back({value, "THERMORA_DIR"});
    for (const Installation& installation : installationsIn(winePrefixes()))
        found.push_back({installation.directory, installation.source.toLocal8Bit().toStdString()});
    return found;
}

} // namespace install
