// rcprog-cli for the production line, run as a program on the Linux hidraw backend over a fake
// sysfs tree: the pass log of `program` (where it goes, its fields, a log that cannot be
// written), station mode `program --each` over sequences of receivers plugged in and out, and
// `program --all` over receivers of different report lengths, each of which gets exactly what
// `rcprog-cli dump --report-length R` prints for it.
#include "CliRun.h"
#include "FakeSysfs.h"
#include "PassLogLines.h"
#include "ProgramRun.h"
#include "ScratchFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <optional>

#include <sys/resource.h>

using namespace rcprog::test;

namespace {

// A small configuration: a pass of 41 reports and about 240 ms. Its product name leaves bytes
// in the report buffer that the next pass's first reports keep.
const QByteArray kSmallFile = "[nameOfDevice]\nnewNameOfDevice=ABCDEFGHIJKLMNOPQRST\n"
                              "canChangeProductName=1\n"
                              "[Settings]\nfrequencyTrim=7\nquantityOfRemoteControls=2\n"
                              "[rcSettings]\nrc01nameOfSwitch=TV\nrc02nameOfSwitch=Radio\n";

// A configuration whose pass takes seconds: eight remote controls of 16 flash blocks each.
QByteArray longFile()
{
    QByteArray ini = "[Settings]\nquantityOfBytesInFlashBlock=64\nquantityOfRemoteControls=8\n"
                     "[rcSettings]\n";
    for (int rc = 1; rc <= 8; ++rc) {
        const QByteArray prefix = "rc0" + QByteArray::number(rc);
        ini += prefix + "maxSize=16\n" + prefix + "flashData=" + QByteArray(2 * 64 * 16, '5')
               + '\n';
    }
    return ini;
}


QString sha256Of(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(
            QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex());
}

QString nodePath(const FakeSysfs &fake, int number)
{
    return QFile::decodeName(fake.devicePath(number).c_str());
}

// Makes the node of hidraw<number> a link to /dev/full, where every write fails.
bool failingNode(const FakeSysfs &fake, int number)
{
    const QString node = nodePath(fake, number);
    return QFile::remove(node) && QFile::link(QStringLiteral("/dev/full"), node);
}

// The line that --each and --all print for the N-th receiver; `state` is "ok" or "failed".
QRegularExpression receiverLine(int n, const QString &state, const QString &device, qint64 written,
                                qint64 total, bool interrupted = false)
{
    return QRegularExpression(
            QStringLiteral("^#%1 %2 \"USB Receiver\" %3, %4 of %5 reports, \\d+\\.\\d\\d s%6$")
                    .arg(n)
                    .arg(state, QRegularExpression::escape(device))
                    .arg(written)
                    .arg(total)
                    .arg(interrupted ? QStringLiteral(", interrupted") : QString()));
}

// Whether `out` has a line that starts with "#N ".
bool hasReceiverLine(const QByteArray &out, int n)
{
    for (const QByteArray &line : out.split('\n'))
        if (line.startsWith('#' + QByteArray::number(n) + ' '))
            return true;
    return false;
}

QProcessEnvironment environmentWith(const QStringList &entries)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : entries) {
        if (entry.contains(u'='))
            env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        else
            env.remove(entry);
    }
    return env;
}

} // namespace

class TestCliLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void programLogsItsPass_data();
    void programLogsItsPass();
    void logOff();
    void failedAndInterruptedPassesAreLogged_data();
    void failedAndInterruptedPassesAreLogged();
    void unwritableLogNeverFailsAPass_data();
    void unwritableLogNeverFailsAPass();
    void each_data();
    void each();
    void eachInterruptedDuringAPass();
    void eachWaitsForTheFirstReceiverOnly();
    void eachNoReceiverInTime();
    void allProgramsEveryReceiverForItsLength();
    void allFailureOnOneReceiver();
    void allNoReceiver();

private:
    ScratchFiles files_{QStringLiteral("line")};
    QString small_;
    QString long_;
    Dump smallDump_;
};

void TestCliLine::initTestCase()
{
    QVERIFY2(QFile::exists(cliPath()), qPrintable(cliPath()));
    QVERIFY(files_.isValid());
    small_ = files_.write(kSmallFile);
    long_ = files_.write(longFile());
    const std::optional<Dump> dump = dumpOf(small_);
    QVERIFY(dump);
    smallDump_ = *dump;
    QCOMPARE(smallDump_.count, 19 + 2 * 9 + 4);
}

void TestCliLine::programLogsItsPass_data()
{
    // Extra arguments, the environment (NAME=VALUE, or NAME to unset it), and where the line
    // must be, relative to a scratch folder ("%1").
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("logPath");
    QTest::newRow("--log FILE") << QStringList{"--log", "%1/named.jsonl"}
                                << QStringList{"RCPROG_LOG"} << QStringLiteral("%1/named.jsonl");
    QTest::newRow("RCPROG_LOG") << QStringList{} << QStringList{"RCPROG_LOG=%1/env.jsonl"}
                                << QStringLiteral("%1/env.jsonl");
    QTest::newRow("--log before RCPROG_LOG")
            << QStringList{"--log=%1/option.jsonl"} << QStringList{"RCPROG_LOG=%1/env.jsonl"}
            << QStringLiteral("%1/option.jsonl");
    QTest::newRow("XDG_STATE_HOME, folder made")
            << QStringList{} << QStringList{"RCPROG_LOG", "XDG_STATE_HOME=%1/state"}
            << QStringLiteral("%1/state/rcprog/passes.jsonl");
    QTest::newRow("HOME without XDG_STATE_HOME")
            << QStringList{} << QStringList{"RCPROG_LOG", "XDG_STATE_HOME", "HOME=%1/home"}
            << QStringLiteral("%1/home/.local/state/rcprog/passes.jsonl");
}

void TestCliLine::programLogsItsPass()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, environment);
    QFETCH(QString, logPath);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    for (QString &a : args)
        a = a.arg(scratch.path());
    for (QString &e : environment)
        e = e.arg(scratch.path());
    logPath = logPath.arg(scratch.path());

    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeReceiver(0)));
    RunOptions options;
    options.environment = environmentWith(environment);
    const Run r = runProgram(fake, QStringList{small_} + args, options);
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(describe(r)));
    // The output is as it always was.
    QCOMPARE(r.outLines().last(),
             "result: ok, " + QByteArray::number(smallDump_.count) + " reports written");
    QCOMPARE(r.written.toHex(' '), smallDump_.reports.toHex(' '));

    const QList<QJsonObject> lines = passLogLines(logPath);
    QCOMPARE(lines.size(), 1);
    const QJsonObject &line = lines.first();
    QCOMPARE(line.keys().size(), 12);
    QCOMPARE(line.value(QStringLiteral("program")).toString(), QStringLiteral("rcprog-cli"));
    QCOMPARE(line.value(QStringLiteral("host")).toString(), QSysInfo::machineHostName());
    QCOMPARE(line.value(QStringLiteral("file")).toString(), QFileInfo(small_).absoluteFilePath());
    QCOMPARE(line.value(QStringLiteral("sha256")).toString(), sha256Of(small_));
    QCOMPARE(line.value(QStringLiteral("product")).toString(), QStringLiteral("USB Receiver"));
    QCOMPARE(line.value(QStringLiteral("device")).toString(), nodePath(fake, 0));
    QCOMPARE(line.value(QStringLiteral("reportLength")).toInt(), 9);
    QCOMPARE(line.value(QStringLiteral("reportsWritten")).toInt(), smallDump_.count);
    QCOMPARE(line.value(QStringLiteral("reportsInPass")).toInt(), smallDump_.count);
    QCOMPARE(line.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
    QVERIFY(line.value(QStringLiteral("durationMs")).toInteger() >= smallDump_.pauseMs * 9 / 10);
    const QDateTime time = QDateTime::fromString(line.value(QStringLiteral("time")).toString(),
                                                 Qt::ISODateWithMs);
    QVERIFY(time.isValid() && time.timeSpec() == Qt::UTC);
    QVERIFY(qAbs(time.secsTo(QDateTime::currentDateTimeUtc())) < 120);
}

void TestCliLine::logOff()
{
    // RCPROG_LOG empty, or --log with an empty FILE: no file anywhere.
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeReceiver(0)));
    RunOptions options;
    options.environment = environmentWith({QStringLiteral("RCPROG_LOG="),
                                           QStringLiteral("XDG_STATE_HOME=") + scratch.path(),
                                           QStringLiteral("HOME=") + scratch.path()});
    Run r = runProgram(fake, {small_}, options);
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(describe(r)));
    options.environment = environmentWith(
            {QStringLiteral("RCPROG_LOG=") + scratch.path() + QStringLiteral("/env.jsonl"),
             QStringLiteral("HOME=") + scratch.path()});
    r = runProgram(fake, {small_, QStringLiteral("--log"), QString()}, options);
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(describe(r)));
    QCOMPARE(QDir(scratch.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QCOMPARE(r.err, QByteArray());
}

void TestCliLine::failedAndInterruptedPassesAreLogged_data()
{
    QTest::addColumn<bool>("interrupt");
    QTest::newRow("every write fails") << false;
    QTest::newRow("SIGINT during the pass") << true;
}

void TestCliLine::failedAndInterruptedPassesAreLogged()
{
    QFETCH(bool, interrupt);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString log = scratch.filePath(QStringLiteral("passes.jsonl"));
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeReceiver(0)));
    RunOptions options;
    if (interrupt) {
        options.during = [](QProcess &p, qint64, const Run &soFar) {
            if (soFar.written.size() >= 3 * 9)
                ::kill(pid_t(p.processId()), SIGINT);
        };
    } else {
        QVERIFY(failingNode(fake, 0));
    }
    const QString file = interrupt ? long_ : small_;
    const Run r = runProgram(fake, {file, QStringLiteral("--log"), log}, options);
    QVERIFY2(r.finished && r.exitCode == (interrupt ? kExitInterrupted : kExitWriteFailed),
             qPrintable(describe(r)));
    const QList<QJsonObject> lines = passLogLines(log);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.first().value(QStringLiteral("result")).toString(),
             interrupt ? QStringLiteral("interrupted") : QStringLiteral("failed"));
    QCOMPARE(lines.first().value(QStringLiteral("reportsWritten")).toInt(),
             int(r.written.size() / 9));
    const std::optional<Dump> dump = dumpOf(file);
    QVERIFY(dump);
    QCOMPARE(lines.first().value(QStringLiteral("reportsInPass")).toInt(), dump->count);
}

void TestCliLine::unwritableLogNeverFailsAPass_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason");
    QTest::newRow("the log is a folder")
            << QStringLiteral("folder") << QStringLiteral("Is a directory");
    QTest::newRow("the log may not grow: short write")
            << QStringLiteral("short") << QStringLiteral("short write (10 of ");
}

void TestCliLine::unwritableLogNeverFailsAPass()
{
    QFETCH(QString, how);
    QFETCH(QString, reason);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString log = scratch.filePath(QStringLiteral("passes.jsonl"));
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    RunOptions options;
    if (how == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(log));
    } else {
        // The log holds 100 bytes and may grow by 10 (the FIFO nodes are not files: no limit).
        QFile f(log);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(QByteArray(100, 'x')), qint64(100));
        f.close();
        options.childSetup = [] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit cap{110, 110};
            if (::setrlimit(RLIMIT_FSIZE, &cap) != 0)
                ::_exit(kExitChildSetupFailed);
        };
    }
    // Three receivers at once: three lines that cannot be written, one message.
    for (int n = 0; n < 3; ++n)
        QVERIFY(fake.add(fakeReceiver(n)));
    const Run r = runProgram(fake, {small_, QStringLiteral("--all"), QStringLiteral("--log"), log},
                             options);
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(describe(r)));
    for (int n = 0; n < 3; ++n)
        QCOMPARE(r.writtenTo.at(n).toHex(' '), smallDump_.reports.toHex(' '));
    QCOMPARE(r.err.count("cannot write the pass log"), 1);
    QVERIFY2(r.err.startsWith(QStringLiteral("rcprog-cli: cannot write the pass log %1: %2")
                                      .arg(log, reason)
                                      .toUtf8()),
             r.err.constData());
}

void TestCliLine::each_data()
{
    // The receivers in the order they are plugged in, by node number; which of them fail every
    // write; whether each one is swapped for the next within one poll (else the next comes a
    // poll and more after the unplug).
    QTest::addColumn<QList<int>>("nodes");
    QTest::addColumn<QList<bool>>("failing");
    QTest::addColumn<bool>("swap");
    QTest::newRow("one receiver") << QList<int>{0} << QList<bool>{false} << false;
    QTest::newRow("three in turn")
            << QList<int>{0, 1, 2} << QList<bool>{false, false, false} << false;
    QTest::newRow("the same port three times")
            << QList<int>{0, 0, 0} << QList<bool>{false, false, false} << false;
    QTest::newRow("a swap within one poll")
            << QList<int>{0, 1} << QList<bool>{false, false} << true;
    QTest::newRow("a failure in the middle")
            << QList<int>{0, 1, 2} << QList<bool>{false, true, false} << false;
}

void TestCliLine::each()
{
    QFETCH(QList<int>, nodes);
    QFETCH(QList<bool>, failing);
    QFETCH(bool, swap);
    constexpr qint64 kAfterUnplugMs = 1800; // more than one poll
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString log = scratch.filePath(QStringLiteral("passes.jsonl"));
    FakeSysfs fake;
    QVERIFY(fake.isValid());

    // Plugs receiver i in (with its node failing when asked).
    bool setUp = true;
    const auto plug = [&](int i) {
        setUp = setUp && fake.add(fakeReceiver(nodes.at(i)));
        if (failing.at(i))
            setUp = setUp && failingNode(fake, nodes.at(i));
    };
    plug(0);
    int current = 0; // the receiver plugged in last
    qint64 nextAt = -1; // when the next one is due, after an unplug
    bool interrupted = false;
    std::map<int, QByteArray> before; // what each node had got before the current receiver
    std::vector<QByteArray> got(std::size_t(nodes.size())); // what each receiver got
    RunOptions options;
    options.limitMs = 40000;
    options.during = [&](QProcess &p, qint64 ms, const Run &soFar) {
        if (nextAt >= 0 && ms >= nextAt) {
            nextAt = -1;
            plug(current);
        }
        if (nextAt >= 0 || interrupted || !hasReceiverLine(soFar.out, current + 1))
            return;
        const int node = nodes.at(current);
        const auto it = soFar.writtenTo.find(node);
        const QByteArray all = it == soFar.writtenTo.end() ? QByteArray() : it->second;
        got[std::size_t(current)] = all.mid(before[node].size());
        before[node] = all;
        if (current + 1 == nodes.size()) {
            interrupted = true;
            ::kill(pid_t(p.processId()), SIGINT);
            return;
        }
        setUp = setUp && fake.remove(node);
        ++current;
        if (swap)
            plug(current);
        else
            nextAt = ms + kAfterUnplugMs;
    };
    const Run r = runProgram(fake, {small_, QStringLiteral("--each"), QStringLiteral("--log"), log},
                             options);
    QVERIFY(setUp);
    QVERIFY2(interrupted, qPrintable(QStringLiteral("only %1 of %2 receivers were programmed\n")
                                             .arg(current)
                                             .arg(nodes.size())
                                     + describe(r)));

    // One line per receiver, in order, then the summary. Each receiver got exactly one pass: the
    // next one of `dump --passes N`, since the programming thread's report buffer carries over
    // from one pass to the next, as in the window.
    const std::optional<std::vector<Dump>> passes = dumpPassesOf(small_, int(nodes.size()));
    QVERIFY(passes);
    const int failures = int(failing.count(true));
    QVERIFY2(r.finished && r.exitCode == (failures ? kExitWriteFailed : 0),
             qPrintable(describe(r)));
    const QList<QByteArray> lines = r.outLines();
    QCOMPARE(lines.size(), nodes.size() + 1);
    for (int i = 0; i < nodes.size(); ++i) {
        const QString device = nodePath(fake, nodes.at(i));
        const QRegularExpression expected
                = failing.at(i) ? receiverLine(i + 1, QStringLiteral("failed"), device, 0,
                                               smallDump_.count)
                                : receiverLine(i + 1, QStringLiteral("ok"), device,
                                               smallDump_.count, smallDump_.count);
        QVERIFY2(expected.match(QString::fromUtf8(lines.at(i))).hasMatch(),
                 qPrintable(QString::fromUtf8(lines.at(i)) + QStringLiteral(" !~ ")
                            + expected.pattern()));
        if (!failing.at(i))
            QCOMPARE(got[std::size_t(i)].toHex(' '), passes->at(std::size_t(i)).reports.toHex(' '));
    }
    QCOMPARE(lines.last(), QStringLiteral("done: %1 ok, %2 failed")
                                   .arg(nodes.size() - failures)
                                   .arg(failures)
                                   .toUtf8());
    // Nothing more reached any node after the last receiver's pass.
    for (const auto &entry : r.writtenTo)
        QCOMPARE(entry.second.size(), before[entry.first].size());

    // One log line per receiver.
    const QList<QJsonObject> logged = passLogLines(log);
    QCOMPARE(logged.size(), nodes.size());
    for (int i = 0; i < nodes.size(); ++i) {
        QCOMPARE(logged.at(i).value(QStringLiteral("device")).toString(),
                 nodePath(fake, nodes.at(i)));
        QCOMPARE(logged.at(i).value(QStringLiteral("result")).toString(),
                 failing.at(i) ? QStringLiteral("failed") : QStringLiteral("ok"));
    }
}

void TestCliLine::eachInterruptedDuringAPass()
{
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeReceiver(0)));
    const std::optional<Dump> dump = dumpOf(long_);
    QVERIFY(dump);
    qint64 sentAt = -1;
    RunOptions options;
    options.during = [&](QProcess &p, qint64 ms, const Run &soFar) {
        if (sentAt < 0 && soFar.written.size() >= 3 * 9) {
            sentAt = ms;
            ::kill(pid_t(p.processId()), SIGTERM);
        }
    };
    const Run r = runProgram(fake, {long_, QStringLiteral("--each")}, options);
    QVERIFY2(sentAt >= 0, qPrintable(describe(r)));
    QVERIFY2(r.finished && r.exitCode == kExitInterrupted, qPrintable(describe(r)));
    QVERIFY2(r.ms - sentAt < 10000, qPrintable(describe(r)));
    // Stopped between two reports: whole reports, the start of the pass.
    const qint64 written = r.written.size() / 9;
    QCOMPARE(r.written.size() % 9, 0);
    QVERIFY(written < dump->count);
    QCOMPARE(r.written.toHex(' '), dump->reports.left(r.written.size()).toHex(' '));
    const QList<QByteArray> lines = r.outLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(
            receiverLine(1, QStringLiteral("failed"), nodePath(fake, 0), written, dump->count, true)
                    .match(QString::fromUtf8(lines.at(0)))
                    .hasMatch(),
            lines.at(0).constData());
    QCOMPARE(lines.at(1), QByteArray("done: 0 ok, 1 failed"));
}

void TestCliLine::eachWaitsForTheFirstReceiverOnly()
{
    // --wait 2: the first receiver comes in time; after it has gone, nothing ends the run but
    // Ctrl-C, well past the 2 seconds.
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeReceiver(0)));
    bool removed = false;
    qint64 sentAt = -1;
    RunOptions options;
    options.during = [&](QProcess &p, qint64 ms, const Run &soFar) {
        if (!removed && hasReceiverLine(soFar.out, 1))
            removed = fake.remove(0);
        if (removed && sentAt < 0 && ms >= 5000) {
            sentAt = ms;
            ::kill(pid_t(p.processId()), SIGINT);
        }
    };
    const Run r = runProgram(
            fake, {small_, QStringLiteral("--each"), QStringLiteral("--wait"), QStringLiteral("2")},
            options);
    QVERIFY2(removed && sentAt >= 0, qPrintable(describe(r)));
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(describe(r)));
    QCOMPARE(r.outLines().size(), 2);
    QCOMPARE(r.outLines().last(), QByteArray("done: 1 ok, 0 failed"));
}

void TestCliLine::eachNoReceiverInTime()
{
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeDevice(0, 0x04B4, 0xF232))); // not a receiver
    const Run r = runProgram(fake, {small_, QStringLiteral("--each"), QStringLiteral("--wait"),
                                    QStringLiteral("1")});
    QVERIFY2(r.finished && r.exitCode == kExitNoReceiver, qPrintable(describe(r)));
    QVERIFY2(r.err.contains("no receiver appeared in time"), qPrintable(describe(r)));
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.ms >= 950 && r.ms < 20000, qPrintable(describe(r)));
}

void TestCliLine::allProgramsEveryReceiverForItsLength()
{
    // Flash data in blocks of 64 bytes: 8 reports a block at 8 bytes, 4 at 16, 1 at 64.
    const QString file = testSourceDir() + QStringLiteral("/configfiles/four-remotes-flash.ini");
    const QList<int> lengths{8, 16, 64};
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeDevice(0, 0x04B4, 0xF232))); // not a receiver: left alone
    for (int i = 0; i < lengths.size(); ++i)
        QVERIFY(fake.add(fakeReceiver(i + 1, lengths.at(i))));
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString log = scratch.filePath(QStringLiteral("passes.jsonl"));
    const Run r = runProgram(fake, {file, QStringLiteral("--all"), QStringLiteral("--log"), log});
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(describe(r)));

    const QList<QByteArray> lines = r.outLines();
    QCOMPARE(lines.size(), lengths.size() + 1);
    for (int i = 0; i < lengths.size(); ++i) {
        const std::optional<Dump> dump = dumpOf(file, lengths.at(i));
        QVERIFY(dump);
        QCOMPARE(r.writtenTo.at(i + 1).toHex(' '), dump->reports.toHex(' '));
        QVERIFY2(receiverLine(i + 1, QStringLiteral("ok"), nodePath(fake, i + 1), dump->count,
                              dump->count)
                         .match(QString::fromUtf8(lines.at(i)))
                         .hasMatch(),
                 lines.at(i).constData());
    }
    QCOMPARE(lines.last(), QByteArray("done: 3 ok, 0 failed"));
    QCOMPARE(r.writtenTo.at(0), QByteArray());

    const QList<QJsonObject> logged = passLogLines(log);
    QCOMPARE(logged.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(logged.at(i).value(QStringLiteral("device")).toString(), nodePath(fake, i + 1));
        QCOMPARE(logged.at(i).value(QStringLiteral("reportLength")).toInt(), lengths.at(i) + 1);
        QCOMPARE(logged.at(i).value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
    }
}

void TestCliLine::allFailureOnOneReceiver()
{
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    for (int n = 0; n < 3; ++n)
        QVERIFY(fake.add(fakeReceiver(n)));
    QVERIFY(failingNode(fake, 1));
    const Run r = runProgram(fake, {small_, QStringLiteral("--all")});
    QVERIFY2(r.finished && r.exitCode == kExitWriteFailed, qPrintable(describe(r)));
    QCOMPARE(r.writtenTo.at(0).toHex(' '), smallDump_.reports.toHex(' '));
    QCOMPARE(r.writtenTo.at(2).toHex(' '), smallDump_.reports.toHex(' '));
    const QList<QByteArray> lines = r.outLines();
    QCOMPARE(lines.size(), 4);
    QVERIFY(receiverLine(1, QStringLiteral("ok"), nodePath(fake, 0), smallDump_.count,
                         smallDump_.count)
                    .match(QString::fromUtf8(lines.at(0)))
                    .hasMatch());
    QVERIFY2(receiverLine(2, QStringLiteral("failed"), nodePath(fake, 1), 0, smallDump_.count)
                     .match(QString::fromUtf8(lines.at(1)))
                     .hasMatch(),
             lines.at(1).constData());
    QVERIFY(receiverLine(3, QStringLiteral("ok"), nodePath(fake, 2), smallDump_.count,
                         smallDump_.count)
                    .match(QString::fromUtf8(lines.at(2)))
                    .hasMatch());
    QCOMPARE(lines.at(3), QByteArray("done: 2 ok, 1 failed"));
}

void TestCliLine::allNoReceiver()
{
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(fakeDevice(0, 0x04B5, 0xF231)));
    const Run r = runProgram(
            fake, {small_, QStringLiteral("--all"), QStringLiteral("--wait"), QStringLiteral("1")});
    QVERIFY2(r.finished && r.exitCode == kExitNoReceiver, qPrintable(describe(r)));
    QVERIFY2(r.err.contains("no receiver appeared in time"), qPrintable(describe(r)));
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(r.writtenTo.at(0), QByteArray());
}

QTEST_GUILESS_MAIN(TestCliLine)
#include "tst_cliline.moc"
