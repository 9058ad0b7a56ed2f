#pragma once

// A program run with its arguments as exact bytes (QProcess would re-encode them as text),
// its standard streams captured, and a time limit so that a hanging run fails the test instead
// of hanging it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

class ChildProcess {
public:
    /// Starts `arguments` (the program first) with `environment` ("NAME=value") added to this
    /// process's environment; standard input is empty. `prepare`, when given, runs in the new
    /// process before the program (limits, another user).
    explicit ChildProcess(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment = {},
                          const std::function<void()>& prepare = {}) {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDONLY);
            dup2(null, STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            for (const std::string& setting : environment)
                putenv(const_cast<char*>(setting.c_str()));
            if (prepare)
                prepare();
            std::vector<char*> argv;
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_fd_ = out[0];
        err_fd_ = err[0];
    }
    ~ChildProcess() {
        if (pid_ > 0 && !finished_) {
            kill(pid_, SIGKILL);
            wait(std::chrono::seconds(10));
        }
        if (out_fd_ >= 0)
            ::close(out_fd_);
        if (err_fd_ >= 0)
            ::close(err_fd_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    [[nodiscard]] pid_t pid() const { return pid_; }

    /// Waits for the end, reading both streams; false when the time ran out (the program is
    /// then killed).
    bool wait(std::chrono::milliseconds limit = std::chrono::seconds(120)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
            ::poll(fds, 2, 50);
            drain(out_fd_, output);
            drain(err_fd_, errors);
            int status = 0;
            struct rusage usage {};
            if (wait4(pid_, &status, WNOHANG, &usage) == pid_) {
                peak_kb = usage.ru_maxrss;
                finished_ = true;
                drain(out_fd_, output);
                drain(err_fd_, errors);
                exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                finished_ = true;
                return false;
            }
        }
    }

    /// Reads standard error until it holds `text`; false when the program ended or the time ran
    /// out first. For catching a run in the middle of its work.
    bool waitForErrors(const std::string& text,
                       std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (errors.find(text) == std::string::npos) {
            pollfd ready{err_fd_, POLLIN, 0};
            ::poll(&ready, 1, 50);
            drain(err_fd_, errors);
            if ((ready.revents & POLLHUP) != 0 || std::chrono::steady_clock::now() > deadline)
                return errors.find(text) != std::string::npos;
        }
        return true;
    }

    int exit_code = -1;
    int signal = 0;
    long peak_kb = 0; // the most memory the program held at once (its resident set)
    std::string output;
    std::string errors;

private:
    static void drain(int fd, std::string& into) {
        char block[4096];
        for (;;) {
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 0) <= 0 || (ready.revents & (POLLIN | POLLHUP)) == 0)
                return;
            const ssize_t got = ::read(fd, block, sizeof block);
            if (got <= 0)
                return;
            into.append(block, static_cast<std::size_t>(got));
        }
    }

    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    bool finished_ = false;
};

} // namespace testing_support
