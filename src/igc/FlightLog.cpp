#include "igc/FlightLog.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace igc {

namespace {

// Degrees truncated toward zero; the remainder in minutes, worked out in double precision. As
// the writer does with minutes, NaN counts as 0 and values beyond the 16-bit degrees field are
// clamped to it, so that the conversion stays defined.
void splitDegrees(double value, std::int16_t& degrees, float& minutes) {
    constexpr double kLargest = 32767.0;
    if (std::isnan(value))
        value = 0.0;
    value = std::clamp(value, -kLargest, kLargest);
    const double whole = std::trunc(value);
    degrees = static_cast<std::int16_t>(whole);
    minutes = static_cast<float>((value - whole) * 60.0);
}

} // namespace

Coordinate::Coordinate(double latitude, double longitude) {
    splitDegrees(latitude, lat_deg, lat_min);
    splitDegrees(longitude, lon_deg, lon_min);
}

Fix::Fix(unsigned hour, unsigned minute, unsigned second, double latitude, double longitude,
         int pressure_altitude, int gps_altitude, char validity_char, int fix_accuracy,
         int satellites, int engine_noise)
    : time{static_cast<std::uint8_t>(hour), static_cast<std::uint8_t>(minute),
           static_cast<std::uint8_t>(second)},
      position(latitude, longitude), validity(validity_char),
      pressure_alt(static_cast<std::int16_t>(pressure_altitude)),
      gps_alt(static_cast<std::int16_t>(gps_altitude)),
      fxa(static_cast<std::int16_t>(fix_accuracy)), siu(static_cast<std::uint8_t>(satellites)),
      enl(static_cast<std::int16_t>(engine_noise)) {}

TaskPoint::TaskPoint(double latitude, double longitude, std::string point_name)
    : position(latitude, longitude), name(std::move(point_name)) {}

bool FlightLog::usesPressureAltitude() {
    if (pressure_alt_state_ >= 0)
        return pressure_alt_state_ > 0;
    for (const Fix& fix : fixes_) {
        if (fix.pressure_alt != 0) {
            pressure_alt_state_ = 1;
            return true;
        }
    }
    pressure_alt_state_ = 0;
    return false;
}

double FlightLog::altitudeAt(int index) {
    const Fix& fix = fixes_[static_cast<std::size_t>(index)];
    return usesPressureAltitude() ? fix.pressure_alt : fix.gps_alt;
}

int FlightLog::findAltitudeDrop(double drop) {
    double highest = kNoAltitude;
    const int count = static_cast<int>(fixes_.size());
    for (int i = 0; i < count; ++i) {
        const double altitude = altitudeAt(i);
        if (altitude > highest)
            highest = altitude;
        if (altitude < highest - drop)
            return i;
    }
    return 0;
}

namespace {

// The walk shared by both stable-altitude queries: fixes first, first+step, ... up to last.
template <typename Altitude>
double stableAltitude(int first, int last, int step, int run_length, double tolerance,
                      Altitude altitudeAt) {
    double previous = 0.0;
    int run = 0;
    for (int i = first; i != last; i += step) {
        const double altitude = altitudeAt(i);
        run = std::fabs(altitude - previous) < tolerance ? run + 1 : 0;
        if (run >= run_length)
            return altitude;
        previous = altitude;
    }
    return kNoAltitude;
}

} // namespace

double FlightLog::firstStableAltitude(int run_length, double tolerance) {
    const int count = static_cast<int>(fixes_.size());
    return stableAltitude(0, count, 1, run_length, tolerance,
                          [this](int i) { return altitudeAt(i); });
}

double FlightLog::lastStableAltitude(int run_length, double tolerance) {
    const int count = static_cast<int>(fixes_.size());
    return stableAltitude(count - 1, -1, -1, run_length, tolerance,
                          [this](int i) { return altitudeAt(i); });
}

} // namespace igc
