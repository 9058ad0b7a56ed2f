#pragma once

// Distance and course on a spherical earth. Two formulas on two sizes of sphere are in use and
// each caller keeps to its own: the law of cosines (sphericalDistance, 111195 m per degree) for
// the fix-to-fix ground speeds, the haversine (6366707.019493707 m per radian, one nautical mile
// per minute of arc) for everything in the task analysis. Their distances differ by about 0.07 %
// and must never be mixed.

namespace nav {

inline constexpr double kDegToRad = 0.017453292519943295; // pi / 180
inline constexpr double kRadToDeg = 57.29577951308232;    // 180 / pi
/// Metres per degree of arc in sphericalDistance (a sphere of about 6371.0 km radius).
inline constexpr double kMetresPerDegree = 111195.0;
/// Metres per radian of arc in the haversine: 180 * 60 / pi nautical miles of 1852 m.
inline constexpr double kMetresPerRadian = 6366707.019493707;
/// Radians; a shorter arc counts as no distance, with course 0.
inline constexpr double kMinimumArc = 1e-13;
inline constexpr double kTwoPi = 6.283185307179586;

/// Great-circle distance (m) between two positions given in degrees, by the law of cosines.
/// Symmetric. The cosine sum is not clamped, so two (almost) equal positions may give NaN; the
/// speed tests of the flight analysis treat NaN as slow.
[[nodiscard]] double sphericalDistance(double lat1, double lon1, double lat2, double lon2) noexcept;

/// Haversine distance and spherical-cosine-rule course, all angles in radians. `course` is in
/// the west-positive convention of the textbook formula: fed with east-positive longitudes it is
/// 2 pi minus the true course (distanceAndCourse undoes that). `distance` in metres. An arc below
/// kMinimumArc gives 0 for both. NaN and infinity pass through unchecked.
void haversineDistanceCourse(double lat1, double lon1, double lat2, double lon2, double& course,
                             double& distance) noexcept;

/// Distance (m) and true course (degrees clockwise from north, 0 to 360 inclusive) from the
/// standing position to the target, all positions in degrees. Coincident positions give
/// distance 0 and course 360.
void distanceAndCourse(double fromLat, double fromLon, double toLat, double toLon, double& distance,
                       double& course) noexcept;

/// The distance part of distanceAndCourse, metres.
[[nodiscard]] double distanceTo(double fromLat, double fromLon, double toLat,
                                double toLon) noexcept;

} // namespace nav
