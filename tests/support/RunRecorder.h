#pragma once

// A run's environment for tests: the run's own lines kept as text, the files' diagnostics where
// the program's go (standard error and output, for a test to capture) or, `quiet`, kept apart; the
// questions recorded and answered from a script, a cancel that a test sets, and a hook after each
// file.

#include "logbook/RunEnvironment.h"

#include <atomic>
#include <deque>
#include <functional>
#include <sstream>
#include <utility>
#include <vector>

namespace testing_support {

class RunRecorder : public logbook::RunEnvironment {
public:
    RunRecorder() = default;
    /// Answers the questions in turn with `answers`, then with `otherwise`.
    explicit RunRecorder(std::deque<logbook::Answer> answers,
                         logbook::Answer otherwise = logbook::Answer::No)
        : answers_(std::move(answers)), otherwise_(otherwise) {}

    [[nodiscard]] bool cancelled() const override { return cancel; }
    void progress(int done, int total) override { steps.emplace_back(done, total); }
    logbook::Answer ask(const logbook::RunQuestion& question) override {
        asked.push_back(question);
        if (answering)
            return answering(question);
        if (answers_.empty())
            return otherwise_;
        const logbook::Answer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    void fileDone(const logbook::FlightResult& file) override {
        RunEnvironment::fileDone(file);
        if (on_file)
            on_file(file);
    }
    std::ostream& diagnostics() override { return lines; }
    std::ostream& fileDiagnostics() override {
        return quiet ? file_lines : RunEnvironment::fileDiagnostics();
    }
    std::ostream& diagnosticOutput() override {
        return quiet ? file_lines : RunEnvironment::diagnosticOutput();
    }

    std::ostringstream lines;      // the run's own ("Generating new logbook")
    bool quiet = false;            // the files' lines into file_lines, not the program's streams
    std::ostringstream file_lines; // then here
    std::vector<logbook::RunQuestion> asked;
    std::vector<std::pair<int, int>> steps; // progress: done, total
    std::function<void(const logbook::FlightResult&)> on_file;
    std::function<logbook::Answer(const logbook::RunQuestion&)> answering; // before the script
    std::atomic<bool> cancel{false};

private:
    std::deque<logbook::Answer> answers_;
    logbook::Answer otherwise_ = logbook::Answer::No;
};

} // namespace testing_support
