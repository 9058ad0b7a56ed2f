// Writes IGC files whose arithmetic lies where two systems' math libraries could part ways, for
// comparing the Linux and the Windows program byte for byte (scripts/test-windows-cli): fixes of
// the same second, one position recorded again and again, speeds at the takeoff and landing
// thresholds, task flights through their turnpoints exactly and along the edges of their
// cylinders, midnight and fixes out of order, from pole to pole and across the date line. The
// same count gives the same files.
//
//   make_edge_flights <directory> [count]

#include "FlightBuilder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing_support::FlightBuilder;

class Dice {
public:
    explicit Dice(unsigned seed) : engine_(seed) {}
    int between(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(engine_);
    }
    bool chance(int percent) { return between(1, 100) <= percent; }

private:
    std::mt19937 engine_;
};

// A latitude anywhere, now and then one of those whose position the law of cosines puts a few
// centimetres (46 degrees) or not a number (45 degrees 7 minutes) away from itself.
double latitude(Dice& dice) {
    switch (dice.between(0, 3)) {
    case 0:
        return 46.0;
    case 1:
        return 45.0 + 7.0 / 60.0;
    default:
        return dice.between(-89 * 60, 89 * 60) / 60.0;
    }
}
double longitude(Dice& dice) {
    return dice.chance(10) ? 179.9 * (dice.chance(50) ? 1 : -1)
                           : dice.between(-179 * 60, 179 * 60) / 60.0;
}

// Now and then a fix of the same second: in place, or a step of a few thousandths of a minute.
void maybeTwice(FlightBuilder& flight, Dice& dice) {
    if (dice.chance(15))
        flight.move(1, 0, dice.chance(50) ? 0 : dice.between(-3, 3), dice.between(-1, 1));
}

// On the ground, some fixes of them in the same second.
void wait(FlightBuilder& flight, Dice& dice, int fixes, int interval) {
    for (int k = 0; k < fixes; ++k) {
        flight.hold(1, interval);
        maybeTwice(flight, dice);
    }
}

// Flying: steps of thousandths of a minute whose speeds lie about the takeoff (25 m/s) and the
// landing (16.7 m/s) speed, at 1 to 4 s, so that many pairs sit just either side of them.
void fly(FlightBuilder& flight, Dice& dice, int fixes) {
    const int interval = dice.between(1, 4);
    const long north = dice.between(-15, 15) * interval;
    const long east = dice.between(-15, 15) * interval;
    for (int k = 0; k < fixes; ++k) {
        flight.move(1, interval, north + dice.between(-1, 1), east + dice.between(-1, 1));
        maybeTwice(flight, dice);
    }
}

FlightBuilder localFlight(Dice& dice) {
    // Now and then shortly before midnight, so that the flight crosses it.
    const int start = dice.chance(20) ? 86400 - dice.between(60, 900) : dice.between(0, 80000);
    FlightBuilder flight(start, latitude(dice), longitude(dice));
    if (dice.chance(30))
        flight.engine(dice.chance(50) ? 200 : 850);
    wait(flight, dice, dice.between(1, 40), 1);
    for (int leg = dice.between(1, 4); leg > 0; --leg) {
        fly(flight, dice, dice.between(2, 60));
        if (dice.chance(20))
            flight.engine(dice.chance(50) ? 199 : 0);
        if (dice.chance(10)) // a fix out of order
            flight.move(1, -dice.between(1, 20), 0, 0).move(1, dice.between(1, 30), 1, 0);
    }
    wait(flight, dice, dice.between(1, 40), 1);
    // The position recorded again hours later, in one second: how a landing came hours late.
    if (dice.chance(50))
        flight.hold(dice.between(1, 300), 60).move(1, 0, 0, 0);
    return flight;
}

// A short hop at any latitude, in any direction: each file prints the speeds of its start and end
// pairs, and the speeds of the law of cosines turn with the last bit of a sine.
FlightBuilder hop(Dice& dice) {
    const double lat = dice.between(-89 * 60000, 89 * 60000) / 60000.0;
    const double lon = dice.between(-179 * 60000, 179 * 60000) / 60000.0;
    FlightBuilder flight(dice.between(0, 86000), lat, lon);
    wait(flight, dice, 2, 1);
    flight.move(1, 0, 0, 0); // one position twice in a second
    flight.move(dice.between(1, 3), 1, dice.between(-30, 30), dice.between(-30, 30));
    wait(flight, dice, 2, 1);
    return flight;
}

// A task whose turnpoints lie on the grid of the file's positions, flown through each turnpoint
// exactly or past it at 268 to 271 thousandths of a minute (about 500 m: the cylinder's edge).
FlightBuilder taskFlight(Dice& dice) {
    const double lat0 = latitude(dice);
    const double lon0 = longitude(dice);
    std::vector<FlightBuilder::Point> points;
    const int turnpoints = dice.between(0, 4);
    for (int k = 0; k < turnpoints + 2; ++k) {
        const double lat = lat0 + dice.between(-30, 30) / 60.0;
        const double lon = lon0 + dice.between(-30, 30) / 60.0;
        if (!points.empty() && dice.chance(10))
            points.push_back(points.back()); // a leg of no length
        else
            points.push_back({lat, lon, "TP" + std::to_string(k)});
    }
    if (dice.chance(20))
        points.back() = points.front(); // finish at the start
    if (dice.chance(5))
        points[1].latitude = 95.0; // beyond the pole: no distance is a number
    FlightBuilder flight(dice.between(0, 86399), lat0, lon0);
    flight.task(points);
    wait(flight, dice, dice.between(1, 20), 1);
    for (int round = dice.chance(20) ? 2 : 1; round > 0; --round) { // a second start
        for (const FlightBuilder::Point& point : points) {
            const int steps = dice.between(20, 300);
            const int interval = dice.between(1, 4);
            if (point.latitude > 90.0)
                continue;
            if (dice.chance(50)) {
                flight.to(point.latitude, point.longitude, steps, interval);
            } else {
                const double edge = dice.between(268, 271) / 60000.0;
                flight.to(point.latitude + (dice.chance(50) ? edge : -edge), point.longitude, steps,
                          interval);
            }
            maybeTwice(flight, dice);
            if (dice.chance(10))
                flight.engine(dice.chance(70) ? 900 : 0); // outlanding, or running on
        }
    }
    wait(flight, dice, dice.between(1, 20), 1);
    return flight;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_edge_flights <directory> [count]\n");
        return 2;
    }
    const fs::path dir = argv[1];
    const int count = argc == 3 ? std::atoi(argv[2]) : 4000;
    fs::create_directories(dir);
    Dice dice(24);
    for (int k = 0; k < count; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "edge-%04d.igc", k);
        (k % 20 == 0   ? localFlight(dice)
         : k % 20 == 1 ? taskFlight(dice)
                       : hop(dice))
            .save(dir / name);
    }
    std::printf("%d flights in %s\n", count, dir.string().c_str());
    return 0;
}
