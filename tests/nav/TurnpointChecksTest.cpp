#include "TrackBuilder.h"
#include "nav/TaskProgress.h"
#include "support/CaptureStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using nav::NavPoint;
using nav::TaskProgress;
using nav::TrackPoint;
using nav::Waypoint;
using nav_test::destination;
using testing_support::CaptureStream;

const NavPoint kTurn(47.3, 8.0, "Turn");

TrackPoint fix(float time, const NavPoint& at, double altitude) {
    TrackPoint p;
    p.time = time;
    p.latitude = at.lat_;
    p.longitude = at.lon_;
    p.altitude = altitude;
    return p;
}

/// A track passing the turnpoint at the given distances (m, west of it) and times.
std::vector<TrackPoint> passing(std::initializer_list<std::pair<float, double>> fixes) {
    std::vector<TrackPoint> track;
    double altitude = 1000.0;
    for (const auto& [time, distance] : fixes) {
        track.push_back(fix(time, destination(kTurn.lat_, kTurn.lon_, 270.0, distance), altitude));
        altitude += 100.0;
    }
    return track;
}

TEST(ForceTPFix, InsertsAMadeUpFixOnlyWhenTheTurnpointWasPassedWithoutOne) {
    struct Row {
        const char* name;
        std::vector<TrackPoint> track;
        std::string message;
        std::size_t at;  // index of the made-up fix
        float time;      // seconds
        double altitude; // metres
    };
    const Row rows[] = {
        {"empty track", {}, "", 0, 0.0f, 0.0},
        {"a fix inside the zone", passing({{10.0f, 3000.0}, {20.0f, 400.0}, {30.0f, 2000.0}}),
         "forceTPFix: We have a valid fix inside the TP\n", 0, 0.0f, 0.0},
        {"nearest is the last fix", passing({{10.0f, 3000.0}, {20.0f, 2000.0}, {30.0f, 900.0}}),
         "forceTPFix: Still closing in on wp! - wait a bit...\n", 0, 0.0f, 0.0},
        {"nearest is the first fix", passing({{10.0f, 900.0}, {20.0f, 2000.0}, {30.0f, 3000.0}}),
         "", 0, 0.0f, 1000.0},
        {"equal gaps: before the nearest",
         passing({{10.0f, 3000.0}, {20.0f, 900.0}, {30.0f, 2000.0}}), "", 1, 15.0f, 1050.0},
        {"wider gap after the nearest", passing({{10.0f, 3000.0}, {20.0f, 900.0}, {31.0f, 2000.0}}),
         "", 2, 25.5f, 1150.0},
        {"first of two equally near fixes",
         passing({{10.0f, 3000.0}, {20.0f, 900.0}, {30.0f, 900.0}, {40.0f, 3000.0}}), "", 1, 15.0f,
         1050.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TaskProgress progress;
        progress.addWaypoint(Waypoint(47.0, 8.0, "Start"));
        progress.addWaypoint(Waypoint(kTurn.lat_, kTurn.lon_, "Turn"));
        progress.curr_tp_ = 1;
        std::vector<TrackPoint> track = row.track;
        CaptureStream capture(std::cerr);
        progress.forceTPFix(track);
        EXPECT_EQ(capture.text(), row.message);
        if (!row.message.empty() || row.track.empty()) {
            EXPECT_EQ(track.size(), row.track.size());
            continue;
        }
        ASSERT_EQ(track.size(), row.track.size() + 1);
        const TrackPoint& made_up = track[row.at];
        EXPECT_EQ(made_up.latitude, kTurn.lat_);
        EXPECT_EQ(made_up.longitude, kTurn.lon_);
        EXPECT_EQ(made_up.flags, 0);
        EXPECT_EQ(made_up.time, row.at == 0 ? row.track[0].time - 10.0f : row.time);
        EXPECT_EQ(made_up.altitude, row.altitude);
        for (std::size_t j = 1; j < track.size(); ++j) {
            EXPECT_LE(track[j - 1].time, track[j].time);
        }
    }
}

TEST(ForceTPFix, TheAnalysisThenCountsTheTurnpoint) {
    TaskProgress progress;
    const NavPoint start(47.0, 8.0, "Start");
    const NavPoint finish = destination(kTurn.lat_, kTurn.lon_, 90.0, 20000.0);
    const NavPoint abeam = destination(kTurn.lat_, kTurn.lon_, 180.0, 1500.0);
    progress.addWaypoint(Waypoint(start.lat_, start.lon_, "Start"));
    progress.addWaypoint(Waypoint(kTurn.lat_, kTurn.lon_, "Turn"));
    progress.addWaypoint(Waypoint(finish.lat_, finish.lon_, "Finish"));
    std::vector<TrackPoint> track = nav_test::TrackBuilder(start.lat_, start.lon_, 36000.0, 5.0)
                                        .flyTo(abeam, 30.0)
                                        .flyTo(finish, 30.0)
                                        .points();
    CaptureStream capture(std::cerr);
    progress.analyse(static_cast<double>(track.back().time), track, 0);
    ASSERT_EQ(progress.curr_tp_, 1);
    progress.forceTPFix(track);
    progress.resetProgress(); // the made-up fix lies behind the point where analyse resumes
    progress.analyse(static_cast<double>(track.back().time), track, 0);
    EXPECT_TRUE(progress.finished_);
    ASSERT_EQ(progress.reached_.size(), 2U);
    EXPECT_EQ(progress.reached_[1].name_, "Turn");
}

TEST(NavPointEquality, TracesEachStepAndStopsAtTheFirstDifference) {
    struct Row {
        const char* name;
        NavPoint b; // compared with NavPoint(47.5, 8.25, "A") at 300 m
        bool equal;
        std::string trace;
    };
    auto point = [](double lat, double lon, double alt, const char* name) {
        NavPoint p(lat, lon, name);
        p.alt_ = alt;
        p.id_ = 17; // never compared
        return p;
    };
    const std::string number_line = "47.5 - 47.5 = 0\n";
    const Row rows[] = {
        {"latitude 2e-5 apart", point(47.50002, 8.25, 300.0, "A"), false,
         "wp1\n47.5 - 47.5 = 2e-05\n"},
        {"longitude", point(47.5, 8.2501, 300.0, "A"), false, "wp1\n" + number_line + "wp2\n"},
        {"altitude", point(47.5, 8.25, 301.0, "A"), false, "wp1\n" + number_line + "wp2\nwp3\n"},
        {"name", point(47.5, 8.25, 300.0, "B"), false, "wp1\n" + number_line + "wp2\nwp3\nwp4\n"},
        {"within the tolerance", point(47.5, 8.25, 300.00001, "A"), true,
         "wp1\n" + number_line + "wp2\nwp3\nwp4\nwp ok\n"},
        {"not a number matches", point(47.5, std::numeric_limits<double>::quiet_NaN(), 300.0, "A"),
         true, "wp1\n" + number_line + "wp2\nwp3\nwp4\nwp ok\n"},
    };
    NavPoint a(47.5, 8.25, "A");
    a.alt_ = 300.0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CaptureStream capture(std::cerr);
        EXPECT_EQ(a == row.b, row.equal);
        EXPECT_EQ(capture.text(), row.trace);
    }
}

TEST(WaypointEquality, TracesEachStepAndStopsAtTheFirstDifference) {
    const std::string nav_ok = "wp1\n-999 - -999 = 0\nwp2\nwp3\nwp4\nwp ok\n";
    struct Row {
        const char* name;
        void (*change)(Waypoint& a, Waypoint& b);
        bool equal;
        std::string trace;
    };
    const Row rows[] = {
        {"defaults", [](Waypoint&, Waypoint&) {}, true,
         "tp1\n" + nav_ok + "tp2\ntp4\ntp5\ntp6\ntp7\nok\n"},
        {"position", [](Waypoint&, Waypoint& b) { b.lat_ = 10.0; }, false,
         "tp1\nwp1\n-999 - 10 = 1009\n"},
        {"radius", [](Waypoint&, Waypoint& b) { b.radius_ = 501.0; }, false,
         "tp1\n" + nav_ok + "tp2\n"},
        {"direction, both automatic", [](Waypoint&, Waypoint& b) { b.direction_ = 90.0; }, true,
         "tp1\n" + nav_ok + "tp2\ntp4\ntp5\ntp6\ntp7\nok\n"},
        {"direction, one fixed",
         [](Waypoint& a, Waypoint& b) {
             a.auto_direction_ = false;
             b.direction_ = 90.0;
         },
         false, "tp1\n" + nav_ok + "tp2\ntp3\n"},
        {"same direction, one fixed", [](Waypoint& a, Waypoint&) { a.auto_direction_ = false; },
         false, "tp1\n" + nav_ok + "tp2\ntp3\ntp4\ntp5\ntp6\n"},
        {"half angle", [](Waypoint&, Waypoint& b) { b.half_angle_ = 45.0; }, false,
         "tp1\n" + nav_ok + "tp2\ntp4\n"},
        {"ceiling", [](Waypoint&, Waypoint& b) { b.max_altitude_ = 3000.0; }, false,
         "tp1\n" + nav_ok + "tp2\ntp4\ntp5\n"},
        {"zone type", [](Waypoint&, Waypoint& b) { b.zone_type_ = Waypoint::HalfDisc; }, false,
         "tp1\n" + nav_ok + "tp2\ntp4\ntp5\ntp6\ntp7\n"},
        {"radius within 1e-6", [](Waypoint&, Waypoint& b) { b.radius_ = 500.000001; }, true,
         "tp1\n" + nav_ok + "tp2\ntp4\ntp5\ntp6\ntp7\nok\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Waypoint a;
        Waypoint b;
        row.change(a, b);
        CaptureStream capture(std::cerr);
        EXPECT_EQ(a == b, row.equal);
        EXPECT_EQ(capture.text(), row.trace);
    }
}

} // namespace
