#include "logbook/RunController.h"

#include "platform/Diagnostics.h"
#include "platform/Interrupts.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>
#include <utility>

namespace logbook {

namespace {

// The pilot's reply to a box: the answer, and the generation chosen from a list.
struct Reply {
    Answer answer = Answer::Cancel;
    std::optional<int> age;
};

} // namespace

struct RunController::Shared {
    Post post;
    std::atomic<bool> cancel{false};
    std::atomic<int> done{0};  // files
    std::atomic<int> total{0}; // files
    std::thread worker;
    std::thread ticker;
    FlowEnd end; // the worker's, read after it has ended

    // On the window's thread only.
    bool alive = true; // false once the controller is gone: posted work then does nothing
    bool running = false;
    bool closing = false;

    // Under the mutex: what the worker and the ticker wait on.
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;            // the worker is done
    bool begun = false;            // the run itself has begun: its progress may show
    bool progress_stopped = false; // no more progress: cancelled
    bool asking = false;           // no progress until the pilot has answered
    std::optional<Reply> reply;    // the pilot's reply to the box out

    void stopProgress() {
        {
            const std::lock_guard lock(mutex);
            progress_stopped = true;
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

namespace {

// The flow's side of the controller, on the worker's thread: each box handed to the window's
// thread and its reply waited for on the controller's lock, never on the window's thread; a
// flow cancelled meanwhile shows nothing more and hears Cancel. The progress is counted for the
// ticker, and waits while the pilot is asked.
class ControllerShell : public DialogShell {
public:
    ControllerShell(std::shared_ptr<RunController::Shared> shared, RunController::View* view)
        : shared_(std::move(shared)), view_(view) {}

    [[nodiscard]] bool cancelled() const override { return shared_->cancel; }
    void begin() override {
        {
            const std::lock_guard lock(shared_->mutex);
            shared_->begun = true;
        }
        shared_->changed.notify_all();
    }
    void progress(int done, int total) override {
        shared_->total = total;
        shared_->done = done;
    }
    void tell(const DialogBox& box) override {
        await([box](RunController::View& view) { view.tell(box); });
    }
    Answer ask(const DialogQuestion& question) override {
        return await([question](RunController::View& view) { view.ask(question); }).answer;
    }
    using DialogShell::ask;
    std::optional<int> chooseGeneration(const std::vector<RestoreRow>& rows) override {
        const Reply reply =
            await([rows](RunController::View& view) { view.chooseGeneration(rows); });
        return reply.answer == Answer::Cancel ? std::nullopt : reply.age;
    }
    void showIgcFolder(const std::string& folder) override {
        post([folder](RunController::View& view) { view.showIgcFolder(folder); });
    }

private:
    // Queued for the window's thread unless the flow was cancelled or the controller is gone.
    bool post(std::function<void(RunController::View&)> show) {
        const std::shared_ptr<RunController::Shared>& shared = shared_;
        RunController::View* const view = view_;
        return shared->post([shared, view, show = std::move(show)] {
            if (shared->alive && !shared->cancel)
                show(*view);
        });
    }
    Reply await(std::function<void(RunController::View&)> show) {
        const std::shared_ptr<RunController::Shared>& shared = shared_;
        std::unique_lock lock(shared->mutex);
        if (shared->cancel)
            return {};
        shared->asking = true;
        shared->reply.reset();
        const bool posted = post([show = std::move(show)](RunController::View& view) {
            view.hideProgress();
            show(view);
        });
        if (!posted) {
            // The window's queue took nothing: nobody could answer. The flow stops as if the
            // box had been closed, and says why where the diagnostics go.
            platform::diagnostics() << "The window could not be reached: stopped.\n";
            shared->cancel = true;
        }
        shared->changed.wait(lock, [&] { return shared->reply.has_value() || shared->cancel; });
        shared->asking = false;
        const Reply reply = shared->cancel ? Reply{} : *shared->reply;
        lock.unlock();
        shared->changed.notify_all();
        return reply;
    }

    std::shared_ptr<RunController::Shared> shared_;
    RunController::View* view_;
};

} // namespace

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

bool RunController::generate(DialogForm form) {
    return start([form = std::move(form)](DialogShell& shell) {
        FlowEnd end;
        if (std::optional<GenerationResult> result = generateFlow(form, shell)) {
            end.ran = true;
            end.box = resultBox(*result, form.logbook_path);
            end.result = std::move(*result);
        }
        return end;
    });
}

bool RunController::restore(std::string logbook_path) {
    return start([logbook_path = std::move(logbook_path)](DialogShell& shell) {
        restoreFlow(logbook_path, shell);
        return FlowEnd{};
    });
}

bool RunController::start(Job job) {
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
    // The worker and the ticker take no interruption: its handler runs on the thread that set
    // it up.
    const platform::InterruptsBlocked blocked;
    startWorker(shared, std::move(job));
    startTicker(shared);
    return true;
}

void RunController::startWorker(const std::shared_ptr<Shared>& shared, Job job) {
    View* const view = &view_;
    shared->worker = std::thread([shared, view, job = std::move(job)] {
        ControllerShell shell(shared, view);
        FlowEnd end = job(shell);
        {
            const std::lock_guard lock(shared->mutex);
            shared->end = std::move(end);
            shared->ended = true;
        }
        shared->changed.notify_all();
        const auto deliver = [shared, view] {
            if (!shared->alive)
                return;
            shared->join();
            shared->running = false;
            const bool close = std::exchange(shared->closing, false);
            view->hideProgress();
            // A close asked for the end of the flow; only a run that went on to its end all
            // the same still has something to tell before the window goes.
            if (close && shared->end.result.failure.kind == FailureKind::Cancelled)
                shared->end.box.reset();
            view->finished(shared->end, close);
        };
        // The end must arrive, or the form would stay disabled: a full queue is waited out.
        for (int tries = 0; !shared->post(deliver); ++tries) {
            if (tries == 1000) {
                platform::diagnostics() << "The window could not be told that the run ended.\n";
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
}

void RunController::startTicker(const std::shared_ptr<Shared>& shared) {
    View* const view = &view_;
    shared->ticker = std::thread([shared, view, delay = show_delay_ms_] {
        std::unique_lock lock(shared->mutex);
        const auto over = [&] { return shared->ended || shared->progress_stopped; };
        // Nothing to show before the run itself (the questions before it, a restore).
        shared->changed.wait(lock, [&] { return over() || shared->begun; });
        auto wait = std::chrono::milliseconds(delay);
        for (;;) {
            if (shared->changed.wait_for(lock, wait, [&] { return over() || shared->asking; })) {
                if (over())
                    return;
                // A box: the progress comes back, after the delay again, once answered.
                shared->changed.wait(lock, [&] { return over() || !shared->asking; });
                if (over())
                    return;
                wait = std::chrono::milliseconds(delay);
                continue;
            }
            // A progress update that finds the queue full is skipped: the next one comes.
            static_cast<void>(shared->post([shared, view] {
                // Posted before the end or a cancel that came first on this thread.
                if (!shared->alive || !shared->running || shared->cancel)
                    return;
                view->showProgress(shared->done, shared->total);
            }));
            wait = std::chrono::milliseconds(kUpdateMs);
        }
    });
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

void RunController::answer(Answer answer) {
    reply(answer, std::nullopt);
}

void RunController::choose(std::optional<int> age) {
    reply(age ? Answer::Yes : Answer::Cancel, age);
}

void RunController::reply(Answer answer, std::optional<int> age) {
    if (!shared_)
        return;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->reply = Reply{answer, age};
    }
    shared_->changed.notify_all();
}

} // namespace logbook
