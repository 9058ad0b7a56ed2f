// The real program on a real (virtual) X display: "Exit", Escape and the window's close button
// each end it with exit code 0; the close button in the midst of a run cancels the run first.
// Its buttons are pressed with their access keys, as a pilot with hands on the keyboard does.
// Without a display: its help, its version and a wrong argument, as command-line programs answer.
// Xvfb provides the display, xdotool finds the windows and types, and x11_close_window plays the
// window manager's close button.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kWaitMs = 15000; // for a window to show, or the program to end

enum class Ending { ExitButton, EscapeKey, CloseButton, EscapeAfterAGeneration, CloseDuringARun };

// Its one entry's recording is in the folder: nothing to ask about flights without one.
const QByteArray kOldLogbook = "# old logbook\r\nname = Someone\r\n\r\nname = Someone\r\n"
                               "05.01.2008;Discus;D-4711;Local flight;01:12;00:00;48.2 km;40.2 "
                               "km/h;f0.igc\r\n";

} // namespace

Q_DECLARE_METATYPE(Ending)

class ProgramExitTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void endsWithExitCodeZero_data();
    void endsWithExitCodeZero();
    void answersItsArguments_data();
    void answersItsArguments();

private:
    // Runs xdotool with `arguments`; true when it succeeded. Its standard output goes to `output`.
    bool xdotool(const QStringList& arguments, QString* output = nullptr, bool quiet = false);
    // The id of the visible window titled exactly `title`, once it shows; empty on time-out.
    QString waitForWindow(const QString& title);

    QString xdotool_;
    QProcess xvfb_;
    QString display_;
    QTemporaryDir home_; // installation directory and runtime directory of the program
};

void ProgramExitTest::initTestCase() {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    xdotool_ = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xvfb.isEmpty())
        QSKIP("Xvfb is not installed (Debian package xvfb): no display to run the program on");
    if (xdotool_.isEmpty())
        QSKIP("xdotool is not installed (Debian package xdotool): nothing to drive the program");
    QVERIFY(home_.isValid());

    // -displayfd: the server takes the first free display and writes its number to standard
    // output, so parallel test runs never collide.
    xvfb_.start(xvfb,
                {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                 QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                 QStringLiteral("tcp"), QStringLiteral("-noreset")});
    QVERIFY2(xvfb_.waitForStarted(kWaitMs), qPrintable(xvfb_.errorString()));
    while (!xvfb_.canReadLine() && xvfb_.waitForReadyRead(kWaitMs)) {
    }
    const QByteArray number = xvfb_.readLine().trimmed();
    QVERIFY2(!number.isEmpty(), xvfb_.readAllStandardError().constData());
    display_ = QLatin1Char(':') + QString::fromLatin1(number);
}

void ProgramExitTest::cleanupTestCase() {
    if (xvfb_.state() != QProcess::NotRunning) {
        xvfb_.terminate();
        if (!xvfb_.waitForFinished(kWaitMs))
            xvfb_.kill();
    }
}

bool ProgramExitTest::xdotool(const QStringList& arguments, QString* output, bool quiet) {
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    tool.setProcessEnvironment(environment);
    tool.start(xdotool_, arguments);
    if (!tool.waitForFinished(kWaitMs)) {
        tool.kill();
        tool.waitForFinished();
        qWarning("xdotool %s did not finish", qPrintable(arguments.join(QLatin1Char(' '))));
        return false;
    }
    if (output != nullptr)
        *output = QString::fromLocal8Bit(tool.readAllStandardOutput());
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        if (!quiet)
            qWarning("xdotool %s failed: %s", qPrintable(arguments.join(QLatin1Char(' '))),
                     tool.readAllStandardError().constData());
        return false;
    }
    return true;
}

QString ProgramExitTest::waitForWindow(const QString& title) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kWaitMs) {
        // Finding nothing is a failure for xdotool; keep asking until the window shows.
        QString found;
        xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')},
                &found, true);
        const QString window = found.section(QLatin1Char('\n'), 0, 0).trimmed();
        if (!window.isEmpty())
            return window;
        QTest::qWait(100);
    }
    return {};
}

void ProgramExitTest::endsWithExitCodeZero_data() {
    QTest::addColumn<bool>("installed");
    QTest::addColumn<Ending>("ending");

    QTest::newRow("Exit button") << true << Ending::ExitButton;
    QTest::newRow("Escape key") << true << Ending::EscapeKey;
    QTest::newRow("window close button") << true << Ending::CloseButton;
    QTest::newRow("Exit after the missing-installation warning") << false << Ending::ExitButton;
    QTest::newRow("Escape after a generation and its result box")
        << true << Ending::EscapeAfterAGeneration;
    QTest::newRow("window close button during a run: old logbook kept")
        << true << Ending::CloseDuringARun;
}

void ProgramExitTest::endsWithExitCodeZero() {
    QFETCH(bool, installed);
    QFETCH(Ending, ending);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.path());
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // Under AddressSanitizer: the X keyboard library hands strndup an unterminated buffer with
    // its length, which the strict string checks report although it reads within bounds.
    if (environment.contains(QStringLiteral("ASAN_OPTIONS")))
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) +
                               QStringLiteral(":strict_string_checks=0"));
    // No Wine installation, whatever the machine has: the search looks in every prefix of the
    // home directory too (Steam's, Lutris's, Bottles's), and one found there would add a button
    // to the keyboard's way through the form.
    environment.insert(QStringLiteral("WINEPREFIX"), home_.filePath(QStringLiteral("no-wine")));
    environment.insert(QStringLiteral("HOME"), home_.path());
    if (installed)
        environment.insert(QStringLiteral("THERMORA_DIR"), home_.path());
    else
        environment.remove(QStringLiteral("THERMORA_DIR"));

    QProcess program; // killed by its destructor should a check fail midway
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(THERMORA_LOGBOOK_EXECUTABLE), {});
    QVERIFY2(program.waitForStarted(kWaitMs), qPrintable(program.errorString()));
    QByteArray said; // the program's standard error so far
    const auto output = [&program, &said] {
        said += program.readAllStandardError();
        return QByteArray("program said: " + said);
    };

    if (!installed) {
        // The warning comes before the dialog, and closing it must not end the program.
        const QString box = waitForWindow(QStringLiteral("Warning"));
        QVERIFY2(!box.isEmpty(), output().constData());
        QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), box,
                         QStringLiteral("key"), QStringLiteral("Escape")}));
    }
    const QString window = waitForWindow(QStringLiteral("Fix Thermora Logbook"));
    QVERIFY2(!window.isEmpty(), output().constData());
    QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window}));

    // A name typed at once (the focus starts there), then Alt+G: "&Generate Logbook".
    const auto generate = [this] {
        return xdotool({QStringLiteral("type"), QStringLiteral("Pilot")}) &&
               xdotool({QStringLiteral("key"), QStringLiteral("alt+g")});
    };
    switch (ending) {
    case Ending::ExitButton:
        // Alt+X: "E&xit".
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("alt+x")}));
        break;
    case Ending::EscapeKey:
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
        break;
    case Ending::EscapeAfterAGeneration: {
        QVERIFY(QDir().mkpath(home_.filePath(QStringLiteral("data/IGC"))));
        QVERIFY(generate());
        const QString result = waitForWindow(QStringLiteral("Logbook generated"));
        QVERIFY2(!result.isEmpty(), output().constData());
        QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), result,
                         QStringLiteral("key"), QStringLiteral("Return")}));
        QVERIFY(QFile::exists(home_.filePath(QStringLiteral("data/logbook.dat"))));
        QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window,
                         QStringLiteral("key"), QStringLiteral("Escape")}));
        break;
    }
    case Ending::CloseDuringARun:
    case Ending::CloseButton: {
#ifdef X11_CLOSE_WINDOW_EXECUTABLE
        if (ending == Ending::CloseDuringARun) {
            // Thousands of long flights: seconds of work, while the progress window shows. Each
            // flies four minutes, a minute of latitude a minute, then stands still.
            QVERIFY(QDir().mkpath(home_.filePath(QStringLiteral("data/IGC"))));
            QByteArray flight = "AXXX001\r\nHFDTE050108\r\n";
            for (int minute = 0; minute < 6; ++minute)
                flight += QStringLiteral("B10%100048%1000N01000000EA0050000500\r\n")
                              .arg(minute, 2, 10, QLatin1Char('0'))
                              .toLatin1();
            flight += QByteArray("B1005004805000N01000000EA0050000500\r\n").repeated(20000);
            QFile big(home_.filePath(QStringLiteral("data/big.igc")));
            QFile old(home_.filePath(QStringLiteral("data/logbook.dat")));
            QVERIFY(big.open(QIODevice::WriteOnly) && big.write(flight) == flight.size());
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write(kOldLogbook) > 0);
            big.close();
            old.close();
            for (int k = 0; k < 4000; ++k)
                QVERIFY(QFile::link(big.fileName(),
                                    home_.filePath(QStringLiteral("data/IGC/f%1.igc").arg(k))));
            QVERIFY(generate());
            const QString question = waitForWindow(QStringLiteral("Warning"));
            QVERIFY2(!question.isEmpty(), output().constData());
            QVERIFY(xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), question,
                             QStringLiteral("key"), QStringLiteral("Return")})); // Yes, replace
            QVERIFY2(!waitForWindow(QStringLiteral("Generating logbook")).isEmpty(),
                     output().constData());
        }
        QProcess close;
        close.setProcessEnvironment(environment);
        close.start(QStringLiteral(X11_CLOSE_WINDOW_EXECUTABLE), {window});
        QVERIFY(close.waitForFinished(kWaitMs));
        QVERIFY2(close.exitCode() == 0, close.readAllStandardError().constData());
#else
        QSKIP("x11_close_window was not built (no Xlib headers: Debian package libx11-dev)");
#endif
        break;
    }
    }

    QVERIFY2(program.waitForFinished(kWaitMs), output().constData());
    QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0,
             output().constData());
    if (ending == Ending::CloseDuringARun) {
        // Cancelled: the old logbook as it was, no backup, no temporary file; the run lock's
        // file stays.
        QFile old(home_.filePath(QStringLiteral("data/logbook.dat")));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), kOldLogbook);
        QCOMPARE(QDir(home_.filePath(QStringLiteral("data"))).entryList(QDir::Files),
                 (QStringList{QStringLiteral("big.igc"), QStringLiteral("logbook.dat"),
                              QStringLiteral("logbook.dat.lock")}));
    }
    const QRegularExpression missing(QStringLiteral("Error: [^\n]*THERMORA_DIR"));
    QCOMPARE(missing.match(QString::fromLocal8Bit(output())).hasMatch(), !installed);
}

void ProgramExitTest::answersItsArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // a pattern of standard output, whole
    QTest::addColumn<QString>("err"); // standard error, whole

    const QString usage = QStringLiteral("\nTry 'thermora-logbook --help' for more information.\n");
    QTest::newRow("an unknown option") << QStringList{"--bogus"} << 2 << QString()
                                       << "thermora-logbook: unknown option '--bogus'" + usage;
    QTest::newRow("an unknown option after one of Qt's")
        << QStringList{"-style", "Fusion", "-x"} << 2 << QString()
        << "thermora-logbook: unknown option '-x'" + usage;
    QTest::newRow("a file") << QStringList{"logbook.dat"} << 2 << QString()
                            << "thermora-logbook: unexpected argument 'logbook.dat'" + usage;
    QTest::newRow("--version") << QStringList{"--version"} << 0
                               << "thermora-logbook \\d+\\.\\d+\\.\\d+\n"
                               << QString();
    QTest::newRow("--help, after one of Qt's options")
        << QStringList{"-platform", "xcb", "--help"} << 0
        << "Usage: thermora-logbook \\[OPTIONS\\][^\n]*\n(.*\n)*" << QString();
}

// No display to open a window on: the answer comes without one.
void ProgramExitTest::answersItsArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("HOME"), home_.path());
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(THERMORA_LOGBOOK_EXECUTABLE), arguments);
    QVERIFY(program.waitForFinished(kWaitMs));
    const QString said = QString::fromLocal8Bit(program.readAllStandardOutput());
    QCOMPARE(QString::fromLocal8Bit(program.readAllStandardError()), err);
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(out)).match(said).hasMatch(),
             qPrintable(said));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), status);
}

QTEST_GUILESS_MAIN(ProgramExitTest)
#include "ProgramExitTest.moc"
