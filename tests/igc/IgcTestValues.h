#pragma once

// Small values shared by the IGC library's tests: coordinates as the model holds them, and what
// the IGC text of a value stands for.

#include "igc/FlightLog.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace igc_testing {

inline igc::Coordinate at(std::int16_t lat_deg, float lat_min, std::int16_t lon_deg,
                          float lon_min) {
    igc::Coordinate c;
    c.lat_deg = lat_deg;
    c.lat_min = lat_min;
    c.lon_deg = lon_deg;
    c.lon_min = lon_min;
    return c;
}

inline igc::TaskPoint point(const igc::Coordinate& position, const std::string& name) {
    igc::TaskPoint p;
    p.position = position;
    p.name = name;
    return p;
}

/// The signed minutes the IGC text stands for: whole minutes and truncated thousandths.
inline double writtenMinutes(float minutes) {
    const double magnitude = std::fabs(static_cast<double>(minutes));
    const double whole = std::trunc(magnitude);
    const double value = whole + std::trunc((magnitude - whole) * 1000.0) / 1000.0;
    return minutes < 0.0f ? -value : value;
}

/// The decimal degrees that the IGC text of one axis stands for, signed by the hemisphere.
inline double writtenDegrees(std::int16_t degrees, float minutes) {
    const double value = std::abs(degrees) + std::fabs(writtenMinutes(minutes)) / 60.0;
    return (degrees < 0 || minutes < 0.0f) ? -value : value;
}

/// "hh:mm:ss".
inline std::string clockText(const igc::IgcTime& time) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    return text;
}

} // namespace igc_testing
