// The pieces the worker threads and rcprog-cli program are built from, each on its own over a
// simulated receiver: the device link (writes keep to their connection, close waits for a write
// under way), the record hand-over, the pacer, and a pass through the link.
#include "ConfigurationLoader.h"
#include "DeviceLink.h"
#include "DeviceSearch.h"
#include "LinkPass.h"
#include "Pacer.h"
#include "ReceiverFixtures.h"
#include "RecordHandOver.h"
#include "SimulatedHid.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

#include <time.h>

namespace {

const std::string kPath = "sim:receiver";
const std::uint8_t kReport[9] = {0, 3, 1, 0, 0, 0, 0, 0, 0};

// A receiver plugged in, opened by the connect steps and published in a connected link, as the
// monitor leaves it.
struct Connected
{
    Connected() : hid(std::make_shared<rcprog::SimulatedHid>()), link(hid)
    {
        hid->plug(simulatedReceiver(kPath, u"Link receiver"));
        serial = connect();
    }

    // Opens the first receiver and publishes it as a new connection; 0 when none opened.
    std::uint64_t connect()
    {
        rcprog::OpenedDevice opened;
        if (!rcprog::openPass(*hid, rcprog::kReceiverVendorId, rcprog::kReceiverProductId, opened)
                     .matched)
            return 0;
        const std::uint64_t s = link.publish(opened);
        link.markConnected();
        return s;
    }

    Reports received(const std::string &path = kPath) const { return receivedReports(*hid, path); }

    std::shared_ptr<rcprog::SimulatedHid> hid;
    DeviceLink link;
    std::uint64_t serial = 0;
};

// Records what a pass through the link shows its observer.
class Recorder : public LinkPassObserver
{
public:
    void section(PassSection section, int id, qint64 count) override
    {
        sections << QStringLiteral("%1/%2/%3").arg(int(section)).arg(id).arg(count);
    }
    void reportDone(bool written, std::size_t length) override
    {
        results << written;
        lengths << qint64(length);
    }
    QStringList sections;
    QList<bool> results;
    QList<qint64> lengths;
};

// A record whose pass is long enough to act during it: eight switch name blocks, 91 reports
// over about 560 ms of pauses.
ConfigurationRecord longRecord()
{
    ConfigurationRecord record = defaultConfiguration();
    record.configurationBlock[BlockIndex::quantityOfRemoteControls] = 8;
    return record;
}

} // namespace

class TestDeviceLink : public QObject
{
    Q_OBJECT

private slots:
    void writeKeepsToItsConnection_data();
    void writeKeepsToItsConnection();
    void snapshot();
    void aliveTellsADeviceThatHasGone_data();
    void aliveTellsADeviceThatHasGone();
    void closeWaitsForAWriteUnderWay();
    void handOver();
    void pacerPausesAtLeastAsLongAsAsked_data();
    void pacerPausesAtLeastAsLongAsAsked();
    void pacerStopEndsAPauseAtOnce_data();
    void pacerStopEndsAPauseAtOnce();
    void pacerIdleWaitSpendsNoProcessorTime();
    void linkPassCountsEveryWrite_data();
    void linkPassCountsEveryWrite();
    void linkPassStopsBetweenTwoReports();
};

void TestDeviceLink::writeKeepsToItsConnection_data()
{
    QTest::addColumn<QString>("change"); // what happens to the link before the write
    QTest::addColumn<bool>("written");
    QTest::newRow("its own connection") << "none" << true;
    QTest::newRow("disconnected") << "disconnect" << false;
    QTest::newRow("closed") << "close" << false;
    QTest::newRow("a newer connection") << "reconnect" << false;
    QTest::newRow("published, not yet connected") << "publish" << false;
}

void TestDeviceLink::writeKeepsToItsConnection()
{
    QFETCH(QString, change);
    QFETCH(bool, written);
    Connected c;
    QVERIFY(c.serial != 0);
    if (change == QLatin1String("disconnect")) {
        c.link.markDisconnected();
    } else if (change == QLatin1String("close")) {
        c.link.close();
    } else if (change == QLatin1String("reconnect")) {
        // Another receiver now, at another place: the first pass's writes go to neither.
        c.link.close();
        c.hid->unplug(kPath);
        c.hid->plug(simulatedReceiver("sim:other", u"Other receiver"));
        QVERIFY(c.connect() > c.serial);
    } else if (change == QLatin1String("publish")) {
        c.link.markDisconnected();
        c.link.close();
        rcprog::OpenedDevice opened;
        QVERIFY(rcprog::openPass(*c.hid, rcprog::kReceiverVendorId, rcprog::kReceiverProductId,
                                 opened)
                        .matched);
        c.serial = c.link.publish(opened);
    }
    const int attempts = c.hid->writeAttempts();
    QCOMPARE(c.link.write(c.serial, kReport, sizeof kReport), written);
    // A refused write never reaches the platform.
    QCOMPARE(c.hid->writeAttempts(), attempts + (written ? 1 : 0));
    QCOMPARE(c.received().size(), std::size_t(written ? 1 : 0));
    QVERIFY(c.received("sim:other").empty());
}

void TestDeviceLink::snapshot()
{
    auto hid = std::make_shared<rcprog::SimulatedHid>();
    DeviceLink link(hid);
    QVERIFY(!link.snapshot().connected);

    hid->plug(simulatedReceiver(kPath, u"Wide", 17));
    rcprog::OpenedDevice opened;
    QVERIFY(rcprog::openPass(*hid, rcprog::kReceiverVendorId, rcprog::kReceiverProductId, opened)
                    .matched);
    const std::uint64_t serial = link.publish(opened);
    QVERIFY(!link.snapshot().connected); // published, but not yet connected
    link.markConnected();
    const DeviceLink::Snapshot s = link.snapshot();
    QVERIFY(s.connected);
    QCOMPARE(s.reportDataLength, 16);
    QCOMPARE(s.serial, serial);
    QCOMPARE(s.productName, QStringLiteral("Wide"));
    QCOMPARE(s.devicePath, QString::fromStdString(kPath));

    link.close();
    link.markDisconnected();
    QVERIFY(!link.snapshot().connected);
    QCOMPARE(hid->openHandleCount(), 0);
    // Name and length stay as they were after a close.
    QCOMPARE(link.productName(), QStringLiteral("Wide"));
    QCOMPARE(link.reportDataLength(), 16);
}

void TestDeviceLink::aliveTellsADeviceThatHasGone_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("alive");
    QTest::newRow("still there") << "none" << true;
    QTest::newRow("another receiver plugged in beside it") << "second" << true;
    QTest::newRow("unplugged") << "unplug" << false;
    QTest::newRow("replaced at its path") << "replug" << false;
    QTest::newRow("swapped for another") << "swap" << false;
    QTest::newRow("closed") << "close" << false;
}

// Whether the receiver behind the link's handles is still there, whatever else is present.
void TestDeviceLink::aliveTellsADeviceThatHasGone()
{
    QFETCH(QString, change);
    QFETCH(bool, alive);
    Connected c;
    QVERIFY(c.link.alive());
    const rcprog::SimulatedHid::Interface other = simulatedReceiver("sim:other", u"Other");
    if (change == QLatin1String("second"))
        c.hid->plug(other);
    else if (change == QLatin1String("unplug"))
        c.hid->unplug(kPath);
    else if (change == QLatin1String("replug"))
        c.hid->plug(simulatedReceiver(kPath, u"Link receiver"));
    else if (change == QLatin1String("swap"))
        c.hid->swap(kPath, other);
    else if (change == QLatin1String("close"))
        c.link.close();
    QCOMPARE(c.link.alive(), alive);
}

void TestDeviceLink::closeWaitsForAWriteUnderWay()
{
    Connected c;
    c.hid->setWritesHang(true);
    std::atomic<bool> writeReturned{false};
    std::thread writer([&] {
        c.link.write(c.serial, kReport, sizeof kReport);
        writeReturned.store(true);
    });
    QTRY_COMPARE_WITH_TIMEOUT(c.hid->hangingWrites(), 1, 10000);

    std::atomic<bool> closed{false};
    std::thread closer([&] {
        c.link.close();
        closed.store(true);
    });
    QTest::qWait(300);
    // The handles stay open while the write through them has not returned...
    QVERIFY(!closed.load());
    QCOMPARE(c.hid->openHandleCount(), 2);
    // ... and no new write starts meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(!c.link.write(c.serial, kReport, sizeof kReport), 10000);
    QCOMPARE(c.hid->hangingWrites(), 1);

    c.hid->setWritesHang(false);
    writer.join();
    closer.join();
    QVERIFY(writeReturned.load());
    QVERIFY(closed.load());
    QCOMPARE(c.hid->openHandleCount(), 0);
}

void TestDeviceLink::handOver()
{
    RecordHandOver handOver;
    QVERIFY(!handOver.take());
    QCOMPARE(handOver.loadSerial(), std::uint64_t(0));

    ConfigurationRecord first = defaultConfiguration();
    first.newNameOfDevice = QStringLiteral("First name, thirty characters");
    handOver.publish(first);
    QVERIFY(handOver.programmingRequested());
    const std::optional<RecordHandOver::Snapshot> taken = handOver.take();
    QVERIFY(taken);
    QCOMPARE(taken->record, first);
    QCOMPARE(taken->loadSerial, std::uint64_t(1));
    // One request, one pass.
    QVERIFY(!handOver.programmingRequested());
    QVERIFY(!handOver.take());

    // The name a pass sent is stored back into the record it came from...
    handOver.storeSentName(taken->loadSerial, QStringLiteral("First name, thirty chara"));
    QCOMPARE(handOver.record().newNameOfDevice, QStringLiteral("First name, thirty chara"));
    // ... but not over a newer load.
    ConfigurationRecord second = defaultConfiguration();
    second.configurationBlock[0] = 42;
    handOver.publish(second);
    handOver.storeSentName(taken->loadSerial, QStringLiteral("stale"));
    QCOMPARE(handOver.record(), second);
    QCOMPARE(handOver.loadSerial(), std::uint64_t(2));

    handOver.clearRequest();
    QVERIFY(!handOver.programmingRequested());
    QVERIFY(!handOver.take());

    // A request carries the file its load names.
    handOver.publish(first, {QStringLiteral("/f.ini"), QStringLiteral("ab")});
    QVERIFY(handOver.programmingRequested());
    const std::optional<RecordHandOver::Snapshot> later = handOver.take();
    QVERIFY(later);
    QCOMPARE(later->source.path, QStringLiteral("/f.ini"));
    QCOMPARE(later->source.sha256, QStringLiteral("ab"));
}

namespace {

// The pacer's two waits: the precise pause of a pass, and the idle wait between polls.
bool pacerWait(Pacer &pacer, bool idle, int ms)
{
    return idle ? pacer.idleFor(ms) : pacer.sleepFor(ms);
}

} // namespace

void TestDeviceLink::pacerPausesAtLeastAsLongAsAsked_data()
{
    QTest::addColumn<bool>("idle");
    QTest::addColumn<int>("ms");
    for (const bool idle : {false, true}) {
        const char *kind = idle ? "idle wait" : "pause";
        for (const int ms : {1, 20, 50})
            QTest::addRow("%s of %d ms", kind, ms) << idle << ms;
    }
}

void TestDeviceLink::pacerPausesAtLeastAsLongAsAsked()
{
    QFETCH(bool, idle);
    QFETCH(int, ms);
    Pacer pacer;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        QVERIFY(pacerWait(pacer, idle, ms));
        QVERIFY2(timer.nsecsElapsed() >= qint64(ms) * 1000000,
                 qPrintable(QString::number(timer.nsecsElapsed())));
    }
}

void TestDeviceLink::pacerStopEndsAPauseAtOnce_data()
{
    QTest::addColumn<bool>("idle");
    QTest::newRow("pause") << false;
    QTest::newRow("idle wait") << true;
}

void TestDeviceLink::pacerStopEndsAPauseAtOnce()
{
    QFETCH(bool, idle);
    Pacer pacer;
    QVERIFY(!pacer.stopRequested());
    QElapsedTimer timer;
    timer.start();
    std::atomic<bool> slept{true};
    std::thread sleeper([&] { slept.store(pacerWait(pacer, idle, 60000)); });
    QTest::qWait(100);
    pacer.requestStop();
    sleeper.join();
    QVERIFY(!slept.load());
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(pacer.stopRequested());
    // Once stopped, a pause ends at once.
    QVERIFY(!pacer.sleepFor(60000));
    QVERIFY(!pacer.idleFor(60000));
}

// An idle worker costs no processor time: its waits end without a busy tail. (A pause of a
// pass spends its last 300 us awake; a hundred of them would take tens of milliseconds.)
void TestDeviceLink::pacerIdleWaitSpendsNoProcessorTime()
{
    Pacer pacer;
    const auto threadCpuNs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    const qint64 start = threadCpuNs();
    for (int i = 0; i < 100; ++i)
        QVERIFY(pacer.idleFor(2));
    const qint64 spentNs = threadCpuNs() - start;
    QVERIFY2(spentNs < 10000000, qPrintable(QStringLiteral("%1 ns").arg(spentNs)));
}

void TestDeviceLink::linkPassCountsEveryWrite_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("k"); // the write concerned, counted from 1
    QTest::newRow("every write succeeds") << "none" << 0;
    QTest::newRow("one write fails") << "fail" << 30;
    QTest::newRow("unplugged after 5 writes") << "unplug" << 5;
}

void TestDeviceLink::linkPassCountsEveryWrite()
{
    QFETCH(QString, fault);
    QFETCH(int, k);
    Connected c;
    const ConfigurationRecord record = longRecord();
    const Reports expected = expectedReports(record, 1);
    const qint64 total = qint64(expected.size());
    Reports arrived = expected;
    qint64 failed = 0;
    if (fault == QLatin1String("fail")) {
        c.hid->failWriteNumber(kPath, k);
        arrived.erase(arrived.begin() + (k - 1));
        failed = 1;
    } else if (fault == QLatin1String("unplug")) {
        c.hid->unplugAfterWrites(kPath, k);
        arrived.resize(std::size_t(k));
        failed = total - k;
    }

    std::vector<std::uint8_t> buffer(9, 0);
    Pacer pacer;
    Recorder recorder;
    const LinkPassOutcome outcome
            = runLinkPass(c.link, c.serial, 8, record, buffer, pacer, &recorder);
    // A failed write does not end the pass: every report was tried.
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.attempted, total);
    QCOMPARE(outcome.failed, failed);
    QCOMPARE(outcome.written, total - failed);
    QCOMPARE(c.received(), arrived);
    QCOMPARE(qint64(recorder.results.size()), total);
    QCOMPARE(qint64(recorder.results.count(false)), failed);
    if (fault == QLatin1String("fail"))
        QVERIFY(!recorder.results.at(k - 1));
    QCOMPARE(recorder.lengths, QList<qint64>(int(total), 9));
    // Opening, configuration block, 8 switch name blocks, closing.
    QCOMPARE(recorder.sections.size(), 11);
    QCOMPARE(recorder.sections.first(), QStringLiteral("%1/0/0").arg(int(PassSection::Opening)));
    QCOMPARE(recorder.sections.at(9),
             QStringLiteral("%1/7/1").arg(int(PassSection::SwitchNameBlock)));
    QVERIFY(!outcome.nameSent);
}

void TestDeviceLink::linkPassStopsBetweenTwoReports()
{
    Connected c;
    const ConfigurationRecord record = longRecord();
    const Reports expected = expectedReports(record, 1);
    std::vector<std::uint8_t> buffer(9, 0);
    Pacer pacer;
    LinkPassOutcome outcome;
    std::thread pass([&] { outcome = runLinkPass(c.link, c.serial, 8, record, buffer, pacer); });
    QTRY_VERIFY_WITH_TIMEOUT(c.received().size() >= 3, 10000);
    QElapsedTimer timer;
    timer.start();
    pacer.requestStop();
    pass.join();
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!outcome.finished);
    // Whole reports, the start of the pass, and not all of it.
    const Reports received = c.received();
    QCOMPARE(outcome.attempted, qint64(received.size()));
    QCOMPARE(outcome.failed, qint64(0));
    QVERIFY(received.size() < expected.size());
    QCOMPARE(received,
             Reports(expected.begin(), expected.begin() + std::ptrdiff_t(received.size())));

    // Stopped before it began: nothing is written.
    Connected idle;
    Pacer stopped;
    stopped.requestStop();
    const LinkPassOutcome none = runLinkPass(idle.link, idle.serial, 8, record, buffer, stopped);
    QVERIFY(!none.finished);
    QCOMPARE(none.attempted, qint64(0));
    QCOMPARE(idle.hid->writeAttempts(), 0);
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
