#pragma once

// Where the simulator is installed on a system without a registry of its own: the directory
// that THERMORA_DIR names, or the registry of a Wine prefix. Pilots run the simulator in plain
// Wine, in Steam's Proton, in Lutris or in Bottles; each keeps its own prefixes.

#include "install/WineRegistry.h"

#include <QString>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace install {

struct Installation {
    std::string directory;              // the installation directory, bytes of this system
    QString source;                     // where it was found, for the user
    std::int64_t newest_recording = -1; // ms since 1970 of the newest data/IGC/*.igc; -1: none
    QString label = {};                 // the source, short: "Steam (Proton), prefix 2212330"
    bool named_by_pilot = false;        // found in the prefix that WINEPREFIX names
    QString prefix = {};                // the Wine prefix whose registry names it
};

/// A Wine prefix that may hold the simulator.
struct WinePrefix {
    QString path;
    QString description;         // for the user: "Steam Proton prefix /home/jo/.../pfx"
    QString label;               // short: "Steam (Proton), prefix 2212330"
    bool named_by_pilot = false; // WINEPREFIX names it: the pilot's own choice
};

/// Every Wine prefix that may hold the simulator, in the order they are searched: $WINEPREFIX
/// (else ~/.wine); Steam's Proton prefixes (steamapps/compatdata/*/pfx under the Steam roots,
/// the Flatpak Steam's too, and under the extra library folders that libraryfolders.vdf lists);
/// the prefixes of Lutris's game configurations; the bottles of Bottles (also Flatpak). Each
/// once.
std::vector<WinePrefix> winePrefixes();

/// A prefix that holds no installation: its description (as winePrefixes gives it) and why.
struct MissedPrefix {
    QString description;
    WineFailure failure;
    QString path = {};           // the prefix
    bool named_by_pilot = false; // WINEPREFIX names it
};

/// The installations found in `prefixes` (see winePrefixes), in their order, with their newest
/// recordings. `missed` gets each prefix that held none, in their order.
std::vector<Installation> installationsIn(const std::vector<WinePrefix>& prefixes,
                                          std::vector<MissedPrefix>* missed = nullptr);

/// The installation to take among several: the one in the prefix that WINEPREFIX names (the
/// pilot's choice), else the one whose IGC directory holds the newest recording; on equal times
/// (or none anywhere) the first searched.
std::size_t preferredInstallation(const std::vector<Installation>& installations);

/// The short date form that the Wine prefix `prefix` sets for its user: the value "sShortDate" of
/// the key "Control Panel\International" in its user.reg, a Windows date picture such as
/// "dd.MM.yyyy". Empty when the prefix sets none (Wine then takes the Unix locale's form) or its
/// user.reg cannot be read.
QString wineShortDate(const QString& prefix);

} // namespace install
