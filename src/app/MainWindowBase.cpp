#include "app/MainWindowBase.h"

#include "logbook/DialogFlow.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSizePolicy>
#include <QSpacerItem>
#include <QSpinBox>
#include <QToolButton>

namespace {

// Gives `widget` the policy `horizontal` x `vertical` while keeping its class's height-for-width
// flag.
void setPolicy(QWidget* widget, QSizePolicy::Policy horizontal, QSizePolicy::Policy vertical,
               int horizontal_stretch = 0) {
    QSizePolicy policy(horizontal, vertical);
    policy.setHorizontalStretch(horizontal_stretch);
    policy.setHeightForWidth(widget->sizePolicy().hasHeightForWidth());
    widget->setSizePolicy(policy);
}

} // namespace

MainWindowBase::MainWindowBase(QWidget* parent, const char* name, bool modal, Qt::WindowFlags flags)
    : QDialog(parent, flags) {
    setObjectName(QString::fromLatin1(name != nullptr ? name : "MainWindowBase"));
    setModal(modal);
    setSizeGripEnabled(true);

    MainWindowBaseLayout = new QGridLayout(this);
    MainWindowBaseLayout->setContentsMargins(11, 11, 11, 11);
    MainWindowBaseLayout->setSpacing(16);

    // Created in placement order; the keyboard's order is set below, as the form reads.
    textLabel3 = new QLabel(this);
    MainWindowBaseLayout->addWidget(textLabel3, 2, 0);

    textLabel1 = new QLabel(this);
    MainWindowBaseLayout->addWidget(textLabel1, 1, 0);

    textLabel2 = new QLabel(this);
    MainWindowBaseLayout->addWidget(textLabel2, 0, 0);

    toolButton1 = new QToolButton(this);
    setPolicy(toolButton1, QSizePolicy::Fixed, QSizePolicy::Minimum);
    MainWindowBaseLayout->addWidget(toolButton1, 1, 5);

    toolButton2 = new QToolButton(this);
    setPolicy(toolButton2, QSizePolicy::Fixed, QSizePolicy::Minimum);
    MainWindowBaseLayout->addWidget(toolButton2, 2, 5);

    spacer1 = new QSpacerItem(21, 20, QSizePolicy::Fixed, QSizePolicy::Minimum);
    MainWindowBaseLayout->addItem(spacer1, 0, 5);

    spacer2 = new QSpacerItem(21, 20, QSizePolicy::Fixed, QSizePolicy::Minimum);
    MainWindowBaseLayout->addItem(spacer2, 5, 5);

    pushButton2 = new QPushButton(this);
    setPolicy(pushButton2, QSizePolicy::Expanding, QSizePolicy::Fixed);
    MainWindowBaseLayout->addWidget(pushButton2, 5, 4);

    spacer3 = new QSpacerItem(50, 21, QSizePolicy::Expanding, QSizePolicy::Minimum);
    MainWindowBaseLayout->addItem(spacer3, 5, 0);

    pushButton1 = new QPushButton(this);
    setPolicy(pushButton1, QSizePolicy::Preferred, QSizePolicy::Fixed);
    // Enter in a field generates the logbook. Left to itself the dialog would make "Exit" (the
    // first push button it meets) the default, and Enter after typing a name would end the
    // program with everything typed lost.
    pushButton1->setDefault(true);
    MainWindowBaseLayout->addWidget(pushButton1, 5, 1, 1, 2);

    spacer4 = new QSpacerItem(21, 20, QSizePolicy::Fixed, QSizePolicy::Minimum);
    MainWindowBaseLayout->addItem(spacer4, 5, 3);

    spacer5 = new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding);
    MainWindowBaseLayout->addItem(spacer5, 4, 2);

    logbook_file_ = new QLineEdit(this);
    setPolicy(logbook_file_, QSizePolicy::Expanding, QSizePolicy::Fixed, 1);
    MainWindowBaseLayout->addWidget(logbook_file_, 2, 2, 1, 3);

    igc_files_ = new QLineEdit(this);
    MainWindowBaseLayout->addWidget(igc_files_, 1, 2, 1, 3);

    pilot_name_ = new QLineEdit(this);
    MainWindowBaseLayout->addWidget(pilot_name_, 0, 2, 1, 3);

    spacer6 = new QSpacerItem(221, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    MainWindowBaseLayout->addItem(spacer6, 3, 3, 1, 3);

    min_time_ = new QSpinBox(this);
    min_time_->setRange(logbook::kMinMinutes, logbook::kMaxMinutes);
    min_time_->setValue(logbook::kDefaultMinutes);
    MainWindowBaseLayout->addWidget(min_time_, 3, 2);

    spacer7 = new QSpacerItem(20, 41, QSizePolicy::Minimum, QSizePolicy::Expanding);
    MainWindowBaseLayout->addItem(spacer7, 4, 0);

    textLabel1_2 = new QLabel(this);
    setPolicy(textLabel1_2, QSizePolicy::Fixed, QSizePolicy::Preferred);
    MainWindowBaseLayout->addWidget(textLabel1_2, 3, 0, 1, 2);

    // Each label's access key goes to its field.
    textLabel2->setBuddy(pilot_name_);
    textLabel1->setBuddy(igc_files_);
    textLabel3->setBuddy(logbook_file_);
    textLabel1_2->setBuddy(min_time_);
    // Tab walks the form as it reads, from the top down and each "..." after its field, then the
    // buttons from left to right; creation order would jump between the rows.
    setTabOrder(pilot_name_, igc_files_);
    setTabOrder(igc_files_, toolButton1);
    setTabOrder(toolButton1, logbook_file_);
    setTabOrder(logbook_file_, toolButton2);
    setTabOrder(toolButton2, min_time_);
    setTabOrder(min_time_, pushButton1);
    setTabOrder(pushButton1, pushButton2);
    // The keyboard starts at the top, where a pilot types first.
    pilot_name_->setFocus();

    languageChange();

    // A large system font makes the form need more room than its designed size.
    resize(QSize(548, 270).expandedTo(minimumSizeHint()));
    // Measuring the size hint polished the dialog early; have it polished again when shown.
    setAttribute(Qt::WA_WState_Polished, false);

    connect(pushButton2, &QPushButton::clicked, this, &MainWindowBase::close);
    connect(pushButton1, &QPushButton::clicked, this, &MainWindowBase::generateLogBook);
    connect(toolButton1, &QToolButton::clicked, this, &MainWindowBase::browseIGCDir);
    connect(toolButton2, &QToolButton::clicked, this, &MainWindowBase::browseOutputFile);
}

// The widgets are children of the dialog and go with it.
MainWindowBase::~MainWindowBase() = default;

void MainWindowBase::languageChange() {
    // The form's words are the core's, as the other dialog's are.
    const auto word = [](const char* text) { return QString::fromUtf8(text); };
    namespace dialog = logbook::dialog;
    setWindowTitle(word(dialog::kCaption));
    textLabel3->setText(word(dialog::kLogbookFileLabel));
    textLabel1->setText(word(dialog::kIgcFilesLabel));
    textLabel2->setText(word(dialog::kPilotNameLabel));
    toolButton1->setText(word(dialog::kBrowse));
    toolButton2->setText(word(dialog::kBrowse));
    pushButton2->setText(word(dialog::kExit));
    pushButton1->setText(word(dialog::kGenerate));
    min_time_->setSuffix(word(dialog::kMinutesSuffix));
    min_time_->setToolTip(word(dialog::kMinTimeToolTip));
    textLabel1_2->setText(word(dialog::kMinTimeLabel));
}

void MainWindowBase::generateLogBook() {
    qWarning("MainWindowBase::generateLogBook(): Not implemented yet");
}

void MainWindowBase::browseIGCDir() {
    qWarning("MainWindowBase::browseIGCDir(): Not implemented yet");
}

void MainWindowBase::browseOutputFile() {
    qWarning("MainWindowBase::browseOutputFile(): Not implemented yet");
}
