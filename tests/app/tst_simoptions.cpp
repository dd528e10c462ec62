// rcprog-sim's options, run as a program: --help and a bad option end it before any window or
// thread exists. The program runs with a window platform that does not exist, so that making a
// window at all would end it with a crash instead.
#include <QProcess>
#include <QtTest>

namespace {

QString simPath()
{
    return qEnvironmentVariable("RCPROG_BINARY_DIR", QStringLiteral(RCPROG_TEST_BINARY_DIR))
           + QStringLiteral("/app/rcprog-sim");
}

} // namespace

class TestSimOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(QFileInfo(simPath()).isExecutable(), qPrintable(simPath())); }

    void endsBeforeAnythingRuns_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // a part of stdout
        QTest::addColumn<QString>("err"); // a part of stderr
        QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0
                                << QStringLiteral("--plug-after <S>") << QString();
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << 1 << QString()
                                        << QStringLiteral("Unknown option 'bogus'");
        QTest::newRow("--plug-after not a number")
                << QStringList{QStringLiteral("--plug-after"), QStringLiteral("soon")} << 2
                << QString()
                << QStringLiteral("rcprog-sim: --plug-after takes a number of seconds");
        QTest::newRow("negative --unplug-after")
                << QStringList{QStringLiteral("--unplug-after=-1")} << 2 << QString()
                << QStringLiteral("rcprog-sim: --unplug-after takes a number of seconds");
    }

    void endsBeforeAnythingRuns()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess sim;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
        sim.setProcessEnvironment(env);
        sim.start(simPath(), args);
        QVERIFY(sim.waitForFinished(60000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        const QString stdoutText = QString::fromUtf8(sim.readAllStandardOutput());
        const QString stderrText = QString::fromUtf8(sim.readAllStandardError());
        QVERIFY2(sim.exitCode() == exitCode, qPrintable(stderrText));
        QVERIFY2(stdoutText.contains(out), qPrintable(stdoutText));
        QVERIFY2(stderrText.contains(err), qPrintable(stderrText));
    }
};

QTEST_GUILESS_MAIN(TestSimOptions)
#include "tst_simoptions.moc"
