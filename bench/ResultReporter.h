#pragma once

// The console report of Google Benchmark, without colour (scripts read it), that also keeps the
// byte throughput of every benchmark for the RESULT lines a program prints at its end.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

class ResultReporter : public benchmark::ConsoleReporter {
public:
    ResultReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto bytes = run.counters.find("bytes_per_second");
            if (bytes != run.counters.end() && run.run_type == Run::RT_Iteration)
                megabytes_per_second_[run.benchmark_name()] = bytes->second.value / 1e6;
            if (run.run_type == Run::RT_Iteration)
                real_time_[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    /// MB/s (10^6 bytes) of the benchmark `name`; 0 when it did not run.
    [[nodiscard]] double megabytesPerSecond(const std::string& name) const {
        const auto found = megabytes_per_second_.find(name);
        return found == megabytes_per_second_.end() ? 0.0 : found->second;
    }

    /// Real time of one iteration of the benchmark `name`, in the unit it reports in; 0 when it
    /// did not run.
    [[nodiscard]] double realTime(const std::string& name) const {
        const auto found = real_time_.find(name);
        return found == real_time_.end() ? 0.0 : found->second;
    }

private:
    std::map<std::string, double> megabytes_per_second_;
    std::map<std::string, double> real_time_;
};

} // namespace bench
