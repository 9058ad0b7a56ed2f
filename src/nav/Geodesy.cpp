#include "nav/Geodesy.h"

#include "nav/Trigonometry.h"

#include <cmath>

namespace nav {

namespace {

/// Central angle (radians) between two positions in radians, by the haversine. Shared by the
/// course and the distance-only paths so that both give the very same distance.
double haversineArc(double lat1, double lon1, double lat2, double lon2) noexcept {
    const double half_dlat = trig::sin((lat1 - lat2) * 0.5);
    const double half_dlon = trig::sin((lon1 - lon2) * 0.5);
    const double a =
        half_dlat * half_dlat + trig::cos(lat1) * trig::cos(lat2) * half_dlon * half_dlon;
    return 2.0 * trig::asin(std::sqrt(a));
}

} // namespace

double sphericalDistance(double lat1, double lon1, double lat2, double lon2) noexcept {
    const double phi1 = lat1 * kDegToRad;
    const double lambda1 = lon1 * kDegToRad;
    const double phi2 = lat2 * kDegToRad;
    const double lambda2 = lon2 * kDegToRad;
    // Near 1 for nearby positions, so that one bit of a sine here is some 5e-6 of a distance
    // of 30 m: the trigonometry is this library's own, the same on every system.
    double sin1 = 0.0;
    double cos1 = 0.0;
    double sin2 = 0.0;
    double cos2 = 0.0;
    trig::sinCos(phi1, sin1, cos1);
    trig::sinCos(phi2, sin2, cos2);
    const double c = sin1 * sin2 + cos1 * cos2 * trig::cos(lambda1 - lambda2);
    return trig::acos(c) * kRadToDeg * kMetresPerDegree;
}

void haversineDistanceCourse(double lat1, double lon1, double lat2, double lon2, double& course,
                             double& distance) noexcept {
    const double d = haversineArc(lat1, lon1, lat2, lon2);
    if (d < kMinimumArc) { // NaN goes on and is carried to the results
        course = 0.0;
        distance = 0.0;
        return;
    }
    double sin1 = 0.0;
    double cos1 = 0.0;
    double sin_d = 0.0;
    double cos_d = 0.0;
    trig::sinCos(lat1, sin1, cos1);
    trig::sinCos(d, sin_d, cos_d);
    double x = (trig::sin(lat2) - sin1 * cos_d) / (sin_d * cos1);
    // Rounding can push the cosine of the course just past +-1, and a start at a pole (cos phi1
    // about 0) makes it huge or infinite. NaN stays NaN.
    if (x > 1.0) {
        x = 1.0;
    } else if (x < -1.0) {
        x = -1.0;
    }
    double tc = trig::acos(x);
    if (!(trig::sin(lon2 - lon1) < 0.0)) {
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
