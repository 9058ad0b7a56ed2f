#pragma once

// The Windows dialog's side of the flows: the progress window that the core's run controller
// shows and updates, Cancel, the boxes, questions and restore list that a flow shows, and its end
// handed to the main window. The controller runs the flows off the window's thread and hands
// their events to this thread through posted messages (kRunWork).

#include "AnchorLayout.h"
#include "logbook/Generation.h"
#include "logbook/RunController.h"

#include "WindowsApi.h"

#include <functional>
#include <string>
#include <vector>

/// Posted to the owner window with work of the run for its thread: lParam holds a
/// std::function<void()> to call (and delete) with runPostedWork.
inline constexpr UINT kRunWork = WM_APP + 1;

class GenerationRun : private logbook::RunController::View {
public:
    /// Told on the owner's thread when a flow has ended: how, and whether the pilot asked for
    /// the window to close meanwhile.
    using Ended = std::function<void(const logbook::FlowEnd& end, bool close)>;
    /// Told on the owner's thread that the IGC field is to show a folder from now on.
    using ShowFolder = std::function<void(const std::string& folder)>;

    /// The progress window (hidden) of flows for the window `owner`.
    GenerationRun(HWND owner, Ended ended, ShowFolder show_folder);
    /// Cancels a run under way and waits for it; the progress window goes.
    ~GenerationRun() override;
    GenerationRun(const GenerationRun&) = delete;
    GenerationRun& operator=(const GenerationRun&) = delete;

    /// Starts "Generate Logbook" for `form`; false while a flow is under way.
    bool generate(logbook::DialogForm form) { return controller_.generate(std::move(form)); }
    /// Starts "Restore..." for the logbook at `path`; false while a flow is under way.
    bool restore(std::string path) { return controller_.restore(std::move(path)); }
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
    void tell(const logbook::DialogBox& box) override;
    void ask(const logbook::DialogQuestion& question) override;
    void chooseGeneration(const std::vector<logbook::RestoreRow>& rows) override;
    void showIgcFolder(const std::string& folder) override;
    void finished(const logbook::FlowEnd& end, bool close) override;

    static INT_PTR CALLBACK progressProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void initializeProgress(HWND window);

    HWND owner_;
    HWND progress_ = nullptr;
    AnchorLayout progress_layout_;
    Ended ended_;
    ShowFolder show_folder_;
    logbook::RunController controller_; // last: it goes first, its threads joined
};
