#include "install/Installation.h"

namespace install {

std::string passedOverText(const InstallationSearch& search) {
    std::string text;
    const auto add = [&text](const std::string& part) {
        text += (text.empty() ? "" : "; ") + part;
    };
    // The first Wine prefix is the pilot's own ($WINEPREFIX or ~/.wine) and worth its reason; the
    // games' prefixes after it can be dozens, so they are counted.
    std::size_t more_prefixes = 0;
    bool prefix_told = false;
    for (const PassedOver& place : search.passed_over) {
        switch (place.kind) {
        case PlaceKind::Environment:
            add(place.place + " is " + place.reason);
            break;
        case PlaceKind::WinePrefix:
            if (prefix_told) {
                ++more_prefixes;
                break;
            }
            prefix_told = true;
            [[fallthrough]];
        case PlaceKind::Registry:
            add(place.place + ": " + place.reason);
            break;
        }
    }
    if (more_prefixes > 0)
        add("nor in " + std::to_string(more_prefixes) +
            " more Wine prefixes of Steam, Lutris or Bottles");
    return text;
}

std::string notFoundDiagnostic(const InstallationSearch& search) {
    return "Error: couldn't find the Thermora installation (" + passedOverText(search) +
           "); set THERMORA_DIR to the simulator's installation directory";
}

std::string notFoundText(const InstallationSearch& search) {
    return "no Thermora installation found (" + passedOverText(search) + ")";
}

std::string choiceText(const InstallationSearch& search) {
    if (!search.taken || search.found.size() < 2 ||
        search.found[*search.taken].kind == PlaceKind::Environment)
        return {};
    const FoundInstallation& taken = search.found[*search.taken];
    std::string text = "Taking the Thermora installation " + taken.directory + " (" + taken.source +
                       "): its IGC directory holds the newest recording\n";
    for (std::size_t k = 0; k < search.found.size(); ++k) {
        if (k != *search.taken)
            text +=
                "Also found: " + search.found[k].directory + " (" + search.found[k].source + ")\n";
    }
    return text;
}

} // namespace install
