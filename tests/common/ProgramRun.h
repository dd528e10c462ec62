#pragma once

// rcprog-cli run as a program over the fake sysfs tree (FakeSysfs.h): receivers with a report
// length of their own, the reports `rcprog-cli dump` prints for a length, and a run of
// `rcprog-cli program` that collects what reached every node and what the program printed while
// it runs, so that a test can act on it (plug a receiver in, send a signal).

#include "CliRun.h"
#include "FakeSysfs.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace rcprog::test {

constexpr int kExitUsage = 2;
constexpr int kExitNoReceiver = 3;
constexpr int kExitAccessDenied = 4;
constexpr int kExitWriteFailed = 5;
constexpr int kExitInterrupted = 130;

// A vendor-defined collection with input and output reports of `payloadBytes` (1 ... 255) bytes
// and no report ID: the backend derives reports of payloadBytes + 1 bytes from it.
inline QByteArray receiverDescriptor(int payloadBytes = 8)
{
    const QByteArray count = QByteArray::number(payloadBytes, 16).rightJustified(2, '0');
    return QByteArray::fromHex("0600FF 0901 A101 1500 26FF00 7508 95" + count + " 0901 8102 95"
                               + count + " 0902 9102 C0");
}

inline FakeHidraw fakeDevice(int number, quint16 vendorId, quint16 productId, int payloadBytes = 8)
{
    FakeHidraw interface;
    interface.number = number;
    interface.vendorId = vendorId;
    interface.productId = productId;
    interface.descriptor = receiverDescriptor(payloadBytes);
    return interface;
}

// A receiver at hidraw<number>, on a USB port of its own.
inline FakeHidraw fakeReceiver(int number, int payloadBytes = 8,
                               const QByteArray &product = QByteArray("USB Receiver"))
{
    FakeHidraw interface = fakeDevice(number, 0x04B4, 0xF231, payloadBytes);
    interface.productName = product;
    return interface;
}

// The reports of one pass as `rcprog-cli dump` prints them.
struct Dump
{
    QByteArray reports; // concatenated
    int count = 0;
    qint64 pauseMs = 0;
};

// The passes of `rcprog-cli dump FILE --passes N --report-length R`, one Dump each: back to back
// over one report buffer, as the programming thread sends them to receivers one after another.
inline std::optional<std::vector<Dump>> dumpPassesOf(const QString &file, int passes,
                                                     int payloadBytes = 8)
{
    QStringList args{QStringLiteral("dump"), file};
    if (passes != 1) // 1 is the default
        args << QStringLiteral("--passes") << QString::number(passes);
    if (payloadBytes != 8) // 8 is the default
        args << QStringLiteral("--report-length") << QString::number(payloadBytes);
    QProcess p;
    p.start(cliPath(), args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    std::vector<Dump> dumps;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        if (line.startsWith("# pass ")) {
            dumps.emplace_back();
        } else if (line.startsWith("W ") && !dumps.empty()) {
            const QByteArray bytes = QByteArray::fromHex(line.mid(2));
            if (bytes.size() != payloadBytes + 1)
                return std::nullopt;
            dumps.back().reports += bytes;
            ++dumps.back().count;
        } else if (line.startsWith("P ") && !dumps.empty()) {
            dumps.back().pauseMs += line.mid(2).toLongLong();
        }
    }
    if (int(dumps.size()) != passes)
        return std::nullopt;
    return dumps;
}

// The reports of one pass as `rcprog-cli dump FILE --report-length R` prints them.
inline std::optional<Dump> dumpOf(const QString &file, int payloadBytes = 8)
{
    const std::optional<std::vector<Dump>> dumps = dumpPassesOf(file, 1, payloadBytes);
    if (!dumps)
        return std::nullopt;
    return dumps->front();
}

struct Run
{
    bool finished = false; // ended by itself, not by a signal or the time limit
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QByteArray written; // read back from the watched node
    std::map<int, QByteArray> writtenTo; // read back from every node, by its number
    qint64 ms = 0;
    QList<QByteArray> outLines() const
    {
        QList<QByteArray> lines = out.split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
};

struct RunOptions
{
    int node = 0; // the node whose bytes are Run::written
    // Called about every 20 ms while the program runs, with the time since the start and what
    // reached the nodes and standard output so far.
    std::function<void(QProcess &, qint64 ms, const Run &soFar)> during;
    std::function<void()> childSetup; // runs in the child before exec
    // The program's standard output is a pipe whose reader has gone (as after `| head -n 1`).
    bool brokenStdout = false;
    int limitMs = 120000;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

// Runs `rcprog-cli program ARGS --sysfs-root ... --dev-root ...` over the fake tree, reading
// every node while the program runs so that a long pass never fills a FIFO.
inline Run runProgram(FakeSysfs &fake, const QStringList &args, const RunOptions &options = {})
{
    QProcess p;
    p.setProcessEnvironment(options.environment);
    int brokenPipe[2] = {-1, -1};
    if (options.brokenStdout && ::pipe2(brokenPipe, O_CLOEXEC) == 0)
        ::close(brokenPipe[0]);
    const int brokenWriteEnd = brokenPipe[1];
    const std::function<void()> childSetup = options.childSetup;
    if (options.brokenStdout || childSetup)
        p.setChildProcessModifier([brokenWriteEnd, childSetup] {
            if (brokenWriteEnd >= 0 && ::dup2(brokenWriteEnd, STDOUT_FILENO) < 0)
                ::_exit(kExitChildSetupFailed);
            if (childSetup)
                childSetup();
        });
    QElapsedTimer timer;
    timer.start();
    p.start(cliPath(), QStringList{QStringLiteral("program")} + args
                               + QStringList{QStringLiteral("--sysfs-root"),
                                             QFile::decodeName(fake.sysfsRoot().c_str()),
                                             QStringLiteral("--dev-root"),
                                             QFile::decodeName(fake.devRoot().c_str())});
    if (brokenWriteEnd >= 0)
        ::close(brokenWriteEnd);
    Run r;
    if ((options.brokenStdout && brokenWriteEnd < 0) || !p.waitForStarted(30000))
        return r;
    // Standard output first: whatever the program wrote to a node before it printed a line has
    // reached the node by the time the line is seen.
    const auto collect = [&] {
        r.out += p.readAllStandardOutput();
        for (const int number : fake.numbers())
            r.writtenTo[number] += fake.written(number);
        r.written = r.writtenTo[options.node];
    };
    bool limitHit = false;
    while (p.state() != QProcess::NotRunning && !p.waitForFinished(20)) {
        collect();
        if (options.during)
            options.during(p, timer.elapsed(), r);
        if (timer.elapsed() > options.limitMs) {
            limitHit = true;
            p.kill();
            p.waitForFinished(30000);
            break;
        }
    }
    r.ms = timer.elapsed();
    collect();
    r.finished = !limitHit && p.exitStatus() == QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.err = p.readAllStandardError();
    return r;
}

inline QString describe(const Run &r)
{
    return QStringLiteral("exit %1 (%2) after %3 ms\nstdout:\n%4\nstderr:\n%5")
            .arg(r.exitCode)
            .arg(r.finished ? QStringLiteral("normal") : QStringLiteral("crashed or killed"))
            .arg(r.ms)
            .arg(QString::fromUtf8(r.out), QString::fromUtf8(r.err));
}

} // namespace rcprog::test
