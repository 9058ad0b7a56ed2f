#include "nav/TaskProgress.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace nav {

namespace {

constexpr int kCrossingSamples = 20;             // samples between two fixes for a crossing time
constexpr double kBestPointRadius = 501.0;       // metres; larger zones search their best point
constexpr double kMinimumSpeedDistance = 5000.0; // metres; no speed for a shorter task
constexpr double kMpsToKmh = 3.6;

// Average speed (km/h) over a task time (s): none (-1) unless the time is positive, so that no
// pair of large zones or fixes out of order can show a negative or infinite speed.
double taskSpeed(double distance, double task_time) {
    return task_time > 0.0 ? distance / task_time * kMpsToKmh : -1.0;
}

/// The point before track[i], or track[i] itself at the start of the track.
const TrackPoint& previousPoint(const std::vector<TrackPoint>& track, std::size_t i) {
    return track[i > 0 ? i - 1 : i];
}

} // namespace

void TaskProgress::clear() {
    waypoints_.clear();
    task_length_ = -1.0;
    leg_length_ = 0.0;
    leg_course_ = 0.0;
    dist_to_tp_ = 0.0;
    course_to_tp_ = 0.0;
    task_dist_ = 0.0;
    completed_dist_ = 0.0;
    curr_tp_ = 0;
    next_fix_ = 0;
    in_start_zone_ = false;
    finished_ = false;
    outlanded_ = false;
    task_time_ = 0.0;
    start_time_ = 0.0;
    last_time_ = std::numeric_limits<double>::max();
    speed_ = 0.0;
    fixed_start_ = false;
}

void TaskProgress::addWaypoint(const Waypoint& waypoint) {
    waypoints_.push_back(waypoint);
    task_length_ = -1.0;
}

int TaskProgress::waypointCount() const {
    return static_cast<int>(waypoints_.size());
}

void TaskProgress::resetProgress() {
    start_time_ = 0.0;
    in_start_zone_ = false;
    finished_ = false;
    outlanded_ = false;
    task_time_ = 0.0;
    task_dist_ = 0.0;
    completed_dist_ = 0.0;
    curr_tp_ = 0;
    reached_tp_ = -1;
    last_inside_fix_ = -1;
    next_fix_ = 0;
    speed_ = -1.0;
    last_time_ = 0.0;
    dist_to_tp_ = 0.0;
    course_to_tp_ = 0.0;
    leg_length_ = 0.0;
    leg_course_ = 0.0;
    reached_.clear();
}

bool TaskProgress::inZone(std::size_t k, double lat, double lon, double alt) const {
    // Most track points are far from the target: skip their haversine.
    if (prefilters_[k].surelyOutside(lat, lon)) {
        return false;
    }
    return waypoints_[k].inZone(lat, lon, alt);
}

void TaskProgress::analyse(double endTime, const std::vector<TrackPoint>& track,
                           std::int32_t startNotBefore) {
    // A start zone entered makes the first turnpoint the target, so a route needs two points.
    if (waypoints_.size() < 2 || track.empty()) {
        return;
    }
    if (endTime < last_time_) {
        resetProgress();
    }
    prefilters_.clear(); // the waypoints are public and may have changed since the last call
    for (const Waypoint& w : waypoints_) {
        prefilters_.emplace_back(w);
    }

    double finish_time = 0.0;              // seconds; finish zone entry, or outlanding time
    std::size_t last_taken = track.size(); // none yet
    for (std::size_t i = next_fix_ > 0 ? static_cast<std::size_t>(next_fix_) : 0; i < track.size();
         ++i) {
        const TrackPoint& f = track[i];
        const double t = static_cast<double>(f.time);
        if (i > 0 && t < static_cast<double>(track[i - 1].time)) {
            continue; // back in time against its predecessor
        }
        if (t < last_time_) {
            continue;
        }
        if (t > endTime) {
            if (i == 0) {
                return;
            }
            break;
        }
        // Taken. The next call resumes here and takes this point again.
        next_fix_ = static_cast<std::int32_t>(i);
        last_time_ = t;
        last_taken = i;
        if ((f.flags & TrackPoint::IGNORED) != 0) {
            continue;
        }
        if ((f.flags & (TrackPoint::OUTLANDED | TrackPoint::ENGINE_RUNNING)) != 0) {
            outland(track, i, finish_time);
            continue;
        }
        if (zoneSteps(track, i, startNotBefore, finish_time)) {
            break;
        }
    }
    // Every point skipped: there is no new position, so the previous results stand.
    if (last_taken == track.size()) {
        return;
    }
    finalUpdate(endTime, finish_time, track, last_taken);
}

bool TaskProgress::zoneSteps(const std::vector<TrackPoint>& track, std::size_t i,
                             std::int32_t startNotBefore, double& finish_time) {
    const TrackPoint& p = track[i];
    const double t = static_cast<double>(p.time);

    if ((curr_tp_ == 0 || curr_tp_ == 1) && inZone(0, p.latitude, p.longitude, p.altitude)) {
        if (std::trunc(t) < static_cast<double>(startNotBefore)) {
            return false; // too early to start: as if outside every zone
        }
        // (Re-)entering the start zone begins a new attempt; the last start counts.
        task_dist_ = 0.0;
        completed_dist_ = 0.0;
        outlanded_ = false;
        reached_tp_ = 0;
        speed_ = -1.0;
        curr_tp_ = 1;
        last_inside_fix_ = static_cast<std::int32_t>(i);
        leg_length_ = 0.0;
        in_start_zone_ = true;
        if (!fixed_start_) {
            task_time_ = 0.0;
        }
        return false;
    }

    const auto target = static_cast<std::size_t>(curr_tp_);
    if (inZone(target, p.latitude, p.longitude, p.altitude)) {
        // Straight from one zone into the next (fixes far apart, or zones that touch): the
        // start or the turnpoint left behind must be in reached_ before anything measures from
        // it.
        if (reached_tp_ == 0) {
            startExit(track, i, startNotBefore, finish_time);
            if (curr_tp_ == 0) {
                return false; // a start left the wrong way does not reach anything
            }
        } else if (reached_tp_ > 0) {
            bookTurnpoint(track, i);
        }
        if (target + 1 == waypoints_.size()) {
            // One fix pair can leave the start zone and enter the finish zone (large zones
            // close together): the finish is never booked before the start.
            finish_time = std::max(
                findEntryTime(waypoints_[target], previousPoint(track, i), p, kCrossingSamples),
                start_time_);
            finished_ = true;
            return true;
        }
        if (reached_tp_ < curr_tp_) {
            reached_tp_ = curr_tp_;
            ++curr_tp_;
        }
        last_inside_fix_ = static_cast<std::int32_t>(i);
        return false;
    }

    if (reached_tp_ == 0) {
        startExit(track, i, startNotBefore, finish_time);
    } else if (reached_tp_ > 0) {
        bookTurnpoint(track, i);
    }
    return false;
}

void TaskProgress::startExit(const std::vector<TrackPoint>& track, std::size_t i,
                             std::int32_t startNotBefore, double& finish_time) {
    const Waypoint& start = waypoints_[0];
    const TrackPoint& p = track[i];
    if (start.zone_type_ == Waypoint::HalfDisc) {
        double distance = 0.0;
        double course = 0.0;
        start.distanceAndCourseFrom(p.latitude, p.longitude, distance, course);
        double bearing = course + 180.0; // of the glider, seen from the start point
        if (bearing > 360.0) {
            bearing -= 360.0;
        }
        double diff = start.direction_ - bearing;
        if (diff < 0.0) {
            diff += 360.0;
        }
        if (diff > 90.0 && diff < 270.0) {
            curr_tp_ = 0; // left through the closed side: not a start
            return;
        }
    }
    start_time_ = fixed_start_ ? static_cast<double>(startNotBefore)
                               : findExitTime(start, previousPoint(track, i), p, kCrossingSamples,
                                              *diagnostics_);
    finish_time = 0.0;
    in_start_zone_ = false;
    reached_.clear();
    reached_.push_back(start);
    *diagnostics_ << "Started: t = " << start_time_ << " curr_tp = " << curr_tp_ << std::endl;
    reached_tp_ = -1;
}

void TaskProgress::bookTurnpoint(const std::vector<TrackPoint>& track, std::size_t i) {
    const auto k = static_cast<std::size_t>(reached_tp_);
    reached_tp_ = -1;
    // reached_ holds the start and every turnpoint before k: each start and each booking
    // appends its entry before a later zone can be reached. Its last entry is the one for k - 1.
    if (reached_.empty()) {
        return;
    }
    const Waypoint& w = waypoints_[k];
    if (w.radius_ > kBestPointRadius && k + 1 < waypoints_.size()) {
        // In a large zone the turn counts where it lengthens the route most.
        const NavPoint& previous = reached_.back();
        const Waypoint& next = waypoints_[k + 1];
        std::size_t best =
            last_inside_fix_ < 0 ? i : std::min(static_cast<std::size_t>(last_inside_fix_), i);
        double best_score = 0.0;
        for (std::size_t j = best; j < i; ++j) {
            const double score = previous.distanceFrom(track[j].latitude, track[j].longitude) +
                                 next.distanceFrom(track[j].latitude, track[j].longitude);
            if (score > best_score) {
                best_score = score;
                best = j;
            }
        }
        Waypoint turn;
        turn.lat_ = track[best].latitude;
        turn.lon_ = track[best].longitude;
        reached_.push_back(turn);
    } else {
        reached_.push_back(w);
    }
    completed_dist_ += reached_[reached_.size() - 2].distanceFrom(reached_.back());
}

void TaskProgress::outland(const std::vector<TrackPoint>& track, std::size_t i,
                           double& finish_time) {
    if (curr_tp_ <= 0 || in_start_zone_) {
        return;
    }
    if (reached_tp_ > 0) {
        bookTurnpoint(track, i); // the turnpoint just reached counts
    }
    const TrackPoint& p = track[i];
    const double t = static_cast<double>(p.time);
    *diagnostics_ << "Outlanded: curr dist = " << dist_to_tp_ << ", t = " << t << std::endl;
    finish_time = t;
    outlanded_ = true;
    const Waypoint& target = waypoints_[static_cast<std::size_t>(curr_tp_)];
    target.distanceAndCourseFrom(p.latitude, p.longitude, dist_to_tp_, course_to_tp_);
    if (dist_to_tp_ < 0.0) {
        dist_to_tp_ = 0.0;
    }
    if (reached_.size() >= static_cast<std::size_t>(curr_tp_)) {
        leg_length_ = target.distanceFrom(reached_[static_cast<std::size_t>(curr_tp_) - 1]);
    }
    // Landing out farther from the target than the leg is long scores nothing on this leg,
    // but never less than nothing.
    task_dist_ = std::max(completed_dist_ + leg_length_ - dist_to_tp_, 0.0);
    task_time_ = t - start_time_;
    if (task_dist_ > kMinimumSpeedDistance) {
        speed_ = taskSpeed(task_dist_, task_time_);
    }
    in_start_zone_ = false;
    reached_tp_ = -1;
    curr_tp_ = 0; // a later start begins a new attempt
}

void TaskProgress::finalUpdate(double endTime, double finish_time,
                               const std::vector<TrackPoint>& track, std::size_t last) {
    const TrackPoint& p = track[last];
    const Waypoint& target = waypoints_[static_cast<std::size_t>(curr_tp_)];
    target.distanceAndCourseFrom(p.latitude, p.longitude, dist_to_tp_, course_to_tp_);
    if (curr_tp_ <= 0 || in_start_zone_) {
        return;
    }
    if (reached_tp_ > 0) {
        bookTurnpoint(track, last); // the track ends on the point that reached a turnpoint
    }
    const auto curr = static_cast<std::size_t>(curr_tp_);
    if (reached_.size() < curr) {
        return; // cannot happen after the bookings; never measure from a missing point
    }
    const double leg = target.distanceFrom(reached_[curr - 1]);
    double end = endTime;
    if (finished_) {
        task_dist_ = leg + completed_dist_;
        end = finish_time;
    } else {
        if (dist_to_tp_ < 0.0) {
            dist_to_tp_ = 0.0;
        }
        leg_length_ = leg;
        task_dist_ = leg + completed_dist_ - dist_to_tp_;
        if (task_dist_ < 0.0) {
            task_dist_ = 0.0;
        }
    }
    task_time_ = end - start_time_;
    if (task_dist_ > kMinimumSpeedDistance) {
        speed_ = taskSpeed(task_dist_, task_time_);
    }
}

namespace {

struct Sample {
    double lat;  // degrees
    double lon;  // degrees
    double alt;  // metres
    double time; // seconds
};

/// Sample k of n + 1 evenly spaced between a and b, linear in degrees, metres and seconds.
Sample sampleBetween(const TrackPoint& a, const TrackPoint& b, int k, int n) {
    // A single sample (n = 0) is a itself.
    const double f = n > 0 ? static_cast<double>(k) / static_cast<double>(n) : 0.0;
    const double ta = static_cast<double>(a.time);
    return {
        a.latitude + f * (b.latitude - a.latitude), a.longitude + f * (b.longitude - a.longitude),
        a.altitude + f * (b.altitude - a.altitude), ta + (static_cast<double>(b.time) - ta) * f};
}

} // namespace

double TaskProgress::findExitTime(const Waypoint& w, const TrackPoint& a, const TrackPoint& b,
                                  int n, std::ostream& diagnostics) {
    double t = static_cast<double>(a.time);
    for (int k = 0; k <= n; ++k) {
        const Sample s = sampleBetween(a, b, k, n);
        if (!w.inZone(s.lat, s.lon, s.alt)) {
            diagnostics << "exit index = " << k << std::endl;
            break;
        }
        t = s.time;
    }
    diagnostics << "Found exit time: " << t << std::endl;
    return t;
}

double TaskProgress::findEntryTime(const Waypoint& w, const TrackPoint& a, const TrackPoint& b,
                                   int n) {
    double t = static_cast<double>(a.time);
    for (int k = 0; k <= n; ++k) {
        const Sample s = sampleBetween(a, b, k, n);
        if (w.inZone(s.lat, s.lon, s.alt)) {
            return t;
        }
        t = s.time;
    }
    return t;
}

double TaskProgress::computeTaskLength() {
    task_length_ = 0.0;
    for (std::size_t k = 1; k < waypoints_.size(); ++k) {
        task_length_ += waypoints_[k - 1].distanceFrom(waypoints_[k]);
    }
    return task_length_;
}

void TaskProgress::advanceTurnpoint() {
    if (curr_tp_ < 0 || static_cast<std::size_t>(curr_tp_) + 1 >= waypoints_.size()) {
        return; // already at the finish: there is no next leg
    }
    completed_dist_ += leg_length_;
    ++curr_tp_;
    const auto curr = static_cast<std::size_t>(curr_tp_);
    waypoints_[curr].distanceAndCourseFrom(waypoints_[curr - 1].lat_, waypoints_[curr - 1].lon_,
                                           leg_length_, leg_course_);
}

void TaskProgress::updatePosition(double lat, double lon) {
    if (finished_ || curr_tp_ <= 0 || static_cast<std::size_t>(curr_tp_) >= waypoints_.size()) {
        return;
    }
    double d = waypoints_[static_cast<std::size_t>(curr_tp_)].distanceFrom(lat, lon);
    if (d < 0.0) {
        d = 0.0;
    }
    task_dist_ = completed_dist_ + leg_length_ - d;
    if (task_dist_ < 0.0) {
        task_dist_ = 0.0;
    }
    speed_ = task_dist_ > kMinimumSpeedDistance ? taskSpeed(task_dist_, task_time_) : -1.0;
}

std::string TaskProgress::taskDescription() const {
    std::string description;
    for (std::size_t k = 0; k < waypoints_.size(); ++k) {
        if (k > 0) {
            description += " - ";
        }
        description += waypoints_[k].name_;
    }
    return description;
}

} // namespace nav
