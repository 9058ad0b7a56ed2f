#include "app/MainWindow.h"

#include "app/CoreText.h"
#include "app/InstallationsDialog.h"
#include "app/QuestionBox.h"
#include "app/RestoreDialog.h"
#include "app/ScreenFit.h"
#include "app/SkippedFilesDialog.h"
#include "install/Installation.h"
#include "logbook/DialogFlow.h"
#include "logbook/FlightAnalysis.h"
#include "logbook/Generation.h"
#include "logbook/Listing.h"
#include "logbook/LogbookFile.h"
#include "logbook/LogbookHistory.h"
#include "logbook/Messages.h"
#include "logbook/RequestCheck.h"
#include "platform/Diagnostics.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>

#include <algorithm>
#include <functional>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <utility>

namespace {

// A box with its "OK" button, within the screen however long the paths in its text.
void tell(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
          const QString& informative = {}) {
    FittingMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    // A path may hold "<": it is a name, never markup.
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(informative);
    box.exec();
}

QMessageBox::Icon iconOf(logbook::Severity severity) {
    switch (severity) {
    case logbook::Severity::Information:
        return QMessageBox::Information;
    case logbook::Severity::Warning:
        break;
    case logbook::Severity::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::Warning;
}

void tell(QWidget* parent, const logbook::DialogBox& box) {
    tell(parent, iconOf(box.severity), fromCore(box.title), fromCore(box.text),
         fromCore(box.informative));
}

// The folder chooser's listing with its files greyed: seen, so that a folder of recordings does
// not look empty, but not chosen. Qt's chooser lists the files that its filter lets through as
// it lists folders; sorting stays its model's (folders first).
class GreyedFiles : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QIdentityProxyModel::flags(index);
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (files != nullptr && index.isValid() && !files->isDir(mapToSource(index)))
            flags &= ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        return flags;
    }
};

// Qt's own folder chooser, standing over the window it belongs to like every box of the dialog.
class CentredFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

protected:
    void showEvent(QShowEvent* event) override {
        QFileDialog::showEvent(event);
        if (!event->spontaneous())
            centreOnParent(this);
    }
};

} // namespace

MainWindow::MainWindow()
    : MainWindow(install::searchInstallations(install::SearchExtent::Everywhere)) {}

MainWindow::MainWindow(install::InstallationSearch search)
    : search_(std::move(search)),
      run_(*this, [this](std::function<void()> work) { return posted_.post(std::move(work)); }) {
    setWindowIcon(QIcon(QStringLiteral(":/icons/thermora-logbook.svg")));
    // Typing a name is the first thing a pilot does.
    pilot_name_->setFocus();
    // "1 minute", where the form would say "1 minutes".
    const auto fitSuffix = [this](int minutes) {
        min_time_->setSuffix(fromCore(logbook::dialog::minutesSuffix(minutes)));
    };
    connect(min_time_, &QSpinBox::valueChanged, this, fitSuffix);
    fitSuffix(min_time_->value());
    // "Restore..." leads the button row, in the cell that only its filler held: the label
    // column, so that the row's own buttons stay where the form has them.
    restore_button_ = new QPushButton(fromCore(logbook::dialog::kRestore), this);
    restore_button_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    MainWindowBaseLayout->addWidget(restore_button_, 5, 0);
    connect(restore_button_, &QPushButton::clicked, this, &MainWindow::restoreLogbook);
    // Under the form, in the room between the minimum time and the button row: the
    // installation that the presets come from, so that a pilot with the simulator in several
    // Wine prefixes sees which one the logbook is made for, and "Change..." to take another.
    // The line wraps on a small screen or at a large text scale rather than widen the window or
    // lose its end.
    installation_ = new QLabel(this);
    installation_->setTextFormat(Qt::PlainText); // a path may hold "<": a name, never markup
    installation_->setWordWrap(true);
    installation_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    change_installation_ = new QPushButton(fromCore(logbook::dialog::kChangeInstallation), this);
    change_installation_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* line = new QHBoxLayout;
    line->addWidget(installation_, 1);
    line->addWidget(change_installation_);
    MainWindowBaseLayout->addLayout(line, 4, 0, 1, 6, Qt::AlignTop);
    // In the keyboard's order as on the screen: after the minimum time, then the button row
    // from the left, "Restore..." first.
    setTabOrder(min_time_, change_installation_);
    setTabOrder(change_installation_, restore_button_);
    setTabOrder(restore_button_, pushButton1);
    connect(change_installation_, &QPushButton::clicked, this, &MainWindow::chooseInstallation);
    change_installation_->setVisible(search_.found.size() > 1);
    // What the search found goes to the terminal, before any box.
    std::cerr << install::choiceText(search_);
    if (!search_.taken) {
        installation_->hide();
        // What to set for the next start goes to the terminal; the box offers what a pilot who
        // started the program from a menu can do.
        std::cerr << install::notFoundDiagnostic(search_) << '\n';
        offerFolderChooser();
        return;
    }
    takeInstallation(*search_.taken);
    // The line on one line where the screen has room for it: fitOnScreen narrows the window to
    // the screen when shown, and the line then wraps.
    installation_->setWordWrap(false);
    const int one_line = sizeHint().width();
    installation_->setWordWrap(true);
    resize(size().expandedTo(QSize(one_line, sizeHint().height())));
}

void MainWindow::takeInstallation(std::size_t index) {
    search_.taken = index;
    // D/data/IGC and D/data/logbook.dat, decoded as the file system encodes names, so that a
    // directory with letters beyond ASCII still names the same place.
    const install::PresetPaths presets = install::presetPaths(search_.found[index].directory);
    igc_files_->setText(fromCore(presets.igc_directory));
    logbook_file_->setText(fromCore(presets.logbook_file));
    // Show where the paths begin: their ends are alike ("data/IGC") and say little.
    igc_files_->setCursorPosition(0);
    logbook_file_->setCursorPosition(0);
    const QString taken = fromCore(install::takenText(search_));
    installation_->setText(taken);
    // The whole line, cut short or not, and why the presets point elsewhere when they do.
    installation_->setToolTip(
        presets.note.empty() ? taken : taken + QLatin1Char('\n') + fromCore(presets.note));
    fillPilotName();
}

void MainWindow::fillPilotName() {
    // The name that the logbook holds, so that a pilot does not type it at every start; never
    // over a name that the pilot typed.
    if (!pilot_name_->text().isEmpty() && pilot_name_->isModified())
        return;
    const QString name = QString::fromStdString(logbook::pilotNameFor(form().logbook_path));
    if (!name.isEmpty())
        pilot_name_->setText(name);
}

void MainWindow::offerFolderChooser() {
    const logbook::DialogBox shown = logbook::noInstallationChoice();
    FittingMessageBox box(iconOf(shown.severity), fromCore(shown.title), fromCore(shown.text),
                          QMessageBox::NoButton, this);
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(fromCore(shown.informative));
    QPushButton* choose =
        box.addButton(fromCore(logbook::dialog::kChooseFolder), QMessageBox::AcceptRole);
    QPushButton* close = box.addButton(fromCore(logbook::dialog::kClose), QMessageBox::RejectRole);
    box.setDefaultButton(choose);
    box.setEscapeButton(close);
    box.exec();
    if (box.clickedButton() != choose)
        return;
    CentredFileDialog chooser(this, fromCore(logbook::dialog::kChooseFolderTitle));
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ShowDirsOnly);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return;
    const logbook::ChosenFolder chosen = logbook::presetsFromFolder(
        QFile::encodeName(chooser.selectedFiles().value(0)).toStdString());
    igc_files_->setText(fromCore(chosen.igc_directory));
    igc_files_->setCursorPosition(0);
    if (!chosen.logbook_path.empty()) {
        logbook_file_->setText(fromCore(chosen.logbook_path));
        logbook_file_->setCursorPosition(0);
        fillPilotName();
    }
}

void MainWindow::chooseInstallation() {
    if (run_.running() || search_.found.empty())
        return;
    InstallationsDialog list(search_.found, search_.taken, this);
    if (list.exec() != QDialog::Accepted)
        return;
    if (const std::optional<std::size_t> chosen = list.chosen())
        takeInstallation(*chosen);
}

// A run still under way is cancelled and waited for (the controller goes first).
MainWindow::~MainWindow() = default;

logbook::DialogForm MainWindow::form() const {
    const std::string logbook_path = QFile::encodeName(logbook_file_->text()).toStdString();
    return {pilot_name_->text().toStdString(), QFile::encodeName(igc_files_->text()).toStdString(),
            logbook_path, min_time_->value(),
            // The simulator's own date form: its Wine prefix's, where it sets one.
            install::entryDateFormatter(logbook_path, search_)};
}

void MainWindow::takeWindowsPaths() {
    // A path copied from the simulator's Windows side ("C:\users\...") is put in the field as
    // this system reaches it, so that the pilot sees what is used; one that cannot be translated
    // stays, and the run says what it misses.
    for (QLineEdit* field : {igc_files_, logbook_file_}) {
        const install::GivenPath given =
            install::givenPath(QFile::encodeName(field->text()).toStdString(), search_);
        if (!given.note.empty()) {
            field->setText(QFile::decodeName(QByteArray::fromStdString(given.path)));
            platform::diagnostics() << given.note << "\n";
        }
    }
}

void MainWindow::generateLogBook() {
    takeWindowsPaths();
    // Every check and question, and their order, are the core's: both dialogs ask the same.
    if (run_.generate(form()))
        disableForm();
}

void MainWindow::restoreLogbook() {
    if (run_.restore(form().logbook_path))
        disableForm();
}

void MainWindow::disableForm() {
    // The form takes no input meanwhile: no second run, no change of the inputs. Disabled, the
    // field that had the keyboard focus loses it; it gets it back when the flow is over, so that
    // Tab, Enter and typing go on from there.
    had_focus_ = focusWidget();
    disabled_.clear();
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->isEnabled() && !child->isWindow()) {
            child->setEnabled(false);
            disabled_ << child;
        }
    }
}

void MainWindow::finished(const logbook::FlowEnd& end, bool close) {
    progress_.reset();
    for (QWidget* child : std::exchange(disabled_, {}))
        if (child != nullptr)
            child->setEnabled(true);
    if (had_focus_ != nullptr)
        had_focus_->setFocus(Qt::OtherFocusReason);
    if (end.box)
        showResult(end.result, *end.box);
    if (close)
        this->close();
    else
        activateWindow(); // back from the boxes, the keyboard is the form's again, where it was
    emit flowEnded();
}

void MainWindow::tell(const logbook::DialogBox& box) {
    ::tell(this, box);
    run_.answer(logbook::Answer::Yes);
}

void MainWindow::ask(const logbook::DialogQuestion& question) {
    run_.answer(QuestionBox(question, this).ask());
}

void MainWindow::chooseGeneration(const std::vector<logbook::RestoreRow>& rows) {
    RestoreDialog list(rows, this);
    const bool chosen = list.exec() == QDialog::Accepted && list.chosenAge() >= 0;
    run_.choose(chosen ? std::optional<int>(list.chosenAge()) : std::nullopt);
}

void MainWindow::showIgcFolder(const std::string& folder) {
    igc_files_->setText(fromCore(folder));
    igc_files_->setCursorPosition(0);
}

void MainWindow::showProgress(int done, int total) {
    const QString title = fromCore(logbook::dialog::kGenerating);
    if (!progress_) {
        progress_ = std::make_unique<QProgressDialog>(this);
        QProgressDialog& progress = *progress_;
        progress.setWindowTitle(title);
        progress.setCancelButtonText(fromCore(logbook::dialog::kCancel));
        // Not modal: the form is disabled anyway, and a modal window would keep the main
        // window's close button from reaching it.
        progress.setWindowModality(Qt::NonModal);
        progress.setAutoReset(false);
        progress.setAutoClose(false);
        // Wide enough for its title beside the title bar's icon and buttons, which would cut
        // it.
        QFont title_font = QApplication::font("QMdiSubWindowTitleBar");
        title_font.setBold(true);
        progress.setMinimumWidth(QFontMetrics(title_font).horizontalAdvance(title) +
                                 6 * style()->pixelMetric(QStyle::PM_TitleBarHeight));
        // Shown when the run says so only: the dialog's own estimate could bring it up for a
        // run that is over a moment later, a window flashing by.
        progress.setMinimumDuration(std::numeric_limits<int>::max());
        connect(&progress, &QProgressDialog::canceled, this, [this] { run_.cancel(); });
    }
    QProgressDialog& progress = *progress_;
    progress.setMaximum(std::max(total, 1));
    progress.setValue(done);
    progress.setLabelText(title + QLatin1Char('\n') +
                          QString::fromStdString(logbook::progressText(done, total)));
    if (!progress.isVisible()) {
        fitOnScreen(&progress);
        centreOnParent(&progress);
        progress.show();
    }
}

void MainWindow::hideProgress() {
    if (progress_)
        progress_->hide();
}

void MainWindow::showResult(const logbook::GenerationResult& result,
                            const logbook::ResultBox& shown) {
    FittingMessageBox box(iconOf(shown.box.severity), fromCore(shown.box.title),
                          fromCore(shown.box.text), QMessageBox::NoButton, this);
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(fromCore(shown.box.informative));
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    if (shown.details) {
        QPushButton* details =
            box.addButton(fromCore(logbook::dialog::kShowDetails), QMessageBox::ActionRole);
        details->setAutoDefault(false);
        // The box closes on any of its buttons; this one opens the list over it instead.
        disconnect(details, &QAbstractButton::clicked, nullptr, nullptr);
        connect(details, &QAbstractButton::clicked, &box, [&box, &result] {
            SkippedFilesDialog list(result, &box);
            list.exec();
        });
    }
    box.exec();
}

void MainWindow::reject() {
    // Escape during a run stops the run; the window stays.
    if (run_.running()) {
        run_.cancel();
        return;
    }
    MainWindowBase::reject();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // During a run the run stops between two files, leaving the old logbook, and the window
    // closes once it has (generateLogBook).
    if (run_.close()) {
        event->ignore();
        return;
    }
    MainWindowBase::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
    // Before the dialog places itself on its screen, which it can then do with the whole window.
    if (!event->spontaneous())
        fitOnScreen(this);
    MainWindowBase::showEvent(event);
    if (!event->spontaneous())
        keepOnScreen(this);
}

void MainWindow::browseIGCDir() {
    CentredFileDialog chooser(this, fromCore(logbook::dialog::kChooseDirectory),
                              igc_files_->text());
    chooser.setFileMode(QFileDialog::Directory);
    // The recordings show in each folder, greyed, so that the IGC folder does not look empty
    // when it is the one to choose. Qt's own chooser, as the desktop's may list folders only;
    // the filter's name under the list says what the grey files are.
    chooser.setOptions(QFileDialog::DontUseNativeDialog);
    chooser.setNameFilter(fromCore(logbook::dialog::kRecordingsFilter));
    chooser.setProxyModel(new GreyedFiles(&chooser));
    // Cancelled, the field stays as it was.
    if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
        igc_files_->setText(chooser.selectedFiles().value(0));
}

void MainWindow::browseOutputFile() {
    // A save chooser: a logbook that does not exist yet can be named. It asks nothing about one
    // that does; the run asks, as it asks whatever the field holds.
    const QString file = QFileDialog::getSaveFileName(
        this, fromCore(logbook::dialog::kChooseLogbook), logbook_file_->text(),
        fromCore(std::string(logbook::dialog::kLogbookFilter) + ";;" +
                 logbook::dialog::kAllFilesFilter),
        nullptr, QFileDialog::DontConfirmOverwrite);
    if (!file.isEmpty()) {
        logbook_file_->setText(file);
        fillPilotName();
    }
}
