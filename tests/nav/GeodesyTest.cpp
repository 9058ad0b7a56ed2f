#include "nav/Geodesy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#ifdef THERMORA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/Geodesic.hpp>
#endif

namespace {

using nav::distanceAndCourse;
using nav::distanceTo;
using nav::sphericalDistance;

constexpr double kOneDegreeArc = 0.017453292519943295 * 6366707.019493707; // metres

TEST(DistanceAndCourse, CardinalDirectionsFromTheOrigin) {
    struct Row {
        const char* name;
        double to_lat;
        double to_lon;
        double course;   // degrees
        double distance; // metres
    };
    const Row rows[] = {
        {"north", 1.0, 0.0, 0.0, kOneDegreeArc},    {"east", 0.0, 1.0, 90.0, kOneDegreeArc},
        {"south", -1.0, 0.0, 180.0, kOneDegreeArc}, {"west", 0.0, -1.0, 270.0, kOneDegreeArc},
        {"same place", 0.0, 0.0, 360.0, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        double distance = -1.0;
        double course = -1.0;
        distanceAndCourse(0.0, 0.0, row.to_lat, row.to_lon, distance, course);
        EXPECT_NEAR(distance, row.distance, 1e-6);
        EXPECT_NEAR(course, row.course, 1e-9);
        EXPECT_EQ(distanceTo(0.0, 0.0, row.to_lat, row.to_lon), distance);
    }
}

TEST(DistanceAndCourse, ArcsBelowTheMinimumAreNoDistanceWithCourse360) {
    double distance = -1.0;
    double course = -1.0;
    distanceAndCourse(47.123456789, 8.5, 47.123456789 + 1e-12, 8.5, distance, course);
    EXPECT_EQ(distance, 0.0);
    EXPECT_EQ(course, 360.0);
}

TEST(DistanceAndCourse, ReverseCourseDiffersByAboutHalfACircle) {
    double d1 = 0.0;
    double c1 = 0.0;
    double d2 = 0.0;
    double c2 = 0.0;
    distanceAndCourse(47.0, 8.0, 47.2, 8.3, d1, c1);
    distanceAndCourse(47.2, 8.3, 47.0, 8.0, d2, c2);
    EXPECT_DOUBLE_EQ(d1, d2);
    EXPECT_NEAR(std::fabs(c1 - c2), 180.0, 0.5); // meridians converge a little
}

TEST(DistanceAndCourse, NotANumberTravelsToBothResults) {
    double distance = 0.0;
    double course = 0.0;
    distanceAndCourse(std::numeric_limits<double>::quiet_NaN(), 8.0, 47.0, 8.0, distance, course);
    EXPECT_TRUE(std::isnan(distance));
    EXPECT_TRUE(std::isnan(course));
}

TEST(SphericalDistance, OneDegreeOfLongitudeOnTheEquator) {
    EXPECT_NEAR(sphericalDistance(0.0, 0.0, 0.0, 1.0), 111195.0, 1e-6);
}

TEST(SphericalDistance, EqualPositionsGiveZeroOrNotANumber) {
    for (const double lat : {0.0, 47.3977, -33.9, 89.99}) {
        SCOPED_TRACE(lat);
        const double d = sphericalDistance(lat, 8.54, lat, 8.54);
        EXPECT_TRUE(d == 0.0 || std::isnan(d)) << d;
    }
}

TEST(SphericalDistance, IsExactlySymmetric) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> lat(-90.0, 90.0);
    std::uniform_real_distribution<double> lon(-180.0, 180.0);
    for (int n = 0; n < 2000; ++n) {
        const double lat1 = lat(random);
        const double lon1 = lon(random);
        const double lat2 = lat(random);
        const double lon2 = lon(random);
        ASSERT_EQ(sphericalDistance(lat1, lon1, lat2, lon2),
                  sphericalDistance(lat2, lon2, lat1, lon1));
    }
}

// GeographicLib on a sphere (flattening 0) as an independent oracle, over random pairs away from
// coincident and antipodal points. The tolerances below are what the formulas reach, with
// room of about ten times the largest error seen.
class GeodesyOracle : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef THERMORA_HAVE_GEOGRAPHICLIB
        GTEST_SKIP() << "GeographicLib (libgeographiclib-dev) was not found when configuring: "
                        "the geodesy is NOT checked against the oracle";
#endif
    }

    struct Pair {
        double lat1, lon1, lat2, lon2;
    };

    /// Random pairs, half of them short (up to 50 km apart) as in a task.
    static std::vector<Pair> randomPairs(int count) {
        std::mt19937_64 random(20240601);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        std::vector<Pair> pairs;
        while (static_cast<int>(pairs.size()) < count) {
            Pair p{};
            p.lat1 = std::asin(2.0 * uniform(random) - 1.0) * nav::kRadToDeg;
            p.lon1 = 360.0 * uniform(random) - 180.0;
            if (pairs.size() % 2 == 0) {
                p.lat2 = std::asin(2.0 * uniform(random) - 1.0) * nav::kRadToDeg;
                p.lon2 = 360.0 * uniform(random) - 180.0;
            } else {
                p.lat2 = p.lat1 + 0.9 * (uniform(random) - 0.5);
                p.lon2 = p.lon1 + 0.9 * (uniform(random) - 0.5);
            }
            // Away from the poles (the course is undefined there), coincident points and
            // antipodes (where the haversine loses its precision).
            if (std::fabs(p.lat1) > 89.0 || std::fabs(p.lat2) > 89.0) {
                continue;
            }
            const double arc =
                nav::distanceTo(p.lat1, p.lon1, p.lat2, p.lon2) / nav::kMetresPerRadian;
            if (arc < 1e-6 || arc > 3.0) {
                continue;
            }
            pairs.push_back(p);
        }
        return pairs;
    }
};

TEST_F(GeodesyOracle, HaversineDistanceAndTrueCourse) {
#ifdef THERMORA_HAVE_GEOGRAPHICLIB
    const GeographicLib::Geodesic sphere(nav::kMetresPerRadian, 0.0);
    double worst_relative = 0.0;
    double worst_course = 0.0;
    for (const Pair& p : randomPairs(5000)) {
        double s12 = 0.0;
        double azi1 = 0.0;
        double azi2 = 0.0;
        sphere.Inverse(p.lat1, p.lon1, p.lat2, p.lon2, s12, azi1, azi2);
        double distance = 0.0;
        double course = 0.0;
        distanceAndCourse(p.lat1, p.lon1, p.lat2, p.lon2, distance, course);

        const double relative = std::fabs(distance - s12) / s12;
        double course_error = std::fabs(course - (azi1 < 0.0 ? azi1 + 360.0 : azi1));
        course_error = std::min(course_error, 360.0 - course_error);
        worst_relative = std::max(worst_relative, relative);
        worst_course = std::max(worst_course, course_error);
        ASSERT_LT(relative, 1e-11) << p.lat1 << ' ' << p.lon1 << ' ' << p.lat2 << ' ' << p.lon2;
        ASSERT_LT(course_error, 1.5e-8)
            << p.lat1 << ' ' << p.lon1 << ' ' << p.lat2 << ' ' << p.lon2;
    }
    RecordProperty("worst_relative_distance", std::to_string(worst_relative));
    RecordProperty("worst_course_degrees", std::to_string(worst_course));
    std::cout << "haversine vs oracle: relative distance error " << worst_relative
              << ", course error " << worst_course << " degrees\n";
#endif
}

TEST_F(GeodesyOracle, LawOfCosinesDistance) {
#ifdef THERMORA_HAVE_GEOGRAPHICLIB
    const GeographicLib::Geodesic sphere(111195.0 * 57.29577951308232, 0.0);
    double worst_absolute = 0.0;
    for (const Pair& p : randomPairs(5000)) {
        double s12 = 0.0;
        sphere.Inverse(p.lat1, p.lon1, p.lat2, p.lon2, s12);
        const double distance = sphericalDistance(p.lat1, p.lon1, p.lat2, p.lon2);
        // The cosine of a short arc is close to 1, where acos loses half the digits: the error
        // is absolute (metres), not relative.
        const double absolute = std::fabs(distance - s12);
        worst_absolute = std::max(worst_absolute, absolute);
        ASSERT_LT(absolute, 4e-5) << p.lat1 << ' ' << p.lon1 << ' ' << p.lat2 << ' ' << p.lon2;
    }
    RecordProperty("worst_absolute_metres", std::to_string(worst_absolute));
    std::cout << "law of cosines vs oracle: absolute distance error " << worst_absolute << " m\n";
#endif
}

} // namespace
