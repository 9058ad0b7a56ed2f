// The dialog's windows with twice the text scale on an 800x600 screen (the test's environment
// sets QT_SCALE_FACTOR=2 and that screen): each lies within the screen, every button and text
// inside it.

#include "app/ScreenFit.h"
#include "app/InstallationsDialog.h"
#include "app/MainWindow.h"
#include "app/QuestionBox.h"
#include "app/RestoreDialog.h"
#include "app/SkippedFilesDialog.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTextEdit>

class ScreenFitTest : public QObject {
    Q_OBJECT

private slots:
    void windowsFitTheScreen_data();
    void windowsFitTheScreen();
};

void ScreenFitTest::windowsFitTheScreen_data() {
    QTest::addColumn<int>("shown"); // an index into `windows` below
    QTest::newRow("main window") << 0;
    QTest::newRow("box naming a long path") << 1;
    QTest::newRow("skipped files, one of a long name") << 2;
    QTest::newRow("earlier logbooks, five of a long pilot name") << 3;
    QTest::newRow("question with many flights, its details shown") << 4;
    QTest::newRow("main window, its installation line long, Change... beside it") << 5;
    QTest::newRow("installations, of long paths") << 6;
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
    std::vector<logbook::RestoreRow> rows;
    for (int age = 0; age < 5; ++age)
        rows.push_back({age, ".bak." + std::to_string(age), "2026-12-08 12:29", "4,000 entries",
                        "Example Pilot of a Name Much Longer Than Most"});
    RestoreDialog generations(rows, &window);
    logbook::MissingRecordings missing{
        std::vector<logbook::OldEntry>(
            logbook::kShownFlights,
            logbook::OldEntry{{}, "05.01.2008", "Alpha - Bravo - Charlie", "flight.igc"}),
        300};
    QuestionBox question(logbook::missingRecordingsQuestionBox(path, missing), &window);
    // Installations in Steam's prefixes of a pilot who owns many games: long names and paths.
    install::InstallationSearch search;
    for (int k = 0; k < 3; ++k) {
        const std::string prefix = "/home/pilot/.local/share/Steam/steamapps/compatdata/" +
                                   std::to_string(2212330 + k) + "/pfx";
        search.found.push_back({prefix + "/drive_c/Program Files (x86)/Thermora Simulator",
                                "Steam Proton prefix " + prefix, install::PlaceKind::WinePrefix,
                                "Steam (Proton), prefix " + std::to_string(2212330 + k) +
                                    " of a library folder with a long name"});
    }
    search.taken = 1;
    MainWindow several(search);
    InstallationsDialog installations(search.found, search.taken, &several);
    window.show();
    if (shown >= 5)
        several.show();
    QWidget* const windows[] = {&window,   &box,     &list,         &generations,
                                &question, &several, &installations};
    QWidget* const tested = windows[shown];
    tested->show();
    QVERIFY(QTest::qWaitForWindowExposed(tested));
    if (tested == &question) {
        // The box grows when its details show, with no new placement.
        for (QAbstractButton* button : question.findChildren<QAbstractButton*>()) {
            if (button->text() == QLatin1String("Show Details..."))
                QTest::mouseClick(button, Qt::LeftButton);
        }
        QTRY_VERIFY(question.findChild<QTextEdit*>() != nullptr &&
                    question.findChild<QTextEdit*>()->isVisible());
    }

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
    // The texts too, the line under the main window's form among them, each whole: a line too
    // long for the window wraps, and has the height of its lines.
    for (const QLabel* label : tested->findChildren<QLabel*>()) {
        if (!label->isVisible())
            continue;
        QVERIFY2(tested->rect().contains(QRect(label->mapTo(tested, QPoint()), label->size())),
                 qPrintable(label->text()));
        if (label->wordWrap())
            QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
                     qPrintable(label->text()));
        else
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
    }
}

QTEST_MAIN(ScreenFitTest)
#include "ScreenFitTest.moc"
