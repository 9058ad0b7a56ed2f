// Speed of the task analysis: one analyse over a 10-hour track with a fix every second, a
// five-point task with the default 500 m cylinders. Prints the figure as
//   RESULT analyse_points <million track points per second> Mpoints/s

#include "nav/Geodesy.h"
#include "nav/NavPoint.h"
#include "nav/TaskProgress.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <vector>

namespace {

constexpr double kT0 = 36000.0;         // 10:00:00
constexpr double kFlightTime = 36000.0; // seconds: ten hours at one fix a second
constexpr double kLeg = 200000.0;       // metres; four legs flown at 80 km/h fill ten hours

/// The position `distance` metres from (lat, lon) on the true `bearing` (degrees).
nav::Waypoint pointFrom(const nav::Waypoint& from, double bearing, double distance,
                        const char* name) {
    const double phi1 = from.lat_ * nav::kDegToRad;
    const double theta = bearing * nav::kDegToRad;
    const double delta = distance / nav::kMetresPerRadian;
    const double phi2 = std::asin(std::sin(phi1) * std::cos(delta) +
                                  std::cos(phi1) * std::sin(delta) * std::cos(theta));
    const double dlambda = std::atan2(std::sin(theta) * std::sin(delta) * std::cos(phi1),
                                      std::cos(delta) - std::sin(phi1) * std::sin(phi2));
    return {phi2 * nav::kRadToDeg, from.lon_ + dlambda * nav::kRadToDeg, name};
}

/// A square task flown round: start, three turnpoints, finish near the start.
std::vector<nav::Waypoint> route() {
    const nav::Waypoint start(46.5, 7.5, "Start");
    const nav::Waypoint north = pointFrom(start, 0.0, kLeg, "North");
    const nav::Waypoint north_east = pointFrom(north, 90.0, kLeg, "North-east");
    const nav::Waypoint east = pointFrom(north_east, 180.0, kLeg, "East");
    const nav::Waypoint finish = pointFrom(east, 270.0, kLeg, "Finish");
    return {start, north, north_east, east, finish};
}

/// The track along the route at constant speed, one fix a second for ten hours, with a gentle
/// weave so that the fixes do not run exactly along the legs.
std::vector<nav::TrackPoint> tenHourTrack(const std::vector<nav::Waypoint>& waypoints) {
    std::vector<nav::TrackPoint> track;
    const auto legs = waypoints.size() - 1;
    const double per_leg = kFlightTime / static_cast<double>(legs);
    for (int s = 0; s < static_cast<int>(kFlightTime); ++s) {
        const double leg_time = static_cast<double>(s) / per_leg;
        const auto leg = std::min(static_cast<std::size_t>(leg_time), legs - 1);
        const double f = leg_time - static_cast<double>(leg);
        const nav::Waypoint& a = waypoints[leg];
        const nav::Waypoint& b = waypoints[leg + 1];
        nav::TrackPoint p;
        p.time = static_cast<float>(kT0 + s);
        p.latitude = a.lat_ + f * (b.lat_ - a.lat_) + 0.002 * std::sin(s / 300.0);
        p.longitude = a.lon_ + f * (b.lon_ - a.lon_) + 0.002 * std::cos(s / 300.0);
        p.altitude = 1500.0;
        track.push_back(p);
    }
    return track;
}

/// Swallows the analysis's diagnostics while it is being timed.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

void analyseTrack(benchmark::State& state, bool plain) {
    std::vector<nav::Waypoint> waypoints = route();
    const std::vector<nav::TrackPoint> track = tenHourTrack(waypoints);
    if (plain) {
        // The same discs as Sectors of the whole circle: every fix pays the haversine.
        for (nav::Waypoint& w : waypoints) {
            w.zone_type_ = nav::Waypoint::Sector;
        }
    }
    NullBuffer null;
    std::streambuf* old = std::cerr.rdbuf(&null);
    double task_dist = 0.0;
    for (auto _ : state) {
        nav::TaskProgress progress;
        for (const nav::Waypoint& w : waypoints) {
            progress.addWaypoint(w);
        }
        progress.analyse(static_cast<double>(track.back().time), track, 0);
        // Through the object: DoNotOptimize on a plain double may land in an integer register.
        benchmark::DoNotOptimize(progress);
        task_dist = progress.task_dist_;
    }
    std::cerr.rdbuf(old);
    state.counters["points"] = benchmark::Counter(static_cast<double>(track.size()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
    state.counters["task_km"] = task_dist / 1000.0;
}

void BM_AnalyseTenHourTrack(benchmark::State& state) {
    analyseTrack(state, false);
}
BENCHMARK(BM_AnalyseTenHourTrack)->Unit(benchmark::kMillisecond);

void BM_AnalyseTenHourTrackWithoutPrefilter(benchmark::State& state) {
    analyseTrack(state, true);
}
BENCHMARK(BM_AnalyseTenHourTrackWithoutPrefilter)->Unit(benchmark::kMillisecond);

void BM_DistanceTo(benchmark::State& state) {
    double lat = 47.0;
    for (auto _ : state) {
        const double d = nav::distanceTo(lat, 8.0, 47.3, 8.4);
        benchmark::DoNotOptimize(&d);
        lat += 1e-9;
    }
}
BENCHMARK(BM_DistanceTo);

/// Passes everything to the console and keeps the points-per-second figure of the analysis.
class ResultReporter : public benchmark::ConsoleReporter {
public:
    ResultReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.benchmark_name() == "BM_AnalyseTenHourTrack" &&
                run.run_type == Run::RT_Iteration) {
                const auto it = run.counters.find("points");
                if (it != run.counters.end()) {
                    points_per_second_ = it->second.value;
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    [[nodiscard]] double pointsPerSecond() const { return points_per_second_; }

private:
    double points_per_second_ = 0.0;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    ResultReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (reporter.pointsPerSecond() > 0.0) { // not when a filter left the analysis out
        std::printf("RESULT analyse_points %.1f Mpoints/s\n", reporter.pointsPerSecond() / 1e6);
    }
    return 0;
}
