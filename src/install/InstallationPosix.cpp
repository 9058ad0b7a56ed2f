#include "install/SystemSearch.h"

#include "install/Installations.h"
#include "install/WineRegistry.h"

#include <cstdlib>

namespace install {

std::string environmentDirectory() {
    const char* value = std::getenv("THERMORA_DIR");
    return value == nullptr ? std::string() : std::string(value);
}

void searchSystem(InstallationSearch& search) {
    std::vector<MissedPrefix> missed;
    const std::vector<Installation> installations = installationsIn(winePrefixes(), &missed);
    for (const MissedPrefix& prefix : missed)
        search.passed_over.push_back({PlaceKind::WinePrefix,
                                      prefix.description.toLocal8Bit().toStdString(),
                                      wineReason(prefix.failure).toLocal8Bit().toStdString()});
    if (!search.taken && !installations.empty()) {
        const std::size_t preferred = preferredInstallation(installations);
        search.taken = search.found.size() + preferred;
        search.because = installations[preferred].named_by_pilot ? TakenBecause::WinePrefix
                         : installations.size() > 1              ? TakenBecause::NewestRecording
                                                                 : TakenBecause::OnlyOne;
    }
    for (const Installation& installation : installations)
        search.found.push_back(
            {installation.directory, installation.source.toLocal8Bit().toStdString(),
             PlaceKind::WinePrefix, installation.label.toLocal8Bit().toStdString()});
}

PresetPaths presetPaths(const std::string& dir) {
    return {dir + "/data/IGC", dir + "/data/logbook.dat", {}};
}

} // namespace install
