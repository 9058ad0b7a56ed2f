#pragma once

// The main dialog of the logbook tool: the form with its fields preset from the simulator's
// installation directory, the two file choosers and the logbook generation.

#include "app/MainWindowBase.h"
#include "logbook/DialogFlow.h"
#include "logbook/Generation.h"

#include <QString>

#include <atomic>
#include <iosfwd>

class MainWindow : public MainWindowBase {
    Q_OBJECT

public:
    /// Builds the form and presets the IGC directory and the logbook path from the installation
    /// directory, or warns the user when there is none.
    MainWindow();

    /// Analyses one IGC file and appends its entry to `logbook` when the flight is kept; true
    /// when an entry was written. Flights shorter than the minimum time in `min_time_` are dropped.
    bool analyzeFlight(QString path, std::ostream& logbook);

public slots:
    /// Rebuilds the logbook from every IGC file of the chosen directory.
    void generateLogBook() override;
    void browseIGCDir() override;
    void browseOutputFile() override;

public:
    /// During a run, Escape cancels the run instead and the window stays.
    void reject() override;

    /// How long a run goes before its progress window shows (ms); half a second unless told.
    void setProgressDelay(int milliseconds) { progress_delay_ms_ = milliseconds; }

protected:
    /// During a run, closing the window cancels the run, and the window closes once it ended.
    void closeEvent(QCloseEvent* event) override;
    /// Keeps the window within its screen, whatever the text scale.
    void showEvent(QShowEvent* event) override;

private:
    /// Runs the generation off the GUI thread while the window repaints; a progress window with
    /// a Cancel button comes up when the run takes longer than half a second. The core's
    /// question before an empty logbook replaces one with entries is asked on the GUI thread.
    logbook::GenerationResult runGeneration(logbook::GenerationRequest request);
    /// The "Logbook generated" box with what was written and skipped, or why nothing was.
    void showResult(const logbook::GenerationResult& result, const QString& logbook_path);
    /// A "Warning" box with "&Yes" and "&No"; Escape and closing it answer No.
    bool confirmed(const logbook::DialogQuestion& question);

    int progress_delay_ms_ = 500;
    bool running_ = false;
    bool close_when_done_ = false;        // the window was closed during the run
    std::atomic<bool>* cancel_ = nullptr; // the running generation's cancel flag
};
