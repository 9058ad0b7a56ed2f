#include "logbook/FlightAnalysis.h"

#include "igc/FlightLog.h"
#include "igc/TimeOfDay.h"
#include "logbook/LogbookEntry.h"
#include "logbook/Messages.h"
#include "logbook/Text.h"
#include "nav/Geodesy.h"
#include "nav/NavPoint.h"
#include "nav/TaskProgress.h"
#include "platform/Diagnostics.h"
#include "platform/Files.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace logbook {

namespace {

constexpr double kTakeoffSpeed = 25.0; // m/s (90 km/h): a faster pair starts the flight
constexpr double kLandingSpeed = 16.666666666666668; // m/s (60 km/h): the last faster pair ends it
constexpr int kEngineNoise = 200;                    // ENL at which the engine counts as running
constexpr double kDay = 86400.0;                     // seconds

double latitudeOf(const igc::Coordinate& c) {
    return c.lat_deg + static_cast<double>(c.lat_min) / 60.0;
}
double longitudeOf(const igc::Coordinate& c) {
    return c.lon_deg + static_cast<double>(c.lon_min) / 60.0;
}

// Seconds since midnight of a fix, whole seconds.
double secondsOfDay(const igc::Fix& fix) {
    igc::TimeOfDay time;
    time.set(fix.time.hour, fix.time.minute, fix.time.second, 0);
    return time.ms_ * 0.001;
}

// Ground speed of the pair (k-1, k) in m/s. A pair across midnight has a negative interval and
// never counts as fast. Nor does a pair with no time between them (two fixes of the same
// second): it says nothing about speed, and dividing by zero would make it infinitely fast as
// soon as the two positions differ at all. For one position recorded twice that is a matter of
// the last bit of a sine: the law of cosines gives it 0, not a number, or some 10 cm, and with
// the C libraries' own sines one such pair late in a recording ended the flight hours after
// the landing on one system only.
double pairSpeed(const std::vector<igc::Fix>& fixes, std::size_t k) {
    const double interval = secondsOfDay(fixes[k]) - secondsOfDay(fixes[k - 1]);
    if (interval == 0.0)
        return 0.0;
    const igc::Coordinate& a = fixes[k - 1].position;
    const igc::Coordinate& b = fixes[k].position;
    const double distance =
        nav::sphericalDistance(latitudeOf(a), longitudeOf(a), latitudeOf(b), longitudeOf(b));
    return distance / interval;
}

// The declared turnpoints that the file really holds: a short task declaration stops early.
std::size_t heldTurnpoints(const igc::Task& task) {
    return std::min(static_cast<std::size_t>(std::max(task.turnpoint_count, 0)),
                    task.turnpoints.size());
}

std::string routeOf(const igc::FlightLog& log) {
    if (!log.has_task_)
        return "Local flight";
    const igc::Task& task = log.task_;
    std::string route = task.start.name;
    for (std::size_t k = 0; k < heldTurnpoints(task); ++k)
        route += " - " + task.turnpoints[k].name;
    return route + " - " + task.finish.name;
}

nav::Waypoint waypointAt(const igc::TaskPoint& point) {
    nav::Waypoint waypoint;
    waypoint.lat_ = latitudeOf(point.position);
    waypoint.lon_ = longitudeOf(point.position);
    waypoint.name_ = point.name;
    return waypoint;
}

// What a thread keeps of each buffer between files: a 10 Hz recording of several hours.
constexpr std::size_t kKeptBufferBytes = 16 << 20;

template <typename Item>
void keepSmall(std::vector<Item>& buffer) {
    if (buffer.capacity() * sizeof(Item) > kKeptBufferBytes)
        std::vector<Item>().swap(buffer);
}

// The buffers' fixes lent to a log for one file, and given back (when small) whatever way the
// analysis ends.
class LentFixes {
public:
    LentFixes(igc::FlightLog& log, AnalysisBuffers& buffers) : log_(log), buffers_(buffers) {
        log_.fixes_.swap(buffers_.fixes);
    }
    ~LentFixes() {
        buffers_.fixes.swap(log_.fixes_);
        buffers_.fixes.clear();
        keepSmall(buffers_.fixes);
        keepSmall(buffers_.track);
    }
    LentFixes(const LentFixes&) = delete;
    LentFixes& operator=(const LentFixes&) = delete;

private:
    igc::FlightLog& log_;
    AnalysisBuffers& buffers_;
};

// Task distance (m) and speed (km/h, never negative) through the task's 500 m cylinders.
void scoreTask(const igc::FlightLog& log, std::vector<nav::TrackPoint>& track, double& distance,
               double& speed, std::ostream& diagnostics) {
    const igc::Task& task = log.task_;
    nav::TaskProgress progress;
    progress.setDiagnostics(diagnostics);
    progress.addWaypoint(waypointAt(task.start));
    for (std::size_t k = 0; k < heldTurnpoints(task); ++k)
        progress.addWaypoint(waypointAt(task.turnpoints[k]));
    progress.addWaypoint(waypointAt(task.finish));

    // Every fix, with its time continued past midnight so that the track never goes back. A
    // step back of half a day or less is a fix out of order (recorders repeat one now and then),
    // not midnight: it holds the time before it, as the engine time counts it. Moved to the
    // next day it would put the rest of the flight a day later and its task speed near zero.
    track.clear();
    track.reserve(log.fixes_.size());
    for (const igc::Fix& fix : log.fixes_) {
        double time = secondsOfDay(fix);
        if (!track.empty()) {
            const auto previous = static_cast<double>(track.back().time);
            while (time + kDay / 2 < previous)
                time += kDay;
            time = std::max(time, previous);
        }
        nav::TrackPoint& point = track.emplace_back();
        point.time = static_cast<float>(time);
        point.latitude = latitudeOf(fix.position);
        point.longitude = longitudeOf(fix.position);
        if (fix.enl >= kEngineNoise)
            point.flags = nav::TrackPoint::ENGINE_RUNNING;
    }
    progress.analyse(static_cast<double>(track.back().time), track, 0);
    distance = progress.task_dist_;
    speed = std::max(progress.speed_, 0.0);
}

// Why the reader could not read a file, from what it returned. A file that could not be opened
// is not readable; one that was read but is no IGC recording is not an IGC file; one whose task
// declaration breaks off is an IGC recording with an incomplete task.
SkipReason readerFailure(const igc::LoadOutcome& outcome, platform::FileKind kind) {
    switch (outcome.error) {
    case igc::LoadError::NotOpened:
        if (outcome.system_error != 0)
            return {SkipKind::NotReadable, platform::systemReason(outcome.system_error)};
        return {SkipKind::NotReadable,
                kind == platform::FileKind::Directory ? "a directory" : "unknown error"};
    case igc::LoadError::CRecord:
        return {SkipKind::TaskIncomplete, igc::loadErrorText(outcome.error), outcome.line};
    default:
        return {SkipKind::NotIgc, igc::loadErrorText(outcome.error), outcome.line};
    }
}

} // namespace

std::string entryFileName(const std::string& name) {
    // The simulator reads the logbook as Latin-1; the name is shown as the file system's
    // encoding decodes it.
    std::string field = latin1Of(name);
    for (char& c : field) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ';' || byte < 0x20 || byte == 0x7F)
            c = '_';
    }
    return field;
}

FlightResult analyzeFile(const std::string& path, int min_time_minutes,
                         const platform::DateFormatter& format_date) {
    FlightFile file;
    file.path = path;
    file.is_link = true;
    return analyzeFile(file, min_time_minutes, format_date);
}

FlightResult analyzeFile(const FlightFile& file, int min_time_minutes,
                         const platform::DateFormatter& format_date) {
    AnalysisBuffers buffers;
    return analyzeFile(file, min_time_minutes, format_date, buffers);
}

FlightResult analyzeFile(const FlightFile& file, int min_time_minutes,
                         const platform::DateFormatter& format_date, AnalysisBuffers& buffers) {
    const std::string& path = file.path;
    FlightResult result;
    result.path = path;
    std::ostringstream errors;
    const auto done = [&result, &errors](SkipReason reason) {
        result.reason = std::move(reason);
        result.errors = std::move(errors).str();
        return result;
    };
    platform::FileKind kind = platform::FileKind::Other;
    int open_error = 0;
    std::FILE* opened = file.folder
                            ? file.folder->openFlight(file.name, file.is_link, kind, open_error)
                            : platform::openFlight(path, file.is_link, kind, open_error);
    if (kind == platform::FileKind::ForeignLink) {
        // Its maker could have this run put a recording that he may not read into the logbook.
        SkipReason reason{SkipKind::NotReadable, kindText(kind, 0)};
        errors << "Skipping " << echoed(path) << ": " << reasonText(reason) << "\n";
        return done(std::move(reason));
    }
    if (opened == nullptr && open_error == 0) {
        // Put in the file's place after the listing: a named pipe would block the run.
        SkipReason reason{SkipKind::NotAFile, kindText(kind, 0)};
        errors << "Skipping " << echoed(path) << ": " << reasonText(reason) << "\n";
        return done(std::move(reason));
    }
    igc::FlightLog log;
    const LentFixes lent(log, buffers);
    igc::LoadOutcome outcome;
    if (!log.load(opened, path.c_str(), errors, outcome)) {
        if (opened == nullptr) // the reader said so in its own words; the system's are ours
            outcome.system_error = open_error;
        errors << "Couldn't load IGC file " << path << "!" << std::endl;
        return done(readerFailure(outcome, kind));
    }
    const std::vector<igc::Fix>& fixes = log.fixes_;
    const std::size_t count = fixes.size();
    if (count < 2) {
        result.output = "Empty log file: " + path + "!\n";
        return done({count == 0 ? SkipKind::Empty : SkipKind::OneFix});
    }
    errors << "analyzeFlight()\n";

    std::size_t start = 0;
    for (std::size_t i = 1; i < count && start == 0; ++i) {
        const double speed = pairSpeed(fixes, i);
        if (speed > kTakeoffSpeed) {
            start = i;
            errors << "Start idx = " << i << " (speed = " << speed * 3.6 << ")\n";
        }
    }
    if (start == 0) {
        errors << "Error: Couldn't find start fix!\n";
        return done({SkipKind::NoTakeoff});
    }
    // The start pair is itself faster than the landing speed, so this search always ends at or
    // after the start fix.
    std::size_t end = start;
    for (std::size_t j = count - 1; j >= 1; --j) {
        const double speed = pairSpeed(fixes, j);
        if (speed > kLandingSpeed) {
            end = j;
            errors << "End idx = " << j << " (speed = " << speed * 3.6 << ")\n";
            break;
        }
    }

    // An engine interval across midnight counts with the day added, as the flight time does;
    // without it one such interval would take almost a day off the engine time. Only a step
    // back of more than half a day is midnight: a shorter one is a fix out of order, and counts
    // nothing rather than a day.
    double engine_time = 0.0;
    for (std::size_t k = start; k <= end; ++k) {
        if (fixes[k - 1].enl >= kEngineNoise && fixes[k].enl >= kEngineNoise) {
            double interval = secondsOfDay(fixes[k]) - secondsOfDay(fixes[k - 1]);
            if (interval < -kDay / 2)
                interval += kDay;
            else if (interval < 0.0)
                interval = 0.0;
            engine_time += interval;
        }
    }

    double flight_time = secondsOfDay(fixes[end]) - secondsOfDay(fixes[start]);
    if (flight_time < 0.0)
        flight_time += kDay;
    if (min_time_minutes * 60.0 > flight_time) {
        errors << "Flight too short (" << flight_time << " seconds) - skipping\n";
        return done({SkipKind::TooShort, {}, 0, flight_time});
    }

    LogbookEntry entry;
    entry.date = log.date_;
    entry.glider_type = log.glider_type_;
    entry.glider_id = log.glider_id_;
    entry.route = routeOf(log);
    entry.flight_time = flight_time;
    entry.engine_time = engine_time;
    if (log.has_task_)
        scoreTask(log, buffers.track, entry.distance, entry.speed, errors);
    entry.file_name = entryFileName(platform::fileNameOf(path));
    std::ostringstream line;
    writeLogbookEntry(line, entry, format_date);
    result.entry = std::move(line).str();
    return done({});
}

void writeFlightResult(const FlightResult& result, std::ostream& logbook) {
    platform::diagnostics() << result.errors;
    platform::diagnosticOutput() << result.output;
    if (!result.entry.empty())
        logbook << result.entry;
}

bool analyzeFlight(const std::string& path, std::ostream& logbook, int min_time_minutes,
                   const platform::DateFormatter& format_date) {
    const FlightResult result = analyzeFile(path, min_time_minutes, format_date);
    writeFlightResult(result, logbook);
    return !result.entry.empty();
}

} // namespace logbook
