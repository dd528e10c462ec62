// rcprog-cli program as a program, on the Linux hidraw backend over a fake sysfs tree whose
// device nodes are FIFOs: the bytes that reach the node are exactly the reports of
// `rcprog-cli dump`; the wait for a receiver, other devices, bad arguments, failing writes,
// a closed standard output, access denied and Ctrl-C end with the documented exit status.
#include "CliRun.h"
#include "Descriptors.h"
#include "FakeSysfs.h"
#include "ProgramRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <optional>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace rcprog::test;

Q_DECLARE_METATYPE(FakeHidraw)

namespace {

constexpr int kReportBytes = 9; // report-ID byte and 8 payload bytes

// The keyboard interface of a composite receiver: the receiver's IDs, a boot keyboard.
FakeHidraw keyboardOfReceiver(int number)
{
    FakeHidraw interface = fakeReceiver(number);
    interface.descriptor = rcprog::test::bootKeyboard();
    return interface;
}

// The number of reports that the step lines ("title: N reports[, F failed]") add up to.
struct StepTotals
{
    qint64 reports = 0;
    qint64 failed = 0;
    int lines = 0;
};

StepTotals stepTotals(const Run &r)
{
    static const QRegularExpression step(
            QStringLiteral("^[^:]+(?:: [^:]+)?: (\\d+) reports?(?:, (\\d+) failed)?$"));
    StepTotals t;
    for (const QByteArray &line : r.outLines()) {
        const QRegularExpressionMatch m = step.match(QString::fromUtf8(line));
        if (!m.hasMatch())
            continue;
        t.reports += m.captured(1).toLongLong();
        t.failed += m.captured(2).toLongLong();
        ++t.lines;
    }
    return t;
}

// A configuration with eight remote controls of 16 flash blocks each: a pass of about 900
// reports and over five seconds of pauses, long enough to be interrupted or cut short.
bool writeLongConfiguration(const QString &path)
{
    QByteArray ini = "[Settings]\nquantityOfBytesInFlashBlock=64\nquantityOfRemoteControls=8\n"
                     "[rcSettings]\n";
    for (int rc = 1; rc <= 8; ++rc) {
        const QByteArray prefix = "rc0" + QByteArray::number(rc);
        ini += prefix + "keyNumberOfSwitchKey=" + QByteArray::number(rc) + '\n';
        ini += prefix + "maxSize=16\n";
        ini += prefix + "nameOfSwitch=Remote " + QByteArray::number(rc) + '\n';
        ini += prefix + "boolRewritableFromSoftware=1\n";
        QByteArray image;
        for (int i = 0; i < 64 * 16; ++i)
            image += char((i * 37 + rc * 11) & 0xFF);
        ini += prefix + "flashData=" + image.toHex().toUpper() + '\n';
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size();
}

} // namespace

class TstCliProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writesTheDumpedSequence_data();
    void writesTheDumpedSequence();
    void receiverPluggedInDuringTheWait();
    void noReceiverInTime_data();
    void noReceiverInTime();
    void otherDevicesAreIgnored_data();
    void otherDevicesAreIgnored();
    void badArguments_data();
    void badArguments();
    void failedWrites_data();
    void failedWrites();
    void closedStandardOutput();
    void accessDenied();
    void interrupted_data();
    void interrupted();

private:
    QTemporaryDir scratch_;
    QString longFile_;
    Dump longDump_;
};

void TstCliProgram::initTestCase()
{
    QVERIFY2(QFile::exists(cliPath()), qPrintable(cliPath()));
    QVERIFY2(!bundledExampleFiles().isEmpty(), "no example configuration files");
    QVERIFY(scratch_.isValid());
    longFile_ = scratch_.filePath(QStringLiteral("long.ini"));
    QVERIFY(writeLongConfiguration(longFile_));
    const std::optional<Dump> dump = dumpOf(longFile_);
    QVERIFY(dump);
    longDump_ = *dump;
    QVERIFY2(longDump_.count > 800 && longDump_.pauseMs > 4000,
             qPrintable(QStringLiteral("%1 reports, %2 ms")
                                .arg(longDump_.count)
                                .arg(longDump_.pauseMs)));
}

void TstCliProgram::writesTheDumpedSequence_data()
{
    QTest::addColumn<QString>("file");
    for (const QString &file : bundledExampleFiles())
        QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
}

void TstCliProgram::writesTheDumpedSequence()
{
    QFETCH(QString, file);
    const std::optional<Dump> dump = dumpOf(file);
    QVERIFY(dump);
    QVERIFY(dump->count > 0);
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeReceiver(0)));

    const Run r = runProgram(fake, {file, QStringLiteral("--wait"), QStringLiteral("10")});
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(describe(r)));
    QCOMPARE(r.written.size(), dump->reports.size());
    QCOMPARE(r.written.toHex(' '), dump->reports.toHex(' '));
    // The pauses between the groups were kept (a lower bound only: a slow machine takes longer).
    QVERIFY2(r.ms >= dump->pauseMs * 9 / 10, qPrintable(describe(r)));

    const QList<QByteArray> lines = r.outLines();
    QVERIFY2(lines.size() >= 3, qPrintable(describe(r)));
    QCOMPARE(lines.first(), QByteArray("receiver: \"USB Receiver\", 9-byte reports"));
    QCOMPARE(lines.last(), "result: ok, " + QByteArray::number(dump->count) + " reports written");
    const StepTotals steps = stepTotals(r);
    QCOMPARE(steps.reports, qint64(dump->count));
    QCOMPARE(steps.failed, qint64(0));
    QCOMPARE(steps.lines, lines.size() - 2);
    QVERIFY(lines.at(1).startsWith("opening report: 1 report"));
    QVERIFY(lines.at(lines.size() - 2).startsWith("closing report: 1 report"));
}

void TstCliProgram::receiverPluggedInDuringTheWait()
{
    const QString file = bundledExampleFiles().first();
    const std::optional<Dump> dump = dumpOf(file);
    QVERIFY(dump);
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    constexpr qint64 kPlugInAfterMs = 1500;
    bool plugged = false;
    bool addedOk = true;
    RunOptions options;
    options.during = [&](QProcess &, qint64 ms, const Run &) {
        if (!plugged && ms >= kPlugInAfterMs) {
            plugged = true;
            addedOk = fake.add(fakeReceiver(0));
        }
    };
    const Run r = runProgram(fake, {file, QStringLiteral("--wait"), QStringLiteral("30")}, options);
    QVERIFY(plugged);
    QVERIFY(addedOk);
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(describe(r)));
    QVERIFY2(r.ms >= kPlugInAfterMs, qPrintable(describe(r)));
    QCOMPARE(r.written.toHex(' '), dump->reports.toHex(' '));
}

void TstCliProgram::noReceiverInTime_data()
{
    QTest::addColumn<QList<FakeHidraw>>("devices");
    QTest::newRow("nothing plugged in") << QList<FakeHidraw>{};
    QTest::newRow("same vendor, other product") << QList<FakeHidraw>{fakeDevice(0, 0x04B4, 0xF232)};
    QTest::newRow("other vendor, same product") << QList<FakeHidraw>{fakeDevice(0, 0x04B5, 0xF231)};
    QTest::newRow("IDs swapped") << QList<FakeHidraw>{fakeDevice(0, 0xF231, 0x04B4)};
    // A receiver that shows only its keyboard interface is not one that refuses access.
    QTest::newRow("the receiver's keyboard interface only")
            << QList<FakeHidraw>{keyboardOfReceiver(0)};
}

void TstCliProgram::noReceiverInTime()
{
    QFETCH(QList<FakeHidraw>, devices);
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    for (const FakeHidraw &d : devices)
        QVERIFY(fake.add(d));

    const Run r = runProgram(
            fake, {bundledExampleFiles().first(), QStringLiteral("--wait"), QStringLiteral("1")});
    QVERIFY2(r.finished && r.exitCode == kExitNoReceiver, qPrintable(describe(r)));
    QVERIFY2(r.err.contains("no receiver appeared in time"), qPrintable(describe(r)));
    QVERIFY2(!r.out.contains("result:"), qPrintable(describe(r)));
    // It waited the whole second, and not much longer (generous for a loaded machine).
    QVERIFY2(r.ms >= 950 && r.ms < 20000, qPrintable(describe(r)));
    for (const FakeHidraw &d : devices)
        QCOMPARE(fake.written(d.number), QByteArray());
}

void TstCliProgram::otherDevicesAreIgnored_data()
{
    QTest::addColumn<FakeHidraw>("other");
    QTest::newRow("same vendor, other product") << fakeDevice(0, 0x04B4, 0xF232);
    QTest::newRow("other vendor, same product") << fakeDevice(0, 0x1234, 0xF231);
    QTest::newRow("the receiver's keyboard interface") << keyboardOfReceiver(0);
}

void TstCliProgram::otherDevicesAreIgnored()
{
    QFETCH(FakeHidraw, other);
    const QString file = bundledExampleFiles().first();
    const std::optional<Dump> dump = dumpOf(file);
    QVERIFY(dump);
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    // The other device comes first in the search order.
    QVERIFY(fake.add(other));
    QVERIFY(fake.add(fakeReceiver(1)));

    RunOptions options;
    options.node = 1;
    const Run r = runProgram(fake, {file, QStringLiteral("--wait"), QStringLiteral("10")}, options);
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(describe(r)));
    QCOMPARE(r.written.toHex(' '), dump->reports.toHex(' '));
    QCOMPARE(fake.written(0), QByteArray());
}

void TstCliProgram::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("message");
    const QString missing = QStringLiteral("/nonexistent/configfiles/missing.ini");
    QTest::newRow("missing file") << QStringList{missing}
                                  << ("configuration file not found: " + missing.toUtf8());
    QTest::newRow("no file") << QStringList{QStringLiteral("--wait"), QStringLiteral("1")}
                             << QByteArray("usage: rcprog-cli");
    QTest::newRow("wait not a number") << QStringList{bundledExampleFiles().first(),
                                                      QStringLiteral("--wait"), QStringLiteral("x")}
                                       << QByteArray("usage: rcprog-cli");
    QTest::newRow("negative wait") << QStringList{bundledExampleFiles().first(),
                                                  QStringLiteral("--wait"), QStringLiteral("-1")}
                                   << QByteArray("usage: rcprog-cli");
    QTest::newRow("two files") << QStringList{bundledExampleFiles().first(),
                                              bundledExampleFiles().first()}
                               << QByteArray("usage: rcprog-cli");
    // Refused before the receiver is looked for: nothing is written to it.
    const QString unsendable = scratch_.filePath(QStringLiteral("unsendable.ini"));
    const QString encoded = scratch_.filePath(QStringLiteral("encoded.ini"));
    QFile unsendableFile(unsendable), encodedFile(encoded);
    QVERIFY(unsendableFile.open(QIODevice::WriteOnly) && encodedFile.open(QIODevice::WriteOnly));
    unsendableFile.write("[Settings]\nquantityOfBytesInFlashBlock=2147483647\n"
                         "quantityOfRemoteControls=1\n[rcSettings]\nrc01maxSize=1\n"
                         "rc01flashData=00010203\n");
    encodedFile.write("[Settings]\nshiftDelay=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n");
    // In every way of programming, and nothing goes to the pass log either.
    const QString log = scratch_.filePath(QStringLiteral("refused.jsonl"));
    for (const QStringList &way : {QStringList{}, QStringList{QStringLiteral("--each")},
                                   QStringList{QStringLiteral("--all")}})
        QTest::newRow(qPrintable(QStringLiteral("a configuration that cannot be sent %1")
                                         .arg(way.join(u' '))
                                         .trimmed()))
                << QStringList{unsendable, QStringLiteral("--log"), log} + way
                << QByteArray("rcprog-cli: configuration cannot be sent: "
                              "quantityOfBytesInFlashBlock=2147483647: a flash block of more "
                              "than 255 bytes cannot be sent\n");
    QTest::newRow("a value the INI reader decodes as an object")
            << QStringList{encoded}
            << ("rcprog-cli: cannot read configuration file: " + encoded.toUtf8()
                + ": line 2: a value of the form @Variant(...) is refused\n");
}

void TstCliProgram::badArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, message);
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeReceiver(0)));

    const Run r = runProgram(fake, args);
    QVERIFY2(r.finished && r.exitCode == kExitUsage, qPrintable(describe(r)));
    QVERIFY2(r.err.contains(message), qPrintable(describe(r)));
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(r.written, QByteArray());
    QVERIFY(!QFile::exists(scratch_.filePath(QStringLiteral("refused.jsonl"))));
}

void TstCliProgram::failedWrites_data()
{
    // The node is a regular file whose size is capped for the program (RLIMIT_FSIZE), so the
    // writes after the first `goodReports` (-1: half of the pass) fail with EFBIG; or
    // /dev/full, where every write fails with ENOSPC.
    QTest::addColumn<int>("goodReports");
    QTest::newRow("fails after 5 reports") << 5;
    QTest::newRow("fails half-way") << -1;
    QTest::newRow("every write fails") << 0;
}

void TstCliProgram::failedWrites()
{
    QFETCH(int, goodReports);
    const QString file = bundledExampleFiles().first();
    const std::optional<Dump> dump = dumpOf(file);
    QVERIFY(dump);
    if (goodReports < 0)
        goodReports = dump->count / 2;
    QVERIFY(dump->count > goodReports);
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeReceiver(0)));
    const QString node = QFile::decodeName(fake.devicePath(0).c_str());
    QVERIFY(QFile::remove(node));
    RunOptions options;
    if (goodReports > 0) {
        QFile file(node);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const rlim_t limit = rlim_t(goodReports) * kReportBytes;
        options.childSetup = [limit] {
            // Past the limit write(2) fails with EFBIG instead of raising SIGXFSZ.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit cap{limit, limit};
            if (::setrlimit(RLIMIT_FSIZE, &cap) != 0)
                ::_exit(kExitChildSetupFailed);
        };
    } else {
        QVERIFY(QFile::exists(QStringLiteral("/dev/full")));
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), node));
    }

    const Run r = runProgram(fake, {file, QStringLiteral("--wait"), QStringLiteral("10")}, options);
    QVERIFY2(r.finished && r.exitCode == kExitWriteFailed, qPrintable(describe(r)));
    // The pass runs to its end; the failures are counted per group and in total.
    const qint64 total = dump->count;
    const qint64 failed = total - goodReports;
    QCOMPARE(r.outLines().last(), QStringLiteral("result: failed, %1 of %2 writes failed")
                                          .arg(failed)
                                          .arg(total)
                                          .toUtf8());
    QVERIFY2(!r.out.contains("result: ok"), qPrintable(describe(r)));
    const StepTotals steps = stepTotals(r);
    QCOMPARE(steps.reports, total);
    QCOMPARE(steps.failed, failed);
    if (goodReports > 0) {
        QFile file(node);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().toHex(' '),
                 dump->reports.left(goodReports * kReportBytes).toHex(' '));
    }
}

void TstCliProgram::closedStandardOutput()
{
    // `rcprog-cli program FILE | head -n 1`: once the reader of standard output has gone, the
    // pass still runs to its end instead of the process dying of SIGPIPE half-way.
    const QString file = bundledExampleFiles().first();
    const std::optional<Dump> dump = dumpOf(file);
    QVERIFY(dump);
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeReceiver(0)));
    RunOptions options;
    options.brokenStdout = true;
    const Run r = runProgram(fake, {file, QStringLiteral("--wait"), QStringLiteral("10")}, options);
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(describe(r)));
    QCOMPARE(r.written.toHex(' '), dump->reports.toHex(' '));
    QCOMPARE(r.out, QByteArray());
}

void TstCliProgram::accessDenied()
{
    // A node the program may not open: mode 0600 of another user. As root the program would
    // open anything, so then it runs as the user nobody.
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeReceiver(0)));
    const QByteArray node = QByteArray(fake.devicePath(0).c_str());
    RunOptions options;
    options.childSetup = asUserNobodyWhenRoot();
    if (options.childSetup) {
        // The tree must be readable for that user; only the node is not.
        QVERIFY(::chmod(QFile::encodeName(fake.root()).constData(), 0755) == 0);
        QVERIFY(::chmod(node.constData(), 0600) == 0);
    } else {
        QVERIFY(::chmod(node.constData(), 0) == 0);
    }
    const QString file = bundledExampleFiles().first();
    const Run r = runProgram(fake, {file, QStringLiteral("--wait"), QStringLiteral("1")}, options);
    if (r.finished && r.exitCode == kExitChildSetupFailed)
        QSKIP("cannot run the program as the user nobody here");
    if (r.finished && r.exitCode == kExitUsage && r.err.contains("configuration file"))
        QSKIP(qPrintable(QStringLiteral("%1 is not readable for the user nobody").arg(file)));
    QVERIFY2(r.finished && r.exitCode == kExitAccessDenied, qPrintable(describe(r)));
    QVERIFY2(r.err.contains("access to it was denied") && r.err.contains("udev rule"),
             qPrintable(describe(r)));
    QVERIFY2(!r.out.contains("result:"), qPrintable(describe(r)));
    QCOMPARE(r.written, QByteArray());
}

void TstCliProgram::interrupted_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("receiverPresent");
    QTest::newRow("SIGINT during the pass") << int(SIGINT) << true;
    QTest::newRow("SIGTERM during the pass") << int(SIGTERM) << true;
    QTest::newRow("SIGINT while waiting for a receiver") << int(SIGINT) << false;
}

void TstCliProgram::interrupted()
{
    QFETCH(int, signal);
    QFETCH(bool, receiverPresent);
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    if (receiverPresent)
        QVERIFY(fake.add(fakeReceiver(0)));

    // During the pass: once a few reports have arrived. While waiting: after half a second.
    qint64 sentAt = -1;
    RunOptions options;
    options.during = [&](QProcess &p, qint64 ms, const Run &soFar) {
        const bool due = receiverPresent ? soFar.written.size() >= 3 * kReportBytes : ms >= 500;
        if (sentAt < 0 && due) {
            sentAt = ms;
            ::kill(pid_t(p.processId()), signal);
        }
    };
    const Run r = runProgram(fake, {longFile_, QStringLiteral("--wait"), QStringLiteral("60")},
                             options);
    QVERIFY2(sentAt >= 0, qPrintable(describe(r)));
    QVERIFY2(r.finished && r.exitCode == kExitInterrupted, qPrintable(describe(r)));
    // Promptly: the program checks between reports and every 20 ms of a pause.
    QVERIFY2(r.ms - sentAt < 10000, qPrintable(describe(r)));
    QVERIFY2(!r.out.contains("result: ok"), qPrintable(describe(r)));
    if (!receiverPresent) {
        QCOMPARE(r.written, QByteArray());
        QVERIFY2(!r.out.contains("result:"), qPrintable(describe(r)));
        return;
    }
    // It stopped between two reports: whole reports, the start of the pass and not all of it.
    QCOMPARE(r.written.size() % kReportBytes, 0);
    QVERIFY2(r.written.size() < longDump_.reports.size(), qPrintable(describe(r)));
    QCOMPARE(r.written.toHex(' '), longDump_.reports.left(r.written.size()).toHex(' '));
    QCOMPARE(r.outLines().last(), QStringLiteral("result: failed, interrupted after %1 reports")
                                          .arg(r.written.size() / kReportBytes)
                                          .toUtf8());
}

QTEST_GUILESS_MAIN(TstCliProgram)
#include "tst_cliprogram.moc"
