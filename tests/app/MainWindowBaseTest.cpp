// The form class on its own: its grid, texts, spin box, size, and the placeholder slots that
// only report.

#include "ModalScript.h"

#include "app/MainWindowBase.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <map>

namespace {

// Opens the form's protected layout and spacers to the test.
class Form : public MainWindowBase {
public:
    using MainWindowBase::MainWindowBase;
    using MainWindowBase::MainWindowBaseLayout;

    /// The layout item of the member called `name`, widget or spacer.
    QLayoutItem* item(const QString& name) {
        const std::map<QString, QWidget*> widgets = {
            {"textLabel3", textLabel3},   {"textLabel1", textLabel1},
            {"textLabel2", textLabel2},   {"toolButton1", toolButton1},
            {"toolButton2", toolButton2}, {"pushButton2", pushButton2},
            {"pushButton1", pushButton1}, {"logbook_file_", logbook_file_},
            {"igc_files_", igc_files_},   {"pilot_name_", pilot_name_},
            {"min_time_", min_time_},     {"textLabel1_2", textLabel1_2},
        };
        const std::map<QString, QSpacerItem*> spacers = {
            {"spacer1", spacer1}, {"spacer2", spacer2}, {"spacer3", spacer3}, {"spacer4", spacer4},
            {"spacer5", spacer5}, {"spacer6", spacer6}, {"spacer7", spacer7},
        };
        if (const auto spacer = spacers.find(name); spacer != spacers.end())
            return spacer->second;
        const auto widget = widgets.find(name);
        if (widget == widgets.end())
            return nullptr;
        const int index = MainWindowBaseLayout->indexOf(widget->second);
        return index < 0 ? nullptr : MainWindowBaseLayout->itemAt(index);
    }
};

// The size policy a widget of the same class has before the form changes it.
QSizePolicy classDefault(const QWidget* widget) {
    if (qobject_cast<const QLabel*>(widget) != nullptr)
        return QLabel().sizePolicy();
    if (qobject_cast<const QLineEdit*>(widget) != nullptr)
        return QLineEdit().sizePolicy();
    if (qobject_cast<const QSpinBox*>(widget) != nullptr)
        return QSpinBox().sizePolicy();
    if (qobject_cast<const QToolButton*>(widget) != nullptr)
        return QToolButton().sizePolicy();
    return QPushButton().sizePolicy();
}

// Collects what goes through Qt's message channels while it lives.
class MessageCapture {
public:
    MessageCapture() { previous_ = qInstallMessageHandler(&MessageCapture::handle); }
    ~MessageCapture() { qInstallMessageHandler(previous_); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    static QStringList& messages() {
        static QStringList list;
        return list;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& text) {
        messages() << (type == QtWarningMsg ? QStringLiteral("warning: ")
                                            : QStringLiteral("other: ")) +
                          text;
    }
    QtMessageHandler previous_;
};

constexpr int kDefault = -1; // in the policy columns: the widget class's own policy

} // namespace

class MainWindowBaseTest : public QObject {
    Q_OBJECT

private slots:
    void construction_data();
    void construction();
    void placement_data();
    void placement();
    void focusFollowsTheForm();
    void texts_data();
    void texts();
    void minimumTime_data();
    void minimumTime();
    void size_data();
    void size();
    void placeholderSlotsOnlyReport_data();
    void placeholderSlotsOnlyReport();
    void exitCloses();
    void enterInAFieldGenerates();
};

void MainWindowBaseTest::construction_data() {
    QTest::addColumn<QByteArray>("name"); // null: none given
    QTest::addColumn<bool>("modal");
    QTest::addColumn<QString>("object_name");

    QTest::newRow("no name: named after the class") << QByteArray() << false << "MainWindowBase";
    QTest::newRow("own name, modal") << QByteArray("logbook form") << true << "logbook form";
}

void MainWindowBaseTest::construction() {
    QFETCH(QByteArray, name);
    QFETCH(bool, modal);
    QFETCH(QString, object_name);

    QWidget parent;
    MainWindowBase form(&parent, name.isNull() ? nullptr : name.constData(), modal,
                        Qt::WindowStaysOnTopHint);
    QCOMPARE(form.objectName(), object_name);
    QCOMPARE(form.isModal(), modal);
    QCOMPARE(form.parentWidget(), &parent);
    QVERIFY(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(form.isSizeGripEnabled());
    QVERIFY(!form.testAttribute(Qt::WA_WState_Polished)); // polished again when shown
}

void MainWindowBaseTest::placement_data() {
    QTest::addColumn<int>("index"); // creation order
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<int>("stretch");
    QTest::addColumn<QSize>("spacer"); // invalid for widgets

    using P = QSizePolicy;
    const QSize widget;
    const auto row = [](int index, const char* item) -> QTestData& {
        return QTest::newRow(item) << index << QString::fromLatin1(item);
    };
    row(0, "textLabel3") << 2 << 0 << 1 << kDefault << kDefault << 0 << widget;
    row(1, "textLabel1") << 1 << 0 << 1 << kDefault << kDefault << 0 << widget;
    row(2, "textLabel2") << 0 << 0 << 1 << kDefault << kDefault << 0 << widget;
    row(3, "toolButton1") << 1 << 5 << 1 << +P::Fixed << +P::Minimum << 0 << widget;
    row(4, "toolButton2") << 2 << 5 << 1 << +P::Fixed << +P::Minimum << 0 << widget;
    row(5, "spacer1") << 0 << 5 << 1 << +P::Fixed << +P::Minimum << 0 << QSize(21, 20);
    row(6, "spacer2") << 5 << 5 << 1 << +P::Fixed << +P::Minimum << 0 << QSize(21, 20);
    row(7, "pushButton2") << 5 << 4 << 1 << +P::Expanding << +P::Fixed << 0 << widget;
    row(8, "spacer3") << 5 << 0 << 1 << +P::Expanding << +P::Minimum << 0 << QSize(50, 21);
    row(9, "pushButton1") << 5 << 1 << 2 << +P::Preferred << +P::Fixed << 0 << widget;
    row(10, "spacer4") << 5 << 3 << 1 << +P::Fixed << +P::Minimum << 0 << QSize(21, 20);
    row(11, "spacer5") << 4 << 2 << 1 << +P::Minimum << +P::Expanding << 0 << QSize(20, 40);
    row(12, "logbook_file_") << 2 << 2 << 3 << +P::Expanding << +P::Fixed << 1 << widget;
    row(13, "igc_files_") << 1 << 2 << 3 << kDefault << kDefault << 0 << widget;
    row(14, "pilot_name_") << 0 << 2 << 3 << kDefault << kDefault << 0 << widget;
    row(15, "spacer6") << 3 << 3 << 3 << +P::Expanding << +P::Minimum << 0 << QSize(221, 20);
    row(16, "min_time_") << 3 << 2 << 1 << kDefault << kDefault << 0 << widget;
    row(17, "spacer7") << 4 << 0 << 1 << +P::Minimum << +P::Expanding << 0 << QSize(20, 41);
    row(18, "textLabel1_2") << 3 << 0 << 2 << +P::Fixed << +P::Preferred << 0 << widget;
}

void MainWindowBaseTest::placement() {
    QFETCH(int, index);
    QFETCH(QString, item);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, columns);
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QFETCH(int, stretch);
    QFETCH(QSize, spacer);

    Form form;
    QGridLayout* grid = form.MainWindowBaseLayout;
    QCOMPARE(grid->parent(), &form);
    QCOMPARE(grid->count(), 19);
    QCOMPARE(grid->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(grid->spacing(), 16);

    QLayoutItem* const placed = form.item(item);
    QVERIFY2(placed != nullptr, qPrintable(item));
    QCOMPARE(grid->itemAt(index), placed);
    int at_row = -1, at_column = -1, rows = -1, spanned = -1;
    grid->getItemPosition(index, &at_row, &at_column, &rows, &spanned);
    QCOMPARE(at_row, row);
    QCOMPARE(at_column, column);
    QCOMPARE(rows, 1);
    QCOMPARE(spanned, columns);
    QCOMPARE(placed->alignment(), Qt::Alignment());

    if (spacer.isValid()) {
        QSpacerItem* filler = placed->spacerItem();
        QVERIFY(filler != nullptr);
        QCOMPARE(filler->sizeHint(), spacer);
        QCOMPARE(+filler->sizePolicy().horizontalPolicy(), horizontal);
        QCOMPARE(+filler->sizePolicy().verticalPolicy(), vertical);
        return;
    }
    const QWidget* widget = placed->widget();
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->parentWidget(), &form);
    const QSizePolicy policy = widget->sizePolicy();
    const QSizePolicy original = classDefault(widget);
    QCOMPARE(+policy.horizontalPolicy(),
             horizontal == kDefault ? +original.horizontalPolicy() : horizontal);
    QCOMPARE(+policy.verticalPolicy(),
             vertical == kDefault ? +original.verticalPolicy() : vertical);
    QCOMPARE(policy.horizontalStretch(), stretch);
    QCOMPARE(policy.verticalStretch(), 0);
    QCOMPARE(policy.hasHeightForWidth(), original.hasHeightForWidth());
}

void MainWindowBaseTest::focusFollowsTheForm() {
    MainWindowBase form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const QList<QWidget*> order = {form.pilot_name_,   form.igc_files_,  form.toolButton1,
                                   form.logbook_file_, form.toolButton2, form.min_time_,
                                   form.pushButton1,   form.pushButton2};
    // The keyboard starts at the pilot name and walks the form from the top down, each "..."
    // after its field, then the buttons from the left.
    QCOMPARE(QApplication::focusWidget(), order.front());
    for (qsizetype i = 1; i <= order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), order[i % order.size()]);
    }
}

void MainWindowBaseTest::texts_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("text");

    QTest::newRow("caption") << "caption"
                             << "Fix Thermora Logbook";
    QTest::newRow("textLabel3") << "textLabel3"
                                << "&Logbook File";
    QTest::newRow("textLabel1") << "textLabel1"
                                << "&IGC Files";
    QTest::newRow("textLabel2") << "textLabel2"
                                << "&Pilot Name";
    QTest::newRow("toolButton1") << "toolButton1"
                                 << "...";
    QTest::newRow("toolButton2") << "toolButton2"
                                 << "...";
    QTest::newRow("pushButton2") << "pushButton2"
                                 << "E&xit";
    QTest::newRow("pushButton1") << "pushButton1"
                                 << "&Generate Logbook";
    QTest::newRow("spin box suffix, leading blank") << "suffix"
                                                    << " minutes";
    QTest::newRow("spin box tool tip") << "tooltip"
                                       << "Only flights longer than this will be added";
    QTest::newRow("textLabel1_2") << "textLabel1_2"
                                  << "&Min. Flight time";
    QTest::newRow("line edits start empty") << "line edits"
                                            << "";
}

void MainWindowBaseTest::texts() {
    QFETCH(QString, target);
    QFETCH(QString, text);

    const MainWindowBase form;
    const std::map<QString, QString> shown = {
        {"caption", form.windowTitle()},
        {"textLabel3", form.textLabel3->text()},
        {"textLabel1", form.textLabel1->text()},
        {"textLabel2", form.textLabel2->text()},
        {"toolButton1", form.toolButton1->text()},
        {"toolButton2", form.toolButton2->text()},
        {"pushButton2", form.pushButton2->text()},
        {"pushButton1", form.pushButton1->text()},
        {"suffix", form.min_time_->suffix()},
        {"tooltip", form.min_time_->toolTip()},
        {"textLabel1_2", form.textLabel1_2->text()},
        {"line edits",
         form.logbook_file_->text() + form.igc_files_->text() + form.pilot_name_->text()},
    };
    QCOMPARE(shown.at(target), text);
}

void MainWindowBaseTest::minimumTime_data() {
    QTest::addColumn<int>("start"); // -1: as the form sets it
    QTest::addColumn<int>("steps"); // arrow key presses, up when positive
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("starts at 1, no singular") << -1 << 0 << 1 << "1 minutes";
    QTest::newRow("not below 0") << 1 << -3 << 0 << "0 minutes";
    QTest::newRow("not above 60") << 59 << 5 << 60 << "60 minutes";
}

void MainWindowBaseTest::minimumTime() {
    QFETCH(int, start);
    QFETCH(int, steps);
    QFETCH(int, value);
    QFETCH(QString, text);

    MainWindowBase form;
    QSpinBox* spin = form.min_time_;
    QCOMPARE(spin->minimum(), 0);
    QCOMPARE(spin->maximum(), 60);
    QCOMPARE(spin->singleStep(), 1);
    if (start >= 0)
        spin->setValue(start);
    for (int i = 0; i < std::abs(steps); ++i)
        QTest::keyClick(spin, steps > 0 ? Qt::Key_Up : Qt::Key_Down);
    QCOMPARE(spin->value(), value);
    QCOMPARE(spin->text(), text);
}

void MainWindowBaseTest::size_data() {
    QTest::addColumn<int>("point_size"); // 0: the application's own font

    QTest::newRow("designed size") << 0;
    QTest::newRow("large font: minimum size hint") << 40;
}

void MainWindowBaseTest::size() {
    QFETCH(int, point_size);

    const QFont original = QApplication::font();
    if (point_size > 0) {
        QFont large = original;
        large.setPointSize(point_size);
        QApplication::setFont(large);
    }
    const MainWindowBase form;
    QApplication::setFont(original);

    const QSize designed(548, 270);
    const QSize hint = form.minimumSizeHint();
    if (point_size == 0) {
        QVERIFY2(hint.width() < designed.width() && hint.height() < designed.height(),
                 "the application font already needs more room than the designed size");
        QCOMPARE(form.size(), designed);
    } else {
        QVERIFY(hint.width() > designed.width() && hint.height() > designed.height());
        QCOMPARE(form.size(), hint);
    }
}

void MainWindowBaseTest::placeholderSlotsOnlyReport_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message");

    QTest::newRow("Generate Logbook") << "pushButton1"
                                      << "MainWindowBase::generateLogBook(): Not implemented yet";
    QTest::newRow("IGC directory ...") << "toolButton1"
                                       << "MainWindowBase::browseIGCDir(): Not implemented yet";
    QTest::newRow("logbook file ...") << "toolButton2"
                                      << "MainWindowBase::browseOutputFile(): Not implemented yet";
}

void MainWindowBaseTest::placeholderSlotsOnlyReport() {
    QFETCH(QString, button);
    QFETCH(QString, message);

    MainWindowBase form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const std::map<QString, QAbstractButton*> buttons = {{"pushButton1", form.pushButton1},
                                                         {"toolButton1", form.toolButton1},
                                                         {"toolButton2", form.toolButton2}};
    app_testing::ModalScript script;
    MessageCapture::messages().clear();
    {
        const MessageCapture capture;
        QTest::mouseClick(buttons.at(button), Qt::LeftButton);
        QTest::qWait(50); // anything the click might have started has its chance to show
    }
    QCOMPARE(MessageCapture::messages(), QStringList{"warning: " + message});
    QCOMPARE(script.titles(), QStringList{});
    QVERIFY(form.isVisible());
}

// That closing the dialog ends the program is the real program's test (lastWindowClosed is only
// emitted inside the application's event loop).
void MainWindowBaseTest::exitCloses() {
    MainWindowBase form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.pushButton2, Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int{QDialog::Rejected});
}

void MainWindowBaseTest::enterInAFieldGenerates() {
    MainWindowBase form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.pilot_name_->setFocus();
    MessageCapture::messages().clear();
    {
        const MessageCapture capture;
        QTest::keyClicks(form.pilot_name_, QStringLiteral("Example Pilot"));
        QTest::keyClick(form.pilot_name_, Qt::Key_Return);
    }
    QCOMPARE(MessageCapture::messages(),
             QStringList{"warning: MainWindowBase::generateLogBook(): Not implemented yet"});
    QVERIFY(form.isVisible());
}

QTEST_MAIN(MainWindowBaseTest)
#include "MainWindowBaseTest.moc"
