#include "install/Installation.h"

#include "install/Installations.h"

#include <cstdlib>

namespace install {

InstallationSearch searchInstallations(SearchExtent extent) {
    InstallationSearch search;
    if (const char* value = std::getenv("THERMORA_DIR"); value != nullptr && *value != '\0') {
        search.found.push_back({value, "THERMORA_DIR", PlaceKind::Environment, "THERMORA_DIR"});
        search.taken = 0;
        search.because = TakenBecause::Environment;
        if (extent == SearchExtent::UntilTaken)
            return search;
    } else {
        search.passed_over.push_back({PlaceKind::Environment, "THERMORA_DIR", "not set"});
    }
    std::vector<MissedPrefix> missed;
    const std::vector<Installation> installations = installationsIn(winePrefixes(), &missed);
    for (const MissedPrefix& prefix : missed)
        search.passed_over.push_back({PlaceKind::WinePrefix,
                                      prefix.description.toLocal8Bit().toStdString(),
                                      prefix.reason.toLocal8Bit().toStdString()});
    if (!search.taken && !installations.empty()) {
        const std::size_t preferred = preferredInstallation(installations);
        search.taken = search.found.size() + preferred;
        search.because = installations[preferred].named_by_pilot ? TakenBecause::WinePrefix
                         : installations.size() > 1               ? TakenBecause::NewestRecording
                                                                  : TakenBecause::OnlyOne;
    }
    for (const Installation& installation : installations)
        search.found.push_back({installation.directory,
                                installation.source.toLocal8Bit().toStdString(),
                                PlaceKind::WinePrefix,
                                installation.label.toLocal8Bit().toStdString()});
    return search;
}

PresetPaths presetPaths(const std::string& dir) {
    return {dir + "/data/IGC", dir + "/data/logbook.dat", {}};
}

} // namespace install
