#pragma once

// One run of a dialog, off the window's thread, for every toolkit: the generation on a worker
// thread, its progress shown once it has gone on for half a second and then ten times a second,
// Cancel, a close that cancels and then closes, and the question before a logbook with entries is
// emptied. A dialog connects a View to its widgets and a Post to its event loop; it starts no
// thread itself and never waits for one.
//
// Deadlock-free by construction: the worker and the ticker never wait for the window's thread.
// They hand it work through Post, which only queues, and the one thing the worker waits for, the
// answer to its question, it waits for on the controller's own lock, which cancel, close and the
// destructor answer with "no". So the window's thread can join them at any time.

#include "logbook/DialogFlow.h"
#include "logbook/Generation.h"

#include <functional>
#include <memory>

namespace logbook {

class RunController {
public:
    /// What the dialog shows, called on the window's thread only.
    class View {
    public:
        virtual ~View() = default;
        /// The run has gone on long enough to be shown: `done` of `total` files. Called again
        /// about ten times a second while it goes on.
        virtual void showProgress(int done, int total) = 0;
        /// The progress goes away: cancelled, a question to be asked, or the run's end.
        virtual void hideProgress() = 0;
        /// Asks the pilot; the answer goes to RunController::answer (also after a close).
        virtual void ask(const DialogQuestion& question) = 0;
        /// The run is over: `tell` its result (resultBox), then `close` the window when the
        /// pilot asked for that meanwhile (a run that a close cancelled has nothing to tell).
        virtual void finished(const GenerationResult& result, bool tell, bool close) = 0;
    };
    /// Runs a function later on the window's thread; must not wait for it.
    using Post = std::function<void(std::function<void()>)>;

    /// Milliseconds before the progress shows (a shorter run ends without a window flashing
    /// by), and between its updates.
    static constexpr int kShowDelayMs = 500;
    static constexpr int kUpdateMs = 100;

    RunController(View& view, Post post);
    /// Cancels a run under way and waits for its threads; nothing reaches the view afterwards.
    ~RunController();
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    /// Starts `request` (its `cancel`, `confirm_empty` and the progress are the controller's).
    /// False when a run is under way already.
    bool start(GenerationRequest request);
    [[nodiscard]] bool running() const;
    /// Stops the run between two files; the old logbook stays as it was. A question waiting
    /// is answered "no".
    void cancel();
    /// Cancels, and tells `finished` to close. False when no run is under way: close now.
    bool close();
    /// The pilot's answer to the question `ask` showed.
    void answer(bool yes);
    /// How long the next runs go before their progress shows (ms).
    void setShowDelay(int milliseconds) { show_delay_ms_ = milliseconds; }

private:
    struct Shared;
    View& view_;
    Post post_;
    int show_delay_ms_ = kShowDelayMs;
    std::shared_ptr<Shared> shared_;
};

} // namespace logbook
