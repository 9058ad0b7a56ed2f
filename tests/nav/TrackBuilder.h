#pragma once

// Synthetic tracks and positions for the navigation tests: straight legs flown at a given
// ground speed with a fix every few seconds, and positions placed by bearing and distance.

#include "nav/Geodesy.h"
#include "nav/NavPoint.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace nav_test {

/// The position `distance` metres from (lat, lon) on the true `bearing` (degrees), on the
/// haversine sphere of the task analysis.
inline nav::NavPoint destination(double lat, double lon, double bearing, double distance) {
    const double phi1 = lat * nav::kDegToRad;
    const double lambda1 = lon * nav::kDegToRad;
    const double theta = bearing * nav::kDegToRad;
    const double delta = distance / nav::kMetresPerRadian;
    const double phi2 = std::asin(std::sin(phi1) * std::cos(delta) +
                                  std::cos(phi1) * std::sin(delta) * std::cos(theta));
    const double lambda2 = lambda1 + std::atan2(std::sin(theta) * std::sin(delta) * std::cos(phi1),
                                                std::cos(delta) - std::sin(phi1) * std::sin(phi2));
    return {phi2 * nav::kRadToDeg, lambda2 * nav::kRadToDeg};
}

inline nav::Waypoint waypoint(const nav::NavPoint& at, const char* name, double radius = 500.0) {
    nav::Waypoint w(at.lat_, at.lon_, name);
    w.radius_ = radius;
    return w;
}

class TrackBuilder {
public:
    /// A track whose first fix is at (lat, lon) at `time` (seconds of the day).
    TrackBuilder(double lat, double lon, double time, double interval = 1.0)
        : lat_(lat), lon_(lon), time_(time), interval_(interval) {
        add();
    }

    /// Flies straight (linear in degrees) to (lat, lon) at `speed` m/s, a fix every interval
    /// seconds; the last fix lands on the target, after a shorter step if need be.
    TrackBuilder& flyTo(double lat, double lon, double speed) {
        const double lat0 = lat_;
        const double lon0 = lon_;
        const double duration = nav::distanceTo(lat0, lon0, lat, lon) / speed;
        const double t0 = time_;
        const auto steps = static_cast<int>(std::ceil(duration / interval_ - 1e-9));
        for (int k = 1; k <= steps; ++k) {
            const double f = k == steps ? 1.0 : k * interval_ / duration;
            lat_ = lat0 + f * (lat - lat0);
            lon_ = lon0 + f * (lon - lon0);
            time_ = t0 + f * duration;
            add();
        }
        return *this;
    }
    TrackBuilder& flyTo(const nav::NavPoint& p, double speed) {
        return flyTo(p.lat_, p.lon_, speed);
    }

    /// One fix at (lat, lon), `seconds` after the previous one.
    TrackBuilder& jumpTo(const nav::NavPoint& p, double seconds) {
        lat_ = p.lat_;
        lon_ = p.lon_;
        time_ += seconds;
        add();
        return *this;
    }

    /// Sets `flags` on the last fix.
    TrackBuilder& flagLast(std::uint16_t flags) {
        points_.back().flags = flags;
        return *this;
    }

    [[nodiscard]] const std::vector<nav::TrackPoint>& points() const { return points_; }
    [[nodiscard]] double endTime() const { return static_cast<double>(points_.back().time); }

private:
    void add() {
        nav::TrackPoint p;
        p.time = static_cast<float>(time_);
        p.latitude = lat_;
        p.longitude = lon_;
        points_.push_back(p);
    }

    double lat_;
    double lon_;
    double time_;     // seconds
    double interval_; // seconds between fixes
    std::vector<nav::TrackPoint> points_;
};

} // namespace nav_test
