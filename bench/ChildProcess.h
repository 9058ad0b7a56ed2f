#pragma once

// Runs a program as a child process and reports what it cost: for whole-process figures such as
// the peak resident memory of a load or the time of a one-file run.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct ChildCost {
    bool succeeded = false; // exited with status 0
    double peak_bytes = 0.0;
    double milliseconds = 0.0; // wall time from the fork to the exit
};

/// Whether the command line chooses benchmarks (--benchmark_filter): then only those run, and
/// the figures of whole child processes are left out. Ask before benchmark::Initialize.
inline bool benchmarksChosen(int argc, char** argv) {
    for (int k = 1; k < argc; ++k)
        if (std::string(argv[k]).rfind("--benchmark_filter", 0) == 0)
            return true;
    return false;
}

/// Runs `arguments` (the program first), its standard output and error sent to /dev/null.
inline ChildCost runChild(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (FILE* null = std::fopen("/dev/null", "w")) {
            dup2(fileno(null), STDOUT_FILENO);
            dup2(fileno(null), STDERR_FILENO);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    ChildCost cost;
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return cost;
    cost.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    cost.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    cost.peak_bytes = static_cast<double>(usage.ru_maxrss) * 1024.0; // kilobytes on Linux
    return cost;
}

} // namespace bench
