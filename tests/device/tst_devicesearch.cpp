#include "DeviceSearch.h"
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
