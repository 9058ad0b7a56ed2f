#pragma once

// The dialogs' flows, off the window's thread, for every toolkit: "Generate Logbook" (the checks,
// the questions, the run) and "Restore..." as the core words and orders them (DialogFlow), on a
// worker thread; a run's progress shown once it has gone on for half a second and then ten times
// a second; Cancel; a close that cancels and then closes. Each box, question and list that a flow
// shows is handed to the window's thread and its answer handed back. A dialog connects a View to
// its widgets and a Post to its event loop; it starts no thread itself and never waits for one.
//
// Deadlock-free by construction: the worker and the ticker never wait for the window's thread.
// They hand it work through Post, which only queues, and the one thing the worker waits for, the
// pilot's answer, it waits for on the controller's own lock, which cancel, close and the
// destructor answer with Cancel. So the window's thread can join them at any time.

#include "logbook/DialogFlow.h"
#include "logbook/Generation.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace logbook {

/// How a flow ended: the run's result when there was a run, and the box that tells it; none when
/// there is nothing to tell (a refusal or a restore already told, a question not answered Yes).
struct FlowEnd {
    bool ran = false; // a run was started: `result` is its
    GenerationResult result;
    std::optional<ResultBox> box;
};

class RunController {
public:
    /// What the dialog shows, called on the window's thread only. The calls that show a box
    /// answer through the controller once the pilot has (`answer`, `choose`), also after a
    /// close; the flow waits meanwhile.
    class View {
    public:
        virtual ~View() = default;
        /// The run has gone on long enough to be shown: `done` of `total` files. Called again
        /// about ten times a second while it goes on.
        virtual void showProgress(int done, int total) = 0;
        /// The progress goes away: cancelled, a box to be shown, or the flow's end.
        virtual void hideProgress() = 0;
        /// Shows `box`; answer(Answer::Yes) once it is closed.
        virtual void tell(const DialogBox& box) = 0;
        /// Asks `question`; answer() with the pilot's answer, Cancel for a box closed.
        virtual void ask(const DialogQuestion& question) = 0;
        /// The restore list; choose() with the age chosen, or none for a list closed.
        virtual void chooseGeneration(const std::vector<RestoreRow>& rows) = 0;
        /// The IGC field shows `folder` from now on.
        virtual void showIgcFolder(const std::string& folder) = 0;
        /// The flow is over: show `end.box` when there is one, then `close` the window when the
        /// pilot asked for that meanwhile (a run that a close cancelled has nothing to tell).
        virtual void finished(const FlowEnd& end, bool close) = 0;
    };
    /// Runs a function later on the window's thread; must not wait for it. False when it could
    /// not be queued.
    using Post = std::function<bool(std::function<void()>)>;
    /// A flow on the worker thread, its boxes shown through `shell`.
    using Job = std::function<FlowEnd(DialogShell& shell)>;

    /// Milliseconds before the progress shows (a shorter run ends without a window flashing
    /// by), and between its updates.
    static constexpr int kShowDelayMs = 500;
    static constexpr int kUpdateMs = 100;

    RunController(View& view, Post post);
    /// Cancels a flow under way and waits for its threads; nothing reaches the view afterwards.
    ~RunController();
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    /// "Generate Logbook" for what the form holds (generateFlow). False when a flow is under
    /// way already.
    bool generate(DialogForm form);
    /// "Restore..." for the logbook path in the form (restoreFlow).
    bool restore(std::string logbook_path);
    /// Any flow; what the two above start.
    bool start(Job job);
    [[nodiscard]] bool running() const;
    /// Stops the flow: a run between two files, the old logbook as it was; a box waiting for
    /// its answer is answered Cancel.
    void cancel();
    /// Cancels, and tells `finished` to close. False when no flow is under way: close now.
    bool close();
    /// The pilot's answer to what `tell` or `ask` showed.
    void answer(Answer answer);
    /// The generation chosen from what `chooseGeneration` showed; none when the list was closed.
    void choose(std::optional<int> age);
    /// How long the next runs go before their progress shows (ms).
    void setShowDelay(int milliseconds) { show_delay_ms_ = milliseconds; }

    struct Shared;

private:
    void startWorker(const std::shared_ptr<Shared>& shared, Job job);
    void startTicker(const std::shared_ptr<Shared>& shared);
    void reply(Answer answer, std::optional<int> age);

    View& view_;
    Post post_;
    int show_delay_ms_ = kShowDelayMs;
    std::shared_ptr<Shared> shared_;
};

} // namespace logbook
