#pragma once

// What each system adds to the search for the simulator (InstallationPosix.cpp,
// InstallationWindows.cpp). The rest of the search, THERMORA_DIR first and winning when set, is
// the same everywhere (searchInstallations in Installation.cpp).

#include "install/Installation.h"

#include <string>

namespace install {

/// THERMORA_DIR as the core takes paths (bytes on POSIX systems, UTF-8 on Windows); empty when
/// it is not set.
std::string environmentDirectory();

/// Adds the system's own places to `search`: each installation found there, in the order
/// searched, and each place that held none. Takes the one to prefer among them, and says why,
/// unless `search` has taken one already.
void searchSystem(InstallationSearch& search);

} // namespace install
