#include "nav/NavPoint.h"

#include "nav/Geodesy.h"

namespace nav {

void NavPoint::distanceAndCourseFrom(double lat, double lon, double& distance,
                                     double& course) const {
    distanceAndCourse(lat, lon, lat_, lon_, distance, course);
}

double NavPoint::distanceFrom(double lat, double lon) const {
    return distanceTo(lat, lon, lat_, lon_);
}

double NavPoint::distanceFrom(const NavPoint& other) const {
    return distanceTo(other.lat_, other.lon_, lat_, lon_);
}

namespace {

/// Whether a bearing (degrees, 0 to 360) lies in [lo, hi], the interval running clockwise and
/// wrapping through north when lo > hi.
bool bearingBetween(double bearing, double lo, double hi) {
    if (lo <= hi) {
        return bearing >= lo && bearing <= hi;
    }
    return bearing >= lo || bearing <= hi;
}

} // namespace

bool Waypoint::inZone(double lat, double lon, double alt) const {
    if (alt > max_altitude_) {
        return false;
    }
    if (zone_type_ == Cylinder) {
        return distanceFrom(lat, lon) < radius_;
    }

    const double half = zone_type_ == HalfDisc ? 90.0 : half_angle_;
    double d = 0.0;
    double course = 0.0; // from the position to the waypoint
    distanceAndCourseFrom(lat, lon, d, course);
    if (d > radius_) {
        return false;
    }
    // The apex has no bearing (the course of a zero arc is a stand-in); it belongs to the zone,
    // so that a fix forced onto the waypoint counts.
    if (d == 0.0) {
        return true;
    }
    // An opening of the whole circle would make lo and hi meet in one bearing.
    if (half >= 180.0) {
        return true;
    }
    double lo = direction_ - half;
    if (lo < 0.0) {
        lo += 360.0;
    }
    double hi = direction_ + half;
    if (hi > 360.0) {
        hi -= 360.0;
    }
    // direction_ is a bearing seen from the waypoint, so turn the course round.
    double bearing = course + 180.0;
    if (bearing >= 360.0) {
        bearing -= 360.0;
    }
    return bearingBetween(bearing, lo, hi);
}

} // namespace nav
