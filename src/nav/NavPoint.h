#pragma once

// The positions the task analysis works on: TrackPoint (one point of a flown track), NavPoint
// (a named position) and Waypoint (a NavPoint with an observation zone).

#include <cstdint>
#include <string>
#include <utility>

namespace nav {

/// One point of a track, in time order along the track.
struct TrackPoint {
    static constexpr std::uint16_t OUTLANDED = 1;      // the glider has landed out
    static constexpr std::uint16_t IGNORED = 2;        // taken in time order, but no progress
    static constexpr std::uint16_t ENGINE_RUNNING = 4; // ends a started attempt like a landing

    float time = 0.0f;      // seconds of the day, continued past 86400 after midnight
    double latitude = 0.0;  // degrees, north positive
    double longitude = 0.0; // degrees, east positive
    double altitude = 0.0;  // metres; compared with a zone's ceiling
    std::uint16_t flags = 0;
};

/// A named position. -999 in a coordinate marks it as unset.
class NavPoint {
public:
    NavPoint() = default;
    NavPoint(double lat, double lon, std::string name = {})
        : lat_(lat), lon_(lon), name_(std::move(name)) {}

    /// Distance (m) and true course (degrees) from (lat, lon) to this point.
    void distanceAndCourseFrom(double lat, double lon, double& distance, double& course) const;
    /// Distance (m) from (lat, lon) to this point, on the haversine sphere.
    [[nodiscard]] double distanceFrom(double lat, double lon) const;
    /// Distance (m) from the other point's position to this point.
    [[nodiscard]] double distanceFrom(const NavPoint& other) const;

    std::int32_t id_ = -1; // -1 when none
    double lat_ = -999.0;  // degrees
    double lon_ = -999.0;  // degrees
    double alt_ = 0.0;     // metres
    std::string name_;
};

/// A task point with its observation zone. Stored where a NavPoint is expected, it keeps only
/// its NavPoint part.
class Waypoint : public NavPoint {
public:
    /// 0 Cylinder, 2 HalfDisc (a Sector of half angle 90 whatever half_angle_ holds), any other
    /// value Sector.
    enum ZoneType : std::int32_t { Cylinder = 0, Sector = 1, HalfDisc = 2 };

    using NavPoint::NavPoint;

    /// True when the position (degrees, degrees, metres) lies inside the observation zone: not
    /// above the ceiling, and strictly within the radius of a Cylinder; within the radius and
    /// the angular opening of a Sector or HalfDisc. The waypoint's own position lies inside
    /// every zone with a positive radius.
    [[nodiscard]] bool inZone(double lat, double lon, double alt) const;

    double radius_ = 500.0;         // metres
    double direction_ = 0.0;        // degrees clockwise from north, a bearing seen from the point
    double half_angle_ = 180.0;     // half opening of a Sector, degrees
    double max_altitude_ = 99999.0; // zone ceiling, metres
    bool auto_direction_ = true;    // when true on both, equality ignores direction_
    ZoneType zone_type_ = Cylinder;
};

/// Traced comparison: writes "wp1" ... "wp ok" to std::cerr, one line per step passed, and
/// stops at the first difference. Latitude, longitude and altitude match within 1e-5 (a NaN
/// difference matches), names exactly; id_ is not compared.
bool operator==(const NavPoint& a, const NavPoint& b);
/// Traced comparison: "tp1", the NavPoint trace, then "tp2" ... "ok"; zone fields within 1e-6.
/// Directions are compared only when auto_direction_ is false on either side.
bool operator==(const Waypoint& a, const Waypoint& b);

} // namespace nav
