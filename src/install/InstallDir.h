#pragma once

// Where the Thermora simulator is installed, and the IGC directory and logbook file that the
// dialog and the command line preset from it.

#include <QString>

#include <string>

namespace install {

/// Sets `dir` to the simulator's installation directory, as stored (8-bit text in the file
/// system's encoding, nothing trimmed). On Windows it is the registry value "Location" of
/// HKEY_LOCAL_MACHINE\SOFTWARE\Thermora\Thermora Simulator. Elsewhere, in this order: the
/// environment variable THERMORA_DIR; the same registry value in the Wine prefix $WINEPREFIX
/// (~/.wine when unset), also under Wow6432Node for a 32-bit installer, with its Windows path
/// turned into a path of this system. False when there is none: `dir` is then unchanged and
/// one line on std::cerr names what was tried.
bool readInstallDir(std::string& dir);

struct Presets {
    QString igc_directory; // D/data/IGC
    QString logbook_file;  // D/data/logbook.dat
};

/// The presets of installation directory `dir`, joined with the native separator; `dir` is
/// used exactly as stored (a trailing separator stays, so two stand in a row).
Presets presetsFor(const std::string& dir);

} // namespace install
