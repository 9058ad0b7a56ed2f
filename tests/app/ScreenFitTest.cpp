// The dialog's windows with twice the text scale on an 800x600 screen (the test's environment
// sets QT_SCALE_FACTOR=2 and that screen): each lies within the screen, every button inside it.

#include "app/ScreenFit.h"
#include "app/MainWindow.h"
#include "app/SkippedFilesDialog.h"

#include <QAbstractButton>
#include <QScreen>
#include <QTest>

class ScreenFitTest : public QObject {
    Q_OBJECT

private slots:
    void windowsFitTheScreen_data();
    void windowsFitTheScreen();
};

void ScreenFitTest::windowsFitTheScreen_data() {
    QTest::addColumn<int>("shown"); // 0 the main window, 1 a box, 2 the skipped files' list
    QTest::newRow("main window") << 0;
    QTest::newRow("box naming a long path") << 1;
    QTest::newRow("skipped files, one of a long name") << 2;
}

void ScreenFitTest::windowsFitTheScreen() {
    QFETCH(int, shown);
    QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry().size(), QSize(400, 300));

    qputenv("THERMORA_DIR", "/home/pilot/Flight simulators/Thermora");
    const std::string path = "/home/pilot/" + std::string(150, 'x') + "/data/logbook.dat";
    MainWindow window;
    FittingMessageBox box(QMessageBox::Information, QStringLiteral("Logbook generated"),
                          QString::fromStdString("Wrote 1 entry to " + path), QMessageBox::Ok,
                          &window);
    logbook::GenerationResult result;
    result.skipped.emplace_back(path + ".igc",
                                logbook::SkipReason{logbook::SkipKind::NotIgc, "Missing A record"});
    SkippedFilesDialog list(result, &window);
    window.show();
    QWidget* const windows[] = {&window, &box, &list};
    QWidget* const tested = windows[shown];
    tested->show();
    QVERIFY(QTest::qWaitForWindowExposed(tested));

    const QRect frame = tested->frameGeometry();
    QVERIFY2(tested->screen()->availableGeometry().contains(frame),
             qPrintable(QStringLiteral("%1x%2 at %3,%4")
                            .arg(frame.width())
                            .arg(frame.height())
                            .arg(frame.x())
                            .arg(frame.y())));
    for (const QAbstractButton* button : tested->findChildren<QAbstractButton*>())
        QVERIFY2(!button->isVisible() || tested->rect().contains(QRect(
                                             button->mapTo(tested, QPoint()), button->size())),
                 qPrintable(button->text()));
}

QTEST_MAIN(ScreenFitTest)
#include "ScreenFitTest.moc"
