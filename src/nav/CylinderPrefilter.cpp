#include "nav/CylinderPrefilter.h"

#include "nav/Geodesy.h"

#include <cmath>

namespace nav {

// Why the bounds are safe. For latitudes within [-90, 90] both cosines in the haversine are
// non-negative, so its sum a is at least each of its two terms, and the arc is at least the
// latitude difference and at least 2 asin(sqrt(cos phi1 cos phi2) |sin(dlambda / 2)|). The
// bounds below ask for an arc of 1e-4 more than the radius plus 1e-12 rad: far beyond the
// rounding of the haversine (about 1e-16 rad absolute, 1e-15 relative away from antipodes, and
// near antipodes the margin is still 1e-4 of pi), and beyond the 1e-13 rad below which the
// haversine gives 0. A position past a bound is therefore not strictly within the radius.

CylinderPrefilter::CylinderPrefilter(const Waypoint& waypoint)
    : lat_(waypoint.lat_), lon_(waypoint.lon_) {
    if (waypoint.zone_type_ != Waypoint::Cylinder || !(lat_ >= -90.0 && lat_ <= 90.0) ||
        !(lon_ >= -180.0 && lon_ <= 180.0) || !std::isfinite(waypoint.radius_)) {
        return; // cannot tell anything: inZone decides every position
    }
    const double radius = waypoint.radius_ > 0.0 ? waypoint.radius_ : 0.0;
    const double arc = radius / kMetresPerRadian * (1.0 + 1e-4) + 1e-12; // radians
    lat_bound_ = arc * kRadToDeg;
    if (lat_bound_ >= 180.0) {
        return; // no latitude difference reaches it; no longitude bound either
    }

    // Longitude: a position that passed the latitude bound has |latitude| <= max_lat.
    const double max_lat = (std::fabs(lat_) + lat_bound_) * (1.0 + 1e-6);
    if (max_lat >= 89.9) {
        return; // meridians converge: leave these to inZone
    }
    const double cos_product =
        std::cos(max_lat * kDegToRad) * std::cos(lat_ * kDegToRad) * (1.0 - 1e-9);
    const double s = std::sin(arc * 0.5) / std::sqrt(cos_product);
    if (!(s < 1.0)) {
        return;
    }
    lon_bound_ = 2.0 * std::asin(s) * kRadToDeg * (1.0 + 1e-6) + 1e-12;
}

} // namespace nav
