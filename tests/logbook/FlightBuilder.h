#pragma once

// Builds small IGC files for the logbook tests. Positions are kept in whole thousandths of a
// minute, the file's own resolution, so that every speed and distance a test expects is exact:
// one thousandth of a minute of latitude is 1.85325 m for the fix-to-fix speeds.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

/// Thousandths of a minute in `degrees`, rounded.
inline long thousandths(double degrees) {
    return std::lround(degrees * 60000.0);
}

/// The IGC text of a position given in thousandths of a minute.
inline std::string positionText(long lat, long lon) {
    char text[96];
    std::snprintf(text, sizeof text, "%02ld%05ld%c%03ld%05ld%c", std::labs(lat) / 60000,
                  std::labs(lat) % 60000, lat < 0 ? 'S' : 'N', std::labs(lon) / 60000,
                  std::labs(lon) % 60000, lon < 0 ? 'W' : 'E');
    return text;
}

class FlightBuilder {
public:
    /// Starts at `seconds` of the day at (latitude, longitude) in degrees.
    FlightBuilder(int seconds, double latitude, double longitude)
        : seconds_(seconds), lat_(thousandths(latitude)), lon_(thousandths(longitude)) {
        record();
    }

    /// A header line such as "HFGTYGLIDERTYPE:Trainer".
    FlightBuilder& header(const std::string& line) {
        headers_ += line + "\r\n";
        return *this;
    }
    /// A task: start, turnpoints and finish as (latitude, longitude, name).
    struct Point {
        double latitude;
        double longitude;
        std::string name;
    };
    FlightBuilder& task(const std::vector<Point>& points) {
        char line[96];
        std::snprintf(line, sizeof line, "C050108090000050108000%02zu\r\n", points.size() - 2);
        task_ = line;
        const auto add = [this](const Point& p) {
            task_ += "C" + positionText(thousandths(p.latitude), thousandths(p.longitude)) +
                     p.name + "\r\n";
        };
        add(points.front()); // takeoff
        for (const Point& p : points)
            add(p);
        add(points.back()); // landing
        return *this;
    }

    /// A C record block as it stands, for declarations the task() form cannot make.
    FlightBuilder& taskText(const std::string& lines) {
        task_ = lines;
        return *this;
    }

    /// Engine noise level of the fixes recorded from now on.
    FlightBuilder& engine(int noise) {
        noise_ = noise;
        return *this;
    }
    /// `steps` fixes `interval` seconds apart, each `north` and `east` thousandths of a minute
    /// further on.
    FlightBuilder& move(int steps, int interval, long north, long east) {
        for (int i = 0; i < steps; ++i) {
            seconds_ += interval;
            lat_ += north;
            lon_ += east;
            record();
        }
        return *this;
    }
    FlightBuilder& hold(int steps, int interval) { return move(steps, interval, 0, 0); }
    /// Straight to (latitude, longitude) in `steps` fixes `interval` seconds apart.
    FlightBuilder& to(double latitude, double longitude, int steps, int interval) {
        const long lat0 = lat_;
        const long lon0 = lon_;
        const long dlat = thousandths(latitude) - lat0;
        const long dlon = thousandths(longitude) - lon0;
        for (int i = 1; i <= steps; ++i) {
            seconds_ += interval;
            lat_ = lat0 + dlat * i / steps;
            lon_ = lon0 + dlon * i / steps;
            record();
        }
        return *this;
    }
    /// Drops the fixes recorded so far but the last.
    FlightBuilder& forgetEarlierFixes() {
        fixes_.erase(fixes_.begin(), fixes_.end() - 1);
        return *this;
    }

    [[nodiscard]] std::string text() const {
        std::string text =
            "AXXXTST\r\nHFDTE050108\r\n" + headers_ + "I033638FXA3940SIU4143ENL\r\n" + task_;
        for (const std::string& fix : fixes_)
            text += fix;
        return text;
    }
    void save(const std::filesystem::path& path) const {
        std::ofstream(path, std::ios::binary) << text();
    }

private:
    void record() {
        const int time = seconds_ % 86400;
        char line[160];
        std::snprintf(line, sizeof line, "B%02d%02d%02d%sA005000052002508%03d\r\n", time / 3600,
                      time / 60 % 60, time % 60, positionText(lat_, lon_).c_str(), noise_);
        fixes_.emplace_back(line);
    }

    int seconds_;
    long lat_; // thousandths of a minute, north positive
    long lon_; // thousandths of a minute, east positive
    int noise_ = 0;
    std::string headers_;
    std::string task_;
    std::vector<std::string> fixes_;
};

} // namespace testing_support
