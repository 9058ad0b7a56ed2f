#include "app/SkippedFilesDialog.h"

#include "logbook/DialogFlow.h"

#include "app/ScreenFit.h"
#include "logbook/Listing.h"
#include "logbook/Messages.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

SkippedFilesDialog::SkippedFilesDialog(const logbook::GenerationResult& result, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(logbook::dialog::kSkippedFiles));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);

    counts_ = new QLabel(QString::fromStdString(logbook::skippedCountsText(result)), this);
    counts_->setTextFormat(Qt::PlainText);
    counts_->setWordWrap(true);
    counts_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(counts_);

    files_ = new QTreeWidget(this);
    files_->setHeaderLabels({QString::fromUtf8(logbook::dialog::kFileColumn),
                             QString::fromUtf8(logbook::dialog::kReasonColumn)});
    files_->setRootIsDecorated(false);
    // Tens of thousands of rows scroll as fast as ten when the view need not measure each.
    files_->setUniformRowHeights(true);
    files_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    files_->setAllColumnsShowFocus(true);
    files_->setAlternatingRowColors(true);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(result.skipped.size()));
    for (const auto& [name, reason] : logbook::skippedRows(result)) {
        // A name's control bytes shown as \xNN, so that a row stays one line, and so does its copy.
        rows << new QTreeWidgetItem(
            QStringList{QFile::decodeName(QByteArray::fromStdString(logbook::escaped(name))),
                        QString::fromStdString(reason)});
    }
    files_->addTopLevelItems(rows);
    files_->installEventFilter(this);
    layout->addWidget(files_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* copy_button =
        buttons->addButton(QString::fromUtf8(logbook::dialog::kCopy), QDialogButtonBox::ActionRole);
    copy_button->setAutoDefault(false);
    connect(copy_button, &QPushButton::clicked, this, &SkippedFilesDialog::copy);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    // Wide enough for the names and the reasons, twenty rows high; the screen may allow less.
    files_->resizeColumnToContents(0);
    files_->resizeColumnToContents(1);
    const int row = std::max(files_->sizeHintForRow(0), fontMetrics().height());
    const int frame = 2 * files_->frameWidth();
    const QSize list(files_->columnWidth(0) + files_->columnWidth(1) +
                         files_->verticalScrollBar()->sizeHint().width() + frame,
                     files_->header()->sizeHint().height() + 20 * row + frame);
    resize(sizeHint() + list - files_->sizeHint());
    files_->setFocus();
}

QString SkippedFilesDialog::rowsText() const {
    QList<int> chosen;
    for (const QModelIndex& index : files_->selectionModel()->selectedRows())
        chosen << index.row();
    if (chosen.isEmpty()) {
        chosen.resize(files_->topLevelItemCount());
        std::iota(chosen.begin(), chosen.end(), 0);
    }
    // In the list's order, whatever order they were selected in.
    std::sort(chosen.begin(), chosen.end());
    QString text;
    for (const int k : chosen) {
        const QTreeWidgetItem* item = files_->topLevelItem(k);
        text += item->text(0) + QLatin1Char('\t') + item->text(1) + QLatin1Char('\n');
    }
    return text;
}

void SkippedFilesDialog::copy() {
    QGuiApplication::clipboard()->setText(rowsText());
}

bool SkippedFilesDialog::eventFilter(QObject* watched, QEvent* event) {
    // The list itself would copy only the cell that has the focus.
    if (watched == files_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        copy();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void SkippedFilesDialog::showEvent(QShowEvent* event) {
    fitOnScreen(this);
    QDialog::showEvent(event);
    centreOnParent(this);
}
