#pragma once

// The main dialog of the logbook tool: the form with its fields preset from the simulator's
// installation directory, a line under it that says which installation that is (and, of several,
// lets another be chosen), the two file choosers, the logbook generation, and "Restore..." to
// put an earlier logbook back.

#include "app/MainWindowBase.h"
#include "install/Installation.h"
#include "logbook/DialogFlow.h"
#include "logbook/Generation.h"
#include "logbook/RunController.h"

#include <QPointer>
#include <QString>

#include <cstddef>
#include <iosfwd>
#include <memory>

class QEventLoop;
class QLabel;
class QProgressDialog;
class QPushButton;

class MainWindow : public MainWindowBase, private logbook::RunController::View {
    Q_OBJECT

public:
    /// Builds the form and presets the IGC directory and the logbook path from the installation
    /// that a search of every place finds (THERMORA_DIR, the Wine prefixes), or warns the user
    /// when there is none.
    MainWindow();
    /// The same from the installations `search` found.
    explicit MainWindow(install::InstallationSearch search);
    ~MainWindow() override;

    /// Analyses one IGC file and appends its entry to `logbook` when the flight is kept; true
    /// when an entry was written. Flights shorter than the minimum time in `min_time_` are dropped.
    bool analyzeFlight(QString path, std::ostream& logbook);

public slots:
    /// Rebuilds the logbook from every IGC file of the chosen directory.
    void generateLogBook() override;
    void browseIGCDir() override;
    void browseOutputFile() override;
    /// Puts an earlier logbook, chosen from those kept beside the logbook file, back as the
    /// logbook, after a question; the one it replaces is kept, so that this can be undone.
    void restoreLogbook();
    /// Lists the installations found, the one the presets come from chosen; another chosen
    /// fills the IGC directory and the logbook path from it.
    void chooseInstallation();

public:
    /// During a run, Escape cancels the run instead and the window stays.
    void reject() override;

    /// How long a run goes before its progress window shows (ms); half a second unless told.
    void setProgressDelay(int milliseconds) { run_.setShowDelay(milliseconds); }

    QPushButton* restore_button_; // "Restore...", on the row of "Generate Logbook" and "Exit"
    // Under the form: the installation that the presets come from, and "Change..." beside it
    // when there are several.
    QLabel* installation_;
    QPushButton* change_installation_;

protected:
    /// During a run, closing the window cancels the run, and the window closes once it ended.
    void closeEvent(QCloseEvent* event) override;
    /// Keeps the window within its screen, whatever the text scale.
    void showEvent(QShowEvent* event) override;

private:
    // The run's view: its progress window, its question and its end.
    void showProgress(int done, int total) override;
    void hideProgress() override;
    void ask(const logbook::DialogQuestion& question) override;
    void finished(const logbook::GenerationResult& result, bool tell, bool close) override;

    /// The "Logbook generated" box with what was written and skipped, or why nothing was.
    void showResult(const logbook::GenerationResult& result, const QString& logbook_path);
    /// Asks `question` in a box (QuestionBox): true for "&Yes".
    bool confirmed(const logbook::DialogQuestion& question);
    /// Fills the IGC directory and the logbook path from installation `index` of the search, and
    /// says so under the form.
    void takeInstallation(std::size_t index);

    install::InstallationSearch search_;

    logbook::RunController run_;
    std::unique_ptr<QProgressDialog> progress_; // while a run shows its progress
    QEventLoop* run_loop_ = nullptr;            // generateLogBook's, until the run's end
    logbook::GenerationResult result_;          // the run's, once it has ended
    bool tell_ = false;
    bool close_ = false;
};
