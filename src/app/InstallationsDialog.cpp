#include "app/InstallationsDialog.h"

#include "app/CoreText.h"
#include "app/ScreenFit.h"
#include "logbook/DialogFlow.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

InstallationsDialog::InstallationsDialog(const std::vector<install::FoundInstallation>& found,
                                         std::optional<std::size_t> taken, QWidget* parent)
    : QDialog(parent) {
    namespace dialog = logbook::dialog;
    setWindowTitle(fromCore(dialog::kInstallationsTitle));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);

    intro_ = new QLabel(fromCore(dialog::kInstallationsIntro), this);
    intro_->setTextFormat(Qt::PlainText);
    intro_->setWordWrap(true);
    layout->addWidget(intro_);

    installations_ = new QListWidget(this);
    installations_->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const install::FoundInstallation& installation : found)
        installations_->addItem(fromCore(install::installationText(installation)));
    layout->addWidget(installations_);

    auto* buttons = new QDialogButtonBox(this);
    use_ = buttons->addButton(fromCore(dialog::kUseInstallation), QDialogButtonBox::AcceptRole);
    buttons->addButton(fromCore(dialog::kCancel), QDialogButtonBox::RejectRole);
    use_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(installations_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(installations_, &QListWidget::itemSelectionChanged, this,
            [this] { use_->setEnabled(chosen().has_value()); });
    if (taken && *taken < found.size())
        installations_->setCurrentRow(static_cast<int>(*taken));
    use_->setEnabled(chosen().has_value());

    // Every row whole, as far as the screen allows (fitOnScreen): two installations may differ
    // only at the end of their directories.
    ensurePolished();
    const int frame = 2 * installations_->frameWidth();
    const int bar =
        installations_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, installations_);
    const int rows_width =
        installations_->sizeHintForColumn(0) + frame + bar + 2 * fontMetrics().averageCharWidth();
    const int row = std::max(installations_->sizeHintForRow(0), fontMetrics().height());
    const QMargins margins = layout->contentsMargins();
    const int whole_width =
        std::max(rows_width, buttons->sizeHint().width()) + margins.left() + margins.right();
    const int list_height =
        std::max(installations_->count(), 2) * row + frame + bar; // room for a horizontal bar
    const int others = (layout->hasHeightForWidth() ? layout->totalHeightForWidth(whole_width)
                                                    : sizeHint().height()) -
                       installations_->sizeHint().height();
    resize(whole_width, others + list_height);
    installations_->setFocus();
}

std::optional<std::size_t> InstallationsDialog::chosen() const {
    const QList<QListWidgetItem*> rows = installations_->selectedItems();
    if (rows.isEmpty())
        return std::nullopt;
    return static_cast<std::size_t>(installations_->row(rows.front()));
}

void InstallationsDialog::showEvent(QShowEvent* event) {
    fitOnScreen(this);
    QDialog::showEvent(event);
    centreOnParent(this);
}
