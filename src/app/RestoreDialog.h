#pragma once

// The earlier logbooks kept beside the logbook, to choose the one to put back: a row each, the
// newest first and already chosen, with when it was written, its entries and its pilot, so that
// a pilot can tell the one from before a wrong run. "Restore" or a double click chooses; asking
// before it is put back, and putting it back, are the caller's.

#include "logbook/DialogFlow.h"

#include <QDialog>

#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

class RestoreDialog : public QDialog {
    Q_OBJECT

public:
    explicit RestoreDialog(const std::vector<logbook::RestoreRow>& rows, QWidget* parent = nullptr);

    /// The generation of the chosen row: 0 (".bak") to 4; -1 when no row is chosen.
    [[nodiscard]] int chosenAge() const;

    QLabel* intro_;
    QTreeWidget* generations_; // one row per generation kept
    QPushButton* restore_;     // "Restore", the default button

protected:
    void showEvent(QShowEvent* event) override;
};
