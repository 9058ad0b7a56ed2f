#include "logbook/RunController.h"

#include "platform/Interrupts.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace logbook {

struct RunController::Shared {
    Post post;
    std::atomic<bool> cancel{false};
    std::atomic<int> done{0};  // files
    std::atomic<int> total{0}; // files
    std::thread worker;
    std::thread ticker;
    GenerationResult result; // the worker's, read after it has ended

    // On the window's thread only.
    bool alive = true; // false once the controller is gone: posted work then does nothing
    bool running = false;
    bool closing = false;

    // Under the mutex: what the worker and the ticker wait on.
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;        // the worker is done
    bool quiet = false;        // no more progress: cancelled
    bool asking = false;       // no progress until the pilot has answered
    std::optional<bool> reply; // the pilot's answer to the question out

    void stopProgress() {
        {
            const std::lock_guard lock(mutex);
            quiet = true;
        }
        changed.notify_all();
    }
    void join() {
        if (worker.joinable())
            worker.join();
        if (ticker.joinable())
            ticker.join();
    }
};

RunController::RunController(View& view, Post post) : view_(view), post_(std::move(post)) {}

RunController::~RunController() {
    if (!shared_)
        return;
    shared_->cancel = true;
    shared_->stopProgress();
    shared_->join();
    shared_->alive = false;
}

bool RunController::running() const {
    return shared_ && shared_->running;
}

bool RunController::start(GenerationRequest request) {
    if (running())
        return false;
    if (shared_) {
        shared_->join(); // ended: its end was delivered
        shared_->alive = false;
    }
    auto shared = std::make_shared<Shared>();
    shared_ = shared;
    shared->post = post_;
    shared->running = true;
    View* const view = &view_;

    request.cancel = &shared->cancel;
    // The worker waits for the pilot's answer on the controller's lock, never on the window's
    // thread; a run already cancelled asks nothing and hears "no". The progress waits while the
    // pilot is asked.
    const auto ask = [shared, view](DialogQuestion question) {
        std::unique_lock lock(shared->mutex);
        if (shared->cancel)
            return false;
        shared->asking = true;
        shared->reply.reset();
        shared->post([shared, view, question = std::move(question)] {
            if (!shared->alive || shared->cancel)
                return;
            view->hideProgress();
            view->ask(question);
        });
        shared->changed.wait(lock, [&] { return shared->reply.has_value() || shared->cancel; });
        shared->asking = false;
        const bool yes = shared->reply.value_or(false) && !shared->cancel;
        lock.unlock();
        shared->changed.notify_all();
        return yes;
    };
    request.confirm_empty = [ask](const std::string& question) {
        return ask(emptyLogbookQuestionBox(question));
    };
    request.keep_missing = [ask,
                            directory = request.igc_directory](const MissingRecordings& missing) {
        return ask(missingRecordingsQuestionBox(directory, missing));
    };

    // The worker and the ticker take no interruption: its handler runs on the thread that set
    // it up.
    const platform::InterruptsBlocked blocked;
    shared->worker = std::thread([shared, view, request = std::move(request)] {
        GenerationResult result =
            generateLogbook(request, std::cerr, [&shared](int files_done, int files) {
                shared->total = files;
                shared->done = files_done;
            });
        {
            const std::lock_guard lock(shared->mutex);
            shared->result = std::move(result);
            shared->ended = true;
        }
        shared->changed.notify_all();
        shared->post([shared, view] {
            if (!shared->alive)
                return;
            shared->join();
            shared->running = false;
            const bool close = std::exchange(shared->closing, false);
            view->hideProgress();
            // A close asked for the end of the run; only a run that went on to its end all
            // the same still has something to tell before the window goes.
            const bool tell = !close || shared->result.failure != GenerationFailure::Cancelled;
            view->finished(shared->result, tell, close);
        });
    });
    shared->ticker = std::thread([shared, view, delay = show_delay_ms_] {
        std::unique_lock lock(shared->mutex);
        const auto over = [&] { return shared->ended || shared->quiet; };
        auto wait = std::chrono::milliseconds(delay);
        for (;;) {
            if (shared->changed.wait_for(lock, wait, [&] { return over() || shared->asking; })) {
                if (over())
                    return;
                // A question: the progress comes back, after the delay again, once answered.
                shared->changed.wait(lock, [&] { return over() || !shared->asking; });
                if (over())
                    return;
                wait = std::chrono::milliseconds(delay);
                continue;
            }
            shared->post([shared, view] {
                // Posted before the end or a cancel that came first on this thread.
                if (!shared->alive || !shared->running || shared->cancel)
                    return;
                view->showProgress(shared->done, shared->total);
            });
            wait = std::chrono::milliseconds(kUpdateMs);
        }
    });
    return true;
}

void RunController::cancel() {
    if (!running())
        return;
    shared_->cancel = true;
    shared_->stopProgress();
    view_.hideProgress();
}

bool RunController::close() {
    if (!running())
        return false;
    shared_->closing = true;
    cancel();
    return true;
}

void RunController::answer(bool yes) {
    if (!shared_)
        return;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->reply = yes;
    }
    shared_->changed.notify_all();
}

} // namespace logbook
