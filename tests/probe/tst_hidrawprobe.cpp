// rcprog-hidraw-probe, the program the kernel test runs in its guest, over a kernel-shaped fake
// sysfs tree: its lines as the kernel test's judge reads them, its fd counts, what it writes,
// and its usage errors.

#include "FakeSysfs.h"

#include <QtTest>

using rcprog::test::FakeHidraw;
using rcprog::test::FakeSysfs;

namespace {

// Vendor-defined collection with 8-byte input and output reports and no report ID: 9-byte
// reports.
const QByteArray kDescriptor
        = QByteArray::fromHex("0600FF 0901 A101 1500 26FF00 7508 9508 0901 8102"
                              "9508 0902 9102 C0");

QString probePath()
{
    return QStringLiteral(RCPROG_HIDRAW_PROBE);
}

FakeHidraw device(int number, quint16 productId, const QByteArray &name)
{
    FakeHidraw interface;
    interface.number = number;
    interface.productId = productId;
    interface.descriptor = kDescriptor;
    interface.productName = name;
    return interface;
}

struct Run
{
    int exitCode = -1;
    QStringList lines;
};

Run runProbe(const QStringList &args)
{
    QProcess p;
    p.start(probePath(), args);
    Run run;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = p.exitCode();
    run.lines = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    return run;
}

// The value of "fds MOMENT=N", or -1.
int fds(const QStringList &lines, const QString &moment)
{
    const QString prefix = QStringLiteral("fds ") + moment + u'=';
    for (const QString &line : lines)
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).toInt();
    return -1;
}

} // namespace

class TestHidrawProbe : public QObject
{
    Q_OBJECT

private slots:
    void findsAndWritesToTheReceiver_data();
    void findsAndWritesToTheReceiver();
    void usageErrors_data();
    void usageErrors();
};

void TestHidrawProbe::findsAndWritesToTheReceiver_data()
{
    QTest::addColumn<QStringList>("extraArgs");
    QTest::addColumn<int>("node"); // the interface that matches
    QTest::addColumn<QString>("name");

    QTest::newRow("the receiver") << QStringList() << 1 << QStringLiteral("Virtual receiver B");
    QTest::newRow("another product by its ID")
            << QStringList{QStringLiteral("--vendor"), QStringLiteral("1204"),
                           QStringLiteral("--product"), QStringLiteral("0xF232")}
            << 0 << QStringLiteral("Other product");
}

void TestHidrawProbe::findsAndWritesToTheReceiver()
{
    QFETCH(QStringList, extraArgs);
    QFETCH(int, node);
    QFETCH(QString, name);
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    QVERIFY(fake.add(device(0, 0xF232, "Other product")));
    QVERIFY(fake.add(device(1, 0xF231, "Virtual receiver B")));

    const Run run = runProbe(
            QStringList{QStringLiteral("--sysfs"), QString::fromStdString(fake.sysfsRoot()),
                        QStringLiteral("--dev"), QString::fromStdString(fake.devRoot()),
                        QStringLiteral("--writes"), QStringLiteral("2")}
            + extraArgs);
    QCOMPARE(run.exitCode, 0);
    const QString dev = QString::fromStdString(fake.devRoot());
    const QStringList expected{
            QStringLiteral("interface path=%1/hidraw0 vendor=04B4 product=F232 "
                           "inputReportLength=9 name=\"Other product\" matched=%2")
                    .arg(dev, QString::fromLatin1(node == 0 ? "yes" : "no")),
            QStringLiteral("interface path=%1/hidraw1 vendor=04B4 product=F231 "
                           "inputReportLength=9 name=\"Virtual receiver B\" matched=%2")
                    .arg(dev, QString::fromLatin1(node == 1 ? "yes" : "no")),
            QStringLiteral("search matched=yes accessDenied=no"),
            QStringLiteral("open matched=yes reportDataLength=8 name=\"%1\" infoHandle=yes "
                           "writeHandle=yes")
                    .arg(name),
            QStringLiteral("write n=1 ok=yes"),
            QStringLiteral("write n=2 ok=yes"),
    };
    QStringList facts = run.lines;
    facts.removeIf([](const QString &line) { return line.startsWith(QStringLiteral("fds ")); });
    QCOMPARE(facts, expected);

    // What the kernel test asks of the counts: the search pass leaves nothing open, the open
    // pass holds exactly its two handles, and closing gives them back.
    const int before = fds(run.lines, QStringLiteral("before"));
    QVERIFY(before > 0);
    QCOMPARE(fds(run.lines, QStringLiteral("afterSearch")), before);
    QCOMPARE(fds(run.lines, QStringLiteral("whileOpen")), before + 2);
    QCOMPARE(fds(run.lines, QStringLiteral("afterClose")), before);

    const QByteArray opening = QByteArray::fromHex("000301000000000000");
    QCOMPARE(fake.written(node), opening + opening);
    QCOMPARE(fake.written(1 - node), QByteArray());
}

void TestHidrawProbe::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")};
    QTest::newRow("vendor without value") << QStringList{QStringLiteral("--vendor")};
    QTest::newRow("vendor out of range")
            << QStringList{QStringLiteral("--vendor"), QStringLiteral("0x10000")};
    QTest::newRow("product not a number")
            << QStringList{QStringLiteral("--product"), QStringLiteral("F231")};
    QTest::newRow("writes without value") << QStringList{QStringLiteral("--writes")};
}

void TestHidrawProbe::usageErrors()
{
    QFETCH(QStringList, args);
    const Run run = runProbe(args);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.lines, QStringList());
}

QTEST_GUILESS_MAIN(TestHidrawProbe)
#include "tst_hidrawprobe.moc"
