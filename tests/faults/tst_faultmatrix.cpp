#include "AppHarness.h"

#include <QElapsedTimer>

// Each fault with the real threads over a simulated receiver, stating what the window shows and
// what the receiver got. In every case "updated OK!!! :)" appears only after a pass whose writes
// all succeeded, and every report the receiver got belongs to a pass of a loaded record.

namespace {

using Fault = rcprog::SimulatedHid::Fault;

const std::string kA = AppHarness::kPath;

// Eight switch name blocks: 91 reports over about 560 ms.
const QByteArray kLong = "[Settings]\nfrequencyTrim=33\nquantityOfRemoteControls=8\n";
const QByteArray kShort = "[Settings]\nfrequencyTrim=44\n";

Reports head(const Reports &r, std::size_t n)
{
    return Reports(r.begin(), r.begin() + std::ptrdiff_t(std::min(n, r.size())));
}

// Waits until the monitor has opened the receiver and the window shows it.
void waitConnected(AppHarness &h, int count = 1)
{
    QTRY_COMPARE_WITH_TIMEOUT(h.connected->count(), count, kConnectTimeoutMs);
    QTRY_VERIFY(h.window()->pushButton->isEnabled());
}

// Waits until the pass now under way has tried all `reports` of its writes.
void waitAttempts(AppHarness &h, int attempts)
{
    QTRY_COMPARE_WITH_TIMEOUT(h.hid->writeAttempts(), attempts, kPassTimeoutMs);
    QTest::qWait(400); // room for a wrong updateUsb3() to arrive
}

bool showsUpdated(const AppHarness &h)
{
    return h.window()->label2->text() == QLatin1String("updated OK!!! :)");
}

// The monitor's and the programming thread's news in the order the window got them, each with
// what the window showed right after its slot had run (the window's connections come first).
class WindowLog : public QObject
{
public:
    struct Entry
    {
        char signal; // '1' connected, '2' disconnected, '3' updated
        QString label;
        bool showsUpdated;
    };

    explicit WindowLog(const AppHarness &h) : h_(h)
    {
        const auto add = [this](char signal) {
            return [this, signal] {
                entries.push_back({signal, h_.window()->label->text(), showsUpdated(h_)});
            };
        };
        connect(h.app->usbConnection, &UsbConnection::updateUsb1, this, add('1'),
                Qt::QueuedConnection);
        connect(h.app->usbConnection, &UsbConnection::updateUsb2, this, add('2'),
                Qt::QueuedConnection);
        connect(h.app->usbReceiverDots, &UsbReceiverDots::updateUsb3, this, add('3'),
                Qt::QueuedConnection);
    }

    QByteArray order() const
    {
        QByteArray order;
        for (const Entry &e : entries)
            order += e.signal;
        return order;
    }

    std::vector<Entry> entries;

private:
    const AppHarness &h_;
};

// Connects the receiver and runs one pass of the selected file, which succeeds.
void passOnce(AppHarness &h)
{
    h.plug();
    waitConnected(h);
    h.window()->programmConfigurationBlock();
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kPassTimeoutMs);
    QTRY_VERIFY(showsUpdated(h));
}

} // namespace

class TestFaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void unplugBeforeAPass();
    void unplugDuringAPass_data();
    void unplugDuringAPass();
    void unplugAfterAPass();
    void oneWriteFailsInTheMiddle();
    void failuresAtTheMatchingCandidate_data();
    void failuresAtTheMatchingCandidate();
    void accessDeniedThenGranted();
    void vanishesBetweenSearchAndOpen();
    void secondReceiverGetsNothing();
    void replugAnotherReceiver();
    void swapWithinOnePoll_data();
    void swapWithinOnePoll();
    void rapidButtonPresses();
    void closeWhileAWriteHangs_data();
    void closeWhileAWriteHangs();
    void failedLoadKeepsItsErrorOverAnOlderPass_data();
    void failedLoadKeepsItsErrorOverAnOlderPass();
    void newerLoadOutranksAnOlderPass();
    void failedPassAfterASuccessfulOne();
    void configurationThatCannotBeSent();
};

void TestFaultMatrix::unplugBeforeAPass()
{
    AppHarness h({{"long", kLong}});
    h.plug();
    waitConnected(h);
    h.hid->unplug(AppHarness::kPath);
    QTRY_COMPARE_WITH_TIMEOUT(h.disconnected->count(), 1, kConnectTimeoutMs);
    // The request made while nothing is connected waits; the receiver gets nothing yet.
    h.window()->loadConfigurationFile();
    QTest::qWait(800);
    QVERIFY(h.received().empty());
    QCOMPARE(h.window()->label->text(), QStringLiteral("USB remote control not connected"));
    QVERIFY(!showsUpdated(h));
    // Plugged in again, it gets the whole pass.
    h.plug();
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kConnectTimeoutMs + kPassTimeoutMs);
    QCOMPARE(h.received(), AppHarness::expectedReports(h.configPath("long"), 1));
    QTRY_VERIFY(showsUpdated(h));
}

void TestFaultMatrix::unplugDuringAPass_data()
{
    QTest::addColumn<int>("k");
    QTest::newRow("after the opening report") << 1;
    QTest::newRow("inside the configuration block") << 5;
    QTest::newRow("after the configuration block") << 18;
    QTest::newRow("inside a name block") << 40;
    QTest::newRow("before the closing report") << 90;
}

void TestFaultMatrix::unplugDuringAPass()
{
    QFETCH(int, k);
    AppHarness h({{"long", kLong}});
    h.plug();
    waitConnected(h);
    const Reports expected = AppHarness::expectedReports(h.configPath("long"), 1);
    QCOMPARE(expected.size(), std::size_t(91));
    h.hid->unplugAfterWrites(AppHarness::kPath, k);
    h.window()->programmConfigurationBlock();
    waitAttempts(h, int(expected.size())); // the pass runs on to its end
    QCOMPARE(h.received(), head(expected, std::size_t(k)));
    QCOMPARE(h.updated->count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(h.window()->label->text(),
                              QStringLiteral("USB remote control not connected"),
                              kConnectTimeoutMs);
    QVERIFY(!showsUpdated(h));
    QVERIFY(!h.window()->pushButton->isEnabled());
    QCOMPARE(h.hid->openHandleCount(), 0);
}

void TestFaultMatrix::unplugAfterAPass()
{
    AppHarness h({{"short", kShort}});
    passOnce(h);
    if (QTest::currentTestFailed())
        return;
    h.hid->unplug(AppHarness::kPath);
    QTRY_COMPARE_WITH_TIMEOUT(h.disconnected->count(), 1, kConnectTimeoutMs);
    QTRY_COMPARE(h.window()->label2->text(), QString());
    QCOMPARE(h.window()->label->text(), QStringLiteral("USB remote control not connected"));
    QCOMPARE(h.received(), AppHarness::expectedReports(h.configPath("short"), 1));
}

void TestFaultMatrix::oneWriteFailsInTheMiddle()
{
    AppHarness h({{"long", kLong}});
    h.plug();
    waitConnected(h);
    const Reports expected = AppHarness::expectedReports(h.configPath("long"), 1);
    h.hid->failWriteNumber(AppHarness::kPath, 30);
    h.window()->programmConfigurationBlock();
    waitAttempts(h, int(expected.size()));
    // Every report but the failed one arrived; no success is shown, the receiver stays connected.
    Reports withoutFailed = expected;
    withoutFailed.erase(withoutFailed.begin() + 29);
    QCOMPARE(h.received(), withoutFailed);
    QCOMPARE(h.updated->count(), 0);
    QVERIFY(!showsUpdated(h));
    QVERIFY(h.window()->pushButton->isEnabled());
    QVERIFY(h.window()->label->text().endsWith(QLatin1String(" connected")));
    QTRY_COMPARE(h.failed->count(), 1);
    QTRY_COMPARE(h.window()->label2->text(),
                 QStringLiteral("update failed: 90 of 91 reports written"));
    QCOMPARE(h.window()->label2->styleSheet(), QStringLiteral("QLabel { color: red}"));
    // The request was used up; a new one sends the whole pass again and succeeds.
    h.window()->programmConfigurationBlock();
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kPassTimeoutMs);
    QCOMPARE(h.received(),
             concat(withoutFailed, AppHarness::expectedReports(h.configPath("long"), 1)));
}

void TestFaultMatrix::failuresAtTheMatchingCandidate_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("count"); // failing calls (-1: until cleared)
    QTest::addColumn<bool>("connects"); // connects while the fault lasts
    QTest::addColumn<QString>("label"); // what label shows then
    QTest::newRow("open once") << int(Fault::Open) << 1 << true << "Sim Receiver connected";
    QTest::newRow("attributes once")
            << int(Fault::Attributes) << 1 << true << "Sim Receiver connected";
    QTest::newRow("report length once")
            << int(Fault::ReportLength) << 1 << true << "Sim Receiver connected";
    QTest::newRow("product string") << int(Fault::ProductString) << -1 << true << " connected";
    QTest::newRow("open always") << int(Fault::Open) << -1 << false
                                 << "USB remote control not connected";
    QTest::newRow("report length always")
            << int(Fault::ReportLength) << -1 << false << "USB remote control not connected";
}

void TestFaultMatrix::failuresAtTheMatchingCandidate()
{
    QFETCH(int, fault);
    QFETCH(int, count);
    QFETCH(bool, connects);
    QFETCH(QString, label);
    AppHarness h({{"short", kShort}});
    h.hid->setFault(AppHarness::kPath, Fault(fault), count);
    h.plug();
    if (connects) {
        waitConnected(h);
    } else {
        QTest::qWait(4500); // the start pause and a few polls
        QCOMPARE(h.connected->count(), 0);
    }
    QCOMPARE(h.window()->label->text(), label);
    QCOMPARE(h.hid->openHandleCount(), connects ? 2 : 0);
    if (!connects) {
        // Once the fault is gone, the next poll connects.
        h.hid->clearFaults();
        waitConnected(h);
    }
    h.window()->programmConfigurationBlock();
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kPassTimeoutMs);
    QCOMPARE(h.received(), AppHarness::expectedReports(h.configPath("short"), 1));
    QCOMPARE(h.disconnected->count(), 0);
}

void TestFaultMatrix::accessDeniedThenGranted()
{
    AppHarness h;
    h.hid->setFault(AppHarness::kPath, Fault::AccessDenied);
    h.plug();
    QTRY_COMPARE_WITH_TIMEOUT(h.window()->label->text(), MainWindow::kAccessDenied,
                              kConnectTimeoutMs);
    QCOMPARE(h.window()->label->styleSheet(), QStringLiteral("QLabel { color: red}"));
    QVERIFY(!h.window()->pushButton->isEnabled());
    QCOMPARE(h.connected->count(), 0);
    // Unplugged: back to "not connected".
    h.hid->unplug(AppHarness::kPath);
    QTRY_COMPARE_WITH_TIMEOUT(h.window()->label->text(),
                              QStringLiteral("USB remote control not connected"),
                              kConnectTimeoutMs);
    // Plugged in again with access: connected as usual.
    h.hid->clearFaults();
    h.plug();
    waitConnected(h);
    QCOMPARE(h.window()->label->text(), QStringLiteral("Sim Receiver connected"));
}

void TestFaultMatrix::vanishesBetweenSearchAndOpen()
{
    AppHarness h;
    // The first poll's search finds the receiver; it is gone when the open pass comes.
    h.hid->unplugAtOpen(AppHarness::kPath, 2);
    h.plug();
    QTRY_VERIFY_WITH_TIMEOUT(!h.hid->isPlugged(AppHarness::kPath), kConnectTimeoutMs);
    QTest::qWait(1500);
    QCOMPARE(h.connected->count(), 0);
    QCOMPARE(h.disconnected->count(), 0);
    QCOMPARE(h.hid->openHandleCount(), 0);
    QCOMPARE(h.window()->label->text(), QStringLiteral("USB remote control not connected"));
    h.plug(u"Back again");
    waitConnected(h);
    QCOMPARE(h.window()->label->text(), QStringLiteral("Back again connected"));
}

void TestFaultMatrix::secondReceiverGetsNothing()
{
    AppHarness h({{"short", kShort}});
    h.plug();
    waitConnected(h);
    h.plug(u"Second", 9, "sim:second");
    QTest::qWait(1500);
    h.window()->programmConfigurationBlock();
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kPassTimeoutMs);
    QCOMPARE(h.received(), AppHarness::expectedReports(h.configPath("short"), 1));
    QVERIFY(h.received("sim:second").empty());
    QCOMPARE(h.connected->count(), 1);
}

void TestFaultMatrix::replugAnotherReceiver()
{
    AppHarness h({{"long", kLong}, {"short", kShort}});
    h.plug(u"First", 9);
    waitConnected(h);
    h.select(QStringLiteral("long"));
    h.hid->unplugAfterWrites(AppHarness::kPath, 50);
    h.window()->programmConfigurationBlock();
    QTRY_COMPARE_WITH_TIMEOUT(h.disconnected->count(), 1, kConnectTimeoutMs);
    // Another receiver, with 16-byte reports, at the same place: it gets nothing of the
    // unfinished pass, and its own pass is made for its report length.
    h.plug(u"Wide receiver", 17);
    waitConnected(h, 2);
    QCOMPARE(h.window()->label->text(), QStringLiteral("Wide receiver connected"));
    QTest::qWait(600);
    const Reports long8 = AppHarness::expectedReports(h.configPath("long"), 1);
    const std::size_t firstPart = 50;
    QCOMPARE(h.received(), head(long8, firstPart));
    QCOMPARE(h.updated->count(), 0);

    h.select(QStringLiteral("short"));
    h.window()->programmConfigurationBlock();
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kPassTimeoutMs);
    // The expected bytes: the long pass (R = 8) then the short one (R = 16) over one buffer.
    ConfigurationRecord longRecord, shortRecord;
    QCOMPARE(loadConfiguration(h.configPath("long"), longRecord), LoadStatus::Loaded);
    QCOMPARE(loadConfiguration(h.configPath("short"), shortRecord), LoadStatus::Loaded);
    std::vector<std::uint8_t> buffer(9, 0);
    collectPassSteps(longRecord, 8, buffer);
    Reports wide;
    for (const PassStep &s : collectPassSteps(shortRecord, 16, buffer))
        if (s.kind == PassStep::Kind::Write)
            wide.push_back(s.bytes);
    const Reports received = h.received();
    QCOMPARE(Reports(received.begin() + std::ptrdiff_t(firstPart), received.end()), wide);
    QCOMPARE(received.back().size(), std::size_t(17));
}

void TestFaultMatrix::swapWithinOnePoll_data()
{
    QTest::addColumn<QString>("swap");
    QTest::addColumn<std::string>("newPath");
    QTest::newRow("the same path replugged between two polls") << "replug" << std::string(kA);
    QTest::newRow("B plugged, then A pulled") << "plug, then pull" << std::string("sim:b");
    QTest::newRow("A pulled and B plugged within one poll") << "swap" << std::string("sim:b");
}

// With "automatic programm" ticked, receiver A is programmed; then it is swapped for B faster
// than the monitor polls. The link must not stay on A's dead handles: the window is told of
// A's going and of B's coming, B gets a pass of its own, and "updated OK!!! :)" shows for B
// only once that pass has ended.
void TestFaultMatrix::swapWithinOnePoll()
{
    QFETCH(QString, swap);
    QFETCH(std::string, newPath);
    AppHarness h({{"short", kShort}});
    h.window()->checkBox->setChecked(true);
    WindowLog log(h);
    h.plug(u"Receiver A", 9, kA);
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kConnectTimeoutMs + kPassTimeoutMs);
    QTRY_VERIFY(showsUpdated(h));
    QCOMPARE(log.order(), QByteArray("13"));
    const Reports passes = AppHarness::expectedReports(h.configPath("short"), 2);
    const auto half = passes.begin() + std::ptrdiff_t(passes.size() / 2);
    const Reports firstPass(passes.begin(), half), secondPass(half, passes.end());
    QCOMPARE(h.received(kA), firstPass);
    h.hid->clearReports();

    const rcprog::SimulatedHid::Interface b = simulatedReceiver(newPath, u"Receiver B");
    if (swap == QLatin1String("replug")) {
        h.hid->plug(b); // replaces A at its path: A's handles now refer to a device that is gone
    } else if (swap == QLatin1String("plug, then pull")) {
        h.hid->plug(b);
        QTest::qWait(1500); // a poll sees both: B is a second receiver, ignored
        QCOMPARE(log.order(), QByteArray("13"));
        h.hid->unplug(kA);
    } else {
        h.hid->swap(kA, b);
    }

    QVERIFY(QTest::qWaitFor([&] { return log.entries.size() >= 4; }, kConnectTimeoutMs));
    // From B's connect on, no success shows until B's own pass has ended.
    QElapsedTimer waited;
    waited.start();
    while (h.updated->count() < 2 && waited.elapsed() < kPassTimeoutMs) {
        QVERIFY2(!showsUpdated(h), "success shown for B before its pass ended");
        QTest::qWait(10);
    }
    QCOMPARE(h.updated->count(), 2);
    QTest::qWait(1500); // room for a wrong signal to arrive
    QCOMPARE(log.order(), QByteArray("13213"));
    QCOMPARE(log.entries[2].label, QStringLiteral("USB remote control not connected"));
    QVERIFY(!log.entries[2].showsUpdated);
    QCOMPARE(log.entries[3].label, QStringLiteral("Receiver B connected"));
    QVERIFY(!log.entries[3].showsUpdated);
    QVERIFY(log.entries[4].showsUpdated);
    QCOMPARE(h.received(newPath), secondPass);
    if (newPath != kA)
        QVERIFY(h.received(kA).empty());
    QCOMPARE(h.hid->openHandleCount(), 2);
}

void TestFaultMatrix::rapidButtonPresses()
{
    AppHarness h({{"long", kLong}});
    h.plug();
    waitConnected(h);
    // Five presses before the first check: one request, one pass.
    for (int i = 0; i < 5; ++i)
        QTest::mouseClick(h.window()->pushButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!h.received().empty(), kPassTimeoutMs);
    // Three presses during that pass: one more pass after it.
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(h.window()->pushButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 2, 2 * kPassTimeoutMs);
    QTest::qWait(1000);
    QCOMPARE(h.updated->count(), 2);
    QCOMPARE(h.received(), AppHarness::expectedReports(h.configPath("long"), 2));
}

void TestFaultMatrix::closeWhileAWriteHangs_data()
{
    QTest::addColumn<bool>("monitorWaits");
    QTest::newRow("the programming thread is stuck") << false;
    // The receiver stops being found as well: the monitor closes the link, which waits for the
    // hanging write, so both threads are stuck.
    QTest::newRow("the monitor waits for the write, too") << true;
}

void TestFaultMatrix::closeWhileAWriteHangs()
{
    QFETCH(bool, monitorWaits);
    QElapsedTimer timer;
    {
        AppHarness h({{"long", kLong}});
        h.plug();
        waitConnected(h);
        h.hid->setWritesHang(true);
        h.window()->programmConfigurationBlock();
        QTRY_COMPARE_WITH_TIMEOUT(h.hid->hangingWrites(), 1, kPassTimeoutMs);
        QVERIFY(!showsUpdated(h));
        if (monitorWaits) {
            const int opens = h.hid->openAttempts();
            h.hid->setFault(AppHarness::kPath, Fault::Open);
            // The monitor's next search finds nothing; then it waits in the close.
            QTRY_VERIFY_WITH_TIMEOUT(h.hid->openAttempts() > opens, kConnectTimeoutMs);
            QTest::qWait(200);
            QCOMPARE(h.disconnected->count(), 0);
        }
        h.window()->close();
        timer.start();
    }
    // The stuck threads are given 2 s together, then terminated.
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
}

void TestFaultMatrix::failedLoadKeepsItsErrorOverAnOlderPass_data()
{
    QTest::addColumn<bool>("passRuns"); // the load fails while the older pass runs (or waits)
    QTest::newRow("while the older request waits") << false;
    QTest::newRow("while the older pass runs") << true;
}

void TestFaultMatrix::failedLoadKeepsItsErrorOverAnOlderPass()
{
    QFETCH(bool, passRuns);
    AppHarness h({{"long", kLong}, {"missing", kShort}});
    QVERIFY(QFile::remove(h.configPath(QStringLiteral("missing"))));
    const QString error = QStringLiteral("configuration file not found: configfiles/missing.ini");
    h.select(QStringLiteral("long"));
    if (passRuns) {
        h.plug();
        waitConnected(h);
        h.window()->programmConfigurationBlock();
        QTRY_VERIFY_WITH_TIMEOUT(!h.received().empty(), kPassTimeoutMs);
    } else {
        h.window()->loadConfigurationFile(); // waits: nothing is connected
    }
    h.select(QStringLiteral("missing"));
    h.window()->loadConfigurationFile();
    QCOMPARE(h.window()->label2->text(), error);
    if (!passRuns)
        h.plug();
    // The older pass runs to its success, which does not replace the error.
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kConnectTimeoutMs + kPassTimeoutMs);
    QCOMPARE(h.received(), AppHarness::expectedReports(h.configPath("long"), 1));
    QTest::qWait(300);
    QCOMPARE(h.window()->label2->text(), error);
    QCOMPARE(h.window()->label2->styleSheet(), QStringLiteral("QLabel { color: red}"));

    // A newer load that succeeds clears the error; its own pass shows its success.
    h.select(QStringLiteral("long"));
    h.window()->programmConfigurationBlock();
    QCOMPARE(h.window()->label2->text(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 2, kPassTimeoutMs);
    QTRY_VERIFY(showsUpdated(h));
    QCOMPARE(h.window()->label2->styleSheet(), QString());
}

void TestFaultMatrix::newerLoadOutranksAnOlderPass()
{
    const QByteArray other = "[Settings]\nfrequencyTrim=55\nquantityOfRemoteControls=8\n";
    AppHarness h({{"long", kLong}, {"other", other}});
    WindowLog log(h);
    h.select(QStringLiteral("long"));
    h.plug();
    waitConnected(h);
    h.window()->programmConfigurationBlock();
    QTRY_VERIFY_WITH_TIMEOUT(!h.received().empty(), kPassTimeoutMs);
    // Another file is loaded while the older pass runs: its request waits for that pass.
    h.select(QStringLiteral("other"));
    h.window()->programmConfigurationBlock();
    QCOMPARE(h.window()->label2->text(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 2, 2 * kPassTimeoutMs);
    // The older pass's success was not shown for the newer file; the newer pass's was.
    QCOMPARE(log.order(), QByteArray("133"));
    QVERIFY(!log.entries[1].showsUpdated);
    QVERIFY(log.entries[2].showsUpdated);
    QVERIFY(showsUpdated(h));
    QCOMPARE(
            h.received().size(),
            AppHarness::expectedReports(h.configPath(QStringLiteral("long")), 1).size()
                    + AppHarness::expectedReports(h.configPath(QStringLiteral("other")), 1).size());
}

void TestFaultMatrix::failedPassAfterASuccessfulOne()
{
    AppHarness h({{"short", kShort}});
    passOnce(h);
    if (QTest::currentTestFailed())
        return;

    // The next pass has a write refused: the success of the one before does not stay.
    h.hid->failWriteNumber(AppHarness::kPath, 5);
    h.window()->programmConfigurationBlock();
    QCOMPARE(h.window()->label2->text(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(h.failed->count(), 1, kPassTimeoutMs);
    QTRY_COMPARE(h.window()->label2->text(),
                 QStringLiteral("update failed: 18 of 19 reports written"));
    QCOMPARE(h.window()->label2->styleSheet(), QStringLiteral("QLabel { color: red}"));
    QCOMPARE(h.updated->count(), 1);

    // The receiver pulled during a pass: the writes after it fail, and so does the pass.
    h.hid->unplugAfterWrites(AppHarness::kPath, 3);
    h.window()->programmConfigurationBlock();
    QTRY_COMPARE_WITH_TIMEOUT(h.failed->count(), 2, kPassTimeoutMs);
    QCOMPARE(h.updated->count(), 1);
    QVERIFY(!showsUpdated(h));
}

void TestFaultMatrix::configurationThatCannotBeSent()
{
    // A flash block of 2^31 - 1 bytes: refused in the window, nothing requested or sent.
    AppHarness h({{"huge", "[Settings]\nquantityOfBytesInFlashBlock=2147483647\n"
                           "quantityOfRemoteControls=1\n[rcSettings]\nrc01maxSize=1\n"
                           "rc01flashData=00010203\n"}});
    h.plug();
    waitConnected(h);
    h.window()->programmConfigurationBlock();
    QCOMPARE(h.window()->label2->text(),
             QStringLiteral("configuration cannot be sent: quantityOfBytesInFlashBlock=2147483647: "
                            "a flash block of more than 255 bytes cannot be sent"));
    QCOMPARE(h.window()->label2->styleSheet(), QStringLiteral("QLabel { color: red}"));
    QVERIFY(!h.app->recordHandOver().programmingRequested());
    QTest::qWait(800);
    QCOMPARE(h.hid->writeAttempts(), 0);
    QCOMPARE(h.updated->count() + h.failed->count(), 0);
}

int main(int argc, char *argv[])
{
    TestFaultMatrix test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_faultmatrix.moc"
