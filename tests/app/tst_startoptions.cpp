#include "AppHarness.h"
#include "StartOptions.h"

#include <QElapsedTimer>
#include <QProcess>

namespace {

const QByteArray kFileA = "[Settings]\nfrequencyTrim=11\nquantityOfRemoteControls=1\n";
const QByteArray kFileB = "[Settings]\nfrequencyTrim=22\nquantityOfRemoteControls=2\n";
const QByteArray kFileC = "[Settings]\nfrequencyTrim=33\n";

// Three files, so that neither the first nor the last entry of the list is the only choice.
QMap<QString, QByteArray> threeFiles()
{
    return {{QStringLiteral("a"), kFileA},
            {QStringLiteral("b"), kFileB},
            {QStringLiteral("c"), kFileC}};
}

// rcprog's own reading of its arguments.
Application::ArgumentCheck windowCheck(CommandLine &commandLine)
{
    return [&commandLine](const QStringList &arguments) {
        return commandLine.startOptionsFrom(arguments);
    };
}

QString programPath(const QString &name)
{
    return qEnvironmentVariable("RCPROG_BINARY_DIR", QStringLiteral(RCPROG_TEST_BINARY_DIR))
           + QStringLiteral("/app/") + name;
}

} // namespace

// rcprog --select NAME --automatic: the window starts with NAME selected and "automatic
// programm" ticked; arguments it refuses start neither a window nor a thread.
class TestStartOptions : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void helpBeforeTheToolkit_data();
    void helpBeforeTheToolkit();
    void windowStarts_data();
    void windowStarts();
    void refusedArguments_data();
    void refusedArguments();
    void programs_data();
    void programs();
    void simPrintsWhatTheWindowShows_data();
    void simPrintsWhatTheWindowShows();
};

void TestStartOptions::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("select"); // null: not given
    QTest::addColumn<bool>("automatic");

    QTest::newRow("none") << QStringList{} << true << QString() << false;
    QTest::newRow("select") << QStringList{"--select", "b"} << true << "b" << false;
    QTest::newRow("select=") << QStringList{"--select=b"} << true << "b" << false;
    QTest::newRow("single dash") << QStringList{"-select", "b", "-automatic"} << true << "b"
                                 << true;
    QTest::newRow("both") << QStringList{"--automatic", "--select", "b c"} << true << "b c" << true;
    QTest::newRow("automatic alone") << QStringList{"--automatic"} << true << QString() << true;
    QTest::newRow("empty name") << QStringList{"--select", ""} << true << "" << false;
    QTest::newRow("unknown option") << QStringList{"--bogus"} << false << QString() << false;
    QTest::newRow("no value") << QStringList{"--select"} << false << QString() << false;
    QTest::newRow("positional") << QStringList{"b"} << false << QString() << false;
    QTest::newRow("value to a flag")
            << QStringList{"--automatic=yes"} << false << QString() << false;
}

void TestStartOptions::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, accepted);
    QFETCH(QString, select);
    QFETCH(bool, automatic);
    CommandLine commandLine(QStringLiteral("rcprog"), windowHelp());
    const std::optional<StartOptions> options
            = commandLine.startOptionsFrom(QStringList{QStringLiteral("rcprog")} + arguments);
    QCOMPARE(options.has_value(), accepted);
    if (!options)
        return;
    QCOMPARE(options->select.has_value(), !select.isNull());
    if (options->select)
        QCOMPARE(*options->select, select);
    QCOMPARE(options->automatic, automatic);
}

void TestStartOptions::helpBeforeTheToolkit_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("help");

    QTest::newRow("--help") << QStringList{"--help"} << true;
    QTest::newRow("-h") << QStringList{"-h"} << true;
    QTest::newRow("after a toolkit option") << QStringList{"-platform", "xcb", "--help"} << true;
    QTest::newRow("after unknown options") << QStringList{"--bogus", "--help"} << true;
    // Read as a row of one-letter options, "-stylesheet" would contain -h.
    QTest::newRow("-stylesheet") << QStringList{"-stylesheet", "x.qss"} << false;
    QTest::newRow("a NAME called --help") << QStringList{"--select", "--help"} << false;
    QTest::newRow("none") << QStringList{} << false;
}

void TestStartOptions::helpBeforeTheToolkit()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, help);
    const CommandLine commandLine(QStringLiteral("rcprog"), windowHelp());
    QCOMPARE(commandLine.helpRequested(QStringList{QStringLiteral("rcprog")} + arguments), help);
}

void TestStartOptions::windowStarts_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("programmed"); // the file a plugged receiver gets; empty: none

    QTest::newRow("no options") << QStringList{} << "a" << false << QString();
    QTest::newRow("select") << QStringList{"--select", "b"} << "b" << false << QString();
    QTest::newRow("automatic") << QStringList{"--automatic"} << "a" << true << "a";
    QTest::newRow("select and automatic")
            << QStringList{"--select", "c", "--automatic"} << "c" << true << "c";
}

void TestStartOptions::windowStarts()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, selected);
    QFETCH(bool, ticked);
    QFETCH(QString, programmed);
    CommandLine commandLine(QStringLiteral("rcprog"), windowHelp());
    AppHarness h(threeFiles(), arguments, windowCheck(commandLine));
    QCOMPARE(h.app->startStatus(), 0);
    MainWindow *w = h.window();
    QVERIFY(w->isVisible());
    QVERIFY(h.app->usbConnection->isRunning());
    QVERIFY(h.app->usbReceiverDots->isRunning());
    QCOMPARE(w->comboBox->count(), 3);
    QCOMPARE(w->comboBox->currentText(), selected);
    QCOMPARE(w->checkBox->isChecked(), ticked);
    QCOMPARE(w->label->text(), MainWindow::kNotConnected);

    // The first receiver: programmed without a click when the start asked for it.
    h.plug();
    QTRY_COMPARE_WITH_TIMEOUT(h.connected->count(), 1, kConnectTimeoutMs);
    if (programmed.isEmpty()) {
        QTest::qWait(1500);
        QCOMPARE(h.updated->count(), 0);
        QVERIFY(h.received().empty());
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kPassTimeoutMs);
        QCOMPARE(h.received(), AppHarness::expectedReports(h.configPath(programmed), 1));
        QTRY_COMPARE(w->label2->text(), MainWindow::kUpdated);
    }
}

void TestStartOptions::refusedArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("windowMade"); // built to read its list, but never shown

    QTest::newRow("unknown name") << QStringList{"--select", "zzz", "--automatic"} << true;
    QTest::newRow("name in another case") << QStringList{"--select", "B"} << true;
    QTest::newRow("name with its ending") << QStringList{"--select", "b.ini"} << true;
    QTest::newRow("empty name") << QStringList{"--select", ""} << true;
    QTest::newRow("unknown option") << QStringList{"--bogus"} << false;
    QTest::newRow("no value") << QStringList{"--automatic", "--select"} << false;
    QTest::newRow("positional") << QStringList{"b"} << false;
}

void TestStartOptions::refusedArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, windowMade);
    CommandLine commandLine(QStringLiteral("rcprog"), windowHelp());
    AppHarness h(threeFiles(), arguments, windowCheck(commandLine));
    QCOMPARE(h.app->startStatus(), kExitBadArguments);
    QCOMPARE(h.app->usbConnection, nullptr);
    QCOMPARE(h.app->usbReceiverDots, nullptr);
    QCOMPARE(h.app->mainWindow != nullptr, windowMade);
    if (h.app->mainWindow) {
        QVERIFY(!h.app->mainWindow->isVisible());
        QVERIFY(!h.app->mainWindow->checkBox->isChecked());
    }
    QVERIFY(!h.app->recordHandOver().programmingRequested());
}

void TestStartOptions::programs_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("display"); // whether a (virtual) display is offered
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out"); // the start of stdout
    QTest::addColumn<QByteArray>("err"); // stderr, without the toolkit's own lines

    const QByteArray noWindow;
    QTest::newRow("rcprog unknown name")
            << "rcprog" << QStringList{"--select", "zzz"} << true << 2 << noWindow
            << QByteArray("rcprog: --select: no configuration file \"zzz\" in configfiles (the "
                          "list: a, b, c)\n");
    QTest::newRow("rcprog toolkit options pass")
            << "rcprog"
            << QStringList{"-platform", "offscreen", "-style", "fusion", "--select", "d"} << true
            << 2 << noWindow
            << QByteArray("rcprog: --select: no configuration file \"d\" in configfiles (the "
                          "list: a, b, c)\n");
    QTest::newRow("rcprog unknown option")
            << "rcprog" << QStringList{"--bogus"} << true << 2 << noWindow
            << QByteArray("rcprog: Unknown option 'bogus'.\n");
    QTest::newRow("rcprog argument") << "rcprog" << QStringList{"a"} << true << 2 << noWindow
                                     << QByteArray("rcprog: unexpected argument 'a'\n");
    QTest::newRow("rcprog help without a display")
            << "rcprog" << QStringList{"--help"} << false << 0
            << QByteArray("Usage: rcprog [--select NAME] [--automatic]\n") << QByteArray();
    QTest::newRow("rcprog-sim unknown name")
            << "rcprog-sim" << QStringList{"--automatic", "--select", "x"} << true << 2 << noWindow
            << QByteArray("rcprog-sim: --select: no configuration file \"x\" in configfiles (the "
                          "list: a, b, c)\n");
    QTest::newRow("rcprog-sim seconds")
            << "rcprog-sim" << QStringList{"--plug-after", "soon"} << true << 2 << noWindow
            << QByteArray("rcprog-sim: --plug-after takes a number of seconds\n");
    QTest::newRow("rcprog-sim unknown option")
            << "rcprog-sim" << QStringList{"--bogus"} << true << 2 << noWindow
            << QByteArray("rcprog-sim: Unknown option 'bogus'.\n");
    QTest::newRow("rcprog-sim negative seconds")
            << "rcprog-sim" << QStringList{"--unplug-after=-1"} << true << 2 << noWindow
            << QByteArray("rcprog-sim: --unplug-after takes a number of seconds\n");
    QTest::newRow("rcprog-sim help without a display")
            << "rcprog-sim" << QStringList{"-h"} << false << 0
            << QByteArray("Usage: rcprog-sim [OPTION]...\n") << QByteArray();
}

// The programs themselves: the message, the status, and no window (they end by themselves).
void TestStartOptions::programs()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, display);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("configfiles")));
    for (const QString &name : threeFiles().keys()) {
        QFile f(dir.filePath(QStringLiteral("configfiles/%1.ini").arg(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    else
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    p.setProcessEnvironment(env);
    p.start(programPath(program), arguments);
    QVERIFY2(p.waitForFinished(60000), "the program did not end by itself");
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY2(p.readAllStandardOutput().startsWith(out), qPrintable(program));
    // The toolkit may add lines of its own (no runtime folder, and the like).
    QByteArray ours;
    for (const QByteArray &line : p.readAllStandardError().split('\n'))
        if (line.startsWith(program.toUtf8() + ':'))
            ours += line + '\n';
    QCOMPARE(ours, err);
}

void TestStartOptions::simPrintsWhatTheWindowShows_data()
{
    QTest::addColumn<QString>("select");
    // Lines of stdout that must come in this order (a pass is printed beside them).
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("a pass that succeeds")
            << "b"
            << QStringList{"window label: USB remote control not connected",
                           "receiver plugged in: USB remote control receiver",
                           "window label: USB remote control receiver connected",
                           "window label2: updated OK!!! :)"};
    QTest::newRow("a file that cannot be read")
            << "d"
            << QStringList{"window label: USB remote control not connected",
                           "receiver plugged in: USB remote control receiver",
                           "window label: USB remote control receiver connected",
                           "window label2: cannot read configuration file: configfiles/d.ini"};
}

// rcprog-sim prints each new text of the window's status lines, so a run can be followed
// where the window cannot be seen.
void TestStartOptions::simPrintsWhatTheWindowShows()
{
    QFETCH(QString, select);
    QFETCH(QStringList, lines);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("configfiles/d.ini"))); // a folder
    QFile f(dir.filePath(QStringLiteral("configfiles/b.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(kFileB) == kFileB.size());
    f.close();

    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(programPath(QStringLiteral("rcprog-sim")),
            {QStringLiteral("--plug-after"), QStringLiteral("0.2"), QStringLiteral("--select"),
             select, QStringLiteral("--automatic")});
    QVERIFY(p.waitForStarted());
    QStringList out;
    QElapsedTimer timer;
    timer.start();
    while (!out.contains(lines.last()) && timer.elapsed() < 60000) {
        if (!p.waitForReadyRead(1000) && p.state() != QProcess::Running)
            break;
        while (p.canReadLine())
            out << QString::fromUtf8(p.readLine()).chopped(1);
    }
    p.kill();
    p.waitForFinished();
    qsizetype at = -1;
    for (const QString &line : lines) {
        const qsizetype found = out.indexOf(line, at + 1);
        QVERIFY2(found > at, qPrintable(QStringLiteral("'%1' not printed in its place:\n%2")
                                                .arg(line, out.join(u'\n'))));
        at = found;
    }
}

int main(int argc, char *argv[])
{
    // No toolkit application of its own: each case makes its application object.
    TestStartOptions test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_startoptions.moc"
