#pragma once

// The main dialog of the logbook tool: the form with its fields preset from the simulator's
// installation directory, a line under it that says which installation that is (and, of several,
// lets another be chosen), the two file choosers, the logbook generation, and "Restore..." to
// put an earlier logbook back.

#include "app/MainWindowBase.h"
#include "app/WindowQueue.h"
#include "install/Installation.h"
#include "logbook/DialogFlow.h"
#include "logbook/Generation.h"
#include "logbook/RunController.h"

#include <QPointer>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

public slots:
    /// Rebuilds the logbook from every IGC file of the chosen directory: returns once the flow
    /// has started; it ends in `finished`.
    void generateLogBook() override;
    void browseIGCDir() override;
    void browseOutputFile() override;
    /// Puts an earlier logbook, chosen from those kept beside the logbook file, back as the
    /// logbook, after a question; the one it replaces is kept, so that this can be undone.
    void restoreLogbook();
    /// Lists the installations found, the one the presets come from chosen; another chosen
    /// fills the IGC directory and the logbook path from it.
    void chooseInstallation();

signals:
    /// A flow that "Generate Logbook" or "Restore..." started is over, its boxes closed.
    void flowEnded();

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
    // The flows' view: the progress window, the boxes, the restore list and the end.
    void showProgress(int done, int total) override;
    void hideProgress() override;
    void tell(const logbook::DialogBox& box) override;
    void ask(const logbook::DialogQuestion& question) override;
    void chooseGeneration(const std::vector<logbook::RestoreRow>& rows) override;
    void showIgcFolder(const std::string& folder) override;
    void finished(const logbook::FlowEnd& end, bool close) override;

    /// What the form holds.
    [[nodiscard]] logbook::DialogForm form() const;
    /// A Windows path typed or pasted into a path field, as this system reaches it.
    void takeWindowsPaths();
    /// The form takes no input while a flow goes on.
    void disableForm();
    /// The "Logbook generated" box with what was written and skipped, or why nothing was.
    void showResult(const logbook::GenerationResult& result, const logbook::ResultBox& shown);
    /// Fills the IGC directory and the logbook path from installation `index` of the search, and
    /// says so under the form.
    void takeInstallation(std::size_t index);
    /// Fills the pilot name from the logbook in the form, unless the pilot typed one.
    void fillPilotName();
    /// With no installation found: says so and offers the folder chooser, whose folder fills
    /// the IGC directory and, where it says, the logbook path.
    void offerFolderChooser();

    install::InstallationSearch search_;

    /// Where the run hands its work to this thread. Before the controller: it outlives the
    /// controller's threads.
    WindowQueue posted_;

    logbook::RunController run_;
    std::unique_ptr<QProgressDialog> progress_; // while a run shows its progress
    QList<QPointer<QWidget>> disabled_;         // the form's widgets, while a flow goes on
    QPointer<QWidget> had_focus_;               // and which of them had the keyboard
};
