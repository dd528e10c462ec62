#include "CountingPlatform.h"
#include "DeviceSearch.h"
#include "InterfaceSurvey.h"
#include "SimulatedHid.h"

#include <QtTest>

using rcprog::OpenedDevice;
using rcprog::SimulatedHid;

namespace {

constexpr int kVendor = 0x04B4;
constexpr int kProduct = 0xF231;

SimulatedHid::Interface receiver(const std::string &path, const std::u16string &name = u"Receiver",
                                 int length = 9)
{
    SimulatedHid::Interface i;
    i.path = path;
    i.productString = name;
    i.inputReportLength = length;
    return i;
}

SimulatedHid::Interface other(const std::string &path, std::uint16_t vendor, std::uint16_t product)
{
    SimulatedHid::Interface i = receiver(path, u"Other");
    i.vendorId = vendor;
    i.productId = product;
    return i;
}

} // namespace

class TestDeviceSearch : public QObject
{
    Q_OBJECT

private slots:
    void productNameRule_data();
    void productNameRule();
    void firstMatchWins();
    void otherDevicesAreNeverConnected();
    void reportLength_data();
    void reportLength();
    void failuresAtTheMatch_data();
    void failuresAtTheMatch();
    void failuresAtOtherCandidates();
    void vanishedBetweenSearchAndOpen();
    void accessDeniedIsToldApart();
    void systemDevicesAreSkipped_data();
    void systemDevicesAreSkipped();
    void peekingLeavesOtherDevicesAlone_data();
    void peekingLeavesOtherDevicesAlone();
    void surveyOfAllInterfaces();
    void openAllOpensEveryMatchInOrder();
    void openAllLeavesOutWhatCannotBeOpened();
};

void TestDeviceSearch::productNameRule_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QStringLiteral("USB Receiver") << QStringLiteral("USB Receiver");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("U+0141 gives its low byte A")
            << QStringLiteral("x\u0141y") << QStringLiteral("xAy");
    QTest::newRow("U+0100 ends the name") << QStringLiteral("ab\u0100cd") << QStringLiteral("ab");
    QTest::newRow("Latin-1 kept") << QStringLiteral("caf\u00E9") << QStringLiteral("caf\u00E9");
    QTest::newRow("50 units, nothing more") << QString(60, u'x') << QString(50, u'x');
    QTest::newRow("exactly 50 units") << QString(50, u'y') << QString(50, u'y');
}

void TestDeviceSearch::productNameRule()
{
    QFETCH(QString, product);
    QFETCH(QString, name);
    SimulatedHid hid;
    hid.plug(receiver("r", product.toStdU16String()));
    OpenedDevice opened;
    QVERIFY(rcprog::openPass(hid, kVendor, kProduct, opened).matched);
    QCOMPARE(QString::fromLatin1(opened.productName.data(), qsizetype(opened.productName.size())),
             name);
}

void TestDeviceSearch::firstMatchWins()
{
    SimulatedHid hid;
    hid.plug(other("mouse", 0x046D, 0xC077));
    hid.plug(receiver("first", u"First"));
    hid.plug(receiver("second", u"Second"));
    QVERIFY(rcprog::searchPass(hid, kVendor, kProduct).matched);
    QCOMPARE(hid.openHandleCount(), 0);
    OpenedDevice opened;
    QVERIFY(rcprog::openPass(hid, kVendor, kProduct, opened).matched);
    QCOMPARE(opened.productName, std::string("First"));
    // Exactly the info and the write handle stay open, both on the first receiver.
    QCOMPARE(hid.openHandleCount(), 2);
    QVERIFY(opened.infoHandle != opened.writeHandle);
    const std::uint8_t report[9] = {0, 3, 1};
    QVERIFY(hid.write(opened.writeHandle, report, sizeof report));
    QCOMPARE(hid.reportsFor("first").size(), std::size_t(1));
    hid.close(opened.infoHandle);
    hid.close(opened.writeHandle);
    QCOMPARE(hid.openHandleCount(), 0);
}

void TestDeviceSearch::otherDevicesAreNeverConnected()
{
    SimulatedHid hid;
    hid.plug(other("same vendor", 0x04B4, 0xF232));
    hid.plug(other("same product", 0x04B5, 0xF231));
    QVERIFY(!rcprog::searchPass(hid, kVendor, kProduct).matched);
    OpenedDevice opened;
    QVERIFY(!rcprog::openPass(hid, kVendor, kProduct, opened).matched);
    QCOMPARE(opened.writeHandle, rcprog::kNullHandle);
    QCOMPARE(hid.openHandleCount(), 0);
}

void TestDeviceSearch::reportLength_data()
{
    QTest::addColumn<int>("inputLength");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<int>("r");
    QTest::newRow("9 bytes") << 9 << true << 8;
    QTest::newRow("65 bytes") << 65 << true << 64;
    QTest::newRow("2 bytes") << 2 << true << 1;
    QTest::newRow("1 byte: no payload") << 1 << false << 0;
    QTest::newRow("0 bytes") << 0 << false << 0;
}

void TestDeviceSearch::reportLength()
{
    QFETCH(int, inputLength);
    QFETCH(bool, opens);
    QFETCH(int, r);
    SimulatedHid hid;
    hid.plug(receiver("r", u"R", inputLength));
    OpenedDevice opened;
    QCOMPARE(rcprog::openPass(hid, kVendor, kProduct, opened).matched, opens);
    if (opens)
        QCOMPARE(opened.reportDataLength, r);
    QCOMPARE(hid.openHandleCount(), opens ? 2 : 0);
}

void TestDeviceSearch::failuresAtTheMatch_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("failingCalls"); // how many calls of that operation fail
    QTest::addColumn<bool>("present");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<std::string>("name");
    using F = SimulatedHid::Fault;
    QTest::newRow("probe open") << int(F::Open) << 1 << false << true << std::string("R");
    QTest::newRow("info open") << int(F::Open) << -1 << false << false << std::string();
    QTest::newRow("attributes") << int(F::Attributes) << 1 << false << true << std::string("R");
    QTest::newRow("report length") << int(F::ReportLength) << 1 << true << false << std::string();
    QTest::newRow("product string") << int(F::ProductString) << 1 << true << true << std::string();
}

void TestDeviceSearch::failuresAtTheMatch()
{
    QFETCH(int, fault);
    QFETCH(int, failingCalls);
    QFETCH(bool, present);
    QFETCH(bool, opens);
    QFETCH(std::string, name);
    SimulatedHid hid;
    hid.plug(receiver("r", u"R"));
    hid.setFault("r", SimulatedHid::Fault(fault), failingCalls);
    // The first pass meets the failure (a fault on the first call hits the search pass).
    QCOMPARE(rcprog::searchPass(hid, kVendor, kProduct).matched, present);
    QCOMPARE(hid.openHandleCount(), 0);
    OpenedDevice opened;
    opened.productName = "stale";
    QCOMPARE(rcprog::openPass(hid, kVendor, kProduct, opened).matched, opens);
    QCOMPARE(hid.openHandleCount(), opens ? 2 : 0);
    if (opens)
        QCOMPARE(opened.productName, name);
}

void TestDeviceSearch::failuresAtOtherCandidates()
{
    // A candidate that cannot be opened or read is skipped; the walk goes on.
    SimulatedHid hid;
    hid.plug(other("locked", 0x1234, 0x0001));
    hid.plug(other("mute", 0x1234, 0x0002));
    hid.plug(receiver("r", u"R"));
    hid.setFault("locked", SimulatedHid::Fault::Open);
    hid.setFault("mute", SimulatedHid::Fault::Attributes);
    OpenedDevice opened;
    QVERIFY(rcprog::openPass(hid, kVendor, kProduct, opened).matched);
    QCOMPARE(opened.productName, std::string("R"));
    QCOMPARE(hid.openHandleCount(), 2);
}

void TestDeviceSearch::vanishedBetweenSearchAndOpen()
{
    SimulatedHid hid;
    hid.plug(receiver("r"));
    QVERIFY(rcprog::searchPass(hid, kVendor, kProduct).matched);
    hid.unplug("r");
    OpenedDevice opened;
    opened.reportDataLength = 77;
    QVERIFY(!rcprog::openPass(hid, kVendor, kProduct, opened).matched);
    QCOMPARE(opened.reportDataLength, 77); // unchanged
    QCOMPARE(hid.openHandleCount(), 0);
}

void TestDeviceSearch::accessDeniedIsToldApart()
{
    SimulatedHid hid;
    hid.plug(receiver("r"));
    hid.setFault("r", SimulatedHid::Fault::AccessDenied);
    rcprog::SearchResult result = rcprog::searchPass(hid, kVendor, kProduct);
    QVERIFY(!result.matched);
    QVERIFY(result.accessDenied);
    // A locked device with other IDs is not reported as a receiver.
    SimulatedHid hid2;
    hid2.plug(other("keyboard", 0x1234, 0x5678));
    hid2.setFault("keyboard", SimulatedHid::Fault::AccessDenied);
    QVERIFY(!rcprog::searchPass(hid2, kVendor, kProduct).accessDenied);
    // A second, accessible receiver later in the order is found; nothing is "denied" then.
    hid.plug(receiver("r2", u"Second"));
    OpenedDevice opened;
    result = rcprog::openPass(hid, kVendor, kProduct, opened);
    QVERIFY(result.matched);
    QVERIFY(!result.accessDenied);
    QCOMPARE(opened.productName, std::string("Second"));
}

void TestDeviceSearch::systemDevicesAreSkipped_data()
{
    using Collections = std::vector<rcprog::CollectionUsage>;
    QTest::addColumn<Collections>("first"); // the collections of the interface listed first
    QTest::addColumn<bool>("second"); // a configuration interface follows
    QTest::addColumn<std::string>("opened"); // empty: no receiver
    const Collections keyboard{{0x01, 0x06}};
    QTest::newRow("keyboard, then configuration") << keyboard << true << std::string("config");
    QTest::newRow("keyboard only") << keyboard << false << std::string();
    QTest::newRow("touch pad and pen, then configuration")
            << Collections{{0x0D, 0x05}, {0x0D, 0x02}} << true << std::string("config");
    QTest::newRow("keyboard with a vendor collection")
            << Collections{{0x01, 0x06}, {0xFF00, 0x01}} << true << std::string("first");
}

// An interface with the receiver's IDs whose collections the system holds is not the
// receiver, and not a receiver that refuses access either: the walk goes on past it.
void TestDeviceSearch::systemDevicesAreSkipped()
{
    QFETCH(std::vector<rcprog::CollectionUsage>, first);
    QFETCH(bool, second);
    QFETCH(std::string, opened);
    SimulatedHid hid;
    SimulatedHid::Interface composite = receiver("first", u"Keyboard side");
    composite.collections = first;
    hid.plug(composite);
    if (second)
        hid.plug(receiver("config", u"Configuration side"));
    rcprog::OpenError error = rcprog::OpenError::None;
    const rcprog::HidHandle handle = hid.open("first", &error);
    QCOMPARE(error, opened == "first" ? rcprog::OpenError::None : rcprog::OpenError::SystemDevice);
    hid.close(handle);

    OpenedDevice device;
    const rcprog::SearchResult result = rcprog::openPass(hid, kVendor, kProduct, device);
    QCOMPARE(result.matched, !opened.empty());
    QCOMPARE(result.path, opened);
    QVERIFY(!result.accessDenied);
    QCOMPARE(hid.openHandleCount(), opened.empty() ? 0 : 2);
}

void TestDeviceSearch::peekingLeavesOtherDevicesAlone_data()
{
    QTest::addColumn<bool>("peeks"); // the platform tells IDs without opening (Linux sysfs)
    QTest::addColumn<bool>("receiver");
    QTest::addColumn<int>("opens");
    QTest::newRow("peeking, receiver last") << true << true << 1;
    QTest::newRow("peeking, no receiver") << true << false << 0;
    QTest::newRow("not peeking, receiver last: every interface opened") << false << true << 9;
    QTest::newRow("not peeking, no receiver") << false << false << 8;
}

void TestDeviceSearch::peekingLeavesOtherDevicesAlone()
{
    QFETCH(bool, peeks);
    QFETCH(bool, receiver);
    QFETCH(int, opens);
    SimulatedHid hid;
    hid.setPeeksWithoutOpening(peeks);
    for (int i = 0; i < 8; ++i)
        hid.plug(other("other" + std::to_string(i), std::uint16_t(0x1000 + i), kProduct));
    if (receiver)
        hid.plug(::receiver("r"));
    CountingPlatform counting(hid);
    QCOMPARE(rcprog::searchPass(counting, kVendor, kProduct).matched, receiver);
    QCOMPARE(counting.opens(), opens);
    // Opening every receiver walks the same way: the same probes, and the two handles of each.
    counting.resetOpens();
    const std::vector<OpenedDevice> all = rcprog::openAllPass(counting, kVendor, kProduct);
    QCOMPARE(int(all.size()), receiver ? 1 : 0);
    QCOMPARE(counting.opens(), opens + (receiver ? 2 : 0));
    for (const OpenedDevice &device : all) {
        hid.close(device.infoHandle);
        hid.close(device.writeHandle);
    }
    // A receiver that refuses access is still told apart from an absent one.
    if (receiver) {
        hid.setFault("r", SimulatedHid::Fault::AccessDenied);
        QVERIFY(rcprog::searchPass(hid, kVendor, kProduct).accessDenied);
    }
}

// Every interface present, each as it opens or, when it refuses, as far as the platform tells
// of it without opening; the receiver's marked, and the one a pass takes.
void TestDeviceSearch::surveyOfAllInterfaces()
{
    SimulatedHid hid;
    SimulatedHid::Interface keyboard = receiver("keyboard", u"Receiver", 9);
    keyboard.collections = {{0x01, 0x06}};
    hid.plug(keyboard);
    hid.plug(receiver("locked", u"Locked receiver", 17));
    hid.setFault("locked", SimulatedHid::Fault::AccessDenied);
    hid.plug(other("broken", 0x1234, 0x0001));
    hid.setFault("broken", SimulatedHid::Fault::Open);
    hid.plug(receiver("config", u"R\u00E9ceiver", 65));
    hid.plug(receiver("second", u"Second", 9));

    const std::vector<rcprog::SurveyedInterface> survey
            = rcprog::surveyInterfaces(hid, kVendor, kProduct);
    QCOMPARE(hid.openHandleCount(), 0);
    QCOMPARE(survey.size(), std::size_t(5));
    struct Expected
    {
        const char *path;
        bool opened;
        rcprog::OpenError error;
        int length;
        std::string name;
        bool receiver;
        bool usedByPass;
    };
    const Expected expected[] = {
            {"keyboard", false, rcprog::OpenError::SystemDevice, 9, "Receiver", true, false},
            {"locked", false, rcprog::OpenError::AccessDenied, 17, "Locked receiver", true, false},
            {"broken", false, rcprog::OpenError::Other, 9, "Other", false, false},
            {"config", true, rcprog::OpenError::None, 65,
             "R\xE9"
             "ceiver",
             true, true},
            {"second", true, rcprog::OpenError::None, 9, "Second", true, false},
    };
    for (std::size_t i = 0; i < survey.size(); ++i) {
        const rcprog::InterfaceSeen &seen = survey[i].seen;
        QCOMPARE(seen.path, std::string(expected[i].path));
        QCOMPARE(seen.opened, expected[i].opened);
        QCOMPARE(seen.openError, expected[i].error);
        QVERIFY(seen.idsRead != seen.idsPeeked);
        QVERIFY(seen.lengthRead);
        QCOMPARE(seen.inputReportLength, expected[i].length);
        QVERIFY(seen.nameRead);
        QCOMPARE(seen.productName, expected[i].name);
        QCOMPARE(survey[i].receiver, expected[i].receiver);
        QCOMPARE(survey[i].usedByPass, expected[i].usedByPass);
    }
}

void TestDeviceSearch::openAllOpensEveryMatchInOrder()
{
    SimulatedHid hid;
    hid.plug(receiver("first", u"First"));
    hid.plug(other("mouse", 0x046D, 0xC077));
    hid.plug(receiver("second", u"Second", 17));
    hid.plug(other("same vendor", 0x04B4, 0xF232));
    hid.plug(receiver("third", u"Third", 65));
    bool denied = true;
    const std::vector<OpenedDevice> all = rcprog::openAllPass(hid, kVendor, kProduct, &denied);
    QVERIFY(!denied);
    QCOMPARE(int(all.size()), 3);
    const std::vector<std::string> paths{"first", "second", "third"};
    const std::vector<std::string> names{"First", "Second", "Third"};
    const std::vector<int> lengths{8, 16, 64};
    for (std::size_t i = 0; i < all.size(); ++i) {
        QCOMPARE(all[i].path, paths[i]);
        QCOMPARE(all[i].productName, names[i]);
        QCOMPARE(all[i].reportDataLength, lengths[i]);
    }
    // Two handles for each receiver, each pair on its own receiver; nothing else stays open.
    QCOMPARE(hid.openHandleCount(), 6);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::uint8_t report[9] = {0, 3, std::uint8_t(i)};
        QVERIFY(hid.write(all[i].writeHandle, report, sizeof report));
        QCOMPARE(hid.reportsFor(paths[i]).size(), std::size_t(1));
        hid.close(all[i].infoHandle);
        hid.close(all[i].writeHandle);
    }
    QCOMPARE(hid.openHandleCount(), 0);
    // Nothing matching: nothing opened.
    SimulatedHid none;
    none.plug(other("mouse", 0x046D, 0xC077));
    QVERIFY(rcprog::openAllPass(none, kVendor, kProduct).empty());
    QCOMPARE(none.openHandleCount(), 0);
}

void TestDeviceSearch::openAllLeavesOutWhatCannotBeOpened()
{
    // A receiver whose report length cannot be read, one without a payload byte and one that
    // refuses access are left out and closed; the walk goes on to the others.
    SimulatedHid hid;
    hid.plug(receiver("mute"));
    hid.plug(receiver("good", u"Good"));
    hid.plug(receiver("short", u"Short", 1));
    hid.plug(receiver("locked"));
    hid.plug(receiver("last", u"Last"));
    hid.setFault("mute", SimulatedHid::Fault::ReportLength);
    hid.setFault("locked", SimulatedHid::Fault::AccessDenied);
    bool denied = false;
    const std::vector<OpenedDevice> all = rcprog::openAllPass(hid, kVendor, kProduct, &denied);
    QVERIFY(denied);
    QCOMPARE(int(all.size()), 2);
    QCOMPARE(all[0].path, std::string("good"));
    QCOMPARE(all[1].path, std::string("last"));
    QCOMPARE(hid.openHandleCount(), 4);
}

QTEST_APPLESS_MAIN(TestDeviceSearch)
#include "tst_devicesearch.moc"
