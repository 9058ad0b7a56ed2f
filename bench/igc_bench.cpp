// Reading speed of the IGC reader, on a generated long flight and on real recordings, against a
// plain getline + sscanf reader; and the memory the fixes take.

#include "ChildProcess.h"
#include "LargeRecording.h"
#include "ReferenceReader.h"
#include "ResultReporter.h"
#include "igc/FlightLog.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A 10-hour flight at 1 Hz: FXA, SIU and ENL declared, a task with three turnpoints.
std::string generatedFlight() {
    static const std::string path = [] {
        igc::FlightLog log = bench::exampleFlightHead();
        constexpr int kFixes = 10 * 3600;
        log.fixes_.reserve(kFixes);
        for (int i = 0; i < kFixes; ++i) {
            const int t = 8 * 3600 + i;
            const double angle = i * 0.0005;
            log.fixes_.emplace_back(t / 3600, t / 60 % 60, t % 60, 52.0 + 0.8 * std::sin(angle),
                                    10.0 + 1.2 * std::cos(angle), 1000 + i % 900, 1020 + i % 900,
                                    'A', 25 + i % 10, 7 + i % 5, i % 300 < 20 ? 650 : 40 + i % 30);
        }
        const fs::path file = fs::temp_directory_path() / "thermora-bench-10h.igc";
        if (!log.save(file.string().c_str()))
            std::abort();
        return file.string();
    }();
    return path;
}

std::vector<std::string> corpusFiles() {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(THERMORA_IGC_CORPUS, error))
        if (entry.path().extension() == ".igc")
            files.push_back(entry.path().string());
    return files;
}

std::int64_t totalBytes(const std::vector<std::string>& files) {
    std::int64_t bytes = 0;
    for (const std::string& file : files)
        bytes += static_cast<std::int64_t>(fs::file_size(file));
    return bytes;
}

// The reader's diagnostics are not what is measured.
struct Silence {
    Silence() : old(std::cerr.rdbuf(nullptr)) {}
    ~Silence() { std::cerr.rdbuf(old); }
    std::streambuf* old;
};

void igc_load_generated(benchmark::State& state) {
    const std::string file = generatedFlight();
    for (auto _ : state) {
        igc::FlightLog log;
        benchmark::DoNotOptimize(log.load(file.c_str()));
        benchmark::DoNotOptimize(log.fixes_.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(file)));
}
BENCHMARK(igc_load_generated)->Unit(benchmark::kMillisecond);

void igc_load_generated_sscanf(benchmark::State& state) {
    const std::string file = generatedFlight();
    for (auto _ : state) {
        igc::FlightLog log;
        benchmark::DoNotOptimize(bench::loadWithSscanf(log, file.c_str()));
        benchmark::DoNotOptimize(log.fixes_.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(file)));
}
BENCHMARK(igc_load_generated_sscanf)->Unit(benchmark::kMillisecond);

void igc_load_corpus(benchmark::State& state) {
    const std::vector<std::string> files = corpusFiles();
    if (files.empty()) {
        state.SkipWithError("no IGC corpus");
        return;
    }
    Silence silence;
    for (auto _ : state) {
        for (const std::string& file : files) {
            igc::FlightLog log;
            benchmark::DoNotOptimize(log.load(file.c_str()));
        }
    }
    state.SetBytesProcessed(state.iterations() * totalBytes(files));
}
BENCHMARK(igc_load_corpus)->Unit(benchmark::kMillisecond);

// Both readers must agree, or the comparison means nothing.
bool readersAgree(const std::string& file) {
    igc::FlightLog fast;
    igc::FlightLog plain;
    if (!fast.load(file.c_str()) || !bench::loadWithSscanf(plain, file.c_str()))
        return false;
    if (fast.fixes_.size() != plain.fixes_.size())
        return false;
    for (std::size_t i = 0; i < fast.fixes_.size(); ++i) {
        const igc::Fix& a = fast.fixes_[i];
        const igc::Fix& b = plain.fixes_[i];
        if (a.time.second != b.time.second || a.position.lat_min != b.position.lat_min ||
            a.position.lon_deg != b.position.lon_deg || a.gps_alt != b.gps_alt || a.enl != b.enl ||
            a.fxa != b.fxa || a.siu != b.siu)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // The child whose peak memory is measured: one load and nothing else.
    if (argc == 3 && std::string(argv[1]) == "--load-only") {
        const Silence silence;
        igc::FlightLog log;
        return log.load(argv[2]) && !log.fixes_.empty() ? 0 : 1;
    }
    const bool chosen = bench::benchmarksChosen(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!readersAgree(generatedFlight())) {
        std::fprintf(stderr, "the two readers disagree on the generated flight\n");
        return 1;
    }
    bench::ResultReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    igc::FlightLog log;
    log.load(generatedFlight().c_str());
    const double bytes_per_fix = static_cast<double>(log.fixes_.capacity() * sizeof(igc::Fix)) /
                                 static_cast<double>(log.fixes_.size());

    const double generated = reporter.megabytesPerSecond("igc_load_generated");
    const double corpus = reporter.megabytesPerSecond("igc_load_corpus");
    const double plain = reporter.megabytesPerSecond("igc_load_generated_sscanf");
    if (generated > 0.0)
        std::printf("RESULT igc_load_generated %.1f MB/s\n", generated);
    if (corpus > 0.0)
        std::printf("RESULT igc_load_corpus %.1f MB/s\n", corpus);
    if (generated > 0.0 && plain > 0.0)
        std::printf("RESULT igc_load_speedup_vs_sscanf %.1f x\n", generated / plain);
    std::printf("RESULT igc_bytes_per_fix %.1f B\n", bytes_per_fix);

    if (chosen)
        return 0;
    const std::string large = bench::largeRecording();
    const bench::ChildCost load = bench::runChild({argv[0], "--load-only", large});
    if (load.succeeded)
        std::printf("RESULT load_peak_rss_ratio %.2f (peak resident memory / size of a %.0f MB "
                    "recording)\n",
                    load.peak_bytes / static_cast<double>(fs::file_size(large)),
                    static_cast<double>(fs::file_size(large)) / 1e6);
    return 0;
}
