#include "app/MainWindow.h"

#include "install/InstallDir.h"
#include "logbook/FlightAnalysis.h"
#include "logbook/Generation.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

#include <iostream>
#include <string>

MainWindow::MainWindow() {
    std::string install_dir;
    if (!install::readInstallDir(install_dir)) {
        QMessageBox::warning(
            this, tr("Warning"),
            tr("Couldn't find Thermora installation directory!\nPlease check installation"));
        return;
    }
    // D/data/IGC and D/data/logbook.dat, D decoded as the file system encodes names, so that a
    // directory with letters beyond ASCII still names the same place.
    const install::Presets presets = install::presetsFor(install_dir);
    igc_files_->setText(presets.igc_directory);
    logbook_file_->setText(presets.logbook_file);
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
    const logbook::GenerationResult result = logbook::generateLogbook(request, std::cerr);
    if (result.failure != logbook::GenerationFailure::None)
        QMessageBox::warning(this, tr("Error"),
                             QString::fromLocal8Bit(logbook::failureText(result)));
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
