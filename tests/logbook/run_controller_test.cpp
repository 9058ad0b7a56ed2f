// The dialogs' run without a toolkit: a view that records what it is told and a queue that
// stands for the window's thread. Cancel at each stage of a run, the question answered both ways,
// a close during a run and during the question, and a controller gone while its run goes on.

#include "logbook/RunController.h"

#include "support/FileBytes.h"
#include "support/TestDates.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace logbook {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The window's thread: work posted from any thread, done when the test pumps.
class WindowThread {
public:
    void post(std::function<void()> work) {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
        }
        posted_.notify_all();
    }
    // Does posted work until `done` holds; false after 20 s without it.
    bool pumpUntil(const std::function<bool()>& done) {
        const auto give_up = std::chrono::steady_clock::now() + 20s;
        while (!done()) {
            std::unique_lock lock(mutex_);
            if (!posted_.wait_until(lock, give_up, [this] { return !queue_.empty(); }))
                return false;
            std::function<void()> work = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            work();
        }
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

// A dialog's view: what it was told, and what the pilot does when a box is shown.
class Recorder : public RunController::View {
public:
    void showProgress(int done, int total) override {
        ++shown;
        EXPECT_LE(done, total);
    }
    void hideProgress() override { ++hidden; }
    void tell(const DialogBox& box) override {
        told.push_back(box.title);
        if (on_box)
            on_box();
    }
    void ask(const DialogQuestion& question) override {
        asked.push_back(question.text);
        details = question.details;
        yes_by_default = question.yes_by_default;
        can_cancel = question.can_cancel;
        shown_before_answer = shown;
        if (on_question)
            on_question();
    }
    void chooseGeneration(const std::vector<RestoreRow>& rows) override {
        lists.push_back(rows.size());
        if (on_list)
            on_list();
    }
    void showIgcFolder(const std::string& folder) override { folders.push_back(folder); }
    void finished(const FlowEnd& flow_end, bool flow_close) override {
        end = flow_end;
        close = flow_close;
    }

    int shown = 0;
    int hidden = 0;
    std::vector<std::string> told;
    std::vector<std::string> asked;
    std::vector<std::size_t> lists;
    std::vector<std::string> folders;
    std::string details;
    bool yes_by_default = false;
    bool can_cancel = false;
    int shown_before_answer = 0;
    std::function<void()> on_box;
    std::function<void()> on_question;
    std::function<void()> on_list;
    std::optional<FlowEnd> end;
    bool close = false;
};

// The controller's shell for a run, with a moment of the pilot's after each file.
class SlowShell : public DialogShell {
public:
    SlowShell(DialogShell& shell, std::function<void()> after_file)
        : shell_(shell), after_file_(std::move(after_file)) {}
    [[nodiscard]] bool cancelled() const override { return shell_.cancelled(); }
    void begin() override { shell_.begin(); }
    void progress(int done, int total) override { shell_.progress(done, total); }
    void fileDone(const FlightResult&) override {
        if (after_file_)
            after_file_();
    }
    void tell(const DialogBox& box) override { shell_.tell(box); }
    using DialogShell::ask;
    Answer ask(const DialogQuestion& question) override { return shell_.ask(question); }
    std::optional<int> chooseGeneration(const std::vector<RestoreRow>& rows) override {
        return shell_.chooseGeneration(rows);
    }
    void showIgcFolder(const std::string& folder) override { shell_.showIgcFolder(folder); }

private:
    DialogShell& shell_;
    std::function<void()> after_file_;
};

// A run of `request` as the dialogs run one, each file followed by `after_file`.
RunController::Job slowRun(GenerationRequest request, std::function<void()> after_file) {
    return [request = std::move(request), after_file = std::move(after_file)](DialogShell& shell) {
        SlowShell slow(shell, after_file);
        FlowEnd end;
        end.ran = true;
        end.result = generateLogbook(request, slow);
        end.box = resultBox(end.result, request.logbook_path);
        return end;
    };
}

class Controller : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testing_support::freshTestDirectory("controller-");
        fs::create_directories(dir_ / "IGC");
        fs::create_directories(dir_ / "none");
        for (int k = 0; k < 40; ++k)
            fs::copy_file(std::string(THERMORA_TEST_DATA) + "/generation/02-small-task.igc",
                          dir_ / "IGC" / ("f" + std::to_string(k) + ".igc"));
        logbook_ = (dir_ / "logbook.dat").string();
        std::ofstream(logbook_, std::ios::binary) << kOld;
    }
    void TearDown() override { fs::remove_all(dir_); }

    GenerationRequest request(const std::string& igc) const {
        GenerationRequest request;
        request.igc_directory = (dir_ / igc).string();
        request.logbook_path = logbook_;
        request.pilot_name = "P";
        request.min_time_minutes = 0;
        request.jobs = 1;
        request.format_date = testing_support::germanDates();
        return request;
    }
    // The window's thread, posting as a dialog's event loop does.
    static RunController::Post poster(WindowThread& window) {
        return [&window](std::function<void()> work) {
            window.post(std::move(work));
            return true;
        };
    }

    static constexpr const char* kOld =
        "# old\r\n#\r\n\r\nname = Old\r\n01.05.2024;T;X;Local flight;01:00;00:00;-;-;f0.igc\r\n";
    fs::path dir_;
    std::string logbook_;
};

// What the pilot does, and when; and what the run comes to.
TEST_F(Controller, EachStageOfARunEndsAsThePilotChose) {
    enum class Act { Nothing, CancelAtOnce, CancelMidway, CloseMidway, Yes, No, CloseAtQuestion };
    const struct {
        const char* name;
        const char* igc; // "none": the old flight has no recording there: kept, or the
                         // logbook emptied
        Act act;
        FailureKind failure;
        bool tell;
        bool close;
        bool old_kept;
        std::size_t asked;
    } rows[] = {
        {"left to its end", "IGC", Act::Nothing, FailureKind::None, true, false, false, 0},
        {"cancelled at once", "IGC", Act::CancelAtOnce, FailureKind::Cancelled, true, false, true,
         0},
        {"cancelled midway", "IGC", Act::CancelMidway, FailureKind::Cancelled, true, false, true,
         0},
        {"closed midway: nothing to tell", "IGC", Act::CloseMidway, FailureKind::Cancelled, false,
         true, true, 0},
        {"kept: yes", "none", Act::Yes, FailureKind::None, true, false, false, 1},
        {"not kept, not emptied: nothing to tell", "none", Act::No, FailureKind::EmptyRefused,
         false, false, true, 2},
        {"closed at the question: stopped", "none", Act::CloseAtQuestion, FailureKind::Cancelled,
         false, true, true, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::ofstream(logbook_, std::ios::binary) << kOld;
        WindowThread window;
        Recorder view;
        RunController controller(view, poster(window));
        controller.setShowDelay(0); // shown at once: the progress goes with every stage
        std::mutex mutex;
        std::condition_variable midway;
        bool reached = false;
        const RunController::Job run = slowRun(request(row.igc), [&] {
            {
                const std::lock_guard lock(mutex);
                reached = true;
            }
            midway.notify_all();
            std::this_thread::sleep_for(2ms); // the pilot's moment comes before the run's end
        });
        view.on_question = [&] {
            if (row.act == Act::CloseAtQuestion) {
                EXPECT_TRUE(controller.close());
                controller.answer(Answer::Cancel); // the box goes with the window, unanswered
            } else {
                controller.answer(row.act == Act::Yes ? Answer::Yes : Answer::No);
            }
        };
        ASSERT_TRUE(controller.start(run));
        EXPECT_FALSE(controller.start(run)) << "a second run while one is under way";
        EXPECT_TRUE(controller.running());
        if (row.act == Act::CancelAtOnce)
            controller.cancel();
        if (row.act == Act::CancelMidway || row.act == Act::CloseMidway) {
            std::unique_lock lock(mutex);
            ASSERT_TRUE(midway.wait_for(lock, 20s, [&] { return reached; }));
            lock.unlock();
            if (row.act == Act::CancelMidway)
                controller.cancel();
            else
                EXPECT_TRUE(controller.close());
        }
        ASSERT_TRUE(window.pumpUntil([&] { return view.end.has_value(); }));
        EXPECT_EQ(view.end->result.failure.kind, row.failure) << failureText(view.end->result);
        EXPECT_EQ(view.end->box.has_value(), row.tell);
        EXPECT_EQ(view.close, row.close);
        EXPECT_EQ(view.asked.size(), row.asked);
        EXPECT_FALSE(controller.running());
        EXPECT_GE(view.hidden, 1) << "the progress goes at the end";
        EXPECT_EQ(testing_support::bytesOf(logbook_) == kOld, row.old_kept);
        EXPECT_FALSE(controller.close()) << "no run: the window closes at once";
    }
}

// The flights of the old logbook without a recording, asked about before any file is read: the
// progress waits for the answer and comes back after it; a close at the question keeps the old
// logbook whole.
TEST_F(Controller, FlightsWithoutRecordingAreAskedAboutBeforeTheRun) {
    const std::string gone = "01.05.2024;T;X;Local flight;01:00;00:00;-;-;gone.igc";
    const std::string old = "# old\r\n#\r\n\r\nname = Old\r\n" + gone + "\r\n";
    const struct {
        const char* name;
        Answer answer;
        bool close;
        FailureKind failure;
        int kept;
    } rows[] = {
        {"kept", Answer::Yes, false, FailureKind::None, 1},
        {"dropped", Answer::No, false, FailureKind::None, 0},
        {"the box closed: stopped", Answer::Cancel, false, FailureKind::Cancelled, 0},
        {"the window closed at the question", Answer::Cancel, true, FailureKind::Cancelled, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::ofstream(logbook_, std::ios::binary) << old;
        fs::remove(logbook_ + ".bak");
        WindowThread window;
        Recorder view;
        RunController controller(view, poster(window));
        controller.setShowDelay(0);
        const RunController::Job run =
            slowRun(request("IGC"), [] { std::this_thread::sleep_for(5ms); });
        view.on_question = [&] {
            if (row.close) {
                EXPECT_TRUE(controller.close());
            }
            controller.answer(row.answer);
        };
        ASSERT_TRUE(controller.start(run));
        ASSERT_TRUE(window.pumpUntil([&] { return view.end.has_value(); }));
        EXPECT_EQ(view.end->result.failure.kind, row.failure) << failureText(view.end->result);
        ASSERT_EQ(view.asked.size(), 1U);
        EXPECT_EQ(view.asked[0], "1 flight of your logbook has no recording in " +
                                     (dir_ / "IGC").string() + ". Keep it in the new logbook?");
        EXPECT_EQ(view.details, "01.05.2024, Local flight, gone.igc\n");
        EXPECT_TRUE(view.yes_by_default);
        EXPECT_TRUE(view.can_cancel);
        EXPECT_EQ(view.end->result.kept_entries, row.kept);
        const bool stopped = row.answer == Answer::Cancel;
        if (!stopped) {
            EXPECT_GT(view.shown, view.shown_before_answer) << "the progress came back";
        }
        EXPECT_EQ(testing_support::bytesOf(logbook_) == old, stopped);
        EXPECT_EQ(fs::exists(logbook_ + ".bak"), !stopped);
    }
}

// The progress shows only for a run that goes on past the delay.
TEST_F(Controller, OnlyALongRunShowsItsProgress) {
    for (const bool long_run : {false, true}) {
        SCOPED_TRACE(long_run ? "long" : "short");
        WindowThread window;
        Recorder view;
        RunController controller(view, poster(window));
        controller.setShowDelay(long_run ? 0 : 60'000);
        const RunController::Job run = slowRun(request("IGC"), [long_run] {
            if (long_run)
                std::this_thread::sleep_for(10ms); // 40 files: 0.4 s, some four updates
        });
        ASSERT_TRUE(controller.start(run));
        ASSERT_TRUE(window.pumpUntil([&] { return view.end.has_value(); }));
        EXPECT_EQ(view.end->result.failure.kind, FailureKind::None);
        EXPECT_EQ(view.shown > 0, long_run);
    }
}

// A window that goes while its run and its question are out: the run is cancelled and waited
// for, and nothing reaches the view any more.
TEST_F(Controller, GoingAwayDuringARunNeitherHangsNorTellsAnything) {
    for (const char* igc : {"IGC", "none"}) {
        SCOPED_TRACE(igc);
        WindowThread window;
        Recorder view;
        {
            RunController controller(view, poster(window));
            controller.setShowDelay(0);
            ASSERT_TRUE(
                controller.start(slowRun(request(igc), [] { std::this_thread::sleep_for(5ms); })));
            // The files are being read, or the question is out, unanswered.
            std::this_thread::sleep_for(100ms);
        }
        // Whatever was posted before the controller went does nothing now.
        bool drained = false;
        window.post([&drained] { drained = true; });
        EXPECT_TRUE(window.pumpUntil([&] { return drained; }));
        EXPECT_FALSE(view.end.has_value());
        EXPECT_TRUE(view.asked.empty());
        EXPECT_EQ(view.shown, 0);
        EXPECT_EQ(testing_support::bytesOf(logbook_), kOld);
    }
}

} // namespace
} // namespace logbook
