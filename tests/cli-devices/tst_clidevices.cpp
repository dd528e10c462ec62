// rcprog-cli devices as a program over a fake sysfs tree: one line per interface (path,
// VVVV:PPPP, input report length, product string, whether it opens, the receiver's marks), the
// same as one JSON array with --json, and exit status 0 also when nothing is found.
#include "CliRun.h"
#include "Descriptors.h"
#include "FakeSysfs.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <sys/stat.h>

using rcprog::test::FakeHidraw;
using rcprog::test::FakeSysfs;

namespace {

constexpr quint16 kVendor = 0x04B4;
constexpr quint16 kProduct = 0xF231;

// One interface of a row: where it is, what it is, and whether its node refuses access.
struct Plugged
{
    FakeHidraw interface;
    bool locked = false;
};

Plugged plugged(int number, quint16 vendor, quint16 product, const QByteArray &descriptor,
                const QByteArray &name, bool locked = false)
{
    Plugged p;
    p.interface.number = number;
    p.interface.vendorId = vendor;
    p.interface.productId = product;
    p.interface.descriptor = descriptor;
    p.interface.productName = name;
    // The receiver's interfaces are interfaces of one USB device.
    p.interface.usbDevice = vendor == kVendor ? QStringLiteral("1-1") : QString();
    p.interface.interfaceNumber = vendor == kVendor ? number : 0;
    p.locked = locked;
    return p;
}

} // namespace

Q_DECLARE_METATYPE(QList<Plugged>)

class TestCliDevices : public QObject
{
    Q_OBJECT

private slots:
    void listsEveryInterface_data();
    void listsEveryInterface();
    void badArguments();
};

void TestCliDevices::listsEveryInterface_data()
{
    using rcprog::test::bootKeyboard;
    using rcprog::test::configurationDescriptor;
    QTest::addColumn<QList<Plugged>>("interfaces");
    // The lines, with DEV for the folder of the device nodes.
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("composite receiver and a device without access")
            << QList<Plugged>{plugged(0, kVendor, kProduct, bootKeyboard(), "USB Receiver"),
                              plugged(1, kVendor, kProduct, configurationDescriptor(),
                                      "USB Receiver"),
                              plugged(2, 0x046D, 0xC52B, configurationDescriptor(),
                                      "Other \xC3\xA9quipment", true)}
            << QStringList{"DEV/hidraw0  04b4:f231  9  \"USB Receiver\"  system device  receiver",
                           "DEV/hidraw1  04b4:f231  9  \"USB Receiver\"  ok  receiver, used by a "
                           "pass",
                           "DEV/hidraw2  046d:c52b  9  \"Other \u00E9quipment\"  access denied"};
    QTest::newRow("keyboard interface only: no receiver a pass could use")
            << QList<Plugged>{plugged(3, kVendor, kProduct, bootKeyboard(), "USB Receiver")}
            << QStringList{"DEV/hidraw3  04b4:f231  9  \"USB Receiver\"  system device  "
                           "receiver"};
    QTest::newRow("receiver without access, then another device")
            << QList<Plugged>{plugged(0, kVendor, kProduct, configurationDescriptor(),
                                      "Locked receiver", true),
                              plugged(1, 0x1234, 0x5678, bootKeyboard(), "A keyboard")}
            << QStringList{"DEV/hidraw0  04b4:f231  9  \"Locked receiver\"  access denied  "
                           "receiver",
                           "DEV/hidraw1  1234:5678  9  \"A keyboard\"  system device"};
    QTest::newRow("nothing present") << QList<Plugged>{} << QStringList{};
}

void TestCliDevices::listsEveryInterface()
{
    QFETCH(QList<Plugged>, interfaces);
    QFETCH(QStringList, lines);
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    bool anyLocked = false;
    for (const Plugged &p : interfaces) {
        QVERIFY(fake.add(p.interface));
        anyLocked = anyLocked || p.locked;
    }
    // A locked node: mode 0600 of another user. As root the program would open anything, so
    // then it runs as the user nobody, for whom the rest of the tree is readable and the other
    // nodes writable.
    std::function<void()> childSetup;
    if (anyLocked) {
        childSetup = asUserNobodyWhenRoot();
        QVERIFY(::chmod(QFile::encodeName(fake.root()).constData(), 0755) == 0);
        for (const Plugged &p : interfaces) {
            const std::string node = fake.devicePath(p.interface.number);
            QVERIFY(::chmod(node.c_str(), p.locked ? (childSetup ? 0600 : 0) : 0666) == 0);
        }
    }
    const QString dev = QFile::decodeName(fake.devRoot().c_str());
    const QStringList roots{QStringLiteral("--sysfs-root"),
                            QFile::decodeName(fake.sysfsRoot().c_str()),
                            QStringLiteral("--dev-root"), dev};

    const CliRun text = runCli(QStringList{QStringLiteral("devices")} + roots, 120000, childSetup);
    if (text.exitCode == kExitChildSetupFailed)
        QSKIP("cannot run rcprog-cli as the user nobody here, so no node can refuse access");
    QCOMPARE(text.exitCode, 0);
    QStringList expected;
    for (const QString &line : lines)
        expected << QString(line).replace(QStringLiteral("DEV"), dev);
    QCOMPARE(QString::fromUtf8(text.out).split(u'\n', Qt::SkipEmptyParts), expected);
    QCOMPARE(text.err.isEmpty(), !interfaces.isEmpty());

    // The same as one JSON array.
    const CliRun json
            = runCli(QStringList{QStringLiteral("devices"), QStringLiteral("--json")} + roots,
                     120000, childSetup);
    QCOMPARE(json.exitCode, 0);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.out, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(document.isArray());
    const QJsonArray array = document.array();
    QCOMPARE(array.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QJsonObject o = array.at(i).toObject();
        QString marks;
        if (o.value(QStringLiteral("usedByPass")).toBool())
            marks = QStringLiteral("  receiver, used by a pass");
        else if (o.value(QStringLiteral("receiver")).toBool())
            marks = QStringLiteral("  receiver");
        const QString line = QStringLiteral("%1  %2  %3  \"%4\"  %5")
                                     .arg(o.value(QStringLiteral("path")).toString(),
                                          o.value(QStringLiteral("id")).toString())
                                     .arg(o.value(QStringLiteral("inputReportLength")).toInt())
                                     .arg(o.value(QStringLiteral("product")).toString(),
                                          o.value(QStringLiteral("open")).toString())
                             + marks;
        QCOMPARE(line, expected.at(i));
    }
}

void TestCliDevices::badArguments()
{
    for (const QStringList &args :
         {QStringList{QStringLiteral("devices"), QStringLiteral("x")},
          QStringList{QStringLiteral("devices"), QStringLiteral("--fast")}}) {
        const CliRun r = runCli(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.startsWith("usage: rcprog-cli"), r.err.constData());
        QCOMPARE(r.out, QByteArray());
    }
}

QTEST_GUILESS_MAIN(TestCliDevices)
#include "tst_clidevices.moc"
