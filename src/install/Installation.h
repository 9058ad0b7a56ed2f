#pragma once

// Where the simulator is installed, for the programs that are built without Qt on some systems
// (the command line): the directory as the core takes paths (bytes on POSIX systems, UTF-8 on
// Windows), its presets, and every installation found.

#include <string>
#include <vector>

namespace install {

/// The installation directory: THERMORA_DIR when set and not empty; else, on Windows, the
/// registry's "Location" (64-bit view, then 32-bit); elsewhere the Wine prefixes' (see
/// readInstallDir). False, with one line on std::cerr, when there is none.
bool findInstallation(std::string& dir);

struct PresetPaths {
    std::string igc_directory; // D/data/IGC
    std::string logbook_file;  // D/data/logbook.dat
};

/// The presets of installation directory `dir`, joined with the system's separator; `dir` is
/// used exactly as given (a trailing separator stays, so two stand in a row).
PresetPaths presetPaths(const std::string& dir);

struct FoundInstallation {
    std::string directory;
    std::string source; // where it was found, for the user ("THERMORA_DIR", "Wine prefix ~/.wine")
};

/// Every installation: THERMORA_DIR's first, then the system's, in the order searched.
std::vector<FoundInstallation> everyInstallation();

} // namespace install
