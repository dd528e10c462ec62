// The connection monitor and the programming thread on their own, over a simulated receiver:
// no window and no widget application. The test stands where the window would: it counts the
// threads' signals and publishes loads into the hand-over.
#include "ConfigurationLoader.h"
#include "DeviceLink.h"
#include "DeviceSearch.h"
#include "PassLog.h"
#include "PassLogLines.h"
#include "ProgrammingPass.h"
#include "ReceiverFixtures.h"
#include "RecordHandOver.h"
#include "SignalCounter.h"
#include "SimulatedHid.h"
#include "UsbConnection.h"
#include "UsbReceiverDots.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <mutex>

namespace {

// Generous bounds: the monitor's first poll comes about 2 s after start, later ones 1 s apart;
// a loaded machine running sanitizer builds may be several times slower.
constexpr int kConnectTimeoutMs = 15000;
constexpr int kPassTimeoutMs = 15000;
const std::string kPath = "sim:receiver";

// What the application object holds for the threads, and the two threads on it. The
// programming thread appends its passes to `log` when one is given, and tells `passes` of them.
struct Threads
{
    // `start`: start both threads at once; otherwise the test calls start().
    explicit Threads(PassLog *log = nullptr, bool start = true)
        : hid(std::make_shared<rcprog::SimulatedHid>()), link(hid), connection(link),
          dots(link, handOver, reportBuffer, bytesWritten),
          connected(&connection, &UsbConnection::updateUsb1),
          disconnected(&connection, &UsbConnection::updateUsb2),
          denied(&connection, &UsbConnection::updateUsb4),
          updated(&dots, &UsbReceiverDots::updateUsb3), failed(&dots, &UsbReceiverDots::updateUsb5),
          log(log)
    {
        QObject::connect(
                &dots, &UsbReceiverDots::updateUsb5, &failed,
                [this](int written, int total) {
                    lastFailure = {written, total};
                },
                Qt::QueuedConnection);
        if (start)
            this->start();
    }
    void start()
    {
        dots.setPassLog(log);
        dots.setPassListener([this](const PassRecord &record) {
            std::lock_guard<std::mutex> lock(passesMutex);
            passes.push_back(record);
        });
        connection.start();
        dots.start();
    }
    ~Threads() { stop(); }

    // Asks both threads to stop and waits for them; returns how long that took in ms, or -1
    // when a thread did not end within the bound.
    qint64 stop()
    {
        QElapsedTimer timer;
        timer.start();
        connection.requestStop();
        dots.requestStop();
        if (!connection.wait(10000) || !dots.wait(10000))
            return -1;
        if (!connection.runFinished() || !dots.runFinished())
            return -1;
        return timer.elapsed();
    }

    Reports received() const { return receivedReports(*hid, kPath); }
    std::vector<PassRecord> heard() const
    {
        std::lock_guard<std::mutex> lock(passesMutex);
        return passes;
    }

    std::shared_ptr<rcprog::SimulatedHid> hid;
    DeviceLink link;
    RecordHandOver handOver;
    std::vector<std::uint8_t> reportBuffer = std::vector<std::uint8_t>(9, 0);
    std::uint32_t bytesWritten = 0;
    UsbConnection connection;
    UsbReceiverDots dots;
    SignalCounter connected, disconnected, denied, updated, failed;
    QPair<int, int> lastFailure{-1, -1}; // written and total of the last failed pass
    PassLog *const log;
    mutable std::mutex passesMutex;
    std::vector<PassRecord> passes; // as the pass listener heard of them
};



} // namespace

class TestThreadsHeadless : public QObject
{
    Q_OBJECT

private slots:
    void plugProgramUnplug();
    void requestWhileDisconnectedWaits();
    void accessDeniedIsAnnounced();
    void loadBeforeTheThreadRuns();
    void failedPassIsAnnounced();
    void recordThatCannotBeSentIsNeverSent();
    void loadRightAfterTheStartIsServed();
    void everyPassIsLogged_data();
    void everyPassIsLogged();
};

void TestThreadsHeadless::plugProgramUnplug()
{
    Threads t;
    t.hid->plug(simulatedReceiver(kPath, u"Headless receiver"));
    QTRY_COMPARE_WITH_TIMEOUT(t.connected.count(), 1, kConnectTimeoutMs);
    QCOMPARE(t.link.connectionState(), QStringLiteral("receiver"));
    QCOMPARE(t.link.productName(), QStringLiteral("Headless receiver"));
    QCOMPARE(t.link.reportDataLength(), 8);
    QCOMPARE(t.hid->openHandleCount(), 2);

    // A record with remote controls and a product name longer than the 24 characters sent.
    ConfigurationRecord record = defaultConfiguration();
    record.configurationBlock[0] = 77;
    record.configurationBlock[BlockIndex::quantityOfRemoteControls] = 2;
    record.canChangeProductName = 1;
    record.newNameOfDevice = QStringLiteral("A product name of thirty chars");
    const Reports expected = expectedReports(record, 1);
    QCOMPARE(expected.size(), std::size_t(19 + 2 * 9 + 4));
    t.handOver.publish(record);
    QTRY_COMPARE_WITH_TIMEOUT(t.updated.count(), 1, kPassTimeoutMs);
    QCOMPARE(t.received(), expected);
    QVERIFY(!t.handOver.programmingRequested());
    // The record keeps the name as it was sent.
    QCOMPARE(t.handOver.record().newNameOfDevice, QStringLiteral("A product name of thirty"));

    t.hid->unplug(kPath);
    QTRY_COMPARE_WITH_TIMEOUT(t.disconnected.count(), 1, kConnectTimeoutMs);
    QVERIFY(!t.link.connected());
    QCOMPARE(t.link.connectionState(), QString());
    QCOMPARE(t.hid->openHandleCount(), 0);

    const qint64 stopMs = t.stop();
    QVERIFY2(stopMs >= 0 && stopMs < 1500, qPrintable(QString::number(stopMs)));
    QCOMPARE(t.connected.count(), 1);
    QCOMPARE(t.updated.count(), 1);
    QCOMPARE(t.denied.count(), 0);
    // The report buffer and the count of the last write are the programming thread's: it left
    // the closing report in the buffer, written whole.
    QCOMPARE(t.bytesWritten, std::uint32_t(9));
    QCOMPARE(t.reportBuffer, expected.back());
}

void TestThreadsHeadless::requestWhileDisconnectedWaits()
{
    Threads t;
    ConfigurationRecord record = defaultConfiguration();
    record.configurationBlock[0] = 12;
    QTest::qWait(1500); // the programming thread is checking by now
    t.handOver.publish(record);
    QTest::qWait(600);
    QVERIFY(t.handOver.programmingRequested()); // pending while nothing is connected
    QCOMPARE(t.hid->writeAttempts(), 0);

    t.hid->plug(simulatedReceiver(kPath, u"Late receiver"));
    QTRY_COMPARE_WITH_TIMEOUT(t.connected.count(), 1, kConnectTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(t.updated.count(), 1, kPassTimeoutMs);
    QCOMPARE(t.received(), expectedReports(record, 1));
    QVERIFY(!t.handOver.programmingRequested());
}

void TestThreadsHeadless::accessDeniedIsAnnounced()
{
    Threads t;
    t.hid->setFault(kPath, rcprog::SimulatedHid::Fault::AccessDenied);
    t.hid->plug(simulatedReceiver(kPath, u"Locked receiver"));
    QTRY_COMPARE_WITH_TIMEOUT(t.denied.count(), 1, kConnectTimeoutMs);
    QVERIFY(t.link.accessDenied());
    QCOMPARE(t.connected.count(), 0);
    // Unplugged: "not connected" again, once.
    t.hid->unplug(kPath);
    QTRY_COMPARE_WITH_TIMEOUT(t.disconnected.count(), 1, kConnectTimeoutMs);
    QVERIFY(!t.link.accessDenied());
    QCOMPARE(t.denied.count(), 1);
}

void TestThreadsHeadless::loadBeforeTheThreadRuns()
{
    // A load published after the threads were made but before they run is served.
    Threads t(nullptr, false);
    ConfigurationRecord record = defaultConfiguration();
    record.configurationBlock[0] = 21;
    t.handOver.publish(record);
    t.hid->plug(simulatedReceiver(kPath, u"Early receiver"));
    t.start();
    QTRY_COMPARE_WITH_TIMEOUT(t.updated.count(), 1, kConnectTimeoutMs + kPassTimeoutMs);
    QCOMPARE(t.received(), expectedReports(record, 1));
}

void TestThreadsHeadless::failedPassIsAnnounced()
{
    Threads t;
    t.hid->plug(simulatedReceiver(kPath, u"Receiver"));
    QTRY_COMPARE_WITH_TIMEOUT(t.connected.count(), 1, kConnectTimeoutMs);
    t.hid->failWriteNumber(kPath, 7);
    t.handOver.publish(defaultConfiguration());
    QTRY_COMPARE_WITH_TIMEOUT(t.failed.count(), 1, kPassTimeoutMs);
    QCOMPARE(t.lastFailure, qMakePair(18, 19));
    QCOMPARE(t.updated.count(), 0);
}

void TestThreadsHeadless::recordThatCannotBeSentIsNeverSent()
{
    Threads t;
    t.hid->plug(simulatedReceiver(kPath, u"Receiver"));
    QTRY_COMPARE_WITH_TIMEOUT(t.connected.count(), 1, kConnectTimeoutMs);
    // Published straight into the hand-over, past the window's refusal.
    ConfigurationRecord huge = defaultConfiguration();
    huge.configurationBlock[BlockIndex::quantityOfBytesInFlashBlock] = 2147483647;
    huge.configurationBlock[BlockIndex::quantityOfRemoteControls] = 1;
    huge.configurationBlock[BlockIndex::maxSize(1)] = 1;
    huge.flashData[0] = QStringLiteral("00010203");
    t.handOver.publish(huge);
    QTRY_VERIFY_WITH_TIMEOUT(!t.handOver.programmingRequested(), kPassTimeoutMs);
    QTest::qWait(400);
    QCOMPARE(t.hid->writeAttempts(), 0);
    QCOMPARE(t.updated.count() + t.failed.count(), 0);
    // The next load is served as usual.
    ConfigurationRecord record = defaultConfiguration();
    record.configurationBlock[0] = 5;
    t.handOver.publish(record);
    QTRY_COMPARE_WITH_TIMEOUT(t.updated.count(), 1, kPassTimeoutMs);
    QCOMPARE(t.received(), expectedReports(record, 1));
}

void TestThreadsHeadless::loadRightAfterTheStartIsServed()
{
    // A load that comes right after the programming thread was started, before it gets to run
    // (as station mode makes one at the first connect), is served; it replaces an older load that
    // was still waiting, so one pass of the newer record goes out.
    auto hid = std::make_shared<rcprog::SimulatedHid>();
    hid->plug(simulatedReceiver(kPath, u"Early receiver"));
    DeviceLink link(hid);
    rcprog::OpenedDevice opened;
    QVERIFY(rcprog::openPass(*hid, rcprog::kReceiverVendorId, rcprog::kReceiverProductId, opened)
                    .matched);
    link.publish(opened);
    link.markConnected();
    RecordHandOver handOver;
    ConfigurationRecord stale = defaultConfiguration();
    stale.configurationBlock[0] = 1;
    handOver.publish(stale);
    std::vector<std::uint8_t> buffer(9, 0);
    std::uint32_t bytesWritten = 0;
    UsbReceiverDots dots(link, handOver, buffer, bytesWritten);
    SignalCounter updated(&dots, &UsbReceiverDots::updateUsb3);
    ConfigurationRecord fresh = defaultConfiguration();
    fresh.configurationBlock[0] = 2;
    dots.start();
    handOver.publish(fresh);
    QTRY_COMPARE_WITH_TIMEOUT(updated.count(), 1, kPassTimeoutMs);
    QCOMPARE(receivedReports(*hid, kPath), expectedReports(fresh, 1));
    QTest::qWait(600);
    QCOMPARE(updated.count(), 1);
    dots.requestStop();
    QVERIFY(dots.wait(10000));
    QVERIFY(dots.runFinished());
    link.close();
}

void TestThreadsHeadless::everyPassIsLogged_data()
{
    // How the pass goes: as it should; its 5th write fails; the thread is stopped during it.
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("result");
    QTest::newRow("ok") << QStringLiteral("ok") << QStringLiteral("ok");
    QTest::newRow("a write fails") << QStringLiteral("fail") << QStringLiteral("failed");
    QTest::newRow("stopped during the pass")
            << QStringLiteral("stop") << QStringLiteral("interrupted");
}

void TestThreadsHeadless::everyPassIsLogged()
{
    QFETCH(QString, how);
    QFETCH(QString, result);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logPath = dir.filePath(QStringLiteral("passes.jsonl"));
    PassLog log(logPath, QStringLiteral("rcprog"));
    Threads t(&log);
    t.hid->plug(simulatedReceiver(kPath, u"Logged receiver"));
    QTRY_COMPARE_WITH_TIMEOUT(t.connected.count(), 1, kConnectTimeoutMs);

    const ConfigurationRecord record
            = how == QLatin1String("stop") ? longFlashRecord(u'7') : defaultConfiguration();
    const qint64 total = qint64(expectedReports(record, 1).size());
    if (how == QLatin1String("fail"))
        t.hid->failWriteNumber(kPath, 5);
    const ConfigurationSource source{QStringLiteral("/line/configfiles/a.ini"), QString(64, u'c')};
    t.handOver.publish(record, source);
    if (how == QLatin1String("stop")) {
        QTRY_VERIFY_WITH_TIMEOUT(t.received().size() >= 40, kPassTimeoutMs);
        QVERIFY(t.stop() >= 0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(passLogLines(logPath).size(), 1, kPassTimeoutMs);

    // One line, once the pass was over, describing it.
    const qint64 written = qint64(t.received().size());
    const QJsonObject line = passLogLines(logPath).constFirst();
    QCOMPARE(line.value(QStringLiteral("program")).toString(), QStringLiteral("rcprog"));
    QCOMPARE(line.value(QStringLiteral("file")).toString(), source.path);
    QCOMPARE(line.value(QStringLiteral("sha256")).toString(), source.sha256);
    QCOMPARE(line.value(QStringLiteral("product")).toString(), QStringLiteral("Logged receiver"));
    QCOMPARE(line.value(QStringLiteral("device")).toString(), QString::fromStdString(kPath));
    QCOMPARE(line.value(QStringLiteral("reportLength")).toInt(), 9);
    QCOMPARE(line.value(QStringLiteral("reportsInPass")).toInteger(), total);
    QCOMPARE(line.value(QStringLiteral("reportsWritten")).toInteger(), written);
    QCOMPARE(line.value(QStringLiteral("result")).toString(), result);
    if (how == QLatin1String("ok"))
        QCOMPARE(written, total);
    else if (how == QLatin1String("fail"))
        QCOMPARE(written, total - 1);
    else
        QVERIFY(written < total);
    // The pass took its pauses: at least the 140 ms of the shortest one.
    QVERIFY(line.value(QStringLiteral("durationMs")).toInteger() >= 140);
    const QDateTime time = QDateTime::fromString(line.value(QStringLiteral("time")).toString(),
                                                 Qt::ISODateWithMs);
    QVERIFY(time.isValid());
    QVERIFY(qAbs(time.secsTo(QDateTime::currentDateTimeUtc())) < 120);

    // The listener heard of the same pass (right after the line was written, so maybe not yet).
    QTRY_COMPARE_WITH_TIMEOUT(int(t.heard().size()), 1, kPassTimeoutMs);
    const std::vector<PassRecord> heard = t.heard();
    QFile file(logPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             passLogLine(heard.front(), QStringLiteral("rcprog"), QSysInfo::machineHostName()));
    // The success signal comes after the line, for a pass that succeeded only; a failed pass
    // tells the window the same counts as the line; a stopped one tells nothing.
    QTRY_COMPARE(t.updated.count(), how == QLatin1String("ok") ? 1 : 0);
    QTRY_COMPARE(t.failed.count(), how == QLatin1String("fail") ? 1 : 0);
    QTest::qWait(300);
    QCOMPARE(t.updated.count(), how == QLatin1String("ok") ? 1 : 0);
    QCOMPARE(t.failed.count(), how == QLatin1String("fail") ? 1 : 0);
    if (how == QLatin1String("fail"))
        QCOMPARE(t.lastFailure, qMakePair(int(written), int(total)));
}

QTEST_GUILESS_MAIN(TestThreadsHeadless)
#include "tst_threadsheadless.moc"
