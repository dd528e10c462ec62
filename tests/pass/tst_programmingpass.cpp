#include "ConfigurationLoader.h"
#include "PassFormula.h"
#include "ProgrammingPass.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

#include <climits>

#include <sys/resource.h>

namespace {

// Steps as text: "P 20" for a pause, "W 00 03 01 ..." for a report.
QStringList render(const std::vector<PassStep> &steps)
{
    QStringList lines;
    for (const PassStep &s : steps) {
        if (s.kind == PassStep::Kind::Pause) {
            lines << QStringLiteral("P %1").arg(s.ms);
            continue;
        }
        QString line = QStringLiteral("W");
        for (std::uint8_t b : s.bytes)
            line += QStringLiteral(" %1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        lines << line;
    }
    return lines;
}

QStringList reportsOnly(const QStringList &lines)
{
    QStringList out;
    for (const QString &l : lines)
        if (l.startsWith(u'W'))
            out << l;
    return out;
}

QStringList pass(const ConfigurationRecord &record, std::vector<std::uint8_t> &buffer, int r = 8,
                 PassOutcome *outcome = nullptr)
{
    return render(collectPassSteps(record, r, buffer, outcome));
}

QStringList pass(const ConfigurationRecord &record, int r = 8, PassOutcome *outcome = nullptr)
{
    std::vector<std::uint8_t> buffer(9, 0);
    return pass(record, buffer, r, outcome);
}

// The configuration block of a file without keys, as the receiver gets it: 16 reports.
const QStringList kDefaultBlockReports = {
        "W 00 80 FF FF FF 00 00 00 00", "W 00 FF 00 FF FF 00 00 00 30",
        "W 00 30 00 00 00 00 00 00 00", "W 00 00 A0 00 00 00 00 3F 00",
        "W 00 FF 00 FF 00 FF 00 FF 00", "W 00 FF 00 FF 00 FF 00 FF 00",
        "W 00 00 00 00 00 00 00 00 00", "W 00 00 00 00 00 00 00 00 00",
        "W 00 3F 3F 3F 3F 3F 3F 3F 3F", "W 00 3F 3F 3F 3F 3F 3F 3F 3F",
        "W 00 3F 3F 3F 3F 3F 3F 3F 3F", "W 00 3F 3F 3F 3F 3F 3F 3F 3F",
        "W 00 3F 3F 3F 3F 3F 3F 3F 3F", "W 00 3F 3F 3F 3F 3F 3F 3F 3F",
        "W 00 3F 3F 3F 3F 3F 3F 3F 3F", "W 00 3F 3F 3F 3F 3F 3F 3F 3F",
};

// Opening, configuration block and their pauses, for the default record.
QStringList defaultHead()
{
    QStringList head
            = {"P 20", "W 00 03 01 00 00 00 00 00 00", "P 20", "W 00 A5 80 00 00 00 00 00 00"};
    head << kDefaultBlockReports.mid(0, 8) << "P 50" << kDefaultBlockReports.mid(8, 8) << "P 50";
    return head;
}

// Hex text of the bytes first, first + 1, ... (count bytes).
QString countingHex(int count, int first = 0)
{
    QString s;
    for (int i = 0; i < count; ++i)
        s += QStringLiteral("%1").arg((first + i) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    return s;
}

// Data reports of 8 bytes each carrying the hex text `hex` (already padded).
QStringList hexReports(const QString &hex)
{
    QStringList out;
    for (int p = 0; p + 16 <= hex.size(); p += 16) {
        QString line = QStringLiteral("W 00");
        for (int j = 0; j < 16; j += 2)
            line += u' ' + hex.mid(p + j, 2);
        out << line;
    }
    return out;
}

ConfigurationRecord flashRecord(const QString &flash, int q = 64, int maxSize = 2)
{
    ConfigurationRecord r = defaultConfiguration();
    r.configurationBlock[BlockIndex::quantityOfBytesInFlashBlock] = q;
    r.configurationBlock[BlockIndex::quantityOfRemoteControls] = 1;
    r.configurationBlock[BlockIndex::maxSize(1)] = maxSize;
    r.flashData[0] = flash;
    return r;
}

} // namespace

class TestProgrammingPass : public QObject
{
    Q_OBJECT

private slots:
    void minimalPass();
    void secondPassStartsAlike();
    void productName();
    void nameEncodingAndLength_data();
    void nameEncodingAndLength();
    void flashData_data();
    void flashData();
    void oddLengthWhoseHalfIsAMultipleOfQ();
    void remoteControlCount_data();
    void remoteControlCount();
    void macro_data();
    void macro();
    void lowEightBitsOnTheWire();
    void otherReportLengths();
    void formulaHoldsForGeneratedRecords();
    void sinkCanStopThePass();
    void noReportWithoutPayload();
    void paddingReadsAsAPaddedCopy();
    void hugeFlashBlockAllocatesNothing();
    void refusal_data();
    void refusal();
};

void TestProgrammingPass::minimalPass()
{
    const QStringList steps = pass(defaultConfiguration());
    QStringList expected = defaultHead();
    expected << "W 00 03 00 00 00 00 00 00 00";
    QCOMPARE(steps, expected);
    QCOMPARE(reportsOnly(steps).size(), 19);
}

void TestProgrammingPass::secondPassStartsAlike()
{
    std::vector<std::uint8_t> buffer(9, 0);
    const ConfigurationRecord r = defaultConfiguration();
    const QStringList first = pass(r, buffer);
    const QStringList second = pass(r, buffer);
    QCOMPARE(second.at(1), QStringLiteral("W 00 03 01 00 00 00 00 00 00"));
    QCOMPARE(second, first);
}

void TestProgrammingPass::productName()
{
    ConfigurationRecord r = defaultConfiguration();
    r.canChangeProductName = 1;
    r.newNameOfDevice = QStringLiteral("ABCDEFGHIJKLMNOPQRST");
    PassOutcome outcome;
    const QStringList steps = pass(r, 8, &outcome);
    QStringList expected = defaultHead();
    expected << "W 00 88 00 00 00 00 00 00 00"
             << "W 00 41 42 43 44 45 46 47 48"
             << "W 00 49 4A 4B 4C 4D 4E 4F 50"
             << "W 00 51 52 53 54 00 00 00 00"
             << "W 00 03 00 53 54 00 00 00 00";
    QCOMPARE(steps, expected);
    QVERIFY(outcome.finished);
    QVERIFY(outcome.nameSent);
    QCOMPARE(outcome.sentName, r.newNameOfDevice);
}

void TestProgrammingPass::nameEncodingAndLength_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("canChange");
    QTest::addColumn<QStringList>("nameReports"); // empty: no name in the pass
    QTest::addColumn<QString>("sentName");

    QTest::newRow("latin-1 and beyond")
            << QStringLiteral("a\u00E9\u20ACz") << 1
            << QStringList{"W 00 88 00 00 00 00 00 00 00", "W 00 61 E9 00 7A 00 00 00 00",
                           "W 00 00 00 00 00 00 00 00 00", "W 00 00 00 00 00 00 00 00 00"}
            << QStringLiteral("a\u00E9\u20ACz");
    QTest::newRow("30 characters, 24 sent")
            << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ1234") << 1
            << QStringList{"W 00 88 00 00 00 00 00 00 00", "W 00 41 42 43 44 45 46 47 48",
                           "W 00 49 4A 4B 4C 4D 4E 4F 50", "W 00 51 52 53 54 55 56 57 58"}
            << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWX");
    QTest::newRow("empty name") << QString() << 1
                                << QStringList{"W 00 88 00 00 00 00 00 00 00",
                                               "W 00 00 00 00 00 00 00 00 00",
                                               "W 00 00 00 00 00 00 00 00 00",
                                               "W 00 00 00 00 00 00 00 00 00"}
                                << QString();
    QTest::newRow("canChangeProductName 2")
            << QStringLiteral("AB") << 2 << QStringList() << QString();
    QTest::newRow("canChangeProductName 257")
            << QStringLiteral("AB") << 257 << QStringList() << QString();
}

void TestProgrammingPass::nameEncodingAndLength()
{
    QFETCH(QString, name);
    QFETCH(int, canChange);
    QFETCH(QStringList, nameReports);
    QFETCH(QString, sentName);
    ConfigurationRecord r = defaultConfiguration();
    r.canChangeProductName = canChange;
    r.newNameOfDevice = name;
    PassOutcome outcome;
    const QStringList reports = reportsOnly(pass(r, 8, &outcome));
    QCOMPARE(reports.mid(18, reports.size() - 19), nameReports);
    QCOMPARE(outcome.nameSent, !nameReports.isEmpty());
    QCOMPARE(outcome.sentName, sentName);
}

void TestProgrammingPass::flashData_data()
{
    QTest::addColumn<QString>("flash");
    QTest::addColumn<int>("maxSize");
    QTest::addColumn<QStringList>("block"); // the steps of remote control 1

    QStringList nameBlock = {"W 00 A5 00 01 00 00 00 00 00", "W 00 00 01 00 00 00 01 00 00"};
    for (int i = 0; i < 7; ++i)
        nameBlock << "W 00 00 00 00 00 00 00 00 00";
    nameBlock << "P 50";

    const QString d150 = countingHex(75);
    const QString padded150 = d150 + QString(106, u'0');
    QTest::newRow("150 digits: padded to 2 blocks")
            << d150 << 2
            << (QStringList{"W 00 A5 00 02 00 00 00 00 00"}
                << hexReports(padded150.left(128)) << "P 50" << hexReports(padded150.mid(128))
                << "P 50");
    const QString d256 = countingHex(128, 0x40);
    QTest::newRow("256 digits: 2 blocks, no padding")
            << d256 << 2
            << (QStringList{"W 00 A5 00 02 00 00 00 00 00"} << hexReports(d256.left(128)) << "P 50"
                                                            << hexReports(d256.mid(128)) << "P 50");
    QTest::newRow("257 digits: too long, switch name block") << (d256 + u'7') << 2 << nameBlock;
    QTest::newRow("empty: switch name block") << QString() << 2 << nameBlock;
    QTest::newRow("maxSize 0: switch name block") << d150 << 0 << nameBlock;
    QTest::newRow("maxSize -1: switch name block") << d150 << -1 << nameBlock;

    // Pairs that are not hexadecimal read 0; lower-case digits read as hex.
    const QString mixed = QStringLiteral("zz0aFf") + QString(122, u'1');
    QTest::newRow("non-hex pairs and lower case")
            << mixed << 1
            << QStringList{"W 00 A5 00 01 00 00 00 00 00", "W 00 00 0A FF 11 11 11 11 11",
                           "W 00 11 11 11 11 11 11 11 11", "W 00 11 11 11 11 11 11 11 11",
                           "W 00 11 11 11 11 11 11 11 11", "W 00 11 11 11 11 11 11 11 11",
                           "W 00 11 11 11 11 11 11 11 11", "W 00 11 11 11 11 11 11 11 11",
                           "W 00 11 11 11 11 11 11 11 11", "P 50"};
}

void TestProgrammingPass::flashData()
{
    QFETCH(QString, flash);
    QFETCH(int, maxSize);
    QFETCH(QStringList, block);
    ConfigurationRecord r = flashRecord(flash, 64, maxSize);
    r.switchNameBlocks[0] = {};
    r.switchNameBlocks[0][1] = 1;
    r.switchNameBlocks[0][5] = 1;
    const QStringList steps = pass(r);
    const QStringList head = defaultHead();
    QCOMPARE(steps.mid(head.size(), block.size()), block);
    QCOMPARE(steps.size(), head.size() + block.size() + 1);
    QCOMPARE(r.flashData[0], flash); // the record keeps the text unpadded
}

void TestProgrammingPass::oddLengthWhoseHalfIsAMultipleOfQ()
{
    // 129 digits with Q = 64: half is 64, so one block of 128 digits goes and the last lone
    // digit is never read. A single digit gives no flash block at all.
    const QString text = countingHex(64) + u'F';
    QStringList steps = pass(flashRecord(text, 64, 2));
    const int at = defaultHead().size();
    QCOMPARE(steps.mid(at, 10),
             QStringList{"W 00 A5 00 01 00 00 00 00 00"} << hexReports(countingHex(64)) << "P 50");
    QCOMPARE(steps.at(at + 10), QStringLiteral("W 00 03 00 3A 3B 3C 3D 3E 3F"));

    steps = pass(flashRecord(QStringLiteral("A"), 64, 2));
    QCOMPARE(steps.mid(at),
             (QStringList{"W 00 A5 00 00 00 00 00 00 00", "W 00 03 00 00 00 00 00 00 00"}));
}

void TestProgrammingPass::remoteControlCount_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("blockIds");
    QTest::newRow("0") << 0 << QList<int>{};
    QTest::newRow("-5") << -5 << QList<int>{};
    QTest::newRow("3") << 3 << QList<int>{0, 1, 2};
    QTest::newRow("8") << 8 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("9 programs the eight there are") << 9 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("300 (low byte 44)") << 300 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7};
}

void TestProgrammingPass::remoteControlCount()
{
    QFETCH(int, count);
    QFETCH(QList<int>, blockIds);
    ConfigurationRecord r = defaultConfiguration();
    r.configurationBlock[BlockIndex::quantityOfRemoteControls] = count;
    const QStringList reports = reportsOnly(pass(r));
    QList<int> seen;
    for (const QString &w : reports)
        if (w.startsWith(QLatin1String("W 00 A5 0")))
            seen << w.mid(8, 2).toInt(nullptr, 16);
    QCOMPARE(seen, blockIds);
    QCOMPARE(reports.size(), 19 + 9 * int(blockIds.size()));
}

void TestProgrammingPass::macro_data()
{
    QTest::addColumn<int>("haveMacro");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("sent");
    QTest::newRow("256 digits") << 1 << 256 << true;
    QTest::newRow("haveMacro 2") << 2 << 256 << true;
    QTest::newRow("254 digits") << 1 << 254 << false;
    QTest::newRow("258 digits") << 1 << 258 << false;
    QTest::newRow("haveMacro 0") << 0 << 256 << false;
    QTest::newRow("haveMacro -1") << -1 << 256 << false;
}

void TestProgrammingPass::macro()
{
    QFETCH(int, haveMacro);
    QFETCH(int, length);
    QFETCH(bool, sent);
    ConfigurationRecord r = defaultConfiguration();
    r.configurationBlock[BlockIndex::haveMacro] = haveMacro;
    r.flashMacro = (countingHex(128, 0x80) + QStringLiteral("ABCD")).left(length);
    const QStringList steps = pass(r);
    const int at = defaultHead().size();
    if (!sent) {
        QCOMPARE(steps.mid(at), QStringList{"W 00 03 00 00 00 00 00 00 00"});
        return;
    }
    const QString hex = countingHex(128, 0x80);
    QStringList expected = {"W 00 A5 81 00 00 00 00 00 00"};
    expected << hexReports(hex.left(128)) << "P 50" << hexReports(hex.mid(128)) << "P 50"
             << "W 00 03 00 FA FB FC FD FE FF";
    QCOMPARE(steps.mid(at), expected);
}

void TestProgrammingPass::lowEightBitsOnTheWire()
{
    ConfigurationRecord r = defaultConfiguration();
    r.configurationBlock[0] = 300;
    r.configurationBlock[1] = 256;
    r.configurationBlock[2] = -1;
    r.configurationBlock[3] = -300; // also Q: zero or less never takes the flash path
    const QStringList reports = reportsOnly(pass(r));
    QCOMPARE(reports.at(2), QStringLiteral("W 00 2C 00 FF D4 00 00 00 00"));
}

void TestProgrammingPass::otherReportLengths()
{
    // R = 4: reports of 5 bytes; the fixed-layout packings still fill payload bytes 1 ... 8 of
    // the buffer, so bytes 5 ... 8 ride along into later reports.
    ConfigurationRecord r = defaultConfiguration();
    QStringList reports = reportsOnly(pass(r, 4));
    QCOMPARE(reports.size(), 19);
    QCOMPARE(reports.at(0), QStringLiteral("W 00 03 01 00 00"));
    QCOMPARE(reports.at(2), QStringLiteral("W 00 80 FF FF FF"));

    // R = 16 with flash data: hex packing fills 16 bytes, a flash block of 64 bytes is 4
    // reports, bytes 9 ... 16 of other reports keep what the hex packing left there.
    r = flashRecord(countingHex(64, 1), 64, 1);
    std::vector<std::uint8_t> buffer;
    reports = reportsOnly(pass(r, buffer, 16));
    QCOMPARE(buffer.size(), std::size_t(17));
    QCOMPARE(reports.size(), 19 + 1 + 4);
    QCOMPARE(reports.at(19),
             QStringLiteral("W 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10"));
    QCOMPARE(reports.at(22),
             QStringLiteral("W 00 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F 40"));
    QCOMPARE(reports.last(),
             QStringLiteral("W 00 03 00 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F 40"));

    // R = 1: one payload byte per report; nothing outside the buffer is touched.
    reports = reportsOnly(pass(defaultConfiguration(), 1));
    QCOMPARE(reports.size(), 19);
    QCOMPARE(reports.first(), QStringLiteral("W 00 03"));
}

void TestProgrammingPass::formulaHoldsForGeneratedRecords()
{
    QRandomGenerator rng(20261209);
    const int qs[] = {8, 16, 24, 64, 255, 3, 0, -8};
    const int rs[] = {8, 8, 8, 4, 16, 1};
    for (int round = 0; round < 400; ++round) {
        ConfigurationRecord rec = defaultConfiguration();
        auto &block = rec.configurationBlock;
        block[BlockIndex::quantityOfBytesInFlashBlock] = qs[rng.bounded(8)];
        block[BlockIndex::quantityOfRemoteControls] = rng.bounded(-2, 12);
        block[BlockIndex::haveMacro] = rng.bounded(-1, 3);
        rec.canChangeProductName = rng.bounded(0, 3);
        rec.newNameOfDevice = QString(rng.bounded(0, 40), u'N');
        rec.flashMacro = QString(rng.bounded(2) ? 256 : rng.bounded(0, 300), u'A');
        for (int n = 1; n <= 8; ++n) {
            block[std::size_t(BlockIndex::maxSize(n))] = rng.bounded(-1, 6);
            rec.flashData[std::size_t(n - 1)] = QString(rng.bounded(0, 700), u'5');
        }
        const int r = rs[rng.bounded(6)];
        std::vector<std::uint8_t> buffer(9, 0);
        const std::vector<PassStep> steps = collectPassSteps(rec, r, buffer);
        qint64 reports = 0, pauses = 0;
        for (const PassStep &s : steps) {
            if (s.kind == PassStep::Kind::Pause) {
                pauses += s.ms;
            } else {
                ++reports;
                QCOMPARE(s.bytes.size(), std::size_t(r) + 1);
                QCOMPARE(s.bytes[0], std::uint8_t(0));
            }
        }
        const PassSize expected = expectedPassSize(rec, r);
        QCOMPARE(reports, expected.reports);
        QCOMPARE(pauses, expected.pauseMs);
    }
}

void TestProgrammingPass::sinkCanStopThePass()
{
    class StopAfter : public PassSink
    {
    public:
        bool report(const std::uint8_t *, std::size_t) override { return ++reports < 5; }
        bool pause(int) override { return true; }
        int reports = 0;
    } sink;
    std::vector<std::uint8_t> buffer(9, 0);
    const PassOutcome outcome = runProgrammingPass(defaultConfiguration(), 8, buffer, sink);
    QVERIFY(!outcome.finished);
    QCOMPARE(sink.reports, 5);
}

void TestProgrammingPass::noReportWithoutPayload()
{
    std::vector<std::uint8_t> buffer(9, 0);
    PassOutcome outcome;
    QVERIFY(collectPassSteps(defaultConfiguration(), 0, buffer, &outcome).empty());
    QVERIFY(!outcome.finished);
}

void TestProgrammingPass::paddingReadsAsAPaddedCopy()
{
    // The flash data reports of remote control 1 as a padded copy of the text gives them: the
    // copy padded with "0" to 2N digits (kept as it is when 2N is below its length), read pair
    // by pair, R bytes a report, floor(Q / R) reports a flash block.
    const auto fromPaddedCopy = [](const ConfigurationRecord &rec, int r) {
        const QString &s = rec.flashData[0];
        const qint64 q = rec.configurationBlock[BlockIndex::quantityOfBytesInFlashBlock];
        qint64 bytes = s.size() / 2;
        if (bytes % q != 0)
            bytes = (bytes / q + 1) * q;
        QString copy = s;
        while (copy.size() < 2 * bytes)
            copy += u'0';
        QStringList reports;
        qint64 pos = 0;
        for (qint64 f = 0; f < bytes / q; ++f) {
            for (qint64 k = 0; k < q / r; ++k) {
                QString line = QStringLiteral("W 00");
                for (int j = 0; j < r; ++j, pos += 2) {
                    bool ok = false;
                    const int v = pos + 1 < copy.size() ? copy.mid(pos, 2).toInt(&ok, 16) : 0;
                    line += QStringLiteral(" %1").arg(ok ? v & 0xFF : 0, 2, 16, QLatin1Char('0'));
                }
                reports << line.toUpper();
            }
        }
        return reports;
    };
    QRandomGenerator rng(4242);
    const QString digits = QStringLiteral("0123456789abcdefXYZ+- ");
    const int rs[] = {8, 8, 1, 3, 16};
    for (int round = 0; round < 300; ++round) {
        const int q = rng.bounded(1, 256);
        const int r = rs[rng.bounded(5)];
        QString text;
        const int length = rng.bounded(1, 2 * q * 3 + 1);
        for (int i = 0; i < length; ++i)
            text += digits.at(rng.bounded(int(digits.size())));
        const ConfigurationRecord rec = flashRecord(text, q, 3);
        QVERIFY(!passRefusal(rec));
        // Opening, header and 16 reports of the configuration block, the header of remote
        // control 1, its data reports, the closing report.
        const QStringList reports = reportsOnly(pass(rec, r));
        const QStringList expected = fromPaddedCopy(rec, r);
        QCOMPARE(reports.size(), 19 + expected.size() + 1);
        QCOMPARE(reports.mid(19, expected.size()), expected);
    }
}

void TestProgrammingPass::hugeFlashBlockAllocatesNothing()
{
    // Q = 2^31 - 1 with an 8-digit image: one flash block of 268 million reports, the image
    // read as if padded to 4,294,967,294 digits. Stopped after a few reports, the pass must end
    // at once, having allocated nothing of that size.
    class StopAfter : public PassSink
    {
    public:
        bool report(const std::uint8_t *bytes, std::size_t length) override
        {
            lines << QByteArray(reinterpret_cast<const char *>(bytes), int(length)).toHex(' ');
            return lines.size() < 24;
        }
        bool pause(int) override { return true; }
        QByteArrayList lines;
    } sink;
    const ConfigurationRecord rec = flashRecord(QStringLiteral("0102030405060708"), INT_MAX, 1);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    QElapsedTimer timer;
    timer.start();
    std::vector<std::uint8_t> buffer(9, 0);
    const PassOutcome outcome = runProgrammingPass(rec, 8, buffer, sink);
    QVERIFY(!outcome.finished);
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    QVERIFY2(after.ru_maxrss - before.ru_maxrss < 64 * 1024,
             qPrintable(QStringLiteral("%1 kB more").arg(after.ru_maxrss - before.ru_maxrss)));
    QCOMPARE(sink.lines.at(18), QByteArray("00 a5 00 01 00 00 00 00 00"));
    QCOMPARE(sink.lines.at(19), QByteArray("00 01 02 03 04 05 06 07 08"));
    QCOMPARE(sink.lines.at(20), QByteArray("00 00 00 00 00 00 00 00 00"));
}

void TestProgrammingPass::refusal_data()
{
    QTest::addColumn<int>("q");
    QTest::addColumn<int>("maxSize");
    QTest::addColumn<int>("digits"); // flash data of remote control `rc`
    QTest::addColumn<int>("rc");
    QTest::addColumn<int>("count"); // quantityOfRemoteControls
    QTest::addColumn<QString>("key"); // empty: the pass can be sent
    QTest::addColumn<QString>("reason");

    const QString q = QStringLiteral("quantityOfBytesInFlashBlock");
    QTest::newRow("Q 255, one flash block") << 255 << 1 << 8 << 1 << 1 << QString() << QString();
    QTest::newRow("Q 256 with flash data")
            << 256 << 1 << 8 << 1 << 1 << q
            << "quantityOfBytesInFlashBlock=256: a flash block of more than 255 bytes cannot be "
               "sent";
    QTest::newRow("Q 2^31 - 1, maxSize 1, 8 digits")
            << INT_MAX << 1 << 8 << 1 << 1 << q
            << "quantityOfBytesInFlashBlock=2147483647: a flash block of more than 255 bytes "
               "cannot be sent";
    QTest::newRow("Q 100000000 (a typo)")
            << 100000000 << 4 << 300 << 1 << 1 << q
            << "quantityOfBytesInFlashBlock=100000000: a flash block of more than 255 bytes "
               "cannot be sent";
    QTest::newRow("Q 300 without flash data: only its low byte goes")
            << 300 << 1 << 0 << 1 << 1 << QString() << QString();
    QTest::newRow("Q 300, flash data of a remote control not programmed")
            << 300 << 1 << 8 << 2 << 1 << QString() << QString();
    QTest::newRow("Q 300, flash data too long for maxSize: switch name block")
            << 300 << 1 << 602 << 1 << 1 << QString() << QString();
    QTest::newRow("255 flash blocks") << 8 << 300 << 255 * 16 << 1 << 1 << QString() << QString();
    QTest::newRow("256 flash blocks")
            << 8 << 300 << 256 * 16 << 1 << 1 << QStringLiteral("rc01flashData")
            << "rc01flashData of 4096 digits: 256 flash blocks of 8 bytes; more than 255 flash "
               "blocks cannot be sent";
    QTest::newRow("256 flash blocks after padding, remote control 3")
            << 8 << 300 << 255 * 16 + 2 << 3 << 3 << QStringLiteral("rc03flashData")
            << "rc03flashData of 4082 digits: 256 flash blocks of 8 bytes; more than 255 flash "
               "blocks cannot be sent";
    QTest::newRow("quantityOfRemoteControls 300 programs the eight there are")
            << 512 << 1 << 8 << 8 << 300 << q
            << "quantityOfBytesInFlashBlock=512: a flash block of more than 255 bytes cannot be "
               "sent";
}

void TestProgrammingPass::refusal()
{
    QFETCH(int, q);
    QFETCH(int, maxSize);
    QFETCH(int, digits);
    QFETCH(int, rc);
    QFETCH(int, count);
    QFETCH(QString, key);
    QFETCH(QString, reason);
    ConfigurationRecord rec = defaultConfiguration();
    rec.configurationBlock[BlockIndex::quantityOfBytesInFlashBlock] = q;
    rec.configurationBlock[BlockIndex::quantityOfRemoteControls] = count;
    rec.configurationBlock[std::size_t(BlockIndex::maxSize(rc))] = maxSize;
    rec.flashData[std::size_t(rc - 1)] = QString(digits, u'A');
    const std::optional<PassRefusal> refusal = passRefusal(rec);
    QCOMPARE(refusal.has_value(), !key.isEmpty());
    if (!refusal)
        return;
    QCOMPARE(refusal->key, key);
    QCOMPARE(refusal->reason, reason);
    QCOMPARE(refusalText(*refusal), QStringLiteral("configuration cannot be sent: ") + reason);
}

QTEST_APPLESS_MAIN(TestProgrammingPass)
#include "tst_programmingpass.moc"
