#include "nav/TaskProgress.h"
#include "TrackBuilder.h"
#include "support/CaptureStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nav::NavPoint;
using nav::TaskProgress;
using nav::TrackPoint;
using nav::Waypoint;
using nav_test::destination;
using nav_test::TrackBuilder;
using nav_test::waypoint;
using testing_support::CaptureStream;

constexpr double kT0 = 36000.0; // 10:00:00, seconds of the day
constexpr double kSpeed = 30.0; // m/s

// Start, a turnpoint 30 km north and a finish 25 km east of it.
const NavPoint kStart(47.0, 8.0, "Start");
const NavPoint kNorth = destination(47.0, 8.0, 0.0, 30000.0);
const NavPoint kEast = destination(kNorth.lat_, kNorth.lon_, 90.0, 25000.0);

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

/// A number as the diagnostics write it (the stream's default format).
std::string num(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

TaskProgress progressFor(std::initializer_list<Waypoint> route) {
    TaskProgress progress;
    for (const Waypoint& w : route) {
        progress.addWaypoint(w);
    }
    return progress;
}

TaskProgress threePointTask() {
    return progressFor(
        {waypoint(kStart, "Start"), waypoint(kNorth, "North"), waypoint(kEast, "East")});
}

double dist(const NavPoint& from, const NavPoint& to) {
    return to.distanceFrom(from);
}

/// Runs analyse over the whole track and returns the diagnostic lines.
std::vector<std::string> analyseAll(TaskProgress& progress, const std::vector<TrackPoint>& track,
                                    std::int32_t startNotBefore = 0) {
    CaptureStream capture(std::cerr);
    progress.analyse(static_cast<double>(track.back().time), track, startNotBefore);
    return lines(capture.text());
}

/// The lines of a start detected while leaving the centre of the start zone due north at 30 m/s
/// with 1 s fixes: fix 16 is 480 m out, fix 17 is 510 m; samples every 1.5 m between them.
std::vector<std::string> startFromCentreLines(double t0, int curr_tp = 1) {
    const double exit = (t0 + 16.0) + 1.0 * (13.0 / 20.0);
    return {"exit index = 14", "Found exit time: " + num(exit),
            "Started: t = " + num(exit) + " curr_tp = " + std::to_string(curr_tp)};
}

void expectSameResults(const TaskProgress& a, const TaskProgress& b) {
    EXPECT_EQ(a.task_dist_, b.task_dist_);
    EXPECT_EQ(a.speed_, b.speed_);
    EXPECT_EQ(a.completed_dist_, b.completed_dist_);
    EXPECT_EQ(a.start_time_, b.start_time_);
    EXPECT_EQ(a.task_time_, b.task_time_);
    EXPECT_EQ(a.curr_tp_, b.curr_tp_);
    EXPECT_EQ(a.reached_tp_, b.reached_tp_);
    EXPECT_EQ(a.finished_, b.finished_);
    EXPECT_EQ(a.outlanded_, b.outlanded_);
    EXPECT_EQ(a.in_start_zone_, b.in_start_zone_);
    EXPECT_EQ(a.dist_to_tp_, b.dist_to_tp_);
    ASSERT_EQ(a.reached_.size(), b.reached_.size());
    for (std::size_t k = 0; k < a.reached_.size(); ++k) {
        EXPECT_EQ(a.reached_[k].lat_, b.reached_[k].lat_);
        EXPECT_EQ(a.reached_[k].lon_, b.reached_[k].lon_);
    }
}

TEST(TaskProgress, NothingHappensWithoutARouteOrATrack) {
    const std::vector<TrackPoint> track =
        TrackBuilder(47.0, 8.0, kT0).flyTo(kNorth, kSpeed).points();
    struct Row {
        const char* name;
        std::vector<Waypoint> route;
        std::vector<TrackPoint> track;
    };
    const Row rows[] = {
        {"no waypoints", {}, track},
        {"start only", {waypoint(kStart, "Start")}, track},
        {"empty track", {waypoint(kStart, "Start"), waypoint(kNorth, "North")}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TaskProgress progress;
        for (const Waypoint& w : row.route) {
            progress.addWaypoint(w);
        }
        CaptureStream capture(std::cerr);
        progress.analyse(kT0 + 1e6, row.track, 0);
        EXPECT_EQ(capture.text(), "");
        EXPECT_EQ(progress.speed_, 0.0); // still as constructed: not even reset
        EXPECT_EQ(progress.last_time_, std::numeric_limits<double>::max());
        EXPECT_EQ(progress.curr_tp_, 0);
    }
}

TEST(TaskProgress, CompleteTaskScoresTheLegsBetweenTheWaypointsFromExitToEntry) {
    TaskProgress progress = threePointTask();
    const TrackBuilder track =
        TrackBuilder(kStart.lat_, kStart.lon_, kT0).flyTo(kNorth, kSpeed).flyTo(kEast, kSpeed);

    EXPECT_EQ(analyseAll(progress, track.points()), startFromCentreLines(kT0));

    EXPECT_TRUE(progress.finished_);
    EXPECT_FALSE(progress.outlanded_);
    EXPECT_DOUBLE_EQ(progress.task_dist_, dist(kStart, kNorth) + dist(kNorth, kEast));
    EXPECT_EQ(progress.start_time_, kT0 + 16.65);
    // The finish cylinder is crossed 500 m before the last fix; the entry time is the last of
    // the 21 samples outside, so up to a twentieth of the fix interval early.
    const double finish_entry = progress.start_time_ + progress.task_time_;
    EXPECT_NEAR(finish_entry, track.endTime() - 500.0 / kSpeed - 0.025, 0.03);
    EXPECT_DOUBLE_EQ(progress.speed_, progress.task_dist_ / progress.task_time_ * 3.6);
    ASSERT_EQ(progress.reached_.size(), 2U);
    EXPECT_EQ(progress.reached_[1].name_, "North");
}

TEST(TaskProgress, WritesItsLinesWhereTheCallerSays) {
    // Started, then outlanded halfway to the turnpoint: every kind of line.
    const NavPoint halfway = destination(kStart.lat_, kStart.lon_, 0.0, 15000.0);
    const std::vector<TrackPoint> track = TrackBuilder(kStart.lat_, kStart.lon_, kT0)
                                              .flyTo(halfway, kSpeed)
                                              .flagLast(TrackPoint::OUTLANDED)
                                              .points();
    TaskProgress to_cerr = threePointTask();
    const std::vector<std::string> expected = analyseAll(to_cerr, track);
    ASSERT_EQ(expected.size(), 4U);
    TaskProgress to_stream = threePointTask();
    std::ostringstream diagnostics;
    to_stream.setDiagnostics(diagnostics);
    EXPECT_EQ(analyseAll(to_stream, track), std::vector<std::string>{});
    EXPECT_EQ(lines(diagnostics.str()), expected);
}

TEST(TaskProgress, NeverStartedOrNeverLeftTheStartZoneScoresNothing) {
    struct Row {
        const char* name;
        std::vector<TrackPoint> track;
        bool in_start_zone;
    };
    const NavPoint away = destination(kStart.lat_, kStart.lon_, 200.0, 10000.0);
    const Row rows[] = {
        {"never entered", TrackBuilder(away.lat_, away.lon_, kT0).flyTo(kEast, kSpeed).points(),
         false},
        {"ended inside",
         TrackBuilder(away.lat_, away.lon_, kT0).flyTo(kStart, kSpeed).jumpTo(kStart, 60).points(),
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TaskProgress progress = threePointTask();
        EXPECT_TRUE(analyseAll(progress, row.track).empty());
        EXPECT_EQ(progress.task_dist_, 0.0);
        EXPECT_EQ(progress.speed_, -1.0);
        EXPECT_EQ(progress.in_start_zone_, row.in_start_zone);
        EXPECT_EQ(progress.curr_tp_, row.in_start_zone ? 1 : 0);
    }
}

TEST(TaskProgress, OutlandingAfterTheFirstTurnpointScoresTheProgressOnTheLeg) {
    const NavPoint halfway = destination(kNorth.lat_, kNorth.lon_, 90.0, 12000.0);
    for (const std::uint16_t flag : {TrackPoint::ENGINE_RUNNING, TrackPoint::OUTLANDED}) {
        SCOPED_TRACE(flag);
        TaskProgress progress = threePointTask();
        // After the outlanding the glider goes on into the finish zone: nothing changes.
        TrackBuilder builder(kStart.lat_, kStart.lon_, kT0);
        builder.flyTo(kNorth, kSpeed).flyTo(halfway, kSpeed).flagLast(flag);
        const double landed = builder.endTime();
        builder.flyTo(kEast, kSpeed);

        std::vector<std::string> expected = startFromCentreLines(kT0);
        expected.push_back("Outlanded: curr dist = 0, t = " + num(landed));
        EXPECT_EQ(analyseAll(progress, builder.points()), expected);

        const double remaining = dist(halfway, kEast);
        EXPECT_TRUE(progress.outlanded_);
        EXPECT_FALSE(progress.finished_);
        EXPECT_EQ(progress.curr_tp_, 0);
        EXPECT_NEAR(progress.task_dist_, dist(kStart, kNorth) + dist(kNorth, kEast) - remaining,
                    1e-6);
        EXPECT_EQ(progress.task_time_, landed - progress.start_time_);
        EXPECT_DOUBLE_EQ(progress.speed_, progress.task_dist_ / progress.task_time_ * 3.6);
    }
}

TEST(TaskProgress, OutlandingFartherFromTheTargetThanTheLegScoresZeroNotLess) {
    TaskProgress progress = threePointTask();
    const NavPoint south = destination(kStart.lat_, kStart.lon_, 180.0, 3000.0);
    const std::vector<TrackPoint> track = TrackBuilder(kStart.lat_, kStart.lon_, kT0)
                                              .flyTo(south, kSpeed)
                                              .flagLast(TrackPoint::ENGINE_RUNNING)
                                              .points();
    const std::vector<std::string> out = analyseAll(progress, track);
    ASSERT_EQ(out.size(), 4U);
    EXPECT_EQ(out[3],
              "Outlanded: curr dist = 0, t = " + num(static_cast<double>(track.back().time)));
    EXPECT_TRUE(progress.outlanded_);
    EXPECT_EQ(progress.task_dist_, 0.0);
    EXPECT_EQ(progress.speed_, -1.0);
}

TEST(TaskProgress, AStartZoneEnteredAgainBeforeTheTurnpointRestartsTheAttempt) {
    TaskProgress progress = threePointTask();
    const NavPoint out = destination(kStart.lat_, kStart.lon_, 0.0, 2000.0);
    TrackBuilder builder(kStart.lat_, kStart.lon_, kT0);
    builder.flyTo(out, kSpeed).flyTo(kStart, kSpeed);
    const double second_start = builder.endTime();
    builder.flyTo(kNorth, kSpeed).flyTo(kEast, kSpeed);

    std::vector<std::string> expected = startFromCentreLines(kT0);
    for (const std::string& line : startFromCentreLines(second_start)) {
        expected.push_back(line);
    }
    EXPECT_EQ(analyseAll(progress, builder.points()), expected);
    EXPECT_TRUE(progress.finished_);
    EXPECT_EQ(progress.start_time_, second_start + 16.65);
    EXPECT_DOUBLE_EQ(progress.task_dist_, dist(kStart, kNorth) + dist(kNorth, kEast));
}

TEST(TaskProgress, IgnoredPointsAreTakenButMakeNoProgress) {
    TaskProgress progress = threePointTask();
    std::vector<TrackPoint> track = TrackBuilder(kStart.lat_, kStart.lon_, kT0)
                                        .flyTo(kNorth, kSpeed)
                                        .flyTo(kEast, kSpeed)
                                        .points();
    for (TrackPoint& p : track) { // every fix in the finish zone
        if (nav::distanceTo(p.latitude, p.longitude, kEast.lat_, kEast.lon_) < 600.0) {
            p.flags = TrackPoint::IGNORED;
        }
    }
    analyseAll(progress, track);
    EXPECT_FALSE(progress.finished_);
    EXPECT_EQ(progress.next_fix_, static_cast<std::int32_t>(track.size() - 1));
    EXPECT_EQ(progress.last_time_, static_cast<double>(track.back().time));
    EXPECT_EQ(progress.curr_tp_, 2);
    EXPECT_EQ(progress.dist_to_tp_, 0.0); // the last point taken, ignored or not, is the position
}

TEST(TaskProgress, ResumingOverAGrowingTrackGivesTheResultsOfOneCall) {
    const std::vector<TrackPoint> track = TrackBuilder(kStart.lat_, kStart.lon_, kT0)
                                              .flyTo(kNorth, kSpeed)
                                              .flyTo(kEast, kSpeed)
                                              .points();
    TaskProgress once = threePointTask();
    const std::vector<std::string> once_lines = analyseAll(once, track);

    TaskProgress growing = threePointTask();
    CaptureStream capture(std::cerr);
    for (double end = kT0; end < static_cast<double>(track.back().time) + 50.0; end += 37.0) {
        growing.analyse(end, track, 0);
    }
    EXPECT_EQ(lines(capture.text()), once_lines);
    expectSameResults(growing, once);
}

TEST(TaskProgress, TheSameEndTimeChangesNothingAnEarlierOneStartsOver) {
    const std::vector<TrackPoint> track = TrackBuilder(kStart.lat_, kStart.lon_, kT0)
                                              .flyTo(kNorth, kSpeed)
                                              .flyTo(kEast, kSpeed)
                                              .points();
    const double midway = kT0 + 1500.0; // on the first leg
    TaskProgress progress = threePointTask();
    analyseAll(progress, track);
    const TaskProgress first = progress;
    {
        CaptureStream capture(std::cerr);
        progress.analyse(static_cast<double>(track.back().time), track, 0);
        EXPECT_EQ(capture.text(), "");
    }
    expectSameResults(progress, first);

    TaskProgress fresh = threePointTask();
    analyseAll(fresh, std::vector<TrackPoint>(track.begin(), track.begin() + 1501));
    EXPECT_EQ(static_cast<double>(track[1500].time), midway);
    CaptureStream capture(std::cerr);
    progress.analyse(midway, track, 0);
    expectSameResults(progress, fresh);
    EXPECT_FALSE(progress.finished_);
}

TEST(TaskProgress, StartZonePointsBeforeStartNotBeforeAreIgnored) {
    // In the start zone at 10:00:00 and 10:00:49.75, then out of it northwards with a fix
    // every 20 s, the first 600 m out.
    const std::vector<TrackPoint> track = TrackBuilder(kStart.lat_, kStart.lon_, kT0, 20.0)
                                              .jumpTo(kStart, 49.75)
                                              .flyTo(kNorth, kSpeed)
                                              .flyTo(kEast, kSpeed)
                                              .points();
    struct Row {
        const char* name;
        std::int32_t start_not_before;
        bool started;
    };
    const Row rows[] = {
        {"whole seconds of the last fix inside are below it", 36050, false},
        {"equals the whole seconds of the last fix inside", 36049, true},
        {"zero", 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TaskProgress progress = threePointTask();
        const std::vector<std::string> out = analyseAll(progress, track, row.start_not_before);
        EXPECT_EQ(out.size(), row.started ? 3U : 0U);
        EXPECT_EQ(progress.finished_, row.started);
        EXPECT_EQ(progress.speed_ > 0.0, row.started);
    }
}

TEST(TaskProgress, AFixedStartTakesStartNotBeforeAsTheStartTime) {
    TaskProgress progress = threePointTask();
    progress.fixed_start_ = true;
    const std::vector<TrackPoint> track = TrackBuilder(kStart.lat_, kStart.lon_, kT0)
                                              .flyTo(kNorth, kSpeed)
                                              .flyTo(kEast, kSpeed)
                                              .points();
    EXPECT_EQ(analyseAll(progress, track, 36005),
              std::vector<std::string>{"Started: t = 36005 curr_tp = 1"});
    EXPECT_TRUE(progress.finished_);
    EXPECT_EQ(progress.start_time_, 36005.0);
    EXPECT_NEAR(progress.task_time_,
                static_cast<double>(track.back().time) - 500.0 / kSpeed - 36005.0, 0.1);
}

TEST(TaskProgress, AHalfDiscStartCountsOnlyWhenLeftThroughItsArc) {
    // The start zone is the northern half of the disc.
    Waypoint start = waypoint(kStart, "Start");
    start.zone_type_ = Waypoint::HalfDisc;
    start.direction_ = 0.0;
    const NavPoint north_inside = destination(kStart.lat_, kStart.lon_, 0.0, 300.0);
    const NavPoint south = destination(kStart.lat_, kStart.lon_, 180.0, 1000.0);
    const NavPoint south_east = destination(kStart.lat_, kStart.lon_, 135.0, 1000.0);
    const NavPoint east = destination(kStart.lat_, kStart.lon_, 80.0, 1000.0);

    {
        SCOPED_TRACE("left through the arc");
        TaskProgress progress =
            progressFor({start, waypoint(kNorth, "North"), waypoint(kEast, "East")});
        const std::vector<TrackPoint> track = TrackBuilder(kStart.lat_, kStart.lon_, kT0)
                                                  .flyTo(kNorth, kSpeed)
                                                  .flyTo(kEast, kSpeed)
                                                  .points();
        EXPECT_EQ(analyseAll(progress, track), startFromCentreLines(kT0));
        EXPECT_TRUE(progress.finished_);
    }
    {
        SCOPED_TRACE("left through the closed side, then passing round outside");
        TaskProgress progress =
            progressFor({start, waypoint(kNorth, "North"), waypoint(kEast, "East")});
        // South out of the zone: refused at every fix with a southern bearing; the first fix
        // bearing 80 from the start passes the test and records a start that goes nowhere.
        const std::vector<TrackPoint> track =
            TrackBuilder(north_inside.lat_, north_inside.lon_, kT0, 10.0)
                .flyTo(south, kSpeed)
                .jumpTo(south_east, 30.0)
                .jumpTo(east, 30.0)
                .flyTo(kNorth, kSpeed)
                .flyTo(kEast, kSpeed)
                .points();
        std::size_t east_index = 0;
        while (track[east_index].latitude != east.lat_) {
            ++east_index;
        }
        const std::string a_time = num(static_cast<double>(track[east_index - 1].time));
        EXPECT_EQ(analyseAll(progress, track),
                  (std::vector<std::string>{"exit index = 0", "Found exit time: " + a_time,
                                            "Started: t = " + a_time + " curr_tp = 0"}));
        EXPECT_FALSE(progress.finished_);
        EXPECT_EQ(progress.curr_tp_, 0);
        EXPECT_EQ(progress.task_dist_, 0.0);
        EXPECT_EQ(progress.speed_, -1.0);
    }
}

TEST(TaskProgress, ALargeZoneBooksItsPointThatLengthensTheRouteMost) {
    // Out and return: the finish is the start, so the score of a point is twice its distance
    // from the start.
    const NavPoint entry = destination(kNorth.lat_, kNorth.lon_, 180.0, 2950.0);
    const NavPoint west = destination(kNorth.lat_, kNorth.lon_, 270.0, 2000.0);
    const NavPoint far_north = destination(kNorth.lat_, kNorth.lon_, 0.0, 2900.0);
    const NavPoint east = destination(kNorth.lat_, kNorth.lon_, 90.0, 2000.0);
    struct Row {
        const char* name;
        std::vector<NavPoint> ignored; // fixes in the zone after the entry, flagged IGNORED
        NavPoint booked;
    };
    const Row rows[] = {
        {"no other fix: the entry fix", {}, entry},
        {"the farthest of the fixes inside", {west, far_north, east}, far_north},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TaskProgress progress =
            progressFor({waypoint(kStart, "Start"), waypoint(kNorth, "North", 3000.0),
                         waypoint(kStart, "Finish")});
        TrackBuilder builder(kStart.lat_, kStart.lon_, kT0);
        builder.flyTo(destination(kNorth.lat_, kNorth.lon_, 180.0, 3050.0), kSpeed)
            .jumpTo(entry, 4.0);
        for (const NavPoint& p : row.ignored) {
            builder.jumpTo(p, 60.0).flagLast(TrackPoint::IGNORED);
        }
        builder.jumpTo(destination(kNorth.lat_, kNorth.lon_, 180.0, 2000.0), 60.0);
        builder.flyTo(kStart, kSpeed);
        analyseAll(progress, builder.points());

        ASSERT_EQ(progress.reached_.size(), 2U);
        const NavPoint& booked = progress.reached_[1];
        EXPECT_EQ(booked.lat_, row.booked.lat_);
        EXPECT_EQ(booked.lon_, row.booked.lon_);
        EXPECT_EQ(booked.id_, -1);
        EXPECT_EQ(booked.alt_, 0.0);
        EXPECT_EQ(booked.name_, "");
        EXPECT_TRUE(progress.finished_);
        EXPECT_DOUBLE_EQ(progress.task_dist_, 2.0 * dist(kStart, row.booked));
    }
}

/// A two-point task whose length is exactly `metres` or just above it, along the equator.
TaskProgress equatorTask(double metres, bool just_above) {
    const NavPoint origin(0.0, 0.0, "A");
    double lon = metres / nav::kMetresPerRadian * nav::kRadToDeg;
    for (int n = 0; n < 10000 && nav::distanceTo(0.0, 0.0, 0.0, lon) < metres; ++n) {
        lon = std::nextafter(lon, 1.0);
    }
    for (int n = 0; n < 10000 && nav::distanceTo(0.0, 0.0, 0.0, lon) > metres; ++n) {
        lon = std::nextafter(lon, 0.0);
    }
    if (just_above) {
        while (nav::distanceTo(0.0, 0.0, 0.0, lon) <= metres) {
            lon = std::nextafter(lon, 1.0);
        }
    }
    return progressFor({waypoint(origin, "A"), waypoint(NavPoint(0.0, lon), "B")});
}

TEST(TaskProgress, NoSpeedForExactly5000Metres) {
    for (const bool just_above : {false, true}) {
        SCOPED_TRACE(just_above ? "just above" : "exactly");
        TaskProgress progress = equatorTask(5000.0, just_above);
        const Waypoint& finish = progress.waypoints_[1];
        ASSERT_EQ(finish.distanceFrom(progress.waypoints_[0]) == 5000.0, !just_above);
        analyseAll(progress, TrackBuilder(0.0, 0.0, kT0).flyTo(finish, kSpeed).points());
        EXPECT_TRUE(progress.finished_);
        EXPECT_EQ(progress.task_dist_ > 5000.0, just_above);
        EXPECT_EQ(progress.speed_ > 0.0, just_above);
    }
}

// Gaps in reached_: a zone reached straight from the previous one, or never left before the
// track ends. The start or turnpoint left behind is booked before anything measures from it,
// and the distance stays between 0 and the route through the reached points.
TEST(TaskProgress, ZonesReachedStraightFromThePreviousOneAreBookedInOrder) {
    const NavPoint near_north = destination(kStart.lat_, kStart.lon_, 0.0, 1200.0);
    const NavPoint just_out = destination(kStart.lat_, kStart.lon_, 0.0, 800.0);
    const NavPoint next_door = destination(kNorth.lat_, kNorth.lon_, 90.0, 900.0);
    const NavPoint before_north = destination(kNorth.lat_, kNorth.lon_, 180.0, 2000.0);
    const NavPoint six_km = destination(kStart.lat_, kStart.lon_, 0.0, 6000.0);
    struct Row {
        const char* name;
        std::vector<NavPoint> route;
        std::vector<TrackPoint> track;
        std::size_t reached; // entries of reached_ at the end
    };
    const Row rows[] = {
        {"start zone straight into the first turnpoint's",
         {kStart, near_north, kEast},
         TrackBuilder(kStart.lat_, kStart.lon_, kT0)
             .jumpTo(just_out, 10.0)
             .flyTo(near_north, kSpeed)
             .flyTo(kEast, kSpeed)
             .points(),
         2},
        {"start zone straight into the finish",
         {kStart, six_km},
         TrackBuilder(kStart.lat_, kStart.lon_, kT0).jumpTo(six_km, 100.0).points(),
         1},
        {"turnpoint straight into the next turnpoint's zone",
         {kStart, kNorth, next_door, kEast},
         TrackBuilder(kStart.lat_, kStart.lon_, kT0)
             .flyTo(before_north, kSpeed)
             .jumpTo(kNorth, 60.0)
             .jumpTo(next_door, 30.0)
             .flyTo(kEast, kSpeed)
             .points(),
         3},
        {"turnpoint straight into the finish",
         {kStart, kNorth, next_door},
         TrackBuilder(kStart.lat_, kStart.lon_, kT0)
             .flyTo(before_north, kSpeed)
             .jumpTo(kNorth, 60.0)
             .jumpTo(next_door, 30.0)
             .points(),
         2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TaskProgress progress;
        double route_length = 0.0;
        for (std::size_t k = 0; k < row.route.size(); ++k) {
            progress.addWaypoint(waypoint(row.route[k], "TP"));
            if (k > 0) {
                route_length += dist(row.route[k - 1], row.route[k]);
            }
        }
        const std::vector<std::string> out = analyseAll(progress, row.track);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.back().rfind("Started: t = ", 0), 0U) << out.back();
        EXPECT_TRUE(progress.finished_);
        ASSERT_EQ(progress.reached_.size(), row.reached);
        for (std::size_t k = 0; k < row.reached; ++k) {
            EXPECT_EQ(progress.reached_[k].lat_, row.route[k].lat_);
        }
        EXPECT_NEAR(progress.task_dist_, route_length, 1e-6);
        EXPECT_GT(progress.speed_, 0.0);
    }
}

TEST(TaskProgress, TheFinishIsNeverBookedBeforeTheStart) {
    // Two 3000 m cylinders 5.5 km apart: the first fix lies in both, the next in the finish only.
    // One fix pair leaves the start and enters the finish; the finish may not come first.
    const NavPoint finish = destination(kStart.lat_, kStart.lon_, 90.0, 5500.0);
    const NavPoint in_both = destination(kStart.lat_, kStart.lon_, 90.0, 2750.0);
    const NavPoint in_finish = destination(kStart.lat_, kStart.lon_, 90.0, 4000.0);
    for (const double interval : {1.0, 10.0}) {
        SCOPED_TRACE(interval);
        TaskProgress progress =
            progressFor({waypoint(kStart, "Start", 3000.0), waypoint(finish, "Finish", 3000.0)});
        const std::vector<TrackPoint> track =
            TrackBuilder(in_both.lat_, in_both.lon_, kT0).jumpTo(in_finish, interval).points();
        analyseAll(progress, track);
        EXPECT_TRUE(progress.finished_);
        EXPECT_GE(progress.task_time_, 0.0);
        EXPECT_EQ(progress.speed_, -1.0);
    }
}

TEST(TaskProgress, ATurnpointReachedByTheLastPointTakenIsBooked) {
    const NavPoint before_north = destination(kNorth.lat_, kNorth.lon_, 180.0, 2000.0);
    const NavPoint past_north = destination(kNorth.lat_, kNorth.lon_, 90.0, 300.0);
    struct Row {
        const char* name;
        std::uint16_t last_flags; // of a fix after the one that reached the turnpoint
        double progress_on_leg;   // metres
    };
    const Row rows[] = {
        {"the track ends on it", 0, 0.0},
        {"the engine runs at the next fix", TrackPoint::ENGINE_RUNNING, 300.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TaskProgress progress = threePointTask();
        TrackBuilder builder(kStart.lat_, kStart.lon_, kT0);
        builder.flyTo(before_north, kSpeed).jumpTo(kNorth, 60.0);
        if (row.last_flags != 0) {
            builder.jumpTo(past_north, 10.0).flagLast(row.last_flags);
        }
        analyseAll(progress, builder.points());
        ASSERT_EQ(progress.reached_.size(), 2U);
        EXPECT_EQ(progress.reached_[1].name_, "North");
        EXPECT_NEAR(progress.task_dist_, dist(kStart, kNorth) + row.progress_on_leg, 0.5);
        EXPECT_GE(progress.task_dist_, 0.0);
        EXPECT_LE(progress.task_dist_, dist(kStart, kNorth) + dist(kNorth, kEast));

        // Taken again by a second call, the point changes nothing more.
        const TaskProgress first = progress;
        progress.analyse(builder.endTime(), builder.points(), 0);
        expectSameResults(progress, first);
    }
}

TEST(TaskProgress, ACallThatTakesNoPointKeepsThePreviousResults) {
    TaskProgress progress = threePointTask();
    std::vector<TrackPoint> track(2);
    track[0].time = -5.0f; // before the start of the day: skipped
    track[0].latitude = kEast.lat_;
    track[0].longitude = kEast.lon_;
    track[1].time = 200.0f; // beyond the end time
    CaptureStream capture(std::cerr);
    progress.analyse(100.0, track, 0);
    EXPECT_EQ(progress.dist_to_tp_, 0.0);
    EXPECT_EQ(progress.next_fix_, 0);
    EXPECT_EQ(progress.speed_, -1.0);
}

TEST(TaskProgress, CrossingTimesSampleTheStraightLineBetweenTwoFixes) {
    const Waypoint w = waypoint(kStart, "Start");
    auto fix = [](double time, const NavPoint& p) {
        TrackPoint t;
        t.time = static_cast<float>(time);
        t.latitude = p.lat_;
        t.longitude = p.lon_;
        return t;
    };
    // Samples every 52.5 m from the centre: 472.5 m (k = 9) inside, 525 m (k = 10) outside.
    const TrackPoint centre = fix(100.0, kStart);
    const TrackPoint out = fix(120.0, destination(kStart.lat_, kStart.lon_, 0.0, 1050.0));
    const TrackPoint also_in = fix(120.0, destination(kStart.lat_, kStart.lon_, 0.0, 400.0));
    const TrackPoint far = fix(90.0, destination(kStart.lat_, kStart.lon_, 0.0, 3000.0));
    struct Row {
        const char* name;
        bool exit;
        TrackPoint a, b;
        int n;
        double time;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"exit, first sample outside",
         true,
         far,
         out,
         20,
         90.0,
         {"exit index = 0", "Found exit time: 90"}},
        {"exit, every sample inside", true, centre, also_in, 20, 120.0, {"Found exit time: 120"}},
        {"exit, leaving",
         true,
         centre,
         out,
         20,
         109.0,
         {"exit index = 10", "Found exit time: 109"}},
        {"exit, no samples", true, centre, out, -1, 100.0, {"Found exit time: 100"}},
        {"exit, one sample", true, centre, out, 0, 100.0, {"Found exit time: 100"}},
        {"entry, first sample inside", false, centre, out, 20, 100.0, {}},
        {"entry, never inside", false, far, out, 20, 120.0, {}},
        {"entry, coming in", false, out, centre, 20, 110.0, {}},
        {"entry, no samples", false, out, centre, -1, 120.0, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CaptureStream capture(std::cerr);
        const double t = row.exit ? TaskProgress::findExitTime(w, row.a, row.b, row.n)
                                  : TaskProgress::findEntryTime(w, row.a, row.b, row.n);
        EXPECT_DOUBLE_EQ(t, row.time);
        EXPECT_EQ(lines(capture.text()), row.lines);
    }
}

TEST(TaskProgress, LiveDisplayOperations) {
    TaskProgress progress = threePointTask();
    EXPECT_EQ(progress.taskDescription(), "Start - North - East");
    EXPECT_EQ(TaskProgress().taskDescription(), "");
    EXPECT_EQ(progress.waypointCount(), 3);
    EXPECT_EQ(progress.task_length_, -1.0);
    EXPECT_DOUBLE_EQ(progress.computeTaskLength(), dist(kStart, kNorth) + dist(kNorth, kEast));

    progress.curr_tp_ = 1;
    progress.leg_length_ = dist(kStart, kNorth);
    progress.task_time_ = 1000.0;
    progress.updatePosition(kNorth.lat_, kNorth.lon_ - 0.1); // west of the turnpoint
    EXPECT_GT(progress.task_dist_, 20000.0);
    EXPECT_DOUBLE_EQ(progress.speed_, progress.task_dist_ / 1000.0 * 3.6);
    progress.updatePosition(kStart.lat_, kStart.lon_);
    EXPECT_EQ(progress.task_dist_, 0.0);
    EXPECT_EQ(progress.speed_, -1.0);

    progress.advanceTurnpoint();
    EXPECT_EQ(progress.curr_tp_, 2);
    EXPECT_DOUBLE_EQ(progress.completed_dist_, dist(kStart, kNorth));
    EXPECT_DOUBLE_EQ(progress.leg_length_, dist(kNorth, kEast));
    EXPECT_NEAR(progress.leg_course_, 90.0, 0.2);
    progress.advanceTurnpoint(); // at the finish already: nothing
    EXPECT_EQ(progress.curr_tp_, 2);

    progress.clear();
    EXPECT_EQ(progress.waypointCount(), 0);
    EXPECT_EQ(progress.task_length_, -1.0);
    EXPECT_EQ(progress.last_time_, std::numeric_limits<double>::max());
}

} // namespace
