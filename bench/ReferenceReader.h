#pragma once

// The straightforward way to read an IGC file: std::getline into a line buffer and one sscanf
// per record with the record's format. Same results as FlightLog::load, for comparison only.

#include "igc/FlightLog.h"

namespace bench {

bool loadWithSscanf(igc::FlightLog& log, const char* path);

} // namespace bench
