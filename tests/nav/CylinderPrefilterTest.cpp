#include "nav/CylinderPrefilter.h"
#include "TrackBuilder.h"
#include "nav/TaskProgress.h"
#include "support/CaptureStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using nav::CylinderPrefilter;
using nav::NavPoint;
using nav::TaskProgress;
using nav::TrackPoint;
using nav::Waypoint;
using nav_test::destination;

// The prefilter may only ever say "outside" where inZone says so too. Positions are drawn
// mostly close to the zone's edge, where a bound that is too tight would show.
TEST(CylinderPrefilter, NeverRejectsAPositionInsideTheZone) {
    std::mt19937_64 random(99);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double radii[] = {0.0, 1e-9, 1.0, 500.0, 501.5, 3000.0, 2e6, 2.1e7, -5.0, nan};
    const double centres[][2] = {{47.0, 8.0},   {0.0, 0.0},      {-33.9, 151.2}, {89.99, 10.0},
                                 {-90.0, 0.0},  {65.0, 179.999}, {12.0, -180.0}, {-999.0, -999.0},
                                 {45.0, 540.0}, {91.0, 0.0}};
    long rejected = 0;
    long checked = 0;
    for (const auto& centre : centres) {
        for (const double radius : radii) {
            Waypoint w(centre[0], centre[1], "TP");
            w.radius_ = radius;
            const CylinderPrefilter filter(w);
            for (int n = 0; n < 2000; ++n) {
                const double r = std::isfinite(radius) ? std::fabs(radius) : 500.0;
                // Near the edge, both sides, down to a few ulps; sometimes anywhere.
                double distance =
                    r * (1.0 + (uniform(random) - 0.5) * std::pow(10.0, -15.0 * uniform(random)));
                if (n % 10 == 0) {
                    distance = 2e7 * uniform(random);
                }
                const NavPoint p = destination(std::fmax(-90.0, std::fmin(90.0, centre[0])),
                                               centre[1], 360.0 * uniform(random), distance);
                ++checked;
                if (filter.surelyOutside(p.lat_, p.lon_)) {
                    ++rejected;
                    ASSERT_FALSE(w.inZone(p.lat_, p.lon_, 0.0))
                        << "centre " << centre[0] << ' ' << centre[1] << " radius " << radius
                        << " at " << p.lat_ << ' ' << p.lon_;
                }
            }
        }
    }
    EXPECT_GT(rejected, checked / 10); // it does reject something
}

TEST(CylinderPrefilter, RejectsPositionsClearOfTheZoneBox) {
    Waypoint w(47.0, 8.0, "TP");
    const CylinderPrefilter filter(w);
    for (const double bearing : {0.0, 90.0, 180.0, 270.0}) {
        SCOPED_TRACE(bearing);
        const NavPoint near = destination(47.0, 8.0, bearing, 400.0);
        const NavPoint clear = destination(47.0, 8.0, bearing, 520.0);
        EXPECT_FALSE(filter.surelyOutside(near.lat_, near.lon_));
        EXPECT_TRUE(filter.surelyOutside(clear.lat_, clear.lon_));
    }
    Waypoint sector = w;
    sector.zone_type_ = Waypoint::Sector;
    EXPECT_FALSE(CylinderPrefilter(sector).surelyOutside(50.0, 8.0)); // only cylinders
}

/// The diagnostics and results of one analyse over `track`.
struct Outcome {
    std::string text;
    TaskProgress progress;
};

Outcome analyse(const std::vector<Waypoint>& route, const std::vector<TrackPoint>& track) {
    Outcome outcome;
    for (const Waypoint& w : route) {
        outcome.progress.addWaypoint(w);
    }
    testing_support::CaptureStream capture(std::cerr);
    outcome.progress.analyse(static_cast<double>(track.back().time), track, 0);
    outcome.text = capture.text();
    return outcome;
}

// End to end: a Sector of half angle 180 is the same disc as a Cylinder (they differ only for
// a point exactly on the radius) and is never prefiltered. Over random tasks and tracks the
// two must give the same diagnostics and results to the last bit.
TEST(CylinderPrefilter, AnalyseGivesTheSameResultsAsWithoutIt) {
    std::mt19937_64 random(4242);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    int finished = 0;
    for (int task = 0; task < 60; ++task) {
        SCOPED_TRACE(task);
        const double lat0 = -70.0 + 140.0 * uniform(random);
        const double lon0 = task % 5 == 0 ? 179.9 : -180.0 + 360.0 * uniform(random);
        std::vector<Waypoint> cylinders;
        NavPoint at(lat0, lon0);
        const int count = 2 + static_cast<int>(4.0 * uniform(random));
        for (int k = 0; k < count; ++k) {
            Waypoint w(at.lat_, at.lon_, "TP");
            w.radius_ = k % 3 == 1 ? 3000.0 : 500.0;
            cylinders.push_back(w);
            at = destination(at.lat_, at.lon_, 360.0 * uniform(random),
                             3000.0 + 20000.0 * uniform(random));
        }
        // Fly near every waypoint, missing some of them, with random fix intervals and flags.
        nav_test::TrackBuilder builder(lat0 + 0.02 * (uniform(random) - 0.5), lon0, 36000.0,
                                       1.0 + 9.0 * uniform(random));
        for (const Waypoint& w : cylinders) {
            const NavPoint aim =
                destination(w.lat_, w.lon_, 360.0 * uniform(random), 700.0 * uniform(random));
            builder.flyTo(aim, 20.0 + 30.0 * uniform(random));
            if (uniform(random) < 0.1) {
                builder.flagLast(uniform(random) < 0.5 ? TrackPoint::IGNORED
                                                       : TrackPoint::ENGINE_RUNNING);
            }
        }
        std::vector<Waypoint> discs = cylinders;
        for (Waypoint& w : discs) {
            w.zone_type_ = Waypoint::Sector;
            w.half_angle_ = 180.0;
        }
        const Outcome filtered = analyse(cylinders, builder.points());
        const Outcome plain = analyse(discs, builder.points());
        EXPECT_EQ(filtered.text, plain.text);
        const TaskProgress& a = filtered.progress;
        const TaskProgress& b = plain.progress;
        EXPECT_EQ(a.task_dist_, b.task_dist_);
        EXPECT_EQ(a.speed_, b.speed_);
        EXPECT_EQ(a.start_time_, b.start_time_);
        EXPECT_EQ(a.task_time_, b.task_time_);
        EXPECT_EQ(a.curr_tp_, b.curr_tp_);
        EXPECT_EQ(a.finished_, b.finished_);
        EXPECT_EQ(a.reached_.size(), b.reached_.size());
        finished += a.finished_ ? 1 : 0;
    }
    EXPECT_GT(finished, 5); // the tracks do fly tasks
}

} // namespace
