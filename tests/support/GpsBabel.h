#pragma once

// Reads an IGC file with GPSBabel, an independent reader, for comparisons in tests.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace testing_support {

struct BabelFix {
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    std::string time;       // "HH:MM:SS" (UTC)
};

struct BabelReading {
    int exit_code = -1;
    std::vector<BabelFix> fixes; // the first track: GPSBabel adds a second one per altitude
};

/// Runs `gpsbabel -t -i igc -f PATH -o gpx -F -` and collects the points of its first track.
inline BabelReading readWithGpsBabel(const std::string& gpsbabel, const std::string& path) {
    BabelReading reading;
    const std::string command =
        "'" + gpsbabel + "' -t -i igc -f '" + path + "' -o gpx -F - 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return reading;
    std::string gpx;
    char block[65536];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;)
        gpx.append(block, got);
    const int status = pclose(pipe);
    reading.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

    const std::size_t track_begin = gpx.find("<trk>");
    const std::size_t track_end = gpx.find("</trk>", track_begin);
    if (track_begin == std::string::npos || track_end == std::string::npos)
        return reading;
    // Each point: <trkpt lat="..." lon="..."> ... <time>YYYY-MM-DDTHH:MM:SSZ</time>
    for (std::size_t at = gpx.find("<trkpt ", track_begin); at < track_end;
         at = gpx.find("<trkpt ", at + 1)) {
        BabelFix fix;
        const std::size_t lat = gpx.find("lat=\"", at) + 5;
        const std::size_t lon = gpx.find("lon=\"", at) + 5;
        const std::size_t time = gpx.find("<time>", at);
        fix.latitude = std::strtod(gpx.c_str() + lat, nullptr);
        fix.longitude = std::strtod(gpx.c_str() + lon, nullptr);
        if (time != std::string::npos && gpx.size() >= time + 25)
            fix.time = gpx.substr(time + 17, 8);
        reading.fixes.push_back(fix);
    }
    return reading;
}

} // namespace testing_support
