#pragma once

// One logbook generation off the window's thread, so that the window repaints and the run can
// be cancelled: the core's run on a thread of its own, a progress window that shows once the
// run has gone on for half a second, and the core's question before an empty logbook replaces
// one with entries, asked on the window's thread.

#include "AnchorLayout.h"
#include "logbook/Generation.h"

#include "WindowsApi.h"

#include <atomic>
#include <string>
#include <thread>

/// Posted to the owner window when the run has ended; the owner then calls `finish`.
inline constexpr UINT kRunEnded = WM_APP + 1;

class GenerationRun {
public:
    /// Starts `request` for the window `owner`.
    GenerationRun(HWND owner, logbook::GenerationRequest request);
    /// Waits for the run; call `finish` first, on kRunEnded.
    ~GenerationRun();
    GenerationRun(const GenerationRun&) = delete;
    GenerationRun& operator=(const GenerationRun&) = delete;

    /// Stops the run between two files; the old logbook stays as it was.
    void cancel();
    /// The progress window, for the message loop's keyboard handling (Escape, Tab).
    HWND progressWindow() const { return progress_; }
    /// The run's result, once it has ended (kRunEnded); the progress window goes.
    logbook::GenerationResult finish();

private:
    static INT_PTR CALLBACK progressProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void initializeProgress(HWND window);
    void updateProgress();
    void hideProgress();
    bool confirmEmpty(const std::string& question);

    HWND owner_;
    HWND progress_ = nullptr;
    AnchorLayout progress_layout_;
    logbook::GenerationRequest request_;
    std::atomic<bool> cancel_{false};
    std::atomic<int> done_{0};  // files
    std::atomic<int> total_{0}; // files
    logbook::GenerationResult result_;
    std::thread worker_;
};
