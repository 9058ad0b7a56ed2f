#pragma once

// A quick test that a position lies far outside a cylinder zone, so that the task analysis can
// skip the haversine for most track points. It only ever answers "surely outside": when it
// cannot tell, Waypoint::inZone decides, so the analysis gives exactly the same results with it
// as without it.

#include "nav/NavPoint.h"

#include <limits>

namespace nav {

class CylinderPrefilter {
public:
    CylinderPrefilter() = default;
    /// Bounds for the zone of `waypoint`; a zone other than a Cylinder gets no bounds.
    explicit CylinderPrefilter(const Waypoint& waypoint);

    /// True only when Waypoint::inZone is false for this position (degrees) at any altitude.
    [[nodiscard]] bool surelyOutside(double lat, double lon) const {
        // Written so that NaN anywhere falls through to "cannot tell".
        if (!(lat >= -90.0 && lat <= 90.0)) {
            return false;
        }
        const double dlat = lat - lat_;
        if (dlat > lat_bound_ || -dlat > lat_bound_) {
            return true;
        }
        if (!(lon >= -180.0 && lon <= 180.0)) {
            return false;
        }
        const double dlon = lon > lon_ ? lon - lon_ : lon_ - lon; // 0 to 360
        return dlon >= lon_bound_ && dlon <= 360.0 - lon_bound_;
    }

private:
    // The defaults never tell: every comparison with NaN is false.
    double lat_ = 0.0;                                            // degrees
    double lon_ = 0.0;                                            // degrees
    double lat_bound_ = std::numeric_limits<double>::quiet_NaN(); // degrees of latitude
    double lon_bound_ = std::numeric_limits<double>::quiet_NaN(); // degrees of longitude
};

} // namespace nav
