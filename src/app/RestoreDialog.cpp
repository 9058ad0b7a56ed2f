#include "app/RestoreDialog.h"

#include "app/CoreText.h"
#include "app/ScreenFit.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Where a row keeps its generation's age.
constexpr int kAgeRole = Qt::UserRole;

} // namespace

RestoreDialog::RestoreDialog(const std::vector<logbook::RestoreRow>& rows, QWidget* parent)
    : QDialog(parent) {
    namespace dialog = logbook::dialog;
    setWindowTitle(fromCore(dialog::kRestoreTitle));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);

    intro_ = new QLabel(fromCore(dialog::kRestoreIntro), this);
    intro_->setTextFormat(Qt::PlainText);
    intro_->setWordWrap(true);
    layout->addWidget(intro_);

    generations_ = new QTreeWidget(this);
    generations_->setHeaderLabels(
        {fromCore(dialog::kGenerationColumn), fromCore(dialog::kWrittenColumn),
         fromCore(dialog::kEntriesColumn), fromCore(dialog::kPilotColumn)});
    generations_->setRootIsDecorated(false);
    generations_->setSelectionMode(QAbstractItemView::SingleSelection);
    generations_->setAllColumnsShowFocus(true);
    for (const logbook::RestoreRow& row : rows) {
        auto* item = new QTreeWidgetItem(generations_,
                                         QStringList{fromCore(row.name), fromCore(row.written),
                                                     fromCore(row.entries), fromCore(row.pilot)});
        item->setData(0, kAgeRole, row.age);
    }
    layout->addWidget(generations_);

    auto* buttons = new QDialogButtonBox(this);
    restore_ = buttons->addButton(fromCore(dialog::kRestoreButton), QDialogButtonBox::AcceptRole);
    buttons->addButton(fromCore(dialog::kCancel), QDialogButtonBox::RejectRole);
    restore_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(generations_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    // Nothing chosen, nothing to restore.
    connect(generations_, &QTreeWidget::itemSelectionChanged, this,
            [this] { restore_->setEnabled(chosenAge() >= 0); });
    // The newest is the one a pilot wants back after one wrong run.
    if (QTreeWidgetItem* newest = generations_->topLevelItem(0))
        generations_->setCurrentItem(newest);
    restore_->setEnabled(chosenAge() >= 0);

    // Every column readable and every row in sight (there are five at most); the screen may
    // allow less. Measured in the style and font that the rows will be shown in.
    ensurePolished();
    const int gap = 2 * fontMetrics().averageCharWidth(); // between two columns' texts
    int columns_width = 0;
    for (int column = 0; column < generations_->columnCount(); ++column) {
        generations_->resizeColumnToContents(column);
        generations_->setColumnWidth(column, generations_->columnWidth(column) + gap);
        columns_width += generations_->columnWidth(column);
    }
    const int row = std::max(generations_->sizeHintForRow(0), fontMetrics().height());
    const int frame = 2 * generations_->frameWidth();
    // Room for a vertical scroll bar too: one that the list showed while it was still small would
    // otherwise take the columns' room, and with the horizontal one it then needs, both stay.
    const int bar =
        generations_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, generations_);
    const QSize list(columns_width + frame + bar,
                     generations_->header()->sizeHint().height() +
                         std::max(generations_->topLevelItemCount(), 1) * row + frame);
    const QMargins margins = layout->contentsMargins();
    const int whole_width = list.width() + margins.left() + margins.right();
    // The intro wraps: at that width it takes the lines it takes.
    const int others = (layout->hasHeightForWidth() ? layout->totalHeightForWidth(whole_width)
                                                    : sizeHint().height()) -
                       generations_->sizeHint().height();
    resize(whole_width, others + list.height());
    generations_->setFocus();
}

int RestoreDialog::chosenAge() const {
    const QList<QTreeWidgetItem*> chosen = generations_->selectedItems();
    return chosen.isEmpty() ? -1 : chosen.front()->data(0, kAgeRole).toInt();
}

void RestoreDialog::showEvent(QShowEvent* event) {
    fitOnScreen(this);
    QDialog::showEvent(event);
    centreOnParent(this);
}
