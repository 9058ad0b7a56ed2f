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
#include <optional>
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

// Why a flight that was not opened is skipped before the reader sees it; nothing when the reader
// is to say what it makes of it (a file to read, or the system's reason why none was opened).
std::optional<SkipReason> refusedBeforeReading(const platform::OpenedFlight& opened) {
    // Its maker could have this run put a recording that he may not read into the logbook.
    if (opened.kind == platform::FileKind::ForeignLink)
        return SkipReason{SkipKind::NotReadable, kindText(opened.kind, {})};
    // Put in the file's place after the listing: a named pipe would block the run.
    if (opened.file == nullptr && !opened.error)
        return SkipReason{SkipKind::NotAFile, kindText(opened.kind, {})};
    return std::nullopt;
}

// The fix that ends the first pair fast enough for a takeoff; 0 when there is none.
std::size_t takeoffFix(const std::vector<igc::Fix>& fixes, std::ostream& errors) {
    for (std::size_t i = 1; i < fixes.size(); ++i) {
        const double speed = pairSpeed(fixes, i);
        if (speed > kTakeoffSpeed) {
            errors << "Start idx = " << i << " (speed = " << speed * 3.6 << ")\n";
            return i;
        }
    }
    return 0;
}

// The fix that ends the last pair still fast enough to be flying. The start pair is itself
// faster than the landing speed, so the search always ends at or after the start fix.
std::size_t landingFix(const std::vector<igc::Fix>& fixes, std::size_t start,
                       std::ostream& errors) {
    for (std::size_t j = fixes.size() - 1; j >= 1; --j) {
        const double speed = pairSpeed(fixes, j);
        if (speed > kLandingSpeed) {
            errors << "End idx = " << j << " (speed = " << speed * 3.6 << ")\n";
            return j;
        }
    }
    return start;
}

// Seconds with the engine running from the fix `start` to the fix `end`. An engine interval
// across midnight counts with the day added, as the flight time does; without it one such
// interval would take almost a day off the engine time. Only a step back of more than half a day
// is midnight: a shorter one is a fix out of order, and counts nothing rather than a day.
double engineTime(const std::vector<igc::Fix>& fixes, std::size_t start, std::size_t end) {
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
    return engine_time;
}

// Seconds from the fix `start` to the fix `end`, across midnight when it is earlier in the day.
double flightTime(const std::vector<igc::Fix>& fixes, std::size_t start, std::size_t end) {
    const double flight_time = secondsOfDay(fixes[end]) - secondsOfDay(fixes[start]);
    return flight_time < 0.0 ? flight_time + kDay : flight_time;
}

// Where the flight lies among the fixes: the fixes that end its takeoff and its landing pair,
// and the seconds from the one to the other.
struct FlightSpan {
    std::size_t start = 0;
    std::size_t end = 0;
    double seconds = 0.0;
};

// The entry line of the flight `span` of `log`, read from `path`: its times, its route and, for
// a declared task, its scoring.
std::string entryLine(const igc::FlightLog& log, const std::string& path, const FlightSpan& span,
                      AnalysisBuffers& buffers, const platform::DateFormatter& format_date,
                      std::ostream& errors) {
    LogbookEntry entry;
    entry.date = log.date_;
    entry.glider_type = log.glider_type_;
    entry.glider_id = log.glider_id_;
    entry.route = routeOf(log);
    entry.flight_time = span.seconds;
    entry.engine_time = engineTime(log.fixes_, span.start, span.end);
    if (log.has_task_)
        scoreTask(log, buffers.track, entry.distance, entry.speed, errors);
    entry.file_name = entryFileName(platform::fileNameOf(path));
    std::ostringstream line;
    writeLogbookEntry(line, entry, format_date);
    return std::move(line).str();
}

} // namespace

std::string entryFileName(const std::string& name, bool composed) {
    // The simulator reads the logbook as Latin-1; the name is shown as the file system's
    // encoding decodes it.
    std::string field = composed ? latin1Of(name) : latin1OfUncomposed(name);
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
    const platform::OpenedFlight opened = file.folder
                                              ? file.folder->openFlight(file.name, file.is_link)
                                              : platform::openFlight(path, file.is_link);
    if (std::optional<SkipReason> refused = refusedBeforeReading(opened)) {
        errors << "Skipping " << escaped(path) << ": " << reasonText(*refused) << "\n";
        return done(std::move(*refused));
    }
    igc::FlightLog log;
    const LentFixes lent(log, buffers);
    igc::LoadOutcome outcome;
    if (!log.load(opened.file, path.c_str(), errors, outcome)) {
        if (opened.file == nullptr) // the reader said so in its own words; the system's are ours
            outcome.system_error = opened.error.value();
        errors << "Couldn't load IGC file " << path << "!" << std::endl;
        return done(readerFailure(outcome, opened.kind));
    }
    const std::vector<igc::Fix>& fixes = log.fixes_;
    if (fixes.size() < 2) {
        result.output = "Empty log file: " + path + "!\n";
        return done({fixes.empty() ? SkipKind::Empty : SkipKind::OneFix});
    }
    errors << "analyzeFlight()\n";
    const std::size_t start = takeoffFix(fixes, errors);
    if (start == 0) {
        errors << "Error: Couldn't find start fix!\n";
        return done({SkipKind::NoTakeoff});
    }
    const std::size_t end = landingFix(fixes, start, errors);
    const FlightSpan span{start, end, flightTime(fixes, start, end)};
    if (min_time_minutes * 60.0 > span.seconds) {
        errors << "Flight too short (" << span.seconds << " seconds) - skipping\n";
        return done({SkipKind::TooShort, {}, 0, span.seconds});
    }
    result.entry = entryLine(log, path, span, buffers, format_date, errors);
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
