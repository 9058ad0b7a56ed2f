// Services for callers that drive the task analysis live: forcing a made-up fix into a track
// at a turnpoint it flew past, and traced equality of waypoints.

#include "nav/NavPoint.h"
#include "nav/TaskProgress.h"

#include <cmath>
#include <iostream>

namespace nav {

namespace {

constexpr double kNoDistanceYet = 99999999.0; // metres
constexpr float kLeadTime = 10.0f;            // seconds before the first point
constexpr double kNavPointTolerance = 1e-5;   // degrees, and metres of altitude
constexpr double kZoneTolerance = 1e-6;       // metres and degrees

/// True when the two values differ by more than `tolerance`; a NaN difference does not.
bool differ(double a, double b, double tolerance) {
    return std::fabs(a - b) > tolerance;
}

} // namespace

void TaskProgress::forceTPFix(std::vector<TrackPoint>& track) const {
    if (track.empty() || curr_tp_ < 0 || static_cast<std::size_t>(curr_tp_) >= waypoints_.size()) {
        return;
    }
    const Waypoint& w = waypoints_[static_cast<std::size_t>(curr_tp_)];

    double best = kNoDistanceYet;
    std::size_t c = 0;
    for (std::size_t j = 0; j < track.size(); ++j) {
        const double d = w.distanceFrom(track[j].latitude, track[j].longitude);
        if (d < best) { // the first of equally near points stays
            best = d;
            c = j;
        }
    }
    if (w.inZone(track[c].latitude, track[c].longitude, track[c].altitude)) {
        *diagnostics_ << "forceTPFix: We have a valid fix inside the TP\n";
        return;
    }
    if (c + 1 == track.size()) {
        *diagnostics_ << "forceTPFix: Still closing in on wp! - wait a bit...\n";
        return;
    }

    TrackPoint made_up;
    made_up.latitude = w.lat_;
    made_up.longitude = w.lon_;
    std::size_t at = c;
    if (c == 0) {
        made_up.time = track[0].time - kLeadTime;
        made_up.altitude = track[0].altitude;
    } else {
        // Into the wider of the two time gaps beside the nearest point, halfway across it.
        const double t_before = static_cast<double>(track[c - 1].time);
        const double t_at = static_cast<double>(track[c].time);
        const double t_after = static_cast<double>(track[c + 1].time);
        const std::size_t other = t_at - t_before >= t_after - t_at ? c - 1 : c + 1;
        made_up.time = static_cast<float>((static_cast<double>(track[other].time) + t_at) * 0.5);
        made_up.altitude = (track[other].altitude + track[c].altitude) * 0.5;
        at = other < c ? c : c + 1;
    }
    track.insert(track.begin() + static_cast<std::ptrdiff_t>(at), made_up);
}

bool operator==(const NavPoint& a, const NavPoint& b) {
    std::cerr << "wp1\n";
    std::cerr << a.lat_ << " - " << b.lat_ << " = " << std::fabs(a.lat_ - b.lat_) << std::endl;
    if (differ(a.lat_, b.lat_, kNavPointTolerance)) {
        return false;
    }
    std::cerr << "wp2\n";
    if (differ(a.lon_, b.lon_, kNavPointTolerance)) {
        return false;
    }
    std::cerr << "wp3\n";
    if (differ(a.alt_, b.alt_, kNavPointTolerance)) {
        return false;
    }
    std::cerr << "wp4\n";
    if (a.name_ != b.name_) {
        return false;
    }
    std::cerr << "wp ok\n";
    return true;
}

bool operator==(const Waypoint& a, const Waypoint& b) {
    std::cerr << "tp1\n";
    if (!(static_cast<const NavPoint&>(a) == static_cast<const NavPoint&>(b))) {
        return false;
    }
    std::cerr << "tp2\n";
    if (differ(a.radius_, b.radius_, kZoneTolerance)) {
        return false;
    }
    // With both directions chosen automatically, the stored ones say nothing.
    if (!a.auto_direction_ || !b.auto_direction_) {
        std::cerr << "tp3\n";
        if (differ(a.direction_, b.direction_, kZoneTolerance)) {
            return false;
        }
    }
    std::cerr << "tp4\n";
    if (differ(a.half_angle_, b.half_angle_, kZoneTolerance)) {
        return false;
    }
    std::cerr << "tp5\n";
    if (differ(a.max_altitude_, b.max_altitude_, kZoneTolerance)) {
        return false;
    }
    std::cerr << "tp6\n";
    if (a.auto_direction_ != b.auto_direction_) {
        return false;
    }
    std::cerr << "tp7\n";
    if (a.zone_type_ != b.zone_type_) {
        return false;
    }
    std::cerr << "ok\n";
    return true;
}

} // namespace nav
