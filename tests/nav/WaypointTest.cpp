#include "TrackBuilder.h"
#include "nav/NavPoint.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using nav::Waypoint;
using nav_test::destination;

constexpr double kLat = 47.0;
constexpr double kLon = 8.0;

/// A waypoint at (kLat, kLon) whose radius is exactly the distance of `edge`, about 500 m north.
Waypoint withRadiusTo(const nav::NavPoint& edge) {
    Waypoint w(kLat, kLon, "TP");
    w.radius_ = w.distanceFrom(edge);
    return w;
}

const nav::NavPoint kEdge = destination(kLat, kLon, 0.0, 500.0);

TEST(Waypoint, DefaultsAreUnsetPositionAndA500MetreCylinder) {
    const Waypoint w;
    EXPECT_EQ(w.id_, -1);
    EXPECT_EQ(w.lat_, -999.0);
    EXPECT_EQ(w.lon_, -999.0);
    EXPECT_EQ(w.alt_, 0.0);
    EXPECT_TRUE(w.name_.empty());
    EXPECT_EQ(w.radius_, 500.0);
    EXPECT_EQ(w.direction_, 0.0);
    EXPECT_EQ(w.half_angle_, 180.0);
    EXPECT_EQ(w.max_altitude_, 99999.0);
    EXPECT_TRUE(w.auto_direction_);
    EXPECT_EQ(w.zone_type_, Waypoint::Cylinder);
}

TEST(Waypoint, CylinderIsStrictlyWithinTheRadiusAndNotAboveTheCeiling) {
    Waypoint w = withRadiusTo(kEdge);
    w.max_altitude_ = 2000.0;
    const double edge_lat = kEdge.lat_;

    struct Row {
        const char* name;
        double lat;
        double lon;
        double alt;
        bool inside;
    };
    const Row rows[] = {
        {"above the ceiling", kLat, kLon, 2000.5, false},
        {"on the edge", edge_lat, kEdge.lon_, 0.0, false},
        {"beyond the radius", destination(kLat, kLon, 123.0, 501.0).lat_,
         destination(kLat, kLon, 123.0, 501.0).lon_, 0.0, false},
        {"centre", kLat, kLon, 0.0, true},
        {"at the ceiling", kLat, kLon, 2000.0, true},
        {"just inside the edge", std::nextafter(edge_lat, 0.0), kEdge.lon_, 0.0, true},
        {"inside", destination(kLat, kLon, 250.0, 499.0).lat_,
         destination(kLat, kLon, 250.0, 499.0).lon_, 100.0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(w.inZone(row.lat, row.lon, row.alt), row.inside);
    }
}

TEST(Waypoint, SectorsTestTheBearingSeenFromThePointAlsoAcrossNorth) {
    struct Row {
        const char* name;
        Waypoint::ZoneType type;
        double direction; // degrees
        double half;      // degrees
        double bearing;   // of the position, seen from the waypoint
        double distance;  // metres
        bool inside;
    };
    const Row rows[] = {
        {"sector across north, outside east", Waypoint::Sector, 0.0, 45.0, 90.0, 300.0, false},
        {"sector across north, outside south", Waypoint::Sector, 0.0, 45.0, 180.0, 300.0, false},
        {"sector across north, just west of it", Waypoint::Sector, 0.0, 45.0, 314.0, 300.0, false},
        {"sector across north, beyond the radius", Waypoint::Sector, 0.0, 45.0, 0.0, 501.0, false},
        {"sector across north, due north", Waypoint::Sector, 0.0, 45.0, 0.0, 300.0, true},
        {"sector across north, east side", Waypoint::Sector, 0.0, 45.0, 44.0, 300.0, true},
        {"sector across north, west side", Waypoint::Sector, 0.0, 45.0, 316.0, 300.0, true},
        {"sector to the south-west, outside", Waypoint::Sector, 225.0, 30.0, 190.0, 300.0, false},
        {"sector to the south-west, inside", Waypoint::Sector, 225.0, 30.0, 250.0, 300.0, true},
        {"sector of the whole circle", Waypoint::Sector, 90.0, 180.0, 270.0, 300.0, true},
        {"half disc to the north, south-east", Waypoint::HalfDisc, 0.0, 10.0, 100.0, 300.0, false},
        {"half disc to the north, south-west", Waypoint::HalfDisc, 0.0, 10.0, 260.0, 300.0, false},
        {"half disc to the north, north-east", Waypoint::HalfDisc, 0.0, 10.0, 80.0, 300.0, true},
        {"half disc to the north, north-west", Waypoint::HalfDisc, 0.0, 10.0, 280.0, 300.0, true},
        {"half disc to the south, north-east", Waypoint::HalfDisc, 180.0, 10.0, 80.0, 300.0, false},
        {"half disc to the south, south-east", Waypoint::HalfDisc, 180.0, 10.0, 100.0, 300.0, true},
        {"other zone number is a sector", static_cast<Waypoint::ZoneType>(7), 0.0, 45.0, 90.0,
         300.0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Waypoint w(kLat, kLon, "TP");
        w.zone_type_ = row.type;
        w.direction_ = row.direction;
        w.half_angle_ = row.half;
        const nav::NavPoint p = destination(kLat, kLon, row.bearing, row.distance);
        EXPECT_EQ(w.inZone(p.lat_, p.lon_, 0.0), row.inside);
    }
}

TEST(Waypoint, SectorsIncludeTheirRadiusCylindersDoNot) {
    Waypoint w = withRadiusTo(kEdge);
    const double edge_lat = kEdge.lat_;
    EXPECT_FALSE(w.inZone(edge_lat, kEdge.lon_, 0.0));
    w.zone_type_ = Waypoint::Sector;
    w.half_angle_ = 10.0;
    EXPECT_TRUE(w.inZone(edge_lat, kEdge.lon_, 0.0));
}

TEST(Waypoint, ItsOwnPositionIsInsideEveryZone) {
    for (const auto type : {Waypoint::Cylinder, Waypoint::Sector, Waypoint::HalfDisc}) {
        SCOPED_TRACE(static_cast<int>(type));
        Waypoint w(kLat, kLon, "TP");
        w.zone_type_ = type;
        w.direction_ = 90.0; // the course of a zero arc would give bearing 180: not in the sector
        w.half_angle_ = 30.0;
        EXPECT_TRUE(w.inZone(kLat, kLon, 0.0));
    }
}

} // namespace
