#include "nav/Geodesy.h"

#include <cmath>

namespace nav {

namespace {

/// Central angle (radians) between two positions in radians, by the haversine. Shared by the
/// course and the distance-only paths so that both give the very same distance.
double haversineArc(double lat1, double lon1, double lat2, double lon2) noexcept {
    const double half_dlat = std::sin((lat1 - lat2) * 0.5);
    const double half_dlon = std::sin((lon1 - lon2) * 0.5);
    const double a =
        half_dlat * half_dlat + std::cos(lat1) * std::cos(lat2) * half_dlon * half_dlon;
    return 2.0 * std::asin(std::sqrt(a));
}

} // namespace

double sphericalDistance(double lat1, double lon1, double lat2, double lon2) noexcept {
    const double phi1 = lat1 * kDegToRad;
    const double lambda1 = lon1 * kDegToRad;
    const double phi2 = lat2 * kDegToRad;
    const double lambda2 = lon2 * kDegToRad;
    const double c = std::sin(phi1) * std::sin(phi2) +
                     std::cos(phi1) * std::cos(phi2) * std::cos(lambda1 - lambda2);
    return std::acos(c) * kRadToDeg * kMetresPerDegree;
}

void haversineDistanceCourse(double lat1, double lon1, double lat2, double lon2, double& course,
                             double& distance) noexcept {
    const double d = haversineArc(lat1, lon1, lat2, lon2);
    if (d < kMinimumArc) { // NaN goes on and is carried to the results
        course = 0.0;
        distance = 0.0;
        return;
    }
    double x = (std::sin(lat2) - std::sin(lat1) * std::cos(d)) / (std::sin(d) * std::cos(lat1));
    // Rounding can push the cosine of the course just past +-1, and a start at a pole (cos phi1
    // about 0) makes it huge or infinite. NaN stays NaN.
    if (x > 1.0) {
        x = 1.0;
    } else if (x < -1.0) {
        x = -1.0;
    }
    double tc = std::acos(x);
    if (!(std::sin(lon2 - lon1) < 0.0)) {
        tc = kTwoPi - tc;
    }
    course = tc;
    distance = d * kMetresPerRadian;
}

void distanceAndCourse(double fromLat, double fromLon, double toLat, double toLon, double& distance,
                       double& course) noexcept {
    double tc = 0.0;
    haversineDistanceCourse(fromLat * kDegToRad, fromLon * kDegToRad, toLat * kDegToRad,
                            toLon * kDegToRad, tc, distance);
    course = 360.0 - tc * kRadToDeg; // mirror the west-positive course into a true course
}

double distanceTo(double fromLat, double fromLon, double toLat, double toLon) noexcept {
    // Same arc as distanceAndCourse, without the course that nobody reads here.
    const double d = haversineArc(fromLat * kDegToRad, fromLon * kDegToRad, toLat * kDegToRad,
                                  toLon * kDegToRad);
    if (d < kMinimumArc) {
        return 0.0;
    }
    return d * kMetresPerRadian;
}

} // namespace nav
