#pragma once

// The head of the benchmarks' generated recordings, and one very long recording for the memory
// figures: a glider circling at 1 Hz with FXA, SIU and ENL and a declared task, written once to
// the temporary directory and kept for later runs.

#include "igc/FlightLog.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace bench {

/// The head of the generated recordings: date, pilot, glider, and a task with three turnpoints.
inline igc::FlightLog exampleFlightHead() {
    igc::FlightLog log;
    log.date_ = {6, 1, 8};
    log.pilot_ = "Example Pilot";
    log.glider_type_ = "LS 4";
    log.glider_id_ = "D-1234";
    log.has_task_ = true;
    log.task_.turnpoint_count = 3;
    log.task_.description = "Triangle 500km";
    log.task_.takeoff = {52.1, 10.1, "Takeoff"};
    log.task_.start = {52.0, 10.0, "Start"};
    for (int k = 1; k <= 3; ++k)
        log.task_.turnpoints.push_back({52.0 + k * 0.5, 10.0 + k * 0.7, "TP" + std::to_string(k)});
    log.task_.finish = {52.0, 10.0, "Finish"};
    log.task_.landing = {52.1, 10.1, "Landing"};
    return log;
}

/// Size of the large recording in bytes (it ends with the first fix past this size).
inline constexpr std::uintmax_t kLargeRecordingBytes = 256u << 20;

/// The path of the large recording, written on first use.
inline std::string largeRecording() {
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / "thermora-bench-256mb.igc";
    std::error_code error;
    if (const auto size = fs::file_size(file, error); !error && size >= kLargeRecordingBytes)
        return file.string();
    igc::FlightLog log = exampleFlightHead();
    // A B record with the three extensions takes 45 bytes with its line end.
    const std::size_t fixes = kLargeRecordingBytes / 45 + 1;
    log.fixes_.reserve(fixes);
    for (std::size_t i = 0; i < fixes; ++i) {
        const int t = static_cast<int>((8 * 3600 + i) % 86400);
        const double angle = static_cast<double>(i) * 0.0005;
        log.fixes_.emplace_back(t / 3600, t / 60 % 60, t % 60, 52.0 + 0.8 * std::sin(angle),
                                10.0 + 1.2 * std::cos(angle), 1000 + static_cast<int>(i % 900),
                                1020 + static_cast<int>(i % 900), 'A', 25, 7, 40);
    }
    const fs::path part = file.string() + ".part";
    if (!log.save(part.string().c_str()))
        std::abort();
    fs::rename(part, file);
    return file.string();
}

} // namespace bench
