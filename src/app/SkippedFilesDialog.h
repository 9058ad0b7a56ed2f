#pragma once

// The files that a run skipped, readable at any number: the count per reason on top, then one
// row per file with its name and the reason, in listing order. The window can be resized, and
// rows can be copied as "name<TAB>reason" lines, one per file, for a spreadsheet or a mail.

#include "logbook/Generation.h"

#include <QDialog>
#include <QString>

class QLabel;
class QTreeWidget;

class SkippedFilesDialog : public QDialog {
    Q_OBJECT

public:
    explicit SkippedFilesDialog(const logbook::GenerationResult& result, QWidget* parent = nullptr);

    /// The selected rows, or all of them when none is selected, as "name\treason" lines.
    [[nodiscard]] QString rowsText() const;

    QLabel* counts_;     // the count per reason
    QTreeWidget* files_; // one row per skipped file

public slots:
    /// Puts `rowsText()` on the clipboard (Ctrl+C in the list, or the "Copy" button).
    void copy();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
