#pragma once

// The Windows dialog's side of a run: the progress window that the core's run controller shows
// and updates, Cancel, the questions that the run asks (before an empty logbook replaces one with
// entries, before flights without a recording are dropped), and the run's end handed to the main
// window. The controller runs the generation off the window's thread and hands its events to
// this thread through posted messages (kRunWork).

#include "AnchorLayout.h"
#include "logbook/Generation.h"
#include "logbook/RunController.h"

#include "WindowsApi.h"

#include <functional>

/// Posted to the owner window with work of the run for its thread: lParam holds a
/// std::function<void()> to call (and delete) with runPostedWork.
inline constexpr UINT kRunWork = WM_APP + 1;

class GenerationRun : private logbook::RunController::View {
public:
    /// Told on the owner's thread when a run has ended: its result, whether to tell it, and
    /// whether the pilot asked for the window to close meanwhile.
    using Ended =
        std::function<void(const logbook::GenerationResult& result, bool tell, bool close)>;

    /// The progress window (hidden) of runs for the window `owner`.
    GenerationRun(HWND owner, Ended ended);
    /// Cancels a run under way and waits for it; the progress window goes.
    ~GenerationRun() override;
    GenerationRun(const GenerationRun&) = delete;
    GenerationRun& operator=(const GenerationRun&) = delete;

    /// Starts `request`; false while a run is under way.
    bool start(logbook::GenerationRequest request) { return controller_.start(std::move(request)); }
    [[nodiscard]] bool running() const { return controller_.running(); }
    /// Stops the run between two files; the old logbook stays as it was.
    void cancel() { controller_.cancel(); }
    /// Cancels, and the end says to close; false when no run is under way.
    bool close() { return controller_.close(); }
    /// The progress window, for the message loop's keyboard handling (Escape, Tab).
    HWND progressWindow() const { return progress_; }

    /// Calls and deletes the work that a kRunWork message carries.
    static void runPostedWork(LPARAM work);
    /// Deletes, uncalled, the work of the kRunWork messages still queued for `window`.
    static void dropPostedWork(HWND window);

private:
    void showProgress(int done, int total) override;
    void hideProgress() override;
    void ask(const logbook::DialogQuestion& question) override;
    void finished(const logbook::GenerationResult& result, bool tell, bool close) override;

    static INT_PTR CALLBACK progressProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void initializeProgress(HWND window);

    HWND owner_;
    HWND progress_ = nullptr;
    AnchorLayout progress_layout_;
    Ended ended_;
    logbook::RunController controller_; // last: it goes first, its threads joined
};
