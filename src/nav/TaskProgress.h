#pragma once

// The progress of a flown track along a declared task: start, turnpoints taken, finish or
// outlanding, and from them the task distance achieved and the average task speed. Driven
// repeatedly over a growing track: each analyse resumes where the previous one stopped.

#include "nav/CylinderPrefilter.h"
#include "nav/NavPoint.h"

#include <cstdint>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

namespace nav {

class TaskProgress {
public:
    /// Drops all waypoints and resets the state to that after construction; reached_,
    /// reached_tp_ and last_inside_fix_ stay as they are until the next analyse resets them.
    void clear();
    /// Appends a copy of `waypoint` to the route (start first, finish last).
    void addWaypoint(const Waypoint& waypoint);
    [[nodiscard]] int waypointCount() const;
    /// Forgets all progress and keeps the waypoints, task_length_ and fixed_start_.
    void resetProgress();

    /// Follows `track` up to `endTime` (seconds, the track's time scale) and leaves the results
    /// in task_dist_ and speed_. Resumes at next_fix_; an endTime below the last analysed time
    /// starts over. Start-zone points whose whole seconds are below `startNotBefore` are
    /// ignored, and with fixed_start_ set it is the start time. Needs a start and a finish
    /// waypoint: with fewer than two, or an empty track, nothing changes.
    void analyse(double endTime, const std::vector<TrackPoint>& track, std::int32_t startNotBefore);

    /// Where the analysis writes its progress lines ("Started: ...", "Outlanded: ..."); the
    /// process's standard error stream unless told otherwise. The stream must outlive the
    /// analysis.
    void setDiagnostics(std::ostream& stream) { diagnostics_ = &stream; }

    /// Time (s) of the last of n + 1 samples between `a` and `b` still inside `w` before the
    /// first one outside. Writes "exit index = " with that first sample, and "Found exit time: ".
    /// The lines go to `diagnostics`.
    static double findExitTime(const Waypoint& w, const TrackPoint& a, const TrackPoint& b, int n,
                               std::ostream& diagnostics = std::cerr);
    /// Time (s) of the last of n + 1 samples between `a` and `b` outside `w` before the first
    /// one inside; a's time when the first is inside, b's when none is.
    static double findEntryTime(const Waypoint& w, const TrackPoint& a, const TrackPoint& b, int n);

    // For a live display of the task; the logbook does not use them.
    /// Sets and returns task_length_: the route length through the waypoints, metres.
    double computeTaskLength();
    /// Books the leg being flown and moves on to the next waypoint; nothing past the finish.
    void advanceTurnpoint();
    /// Task distance and speed for the glider at (lat, lon), degrees.
    void updatePosition(double lat, double lon);
    /// The waypoint names joined by " - ".
    [[nodiscard]] std::string taskDescription() const;

    /// When the track holds no point inside the zone of the current target although the glider
    /// has gone past it, inserts a made-up point on the waypoint, in the wider time gap next to
    /// the point nearest to it. Writes why when it leaves the track alone.
    void forceTPFix(std::vector<TrackPoint>& track) const;

    std::vector<Waypoint> waypoints_;   // the route: start, turnpoints, finish
    double task_length_ = -1.0;         // metres; -1 until computed
    double leg_length_ = 0.0;           // metres, of the leg being flown
    double leg_course_ = 0.0;           // degrees, of the leg being flown
    double dist_to_tp_ = 0.0;           // metres, last analysed position to the current target
    double course_to_tp_ = 0.0;         // degrees, last analysed position to the current target
    double task_dist_ = 0.0;            // result: metres achieved
    double completed_dist_ = 0.0;       // metres, sum of the legs completed
    std::int32_t curr_tp_ = 0;          // current target waypoint; 0 before a start
    std::int32_t reached_tp_ = -1;      // reached and not yet booked; 0 start zone not yet left
    std::int32_t last_inside_fix_ = -1; // track index last found inside the zone being worked
    std::int32_t next_fix_ = 0;         // track index at which the next analyse starts
    bool in_start_zone_ = false;        // entered the start zone and not yet started
    bool finished_ = false;
    bool outlanded_ = false;                                // the last attempt landed out
    double task_time_ = 0.0;                                // seconds
    double start_time_ = 0.0;                               // seconds, track time scale
    double last_time_ = std::numeric_limits<double>::max(); // seconds; max: start afresh
    double speed_ = 0.0;            // result: km/h; -1 while none has been computed
    bool fixed_start_ = false;      // the start time is startNotBefore, not the zone exit
    std::vector<NavPoint> reached_; // where the task was taken: start, then turnpoint k at k

private:
    std::ostream* diagnostics_ = &std::cerr;
    bool inZone(std::size_t k, double lat, double lon, double alt) const;
    bool zoneSteps(const std::vector<TrackPoint>& track, std::size_t i, std::int32_t startNotBefore,
                   double& finish_time);
    void startExit(const std::vector<TrackPoint>& track, std::size_t i, std::int32_t startNotBefore,
                   double& finish_time);
    void bookTurnpoint(const std::vector<TrackPoint>& track, std::size_t i);
    void outland(const std::vector<TrackPoint>& track, std::size_t i, double& finish_time);
    void finalUpdate(double endTime, double finish_time, const std::vector<TrackPoint>& track,
                     std::size_t last);

    std::vector<CylinderPrefilter> prefilters_; // one per waypoint, rebuilt by each analyse
};

} // namespace nav
