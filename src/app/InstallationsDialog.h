#pragma once

// The simulator's installations that the search found, to choose the one that the form's IGC
// folder and logbook file are filled in from: a row each (installation::installationText), the
// one taken already chosen. "Use" or a double click chooses; filling the form is the caller's.

#include "install/Installation.h"

#include <QDialog>

#include <cstddef>
#include <optional>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

class InstallationsDialog : public QDialog {
    Q_OBJECT

public:
    InstallationsDialog(const std::vector<install::FoundInstallation>& found,
                        std::optional<std::size_t> taken, QWidget* parent = nullptr);

    /// The chosen row's index into `found`; none when no row is chosen.
    [[nodiscard]] std::optional<std::size_t> chosen() const;

    QLabel* intro_;
    QListWidget* installations_; // one row per installation, in the search's order
    QPushButton* use_;           // "Use", the default button

protected:
    void showEvent(QShowEvent* event) override;
};
