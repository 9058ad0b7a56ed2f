// Writes the flights of the demo installation (examples/demo-install/data/IGC) with the IGC
// writer: a task flown to the finish, a local flight, a motor glider with an engine run, a hop
// too short for the logbook, and a file that is no IGC file at all.
//
//   make_demo_flights <directory>

#include "igc/FlightLog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// Flies a glider fix by fix, every `interval` seconds.
class Pilot {
public:
    Pilot(igc::FlightLog& log, int seconds, double latitude, double longitude, int interval)
        : log_(log), seconds_(seconds), latitude_(latitude), longitude_(longitude),
          interval_(interval) {
        record();
    }

    void engine(int noise) { noise_ = noise; }
    void climbTo(double altitude) { target_altitude_ = altitude; }
    void wait(int seconds) {
        for (int t = 0; t < seconds; t += interval_) {
            seconds_ += interval_;
            record();
        }
    }
    // Straight to a point at `speed` m/s (ground speed, flat-earth steps are fine here).
    void flyTo(double latitude, double longitude, double speed) {
        const double north = (latitude - latitude_) * 111195.0;
        const double east =
            (longitude - longitude_) * 111195.0 * std::cos(latitude_ * 0.017453292519943295);
        const int steps =
            std::max(1, static_cast<int>(std::hypot(north, east) / (speed * interval_)));
        const double dlat = (latitude - latitude_) / steps;
        const double dlon = (longitude - longitude_) / steps;
        for (int i = 0; i < steps; ++i) {
            seconds_ += interval_;
            latitude_ += dlat;
            longitude_ += dlon;
            altitude_ += std::clamp(target_altitude_ - altitude_, -3.0, 6.0);
            record();
        }
    }

private:
    void record() {
        const int t = seconds_ % 86400;
        log_.fixes_.emplace_back(t / 3600, t / 60 % 60, t % 60, latitude_, longitude_,
                                 static_cast<int>(altitude_), static_cast<int>(altitude_) + 25, 'A',
                                 12, 9, noise_);
    }

    igc::FlightLog& log_;
    int seconds_;
    double latitude_;
    double longitude_;
    int interval_;
    double altitude_ = 210.0;
    double target_altitude_ = 210.0;
    int noise_ = 20;
};

igc::FlightLog header(const char* glider_type, const char* glider_id, igc::IgcDate date) {
    igc::FlightLog log;
    log.manufacturer_ = "XTH";
    log.logger_id_ = "DEMO01";
    log.date_ = date;
    log.fix_accuracy_ = 35;
    log.pilot_ = "Demo Pilot";
    log.glider_type_ = glider_type;
    log.glider_id_ = glider_id;
    log.fr_type_ = "Thermora,Simulator";
    log.gps_ = "Simulated";
    return log;
}

void save(const igc::FlightLog& log, const fs::path& path) {
    if (!log.save(path.string().c_str()))
        std::exit(1);
    std::printf("%s: %zu fixes\n", path.filename().string().c_str(), log.fixes_.size());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_flights <directory>\n");
        return 2;
    }
    const fs::path dir = argv[1];
    fs::create_directories(dir);

    // A 300 km triangle flown to the finish.
    igc::FlightLog task = header("LS 8", "D-8123", {14, 5, 26});
    task.has_task_ = true;
    task.task_.declaration_date = {14, 5, 26};
    task.task_.declaration_time = {9, 12, 0};
    task.task_.flight_date = {14, 5, 26};
    task.task_.turnpoint_count = 2;
    task.task_.description = "Triangle 300km";
    task.task_.takeoff = {52.01, 10.01, "Eichberg Airfield"};
    task.task_.start = {52.0, 10.0, "Alpha"};
    task.task_.turnpoints = {{52.9, 10.3, "Bravo"}, {52.3, 11.4, "Charlie"}};
    task.task_.finish = {52.0, 10.0, "Delta"};
    task.task_.landing = {52.01, 10.01, "Eichberg Airfield"};
    {
        Pilot pilot(task, 10 * 3600 + 5 * 60, 52.01, 10.01, 4);
        pilot.wait(120);
        pilot.climbTo(1200);
        pilot.flyTo(52.02, 9.98, 32);
        pilot.flyTo(52.0, 10.0, 28);
        pilot.climbTo(1500);
        pilot.flyTo(52.9, 10.3, 30);
        pilot.flyTo(52.3, 11.4, 31);
        pilot.flyTo(52.0, 10.0, 33);
        pilot.climbTo(210);
        pilot.flyTo(52.01, 10.01, 24);
        pilot.wait(180);
    }
    save(task, dir / "2026-05-14-triangle.igc");

    // A local soaring flight near the airfield.
    igc::FlightLog local = header("ASK 21", "D-2121", {16, 5, 26});
    {
        Pilot pilot(local, 12 * 3600, 52.01, 10.01, 4);
        pilot.wait(60);
        pilot.climbTo(900);
        for (int lap = 0; lap < 6; ++lap) {
            pilot.flyTo(52.08, 10.05, 27);
            pilot.flyTo(52.03, 10.12, 27);
            pilot.flyTo(52.01, 10.01, 27);
        }
        pilot.climbTo(210);
        pilot.flyTo(52.012, 10.02, 22);
        pilot.wait(120);
    }
    save(local, dir / "2026-05-16-local.igc");

    // A self-launching motor glider: engine for the climb and once more on the way home.
    igc::FlightLog motor = header("Stemme S10", "D-KSTE", {20, 5, 26});
    {
        Pilot pilot(motor, 9 * 3600 + 30 * 60, 52.01, 10.01, 2);
        pilot.engine(850);
        pilot.wait(60);
        pilot.climbTo(1000);
        pilot.flyTo(52.1, 10.1, 30);
        pilot.engine(30);
        pilot.flyTo(52.4, 10.4, 35);
        pilot.engine(820);
        pilot.flyTo(52.3, 10.3, 36);
        pilot.engine(25);
        pilot.climbTo(210);
        pilot.flyTo(52.01, 10.01, 34);
        pilot.wait(60);
    }
    save(motor, dir / "2026-05-20-motor-glider.igc");

    // A hop of under a minute: shorter than the logbook's default minimum time.
    igc::FlightLog hop = header("SG 38", "D-0038", {22, 5, 26});
    {
        Pilot pilot(hop, 15 * 3600, 52.01, 10.01, 1);
        pilot.wait(10);
        pilot.flyTo(52.0115, 10.01, 27);
        pilot.wait(10);
    }
    save(hop, dir / "2026-05-22-hop.igc");

    // Not an IGC file: the reader says so and the logbook goes on without it.
    std::ofstream(dir / "2026-05-23-broken.igc", std::ios::binary)
        << "This recording was cut off before its first record.\r\n";
    std::printf("2026-05-23-broken.igc: not an IGC file\n");
    return 0;
}
