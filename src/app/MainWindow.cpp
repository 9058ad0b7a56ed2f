#include "app/MainWindow.h"

#include "install/InstallDir.h"
#include "logbook/FlightAnalysis.h"
#include "logbook/Generation.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <limits>
#include <string>
#include <thread>

MainWindow::MainWindow() {
    setWindowIcon(QIcon(QStringLiteral(":/icons/thermora-logbook.svg")));
    // Typing a name is the first thing a pilot does; the tab order stays the form's.
    pilot_name_->setFocus();
    std::string install_dir;
    if (!install::readInstallDir(install_dir)) {
        QMessageBox box(
            QMessageBox::Warning, tr("Warning"),
            tr("Couldn't find Thermora installation directory!\nPlease check installation"),
            QMessageBox::Ok, this);
        box.setInformativeText(
            tr("Set THERMORA_DIR to the simulator's installation directory, or WINEPREFIX to the "
               "Wine prefix that holds it, and start the program again. Until then, type the IGC "
               "directory and the logbook file or choose them with the \"...\" buttons."));
        box.exec();
        return;
    }
    // D/data/IGC and D/data/logbook.dat, D decoded as the file system encodes names, so that a
    // directory with letters beyond ASCII still names the same place.
    const install::Presets presets = install::presetsFor(install_dir);
    igc_files_->setText(presets.igc_directory);
    logbook_file_->setText(presets.logbook_file);
    // Show where the paths begin: their ends are alike ("data/IGC") and say little.
    igc_files_->setCursorPosition(0);
    logbook_file_->setCursorPosition(0);
}

bool MainWindow::analyzeFlight(QString path, std::ostream& logbook) {
    return logbook::analyzeFlight(QFile::encodeName(path).toStdString(), logbook,
                                  min_time_->value());
}

void MainWindow::generateLogBook() {
    if (pilot_name_->text().isEmpty()) {
        QMessageBox::warning(this, tr("Missing data"), tr("You must enter a pilot name!\n"));
        return;
    }
    // The simulator reads the pilot name as Latin-1, one header line.
    const std::string pilot = pilot_name_->text().toLatin1().toStdString();
    if (logbook::hasControlCharacter(pilot)) {
        QMessageBox::warning(this, tr("Invalid data"),
                             tr("The pilot name must not hold a line break or any other control "
                                "character!\n"));
        return;
    }

    if (const QString beyond = logbook::charactersBeyondLatin1(pilot_name_->text());
        !beyond.isEmpty()) {
        QMessageBox question(QMessageBox::Warning, tr("Warning"),
                             tr("The logbook holds the pilot name as Latin-1 text, which has no "
                                "%1: they would be written as \"?\".\nGo on anyway?")
                                 .arg(beyond),
                             QMessageBox::NoButton, this);
        QPushButton* go_on = question.addButton(tr("&Yes"), QMessageBox::YesRole);
        QPushButton* stop = question.addButton(tr("&No"), QMessageBox::NoRole);
        question.setDefaultButton(stop);
        question.setEscapeButton(stop);
        question.exec();
        if (question.clickedButton() != go_on)
            return;
    }

    const QString logbook_path = logbook_file_->text();
    if (QFile::exists(logbook_path)) {
        QMessageBox question(
            QMessageBox::Warning, tr("Warning"),
            tr("This wil overwrite your existing logbook!\nAre you sure you want to do this?"),
            QMessageBox::NoButton, this);
        QPushButton* yes = question.addButton(tr("&Yes"), QMessageBox::YesRole);
        question.addButton(tr("&No"), QMessageBox::NoRole);
        question.setDefaultButton(yes);
        question.exec();
        // "&No", Escape and closing the box all leave the old logbook alone.
        if (question.clickedButton() != yes)
            return;
    }

    logbook::GenerationRequest request;
    request.igc_directory = QFile::encodeName(igc_files_->text()).toStdString();
    request.logbook_path = QFile::encodeName(logbook_path).toStdString();
    request.pilot_name = pilot;
    request.min_time_minutes = min_time_->value();
    const logbook::GenerationResult result = runGeneration(request);
    showResult(result, logbook_path);
}

logbook::GenerationResult MainWindow::runGeneration(logbook::GenerationRequest request) {
    // The work runs on a thread of its own, so that the window repaints and can be cancelled;
    // this call still returns only when the logbook is written (or not).
    std::atomic<bool> cancel{false};
    std::atomic<int> done{0};
    std::atomic<int> total{0};
    request.cancel = &cancel;

    // The form takes no input meanwhile: no second run, no change of the inputs.
    QList<QWidget*> disabled;
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->isEnabled() && !child->isWindow()) {
            child->setEnabled(false);
            disabled << child;
        }
    }
    running_ = true;

    QProgressDialog progress(this);
    progress.setWindowTitle(tr("Generating logbook"));
    progress.setLabelText(tr("Generating logbook"));
    progress.setCancelButtonText(tr("Cancel"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    // Shown by the timer below only: the dialog's own estimate could bring it up for a run that
    // is over a moment later, a window flashing by.
    progress.setMinimumDuration(std::numeric_limits<int>::max());
    connect(&progress, &QProgressDialog::canceled, this, [&cancel] { cancel = true; });
    cancel_ = &cancel;

    QEventLoop loop;
    QTimer show_later;
    show_later.setSingleShot(true);
    connect(&show_later, &QTimer::timeout, &progress, [&progress, &cancel] {
        if (!cancel)
            progress.show();
    });
    show_later.start(progress_delay_ms_);
    QTimer update;
    connect(&update, &QTimer::timeout, &progress, [&] {
        const int all = total.load();
        progress.setMaximum(std::max(all, 1));
        progress.setValue(done.load());
        progress.setLabelText(tr("Generating logbook\n%1 of %2 files").arg(done.load()).arg(all));
    });
    update.start(100);

    logbook::GenerationResult result;
    std::thread worker([&] {
        result = logbook::generateLogbook(request, std::cerr, [&](int files_done, int files) {
            total = files;
            done = files_done;
        });
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();

    cancel_ = nullptr;
    running_ = false;
    update.stop();
    show_later.stop();
    progress.hide();
    for (QWidget* child : disabled)
        child->setEnabled(true);
    return result;
}

void MainWindow::showResult(const logbook::GenerationResult& result, const QString& logbook_path) {
    if (result.failure == logbook::GenerationFailure::Cancelled) {
        QMessageBox::information(this, tr("Logbook not generated"),
                                 QString::fromLocal8Bit(logbook::failureText(result)));
        return;
    }
    if (result.failure != logbook::GenerationFailure::None) {
        QMessageBox::warning(this, tr("Error"),
                             QString::fromLocal8Bit(logbook::failureText(result)));
        return;
    }
    QMessageBox box(QMessageBox::Information, tr("Logbook generated"),
                    tr("Wrote %n entries to %1", nullptr, result.entries).arg(logbook_path),
                    QMessageBox::Ok, this);
    QString summary =
        tr("%1 files read, %2 skipped").arg(result.files).arg(result.files - result.entries);
    if (!result.backup_path.empty())
        summary += QLatin1Char('\n') +
                   tr("The old logbook was kept as %1")
                       .arg(QFile::decodeName(QByteArray::fromStdString(result.backup_path)));
    box.setInformativeText(summary);
    QString details;
    for (const auto& [path, reason] : result.skipped)
        details += QFile::decodeName(QByteArray::fromStdString(path)) + QStringLiteral(": ") +
                   QString::fromLocal8Bit(reason) + QLatin1Char('\n');
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.exec();
}

void MainWindow::reject() {
    // Escape or closing the window during a run stops the run; the window stays.
    if (running_) {
        if (cancel_ != nullptr)
            *cancel_ = true;
        return;
    }
    MainWindowBase::reject();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (running_) {
        if (cancel_ != nullptr)
            *cancel_ = true;
        event->ignore();
        return;
    }
    MainWindowBase::closeEvent(event);
}

void MainWindow::browseIGCDir() {
    // Cancelling gives an empty result, which empties the field.
    igc_files_->setText(QFileDialog::getExistingDirectory(
        this, tr("IGC File directory"), igc_files_->text(), QFileDialog::ShowDirsOnly));
}

void MainWindow::browseOutputFile() {
    const QString file = QFileDialog::getOpenFileName(
        this, tr("Choose a file"), QString(), tr("Logbook file (logbook.dat);;All Files (*.*)"));
    if (!file.isEmpty())
        logbook_file_->setText(file);
}
