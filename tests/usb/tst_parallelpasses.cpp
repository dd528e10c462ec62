// Passes into several simulated receivers at once: every matching interface is opened in
// enumeration order, each receiver gets exactly the pass for its own report length with its own
// pauses, a failure on one leaves the others' passes alone, and a stop ends them all between two
// reports.
#include "ConfigurationLoader.h"
#include "DeviceSearch.h"
#include "ParallelPasses.h"
#include "ReceiverFixtures.h"
#include "SimulatedHid.h"

#include <QElapsedTimer>
#include <QtTest>

#include <chrono>
#include <memory>
#include <thread>

using rcprog::SimulatedHid;

namespace {

struct Receiver
{
    std::string path;
    int reportDataLength;
};

// Three receivers with different report lengths, in the order they were plugged in.
const std::vector<Receiver> kReceivers = {{"sim:a", 8}, {"sim:b", 16}, {"sim:c", 64}};

// A record with every kind of block: two remote controls with flash data of two 64-byte blocks,
// a macro and a product name.
ConfigurationRecord fullRecord()
{
    ConfigurationRecord record = defaultConfiguration();
    auto &block = record.configurationBlock;
    block[BlockIndex::quantityOfBytesInFlashBlock] = 64;
    block[BlockIndex::quantityOfRemoteControls] = 2;
    block[BlockIndex::haveMacro] = 1;
    for (int n = 1; n <= 2; ++n) {
        block[std::size_t(BlockIndex::maxSize(n))] = 2;
        QString image;
        for (int i = 0; i < 128; ++i)
            image += QStringLiteral("%1").arg((i * 7 + n) & 0xFF, 2, 16, QLatin1Char('0'));
        record.flashData[std::size_t(n - 1)] = image.toUpper();
    }
    record.flashMacro = QString(128, u'A') + QString(128, u'5');
    record.canChangeProductName = 1;
    record.newNameOfDevice = QStringLiteral("Line receiver");
    return record;
}


std::shared_ptr<SimulatedHid> plugAll()
{
    auto hid = std::make_shared<SimulatedHid>();
    for (const Receiver &r : kReceivers)
        hid->plug(simulatedReceiver(r.path,
                                    u"Receiver " + std::u16string(1, char16_t(r.path.back())),
                                    r.reportDataLength + 1));
    return hid;
}

std::vector<rcprog::OpenedDevice> openAll(SimulatedHid &hid)
{
    return rcprog::openAllPass(hid, rcprog::kReceiverVendorId, rcprog::kReceiverProductId);
}

// The pauses a receiver with R payload bytes waits between its first and its last report.
qint64 pausesBetweenReports(const ConfigurationRecord &record, int r)
{
    std::vector<std::uint8_t> buffer(reportBufferSize(r), 0);
    qint64 ms = 0, pending = 0;
    bool first = false;
    for (const PassStep &step : collectPassSteps(record, r, buffer)) {
        if (step.kind == PassStep::Kind::Pause) {
            pending += step.ms;
        } else {
            if (first)
                ms += pending;
            first = true;
            pending = 0;
        }
    }
    return ms;
}

} // namespace

class TestParallelPasses : public QObject
{
    Q_OBJECT

private slots:
    void eachReceiverGetsItsOwnPass();
    void aFailureTouchesNoOtherPass();
    void stopEndsEveryPass();
    void stopBeforeTheRun();
};

void TestParallelPasses::eachReceiverGetsItsOwnPass()
{
    const auto hid = plugAll();
    const ConfigurationRecord record = fullRecord();
    const ConfigurationSource source{QStringLiteral("/line/full.ini"), QString(64, u'0')};
    const std::vector<rcprog::OpenedDevice> opened = openAll(*hid);
    QCOMPARE(int(opened.size()), 3);
    QCOMPARE(hid->openHandleCount(), 6);

    ParallelPasses parallel(hid, record, source);
    QElapsedTimer wall;
    wall.start();
    const std::vector<RecordedPass> passes = parallel.run(opened);
    const qint64 wallMs = wall.elapsed();
    QCOMPARE(hid->openHandleCount(), 0);
    QCOMPARE(int(passes.size()), 3);

    qint64 longest = 0;
    for (std::size_t i = 0; i < kReceivers.size(); ++i) {
        const Receiver &r = kReceivers[i];
        const PassRecord &p = passes[i].record;
        const Reports expected = expectedReports(record, 1, r.reportDataLength);
        QCOMPARE(receivedReports(*hid, r.path), expected);
        QCOMPARE(p.device, QString::fromStdString(r.path));
        QCOMPARE(p.product, QStringLiteral("Receiver ") + QLatin1Char(r.path.back()));
        QCOMPARE(p.reportLength, r.reportDataLength + 1);
        QCOMPARE(p.reportsInPass, qint64(expected.size()));
        QCOMPARE(p.reportsWritten, qint64(expected.size()));
        QCOMPARE(p.result, PassResult::Ok);
        QCOMPARE(p.file, source.path);
        QCOMPARE(p.sha256, source.sha256);
        // Each receiver kept its own pauses, whatever the others did meanwhile.
        const auto got = hid->reportsFor(r.path);
        const qint64 spanMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      got.back().time - got.front().time)
                                      .count();
        QVERIFY2(spanMs >= pausesBetweenReports(record, r.reportDataLength),
                 qPrintable(QStringLiteral("%1: %2 ms")
                                    .arg(QLatin1String(r.path.c_str()))
                                    .arg(spanMs)));
        longest = std::max(longest, p.durationMs);
    }
    // All at once: the three passes took about as long as the longest one, not their sum
    // (generous, for a loaded machine).
    QVERIFY2(wallMs < longest * 2,
             qPrintable(QStringLiteral("%1 ms, longest pass %2 ms").arg(wallMs).arg(longest)));
}

void TestParallelPasses::aFailureTouchesNoOtherPass()
{
    const auto hid = plugAll();
    const ConfigurationRecord record = fullRecord();
    // b: its 3rd write fails; c: unplugged after its 10th report; a: nothing.
    hid->failWriteNumber("sim:b", 3);
    hid->unplugAfterWrites("sim:c", 10);
    ParallelPasses parallel(hid, record, {});
    const std::vector<RecordedPass> passes = parallel.run(openAll(*hid));
    QCOMPARE(int(passes.size()), 3);

    const Reports a = expectedReports(record, 1, 8);
    QCOMPARE(receivedReports(*hid, "sim:a"), a);
    QCOMPARE(passes[0].record.result, PassResult::Ok);

    Reports b = expectedReports(record, 1, 16);
    QCOMPARE(passes[1].record.result, PassResult::Failed);
    QCOMPARE(passes[1].record.reportsWritten, qint64(b.size()) - 1);
    b.erase(b.begin() + 2);
    QCOMPARE(receivedReports(*hid, "sim:b"), b);

    const Reports c = expectedReports(record, 1, 64);
    QCOMPARE(passes[2].record.result, PassResult::Failed);
    QCOMPARE(passes[2].record.reportsWritten, qint64(10));
    QCOMPARE(receivedReports(*hid, "sim:c"), Reports(c.begin(), c.begin() + 10));
    // The failed passes ran to their end, as the protocol has no other way to stop.
    QCOMPARE(passes[2].outcome.attempted, qint64(c.size()));
    QCOMPARE(hid->openHandleCount(), 0);
}

void TestParallelPasses::stopEndsEveryPass()
{
    const auto hid = plugAll();
    const ConfigurationRecord record = longFlashRecord(u'3');
    ParallelPasses parallel(hid, record, {});
    const std::vector<rcprog::OpenedDevice> opened = openAll(*hid);
    std::vector<RecordedPass> passes;
    std::thread runner([&] { passes = parallel.run(opened); });
    // Once every receiver has some reports.
    QTRY_VERIFY_WITH_TIMEOUT(hid->reportsFor("sim:a").size() >= 20
                                     && hid->reportsFor("sim:b").size() >= 20
                                     && hid->reportsFor("sim:c").size() >= 20,
                             15000);
    QElapsedTimer stopping;
    stopping.start();
    parallel.requestStop();
    runner.join();
    QVERIFY2(stopping.elapsed() < 2000, qPrintable(QString::number(stopping.elapsed())));

    QCOMPARE(int(passes.size()), 3);
    for (std::size_t i = 0; i < kReceivers.size(); ++i) {
        const Receiver &r = kReceivers[i];
        const Reports expected = expectedReports(record, 1, r.reportDataLength);
        const Reports got = receivedReports(*hid, r.path);
        QCOMPARE(passes[i].record.result, PassResult::Interrupted);
        QCOMPARE(passes[i].record.reportsWritten, qint64(got.size()));
        QVERIFY(got.size() < expected.size());
        QCOMPARE(got, Reports(expected.begin(), expected.begin() + std::ptrdiff_t(got.size())));
    }
    QCOMPARE(hid->openHandleCount(), 0);
}

void TestParallelPasses::stopBeforeTheRun()
{
    const auto hid = plugAll();
    ParallelPasses parallel(hid, fullRecord(), {});
    parallel.requestStop();
    const std::vector<RecordedPass> passes = parallel.run(openAll(*hid));
    QCOMPARE(int(passes.size()), 3);
    for (const RecordedPass &p : passes) {
        QCOMPARE(p.record.result, PassResult::Interrupted);
        QCOMPARE(p.record.reportsWritten, qint64(0));
    }
    QCOMPARE(hid->writeAttempts(), 0);
    QCOMPARE(hid->openHandleCount(), 0);
}

QTEST_GUILESS_MAIN(TestParallelPasses)
#include "tst_parallelpasses.moc"
