#pragma once

// The main window: the form of the Linux dialog, its fields preset from the simulator's
// installation, the two choosers, the logbook generation and the restore of an earlier logbook.
// Every check, question and text of a run is the core's (logbook/DialogFlow.h); this window
// shows them and hands the inputs on.

#include "AnchorLayout.h"
#include "GenerationRun.h"

#include "WindowsApi.h"
#include "install/Installation.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class MainDialog {
public:
    /// Creates the window, hidden; `show` shows it.
    MainDialog();
    HWND window() const { return window_; }
    /// Warns when no installation was found, then shows the window, as the Linux dialog does.
    void show(int how);
    /// Gives the windows of the dialog the keys they handle (Tab, Enter, Escape); true when one
    /// took the message.
    bool handleKeys(MSG& message);

private:
    static INT_PTR CALLBACK proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);
    void initialize();
    void presetFrom(const install::InstallationSearch& search);
    void presetFromFolder();
    void showPilotOf(const std::string& logbook_path);
    void placeSpinArrows();
    /// Wraps the installation's lines to their place's width; how many pixels more than its
    /// height they need (none or less: they fit).
    int wrapInstallation();
    logbook::DialogForm form() const;
    void generate();
    void restore();
    void disableForm();
    void finishFlow(const logbook::FlowEnd& end, bool close);
    void close();
    void browseIgcDirectory();
    void browseLogbook();

    std::wstring text(int control) const;
    int minutes() const;
    void showMinutes(int minutes);

    HWND window_ = nullptr;
    AnchorLayout layout_;
    install::InstallationSearch search_; // what the search at start found
    bool no_installation_ = false;
    std::wstring installation_;             // the installation taken and where the presets point
    std::wstring pilot_from_logbook_;       // the name that the logbook gave the pilot name field
    std::unique_ptr<GenerationRun> run_;    // the flows' boxes, progress and ends
    std::vector<HWND> disabled_;            // the controls that the flow under way disabled
    HWND had_focus_ = nullptr;              // where the keyboard was when the flow began
    std::pair<DWORD, DWORD> had_selection_; // and the selection in it, when a field
};
