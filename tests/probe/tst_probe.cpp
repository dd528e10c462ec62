// The probe core over the simulated receiver: the output lines of both probes exactly as their
// judges (scripts/test-windows, the kernel test) read them, what the recording wrapper sees of
// a pass, the report writes, the handle check and the argument parsers.

#include "HandleCount.h"
#include "ProbeArguments.h"
#include "ProbeOutput.h"
#include "ProbeRun.h"
#include "RecordingPlatform.h"
#include "SimulatedHid.h"

#include <QtTest>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>
#endif

using rcprog::HidHandle;
using rcprog::SimulatedHid;
using namespace rcprog::probe;

namespace {

using Setup = std::function<void(SimulatedHid &)>;
using Bytes = std::vector<std::uint8_t>;

SimulatedHid::Interface interface(const std::string &path, std::uint16_t vendor,
                                  std::uint16_t product, const std::u16string &name, int length = 9)
{
    SimulatedHid::Interface i;
    i.path = path;
    i.vendorId = vendor;
    i.productId = product;
    i.productString = name;
    i.inputReportLength = length;
    return i;
}

SimulatedHid::Interface receiver(const std::string &path, const std::u16string &name,
                                 int length = 9)
{
    return interface(path, 0x04B4, 0xF231, name, length);
}

// Passes everything through but never closes the handles of one path: a leak for the handle
// check to find.
class LeakingPlatform : public SimulatedHid
{
public:
    explicit LeakingPlatform(std::string leaky) : leaky_(std::move(leaky)) { }
    HidHandle open(const std::string &path, rcprog::OpenError *error = nullptr) override
    {
        const HidHandle handle = SimulatedHid::open(path, error);
        if (path == leaky_ && handle != rcprog::kNullHandle)
            leaked_.insert(handle);
        return handle;
    }
    void close(HidHandle handle) override
    {
        if (!leaked_.count(handle))
            SimulatedHid::close(handle);
    }

private:
    std::string leaky_;
    std::set<HidHandle> leaked_;
};

struct Captured
{
    QStringList lines;
    int exitStatus = 0;
};

LineSink into(QStringList &lines)
{
    return [&lines](const std::string &line) { lines << QString::fromStdString(line); };
}

// A process with 3 descriptors besides those on the simulated interfaces.
HandleCounter linuxCounts(SimulatedHid &hid)
{
    return [&hid] {
        HandleCount count;
        count.process = 3ul + unsigned(hid.openHandleCount());
        return count;
    };
}

// As under Wine: GetProcessHandleCount answers 0; the handle table counts 40 besides the
// interfaces' handles.
HandleCounter wineCounts(SimulatedHid &hid)
{
    return [&hid] {
        HandleCount count;
        count.process = 0;
        count.table = 40ul + unsigned(hid.openHandleCount());
        return count;
    };
}

Captured runHidraw(SimulatedHid &hid, const ProbePlan &plan)
{
    Captured captured;
    HidrawProbeOutput output(plan, into(captured.lines), linuxCounts(hid));
    runProbe(hid, plan, output);
    return captured;
}

Captured runHidprobe(SimulatedHid &hid, const ProbePlan &plan, const HandleCounter &counter)
{
    Captured captured;
    HidprobeOutput output(plan, into(captured.lines), counter);
    runProbe(hid, plan, output);
    captured.exitStatus = output.exitStatus();
    // How long a write took is the one thing a run does not fix.
    captured.lines.replaceInStrings(QRegularExpression(QStringLiteral(" after \\d+ ms$")),
                                    QStringLiteral(" after N ms"));
    return captured;
}

// The plan of rcprog-hidraw-probe, without its pauses.
ProbePlan hidrawPlan(int writes)
{
    ProbePlan plan = HidrawProbeOutput::plan(writes);
    plan.pauseAfterWrite = std::chrono::milliseconds(0);
    return plan;
}

// The plan of rcprog-hidprobe: --open, --write HEX, or neither.
ProbePlan hidprobePlan(bool connect, const std::optional<Bytes> &report = std::nullopt)
{
    ProbePlan plan;
    plan.connect = connect || report;
    plan.search = !plan.connect;
    if (report) {
        plan.report = *report;
        plan.writes = 1;
    }
    return plan;
}

QStringList hexReports(const std::vector<SimulatedHid::Report> &reports)
{
    QStringList out;
    for (const SimulatedHid::Report &report : reports)
        out << QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(report.bytes.data()),
                                              int(report.bytes.size()))
                                           .toHex(' '));
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(ProbePlan)
Q_DECLARE_METATYPE(std::optional<unsigned long>)

class TestProbe : public QObject
{
    Q_OBJECT

private slots:
    void hidrawLines_data();
    void hidrawLines();
    void hidprobeLines_data();
    void hidprobeLines();
    void leftOpenHandleFailsTheCheck();
    void recorderSeesThePassUpToItsMatch();
    void recorderLeavesThePassAsItIs();
    void handlesBalanced_data();
    void handlesBalanced();
    void quoting_data();
    void quoting();
    void idPairs_data();
    void idPairs();
    void hexBytes_data();
    void hexBytes();
    void ids_data();
    void ids();
    void linuxCountsDescriptors();
};

void TestProbe::hidrawLines_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<int>("writes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("received"); // by /dev/hidraw1, the receiver

    QTest::newRow("receiver, one write")
            << Setup([](SimulatedHid &hid) {
                   hid.plug(receiver("/dev/hidraw1", u"Virtual receiver A"));
               })
            << 1
            << QStringList{
                       "interface path=/dev/hidraw1 vendor=04B4 product=F231 inputReportLength=9 "
                       "name=\"Virtual receiver A\" matched=yes",
                       "fds before=3",
                       "search matched=yes accessDenied=no",
                       "fds afterSearch=3",
                       "open matched=yes reportDataLength=8 name=\"Virtual receiver A\" "
                       "infoHandle=yes writeHandle=yes",
                       "fds whileOpen=5",
                       "write n=1 ok=yes",
                       "fds afterClose=3",
               }
            << QStringList{"00 03 01 00 00 00 00 00 00"};

    QTest::newRow("another product first, no write")
            << Setup([](SimulatedHid &hid) {
                   hid.plug(interface("/dev/hidraw0", 0x04B4, 0xF232, u"Other product"));
                   hid.plug(receiver("/dev/hidraw1", u"Virtual receiver B"));
               })
            << 0
            << QStringList{
                       "interface path=/dev/hidraw0 vendor=04B4 product=F232 inputReportLength=9 "
                       "name=\"Other product\" matched=no",
                       "interface path=/dev/hidraw1 vendor=04B4 product=F231 inputReportLength=9 "
                       "name=\"Virtual receiver B\" matched=yes",
                       "fds before=3",
                       "search matched=yes accessDenied=no",
                       "fds afterSearch=3",
                       "open matched=yes reportDataLength=8 name=\"Virtual receiver B\" "
                       "infoHandle=yes writeHandle=yes",
                       "fds whileOpen=5",
                       "fds afterClose=3",
               }
            << QStringList{};

    QTest::newRow("16-byte reports")
            << Setup([](SimulatedHid &hid) {
                   hid.plug(receiver("/dev/hidraw1", u"Sixteen", 17));
               })
            << 1
            << QStringList{
                       "interface path=/dev/hidraw1 vendor=04B4 product=F231 inputReportLength=17 "
                       "name=\"Sixteen\" matched=yes",
                       "fds before=3",
                       "search matched=yes accessDenied=no",
                       "fds afterSearch=3",
                       "open matched=yes reportDataLength=16 name=\"Sixteen\" infoHandle=yes "
                       "writeHandle=yes",
                       "fds whileOpen=5",
                       "write n=1 ok=yes",
                       "fds afterClose=3",
               }
            << QStringList{"00 03 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00"};

    // The opening report as a pass sends it to a device with one payload byte: cut, not refused.
    QTest::newRow("one payload byte")
            << Setup([](SimulatedHid &hid) { hid.plug(receiver("/dev/hidraw1", u"Tiny", 2)); })
            << 1
            << QStringList{
                       "interface path=/dev/hidraw1 vendor=04B4 product=F231 inputReportLength=2 "
                       "name=\"Tiny\" matched=yes",
                       "fds before=3",
                       "search matched=yes accessDenied=no",
                       "fds afterSearch=3",
                       "open matched=yes reportDataLength=1 name=\"Tiny\" infoHandle=yes "
                       "writeHandle=yes",
                       "fds whileOpen=5",
                       "write n=1 ok=yes",
                       "fds afterClose=3",
               }
            << QStringList{"00 03"};

    // Reports larger than a fixed buffer would hold are written whole.
    QTest::newRow("100-byte reports")
            << Setup([](SimulatedHid &hid) { hid.plug(receiver("/dev/hidraw1", u"Big", 101)); })
            << 1
            << QStringList{
                       "interface path=/dev/hidraw1 vendor=04B4 product=F231 inputReportLength=101 "
                       "name=\"Big\" matched=yes",
                       "fds before=3",
                       "search matched=yes accessDenied=no",
                       "fds afterSearch=3",
                       "open matched=yes reportDataLength=100 name=\"Big\" infoHandle=yes "
                       "writeHandle=yes",
                       "fds whileOpen=5",
                       "write n=1 ok=yes",
                       "fds afterClose=3",
               }
            << QStringList{"00 03 01" + QString(" 00").repeated(98)};

    QTest::newRow("unplugged after two of six writes")
            << Setup([](SimulatedHid &hid) {
                   hid.plug(receiver("/dev/hidraw1", u"Unplugged"));
                   hid.unplugAfterWrites("/dev/hidraw1", 2);
               })
            << 6
            << QStringList{
                       "interface path=/dev/hidraw1 vendor=04B4 product=F231 inputReportLength=9 "
                       "name=\"Unplugged\" matched=yes",
                       "fds before=3",
                       "search matched=yes accessDenied=no",
                       "fds afterSearch=3",
                       "open matched=yes reportDataLength=8 name=\"Unplugged\" infoHandle=yes "
                       "writeHandle=yes",
                       "fds whileOpen=5",
                       "write n=1 ok=yes",
                       "write n=2 ok=yes",
                       "write n=3 ok=no",
                       "write n=4 ok=no",
                       "write n=5 ok=no",
                       "write n=6 ok=no",
                       "fds afterClose=3",
               }
            << QStringList{"00 03 01 00 00 00 00 00 00", "00 03 01 00 00 00 00 00 00"};

    QTest::newRow("no receiver: nothing written")
            << Setup([](SimulatedHid &hid) {
                   hid.plug(interface("/dev/hidraw0", 0x04B4, 0xF232, u"Other product"));
               })
            << 3
            << QStringList{
                       "interface path=/dev/hidraw0 vendor=04B4 product=F232 inputReportLength=9 "
                       "name=\"Other product\" matched=no",
                       "fds before=3",
                       "search matched=no accessDenied=no",
                       "fds afterSearch=3",
                       "open matched=no reportDataLength=-1 name=\"\" infoHandle=no "
                       "writeHandle=no",
                       "fds whileOpen=3",
                       "fds afterClose=3",
               }
            << QStringList{};

    // Each interface is examined on its own before the passes: a fault there shows in its line
    // and leaves the passes alone.
    QTest::newRow("unreadable at the first look")
            << Setup([](SimulatedHid &hid) {
                   hid.plug(interface("/dev/hidraw0", 0x04B4, 0xF232, u"Other product"));
                   hid.plug(receiver("/dev/hidraw1", u"Receiver"));
                   hid.plug(receiver("/dev/hidraw2", u"Second"));
                   hid.setFault("/dev/hidraw0", SimulatedHid::Fault::Open, 1);
                   hid.setFault("/dev/hidraw1", SimulatedHid::Fault::ReportLength, 1);
                   hid.setFault("/dev/hidraw1", SimulatedHid::Fault::ProductString, 1);
                   hid.setFault("/dev/hidraw2", SimulatedHid::Fault::Attributes, 1);
               })
            << 0
            << QStringList{
                       "interface path=/dev/hidraw0 open=failed",
                       "interface path=/dev/hidraw1 vendor=04B4 product=F231 inputReportLength=-1 "
                       "name=\"\" matched=yes",
                       "interface path=/dev/hidraw2 vendor=0000 product=0000 inputReportLength=9 "
                       "name=\"Second\" matched=no",
                       "fds before=3",
                       "search matched=yes accessDenied=no",
                       "fds afterSearch=3",
                       "open matched=yes reportDataLength=8 name=\"Receiver\" infoHandle=yes "
                       "writeHandle=yes",
                       "fds whileOpen=5",
                       "fds afterClose=3",
               }
            << QStringList{};
}

void TestProbe::hidrawLines()
{
    QFETCH(Setup, setup);
    QFETCH(int, writes);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, received);
    SimulatedHid hid;
    setup(hid);
    const Captured captured = runHidraw(hid, hidrawPlan(writes));
    QCOMPARE(captured.lines, lines);
    QCOMPARE(hexReports(hid.reportsFor("/dev/hidraw1")), received);
    QCOMPARE(hid.openHandleCount(), 0);
}

void TestProbe::hidprobeLines_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<ProbePlan>("plan");
    QTest::addColumn<bool>("wine"); // Wine's counts (GetProcessHandleCount 0), or Windows'
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QStringList>("received"); // by the interface "r"

    const std::string mouse = "\\\\?\\hid#vid_845e&pid_0001#1&2d595ca7&0&0000#{4d1e55b2}";
    const auto wineDevices = [mouse](SimulatedHid &hid) {
        hid.plug(interface(mouse, 0x845E, 0x0001, u"Wine HID mouse", 5));
        hid.plug(interface("kbd", 0x845E, 0x0002, u"Wine HID keyboard"));
    };
    // What a search for the receiver prints over those.
    const QStringList noReceiverUnderWine{
            "interface: open=ok vid=845E pid=0001 input-report-length=5 "
            "product=\"Wine HID mouse\" match=no "
            "path=\"\\\\?\\hid#vid_845e&pid_0001#1&2d595ca7&0&0000#{4d1e55b2}\"",
            "interface: open=ok vid=845E pid=0002 input-report-length=9 "
            "product=\"Wine HID keyboard\" match=no path=\"kbd\"",
            "interfaces examined: 2",
            "result: no match",
    };
    const QStringList wineBalanced{
            "handles after: process-count=0 table-count=40",
            "handle check: ok - GetProcessHandleCount reports 0 here; checked on the system "
            "handle table",
    };

    QTest::newRow("search, nothing found, under Wine")
            << Setup(wineDevices) << hidprobePlan(false) << true
            << QStringList{"search: 04B4:F231 (search pass)",
                           "handles before: process-count=0 table-count=40"}
                       + noReceiverUnderWine + wineBalanced
            << 0 << QStringList{};

    ProbePlan ids = hidprobePlan(true);
    ids.vendorId = 0x845E;
    ids.productId = 0x0001;
    QTest::newRow("connect steps on another ID")
            << Setup(wineDevices) << ids << true
            << QStringList{
                       "search: 845E:0001 (search pass with connect steps)",
                       "handles before: process-count=0 table-count=40",
                       "interface: open=ok vid=845E pid=0001 input-report-length=5 "
                       "product=\"Wine HID mouse\" match=yes "
                       "path=\"\\\\?\\hid#vid_845e&pid_0001#1&2d595ca7&0&0000#{4d1e55b2}\"",
                       "interfaces examined: 1",
                       "result: matched",
                       "opened: report-data-length=4 product=\"Wine HID mouse\"",
                       "handles while open: process-count=0 table-count=42",
               } + wineBalanced
            << 0 << QStringList{};

    const auto theReceiver = [](SimulatedHid &hid) { hid.plug(receiver("r", u"Receiver")); };
    const QStringList connectedToReceiver{
            "search: 04B4:F231 (search pass with connect steps)",
            "handles before: process-count=12 table-count=unreadable",
            "interface: open=ok vid=04B4 pid=F231 input-report-length=9 product=\"Receiver\" "
            "match=yes path=\"r\"",
            "interfaces examined: 1",
            "result: matched",
            "opened: report-data-length=8 product=\"Receiver\"",
            "handles while open: process-count=14 table-count=unreadable",
    };
    QTest::newRow("a write, padded to the report length")
            << Setup(theReceiver) << hidprobePlan(true, Bytes{0x00, 0x03, 0x01}) << false
            << connectedToReceiver
                    + QStringList{
                            "write: 9 bytes ok after N ms",
                            "handles after: process-count=12 table-count=unreadable",
                            "handle check: ok",
                    }
            << 0 << QStringList{"00 03 01 00 00 00 00 00 00"};

    QTest::newRow("a write that fails")
            << Setup([](SimulatedHid &hid) {
                   hid.plug(receiver("r", u"Receiver"));
                   hid.setFault("r", SimulatedHid::Fault::Write);
               })
            << hidprobePlan(true, Bytes{0x00}) << false
            << connectedToReceiver
                    + QStringList{
                            "write: 9 bytes failed after N ms",
                            "handles after: process-count=12 table-count=unreadable",
                            "handle check: ok",
                    }
            << 1 << QStringList{};

    QTest::newRow("a write longer than a report is refused")
            << Setup(theReceiver) << hidprobePlan(true, Bytes(10, 0x11)) << false
            << connectedToReceiver
                    + QStringList{
                            "write: refused, 10 bytes given for reports of 9 bytes",
                            "handles after: process-count=12 table-count=unreadable",
                            "handle check: ok",
                    }
            << 1 << QStringList{};

    QTest::newRow("a write without a receiver")
            << Setup(wineDevices) << hidprobePlan(true, Bytes{0x00, 0x03, 0x01}) << true
            << QStringList{"search: 04B4:F231 (search pass with connect steps)",
                           "handles before: process-count=0 table-count=40"}
                       + noReceiverUnderWine
                       + QStringList{"write: nothing written, no matching device"} + wineBalanced
            << 1 << QStringList{};

    QTest::newRow("a receiver that refuses access, and faults on the way")
            << Setup([](SimulatedHid &hid) {
                   hid.plug(interface("gone", 0x845E, 0x0001, u"Mouse"));
                   hid.plug(interface("mute", 0x845E, 0x0002, u"Keyboard"));
                   hid.plug(receiver("r", u"Receiver"));
                   hid.setFault("gone", SimulatedHid::Fault::Open);
                   hid.setFault("mute", SimulatedHid::Fault::ReportLength);
                   hid.setFault("mute", SimulatedHid::Fault::ProductString);
                   hid.setFault("r", SimulatedHid::Fault::AccessDenied);
               })
            << hidprobePlan(false) << false
            << QStringList{
                       "search: 04B4:F231 (search pass)",
                       "handles before: process-count=12 table-count=unreadable",
                       "interface: open=failed(other) vid=unreadable pid=unreadable match=no "
                       "path=\"gone\"",
                       "interface: open=ok vid=845E pid=0002 input-report-length=unreadable "
                       "product=unreadable match=no path=\"mute\"",
                       "interface: open=failed(access-denied) vid=04B4 pid=F231 match=no "
                       "path=\"r\"",
                       "interfaces examined: 3",
                       "result: no match (a matching interface refused access)",
                       "handles after: process-count=12 table-count=unreadable",
                       "handle check: ok",
               }
            << 0 << QStringList{};

    QTest::newRow("product names are quoted")
            << Setup([](SimulatedHid &hid) {
                   hid.plug(receiver("r", u"say \"hi\" caf\u00E9 \u0141"));
               })
            << hidprobePlan(true) << false
            << QStringList{
                       "search: 04B4:F231 (search pass with connect steps)",
                       "handles before: process-count=12 table-count=unreadable",
                       "interface: open=ok vid=04B4 pid=F231 input-report-length=9 "
                       "product=\"say \\x22hi\\x22 caf\\xE9 A\" match=yes path=\"r\"",
                       "interfaces examined: 1",
                       "result: matched",
                       "opened: report-data-length=8 product=\"say \\x22hi\\x22 caf\\xE9 A\"",
                       "handles while open: process-count=14 table-count=unreadable",
                       "handles after: process-count=12 table-count=unreadable",
                       "handle check: ok",
               }
            << 0 << QStringList{};
}

void TestProbe::hidprobeLines()
{
    QFETCH(Setup, setup);
    QFETCH(ProbePlan, plan);
    QFETCH(bool, wine);
    QFETCH(QStringList, lines);
    QFETCH(int, exitStatus);
    QFETCH(QStringList, received);
    SimulatedHid hid;
    setup(hid);
    const HandleCounter windowsCounts = [&hid] {
        HandleCount count;
        count.process = 12ul + unsigned(hid.openHandleCount());
        return count;
    };
    const Captured captured = runHidprobe(hid, plan, wine ? wineCounts(hid) : windowsCounts);
    QCOMPARE(captured.lines, lines);
    QCOMPARE(captured.exitStatus, exitStatus);
    QCOMPARE(hexReports(hid.reportsFor("r")), received);
    QCOMPARE(hid.openHandleCount(), 0);
}

void TestProbe::leftOpenHandleFailsTheCheck()
{
    // A backend that loses the probe handle of one interface: the pass itself cannot tell, the
    // count can.
    LeakingPlatform hid("kbd");
    hid.plug(interface("kbd", 0x845E, 0x0002, u"Keyboard"));
    const Captured captured = runHidprobe(hid, hidprobePlan(false), wineCounts(hid));
    QCOMPARE(captured.lines.mid(captured.lines.size() - 2),
             QStringList({"handles after: process-count=0 table-count=41",
                          "handle check: FAILED - 1 handles left open (system handle table)"}));
    QCOMPARE(captured.exitStatus, 1);
}

void TestProbe::recorderSeesThePassUpToItsMatch()
{
    SimulatedHid hid;
    hid.plug(interface("other", 0x04B4, 0xF232, u"Other", 5));
    hid.plug(receiver("first", u"First", 9));
    hid.plug(receiver("second", u"Second", 17));
    RecordingPlatform recording(hid);
    rcprog::OpenedDevice device;
    QVERIFY(rcprog::openPass(recording, 0x04B4, 0xF231, device).matched);

    // The pass stops at the first match: the second receiver is never examined, and the
    // connect steps' own handles on the match add no entry.
    const std::vector<InterfaceSeen> &seen = recording.examined();
    QCOMPARE(seen.size(), std::size_t(2));
    QCOMPARE(QString::fromStdString(seen[0].path), QStringLiteral("other"));
    QCOMPARE(seen[0].inputReportLength, 5);
    QCOMPARE(QString::fromStdString(seen[0].productName), QStringLiteral("Other"));
    QVERIFY(!seen[0].matches(0x04B4, 0xF231));
    QCOMPARE(QString::fromStdString(seen[1].path), QStringLiteral("first"));
    QVERIFY(seen[1].matches(0x04B4, 0xF231));
    QVERIFY(seen[1].lengthRead && seen[1].nameRead);
    QCOMPARE(QString::fromStdString(seen[1].productName), QStringLiteral("First"));
    hid.close(device.infoHandle);
    hid.close(device.writeHandle);
}

void TestProbe::recorderLeavesThePassAsItIs()
{
    // The recorder reads through the probe handle as well; the pass must come out as it does on
    // the bare platform, including a fault that the pass itself meets.
    const auto setup = [](SimulatedHid &hid) {
        hid.plug(interface("other", 0x04B4, 0xF232, u"Other"));
        hid.plug(receiver("r", u"Receiver", 17));
        hid.setFault("r", SimulatedHid::Fault::ProductString, 1);
    };
    SimulatedHid bare;
    setup(bare);
    rcprog::OpenedDevice expected;
    const rcprog::SearchResult bareResult = rcprog::openPass(bare, 0x04B4, 0xF231, expected);

    SimulatedHid hid;
    setup(hid);
    RecordingPlatform recording(hid);
    rcprog::OpenedDevice device;
    const rcprog::SearchResult result = rcprog::openPass(recording, 0x04B4, 0xF231, device);
    QCOMPARE(result.matched, bareResult.matched);
    QCOMPARE(device.reportDataLength, expected.reportDataLength);
    QCOMPARE(QString::fromStdString(device.productName),
             QString::fromStdString(expected.productName));
    QCOMPARE(hid.openHandleCount(), bare.openHandleCount());
}

void TestProbe::handlesBalanced_data()
{
    using Count = std::optional<unsigned long>;
    QTest::addColumn<Count>("processBefore");
    QTest::addColumn<Count>("tableBefore");
    QTest::addColumn<Count>("processAfter");
    QTest::addColumn<Count>("tableAfter");
    QTest::addColumn<bool>("balanced");
    QTest::addColumn<QString>("detail");

    const Count none;
    QTest::newRow("both counts equal")
            << Count(20) << Count(30) << Count(20) << Count(30) << true << QString();
    QTest::newRow("fewer after") << Count(20) << Count(30) << Count(19) << Count(29) << true
                                 << QString();
    QTest::newRow("process count grew")
            << Count(20) << Count(30) << Count(22) << Count(30) << false
            << QStringLiteral("2 handles left open (GetProcessHandleCount)");
    QTest::newRow("table count grew")
            << Count(20) << Count(30) << Count(20) << Count(31) << false
            << QStringLiteral("1 handles left open (system handle table)");
    QTest::newRow("process count only")
            << Count(20) << none << Count(20) << none << true << QString();
    QTest::newRow("process count 0: the table decides")
            << Count(0) << Count(30) << Count(0) << Count(30) << true
            << QStringLiteral(
                       "GetProcessHandleCount reports 0 here; checked on the system handle table");
    QTest::newRow("process count 0: the table finds a leak")
            << Count(0) << Count(30) << Count(0) << Count(32) << false
            << QStringLiteral("2 handles left open (system handle table)");
    QTest::newRow("process count 0, no table") << Count(0) << none << Count(0) << none << false
                                               << QStringLiteral("no usable handle count");
    QTest::newRow("nothing read") << none << none << none << none << false
                                  << QStringLiteral("no usable handle count");
    QTest::newRow("table unread afterwards: process count decides")
            << Count(20) << Count(30) << Count(21) << none << false
            << QStringLiteral("1 handles left open (GetProcessHandleCount)");
}

void TestProbe::handlesBalanced()
{
    using Count = std::optional<unsigned long>;
    QFETCH(Count, processBefore);
    QFETCH(Count, tableBefore);
    QFETCH(Count, processAfter);
    QFETCH(Count, tableAfter);
    QFETCH(bool, balanced);
    QFETCH(QString, detail);
    std::string why;
    QCOMPARE(rcprog::probe::handlesBalanced({processBefore, tableBefore},
                                            {processAfter, tableAfter}, why),
             balanced);
    QCOMPARE(QString::fromStdString(why), detail);
}

void TestProbe::quoting_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("quotedText");
    QTest::newRow("printable ASCII") << QByteArray("USB Receiver 1.0") << "\"USB Receiver 1.0\"";
    QTest::newRow("empty") << QByteArray() << "\"\"";
    QTest::newRow("quote and backslash") << QByteArray("a\"b\\c") << "\"a\\x22b\\c\"";
    QTest::newRow("control, DEL and high bytes")
            << QByteArray("\t\x7F\x80\xFF", 4) << "\"\\x09\\x7F\\x80\\xFF\"";
    QTest::newRow("NUL inside") << QByteArray("a\0b", 3) << "\"a\\x00b\"";
}

void TestProbe::quoting()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, quotedText);
    QCOMPARE(QString::fromStdString(quoted(text.toStdString())), quotedText);
}

void TestProbe::idPairs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("vendor");
    QTest::addColumn<int>("product");
    QTest::newRow("upper case") << "845E:0001" << true << 0x845E << 0x0001;
    QTest::newRow("lower case, short") << "4b4:f231" << true << 0x04B4 << 0xF231;
    QTest::newRow("largest") << "FFFF:FFFF" << true << 0xFFFF << 0xFFFF;
    QTest::newRow("vendor too large") << "10000:0001" << false << 0 << 0;
    QTest::newRow("product too large") << "0001:10000" << false << 0 << 0;
    QTest::newRow("no product") << "845E" << false << 0 << 0;
    QTest::newRow("trailing text") << "845E:0001x" << false << 0 << 0;
    QTest::newRow("not hexadecimal") << "zz:01" << false << 0 << 0;
}

void TestProbe::idPairs()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, vendor);
    QFETCH(int, product);
    int vendorId = 0, productId = 0;
    QCOMPARE(parseIdPair(text.toStdString(), vendorId, productId), ok);
    if (ok) {
        QCOMPARE(vendorId, vendor);
        QCOMPARE(productId, product);
    }
}

void TestProbe::hexBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("one byte") << "00" << true << QByteArray(1, '\0');
    QTest::newRow("mixed case") << "0003a5FF" << true << QByteArray::fromHex("0003A5FF");
    QTest::newRow("empty") << "" << false << QByteArray();
    QTest::newRow("odd length") << "000" << false << QByteArray();
    QTest::newRow("not hexadecimal") << "00g1" << false << QByteArray();
    QTest::newRow("sign inside a pair") << "+1" << false << QByteArray();
    QTest::newRow("space inside a pair") << " 1" << false << QByteArray();
}

void TestProbe::hexBytes()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QByteArray, bytes);
    Bytes parsed;
    QCOMPARE(parseHexBytes(text.toStdString(), parsed), ok);
    if (ok)
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(parsed.data()), int(parsed.size())),
                 bytes);
}

void TestProbe::ids_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("id");
    QTest::newRow("hexadecimal") << "0xF232" << true << 0xF232;
    QTest::newRow("decimal") << "1204" << true << 1204;
    QTest::newRow("octal") << "010" << true << 8;
    QTest::newRow("zero") << "0" << true << 0;
    QTest::newRow("largest") << "0xFFFF" << true << 0xFFFF;
    QTest::newRow("too large") << "0x10000" << false << 0;
    QTest::newRow("negative") << "-1" << false << 0;
    QTest::newRow("trailing text") << "12ab" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
}

void TestProbe::ids()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, id);
    int parsed = -1;
    const std::string bytes = text.toStdString();
    QCOMPARE(parseId(bytes.c_str(), parsed), ok);
    if (ok)
        QCOMPARE(parsed, id);
    QVERIFY(!parseId(nullptr, parsed)); // an option without its value
}

void TestProbe::linuxCountsDescriptors()
{
#ifndef __linux__
    QSKIP("counts /proc/self/fd");
#else
    const HandleCount before = countHandles();
    QVERIFY(before.process.has_value());
    QVERIFY(!before.table.has_value());
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    const HandleCount during = countHandles();
    ::close(fd);
    const HandleCount after = countHandles();
    QCOMPARE(during.process.value_or(0), before.process.value_or(0) + 1);
    QCOMPARE(after.process.value_or(0), before.process.value_or(0));
#endif
}

QTEST_GUILESS_MAIN(TestProbe)
#include "tst_probe.moc"
