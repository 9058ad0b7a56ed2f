// The whole generation core (listing, analysis, entry writing) over a directory of long task
// flights: throughput of IGC input, and peak memory for 60 and for 240 files, which must not
// grow with the number of files, and for two very large files on two threads, which must not be
// twice that of one. And the command line as a whole process on one small recording.

#include "ChildProcess.h"
#include "LargeRecording.h"
#include "ResultReporter.h"
#include "igc/FlightLog.h"
#include "logbook/Generation.h"
#include "logbook/LogbookEntry.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kFlights = 60;
constexpr int kFixesPerFlight = 8 * 3600; // eight hours at 1 Hz

// An 8-hour flight round a 300 km triangle of 500 m cylinders, several laps, with a short
// engine run; every flight a little different.
void writeFlight(const fs::path& path, int variant, int fixes = kFixesPerFlight) {
    igc::FlightLog log;
    log.date_ = {14, 5, 26};
    log.glider_type_ = "LS 8";
    log.glider_id_ = "D-" + std::to_string(8000 + variant);
    log.has_task_ = true;
    log.task_.turnpoint_count = 2;
    log.task_.start = {52.0, 10.0, "Alpha"};
    log.task_.turnpoints = {{52.9, 10.3, "Bravo"}, {52.3, 11.4, "Charlie"}};
    log.task_.finish = {52.0, 10.0, "Delta"};
    const double corners[4][2] = {{52.0, 10.0}, {52.9, 10.3}, {52.3, 11.4}, {52.0, 10.0}};
    log.fixes_.reserve(static_cast<std::size_t>(fixes));
    double lat = 52.0;
    double lon = 10.0 - 0.01 * variant / kFlights;
    int leg = 1;
    for (int i = 0; i < fixes; ++i) {
        const int t = 8 * 3600 + i;
        const bool rolling = i < 60 || i > fixes - 60;
        if (!rolling) {
            const double dlat = corners[leg][0] - lat;
            const double dlon = corners[leg][1] - lon;
            const double step = 0.00035 / std::hypot(dlat, dlon);
            if (step >= 1.0)
                leg = leg % 3 + 1;
            else {
                lat += dlat * step;
                lon += dlon * step;
            }
        }
        const int engine = (i > 20000 && i < 20300) ? 700 : 30;
        log.fixes_.emplace_back(t / 3600, t / 60 % 60, t % 60, lat,
                                lon + 0.0002 * std::sin(i * 0.01), 900 + i % 700, 930 + i % 700,
                                'A', 12, 9, engine);
    }
    if (!log.save(path.string().c_str()))
        std::abort();
}

// The 60 flights, written once; the 240-file directory holds four hard links to each.
fs::path flightDirectory(int files) {
    const fs::path base = fs::temp_directory_path() / "thermora-bench-generate";
    const fs::path flights = base / "60";
    if (!fs::exists(flights / "done")) {
        fs::remove_all(base);
        fs::create_directories(flights);
        for (int i = 0; i < kFlights; ++i)
            writeFlight(flights / ("flight" + std::to_string(i) + ".igc"), i);
        std::ofstream(flights / "done") << "";
    }
    if (files == kFlights)
        return flights;
    const fs::path many = base / std::to_string(files);
    if (!fs::exists(many)) {
        fs::create_directories(many);
        for (int i = 0; i < files; ++i)
            fs::create_hard_link(flights / ("flight" + std::to_string(i % kFlights) + ".igc"),
                                 many / ("flight" + std::to_string(i) + ".igc"));
    }
    return many;
}

std::int64_t igcBytes(const fs::path& dir) {
    std::int64_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".igc")
            bytes += static_cast<std::int64_t>(entry.file_size());
    return bytes;
}

// One generation as the dialog runs it on `jobs` threads, the diagnostics silenced.
int generate(const fs::path& dir, const fs::path& logbook_path, int jobs) {
    struct Silent : logbook::RunEnvironment {
        logbook::Answer ask(const logbook::RunQuestion&) override { return logbook::Answer::No; }
        std::ostream& diagnostics() override { return nowhere; }
        std::ostream& fileDiagnostics() override { return nowhere; }
        std::ostream& diagnosticOutput() override { return nowhere; }
        std::ostringstream nowhere;
    } silent;
    logbook::GenerationRequest request;
    request.igc_directory = dir.string();
    request.logbook_path = logbook_path.string();
    request.pilot_name = "Bench Pilot";
    request.jobs = jobs;
    const logbook::GenerationResult result = logbook::generateLogbook(request, silent);
    return result.entries;
}

void generate_throughput(benchmark::State& state, int jobs) {
    const fs::path dir = flightDirectory(kFlights);
    const fs::path logbook_path = dir.parent_path() / "logbook.dat";
    for (auto _ : state)
        benchmark::DoNotOptimize(generate(dir, logbook_path, jobs));
    state.SetBytesProcessed(state.iterations() * igcBytes(dir));
}
BENCHMARK_CAPTURE(generate_throughput, 1, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(generate_throughput, all, logbook::defaultJobs())
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The floor under any generation: the same files' bytes read with read(2), page cache warm.
void read_flights(benchmark::State& state) {
    const fs::path dir = flightDirectory(kFlights);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".igc")
            files.push_back(entry.path());
    std::vector<char> block(256 * 1024);
    for (auto _ : state) {
        std::size_t total = 0;
        for (const fs::path& file : files) {
            const int fd = ::open(file.c_str(), O_RDONLY);
            for (ssize_t got; (got = ::read(fd, block.data(), block.size())) > 0;)
                total += static_cast<std::size_t>(got);
            ::close(fd);
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() * igcBytes(dir));
}
BENCHMARK(read_flights)->Unit(benchmark::kMillisecond)->UseRealTime();

// Listing and sorting a directory of 5000 small files, with times that
// repeat so that the order of equal times is exercised too.
void list_5000(benchmark::State& state) {
    const fs::path dir = fs::temp_directory_path() / "thermora-bench-list-5000";
    if (!fs::exists(dir / "done")) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        const auto now = fs::file_time_type::clock::now();
        for (int i = 0; i < 5000; ++i) {
            const fs::path link = dir / ("flight" + std::to_string(i) + ".igc");
            std::ofstream(link) << "A\n";
            fs::last_write_time(link, now - std::chrono::minutes(i % 997));
        }
        std::ofstream(dir / "done") << "";
    }
    for (auto _ : state) {
        std::ostringstream skipped;
        const auto files = logbook::listFlights(dir.string(), skipped);
        if (!files || files->size() != 5000)
            std::abort();
        benchmark::DoNotOptimize(files->front().path);
    }
}
BENCHMARK(list_5000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Peak resident memory (MB) of a fresh process that generates a logbook over `files` flights.
double peakRssMegabytes(const char* self, int files) {
    const bench::ChildCost cost =
        bench::runChild({self, "--generate-only", flightDirectory(files)});
    return cost.succeeded ? cost.peak_bytes / (1024.0 * 1024.0) : -1.0;
}

// Peak resident memory of a generation on two threads over two very large recordings, against
// the size of one.
double largePairPeakRatio(const char* self) {
    const std::string large = bench::largeRecording();
    const fs::path dir = fs::temp_directory_path() / "thermora-bench-generate-large";
    fs::create_directories(dir);
    for (const char* name : {"a.igc", "b.igc"}) {
        std::error_code error;
        if (!fs::exists(dir / name))
            fs::create_hard_link(large, dir / name, error);
        if (error)
            fs::copy_file(large, dir / name);
    }
    const bench::ChildCost cost = bench::runChild({self, "--generate-only", dir.string()});
    return cost.succeeded ? cost.peak_bytes / static_cast<double>(fs::file_size(large)) : -1.0;
}

// Median wall time (ms) of the command line run as a whole process on one 20-minute recording.
double oneFileMilliseconds() {
    const fs::path dir = fs::temp_directory_path() / "thermora-bench-one-file";
    if (!fs::exists(dir / "igc" / "short.igc")) {
        fs::create_directories(dir / "igc");
        writeFlight(dir / "igc" / "short.igc", 0, 20 * 60);
    }
    const std::vector<std::string> run = {THERMORA_CLI,
                                          "--pilot",
                                          "Bench Pilot",
                                          "--igc-dir",
                                          (dir / "igc").string(),
                                          "--logbook",
                                          (dir / "logbook.dat").string(),
                                          "--yes",
                                          "--quiet"};
    std::vector<double> times;
    for (int k = 0; k < 41; ++k) {
        const bench::ChildCost cost = bench::runChild(run);
        if (!cost.succeeded)
            return -1.0;
        times.push_back(cost.milliseconds);
    }
    std::nth_element(times.begin(), times.begin() + 20, times.end());
    return times[20];
}

} // namespace

int main(int argc, char** argv) {
    // The child whose peak memory is measured: one generation and nothing else.
    if (argc == 3 && std::string(argv[1]) == "--generate-only")
        return generate(argv[2], fs::path(argv[2]) / "logbook.dat", logbook::defaultJobs()) > 0 ? 0
                                                                                                : 1;

    const bool chosen = bench::benchmarksChosen(argc, argv);
    benchmark::Initialize(&argc, argv);
    bench::ResultReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double one = reporter.megabytesPerSecond("generate_throughput/1/real_time");
    const double all = reporter.megabytesPerSecond("generate_throughput/all/real_time");
    const double read = reporter.megabytesPerSecond("read_flights/real_time");
    if (one > 0.0)
        std::printf("RESULT generate_throughput_1 %.1f MB/s\n", one);
    if (all > 0.0)
        std::printf("RESULT generate_throughput_all %.1f MB/s (%d threads)\n", all,
                    logbook::defaultJobs());
    if (one > 0.0 && all > 0.0)
        std::printf("RESULT generate_speedup_all %.2f x\n", all / one);
    if (all > 0.0 && read > 0.0)
        std::printf("RESULT generate_vs_read %.2f x\n", read / all);
    if (one > 0.0 && read > 0.0)
        std::printf("RESULT generate_vs_read_1 %.2f x (one thread)\n", read / one);
    if (const double list = reporter.realTime("list_5000/real_time"); list > 0.0)
        std::printf("RESULT list_5000_ms %.2f ms\n", list);
    if (chosen)
        return 0;
    std::printf("RESULT generate_peak_rss_60 %.1f MB\n", peakRssMegabytes(argv[0], 60));
    std::printf("RESULT generate_peak_rss_240 %.1f MB\n", peakRssMegabytes(argv[0], 240));
    std::printf("RESULT generate_peak_rss_two_large_ratio %.2f (peak / size of one, two %.0f MB "
                "recordings, %d threads)\n",
                largePairPeakRatio(argv[0]), static_cast<double>(bench::kLargeRecordingBytes) / 1e6,
                logbook::defaultJobs());
    std::printf("RESULT one_file_ms %.2f ms\n", oneFileMilliseconds());
    return 0;
}
