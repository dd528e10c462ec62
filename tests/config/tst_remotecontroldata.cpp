// The two remote-control derivations (switch name block, flash-image rewrite) and their helpers,
// on the documented examples and the edges the team settled: names cut to 57 characters, Latin-1
// codes for U+0080 ... U+00FF and 0 above, a and b read only from two hexadecimal digits.
#include "RemoteControlData.h"

#include <QtTest>

#include <limits>

using RemoteControlData::buildSwitchNameBlock;
using RemoteControlData::rewriteFlashImage;

namespace {

// 64 entries: the given leading ones, then zeros.
QList<int> padded(QList<int> leading)
{
    while (leading.size() < ConfigurationRecord::kNameBlockSize)
        leading.append(0);
    return leading;
}

QList<int> toList(const ConfigurationRecord::NameBlock &block)
{
    return QList<int>(block.begin(), block.end());
}

const QString kImage = QStringLiteral("000102030406054142434445EEFF"); // a = 6, b = 5, ABCDE

} // namespace

class TestRemoteControlData : public QObject
{
    Q_OBJECT

private slots:
    void twoHexDigits_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("digits");
        QTest::newRow("0") << qint64(0) << QStringLiteral("00");
        QTest::newRow("9") << qint64(9) << QStringLiteral("09");
        QTest::newRow("15") << qint64(15) << QStringLiteral("0F");
        QTest::newRow("16") << qint64(16) << QStringLiteral("10");
        QTest::newRow("171 upper case") << qint64(171) << QStringLiteral("AB");
        QTest::newRow("255") << qint64(255) << QStringLiteral("FF");
        QTest::newRow("256: first two of 100") << qint64(256) << QStringLiteral("10");
        QTest::newRow("300: first two of 12C") << qint64(300) << QStringLiteral("12");
        QTest::newRow("4095: first two of FFF") << qint64(4095) << QStringLiteral("FF");
        QTest::newRow("-1") << qint64(-1) << QStringLiteral("FF");
        QTest::newRow("-256") << qint64(-256) << QStringLiteral("FF");
        QTest::newRow("int64 minimum: 8000...")
                << std::numeric_limits<qint64>::min() << QStringLiteral("80");
        QTest::newRow("int64 maximum: 7FFF...")
                << std::numeric_limits<qint64>::max() << QStringLiteral("7F");
    }

    void twoHexDigits()
    {
        QFETCH(qint64, value);
        QFETCH(QString, digits);
        QCOMPARE(RemoteControlData::twoHexDigits(value), digits);
    }

    void characterCode_data()
    {
        QTest::addColumn<int>("unicode");
        QTest::addColumn<int>("code");
        QTest::newRow("A") << 0x41 << 65;
        QTest::newRow("space") << 0x20 << 32;
        QTest::newRow("DEL") << 0x7F << 127;
        QTest::newRow("U+0080") << 0x80 << 128;
        QTest::newRow("e acute") << 0xE9 << 233;
        QTest::newRow("y diaeresis") << 0xFF << 255;
        QTest::newRow("U+0100") << 0x100 << 0;
        QTest::newRow("euro sign") << 0x20AC << 0;
        QTest::newRow("high surrogate") << 0xD83D << 0;
    }

    void characterCode()
    {
        QFETCH(int, unicode);
        QFETCH(int, code);
        QCOMPARE(RemoteControlData::characterCode(QChar(char16_t(unicode))), code);
    }

    void isHexDigit()
    {
        // Every character up to U+00FF against the written-out digit set, so that the edges
        // ('/' ':' '@' 'G' '`' 'g') and the Latin-1 range are all covered.
        const QString digits = QStringLiteral("0123456789abcdefABCDEF");
        for (char16_t u = 0; u <= 0xFF; ++u)
            QVERIFY2(RemoteControlData::isHexDigit(QChar(u)) == digits.contains(QChar(u)),
                     qPrintable(QString::number(u, 16)));
        QVERIFY(!RemoteControlData::isHexDigit(QChar(char16_t(0xFF10)))); // fullwidth 0
    }

    void nameBlock_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<int>>("block");

        QTest::newRow("TV") << QStringLiteral("TV") << padded({0, 1, 0, 0, 0, 3, 2, 84, 86});
        QTest::newRow("DVD 2") << QStringLiteral("DVD 2")
                               << padded({0, 1, 0, 0, 0, 6, 5, 68, 86, 68, 32, 50});
        QTest::newRow("empty") << QString() << padded({0, 1, 0, 0, 0, 1, 0});
        QTest::newRow("lower case kept")
                << QStringLiteral("tv") << padded({0, 1, 0, 0, 0, 3, 2, 116, 118});

        QList<int> full = {0, 1, 0, 0, 0, 58, 57};
        for (int j = 0; j < 57; ++j)
            full.append('a' + j % 26);
        QString name57;
        for (int j = 0; j < 57; ++j)
            name57 += QChar(char16_t('a' + j % 26));
        QTest::newRow("57 characters fill the block") << name57 << full;
        QTest::newRow("60 characters are cut to 57") << name57 + QStringLiteral("XYZ") << full;
        QTest::newRow("1000 characters are cut to 57")
                << name57 + QString(943, QLatin1Char('Q')) << full;

        QTest::newRow("Latin-1 letters: their codes")
                << QString::fromUtf8("\xc3\xa9\xc3\xbf\xc2\x80")
                << padded({0, 1, 0, 0, 0, 4, 3, 233, 255, 128});
        QTest::newRow("above U+00FF: 0") << QString::fromUtf8("a\xe2\x82\xac\xc4\x80z")
                                         << padded({0, 1, 0, 0, 0, 5, 4, 97, 0, 0, 122});
    }

    void nameBlock()
    {
        QFETCH(QString, name);
        QFETCH(QList<int>, block);
        QCOMPARE(toList(buildSwitchNameBlock(name)), block);
    }

    void rewrite_data()
    {
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("flag");
        QTest::addColumn<QString>("rewritten");

        QTest::newRow("TV, flag 0, ABCDE image")
                << kImage << QStringLiteral("TV") << 0 << QStringLiteral("000002030403025456EEFF");
        QTest::newRow("ABCDEFGHIJKL, flag 1")
                << kImage << QStringLiteral("ABCDEFGHIJKL") << 1
                << QStringLiteral("00010203040D0C4142434445464748494A4B4CEEFF");
        QTest::newRow("0001, TV, flag 1") << QStringLiteral("0001") << QStringLiteral("TV") << 1
                                          << QStringLiteral("000102025456");
        QTest::newRow("flag 2") << kImage << QStringLiteral("TV") << 2
                                << QStringLiteral("000202030403025456EEFF");
        QTest::newRow("flag 300") << kImage << QStringLiteral("TV") << 300
                                  << QStringLiteral("001202030403025456EEFF");
        QTest::newRow("flag -1") << kImage << QStringLiteral("TV") << -1
                                 << QStringLiteral("00FF02030403025456EEFF");
        QTest::newRow("DVD 2") << kImage << QStringLiteral("DVD 2") << 1
                               << QStringLiteral("00010203040605") + QStringLiteral("4456442032")
                                          + QStringLiteral("EEFF");
        QTest::newRow("lower-case digits kept, inserted ones upper")
                << QStringLiteral("0a0102030406054142434445eeff") << QStringLiteral("tv") << 10
                << QStringLiteral("0a0A02030403027476eeff");
        QTest::newRow("lower-case a and b are read")
                << QStringLiteral("00010203040b0a") + QStringLiteral("0").repeated(20)
                           + QStringLiteral("ab")
                << QString() << 1 << QStringLiteral("00010203040100ab");
        QTest::newRow("empty image stays empty")
                << QString() << QStringLiteral("TV") << 1 << QString();
        QTest::newRow("empty name drops the old one")
                << kImage << QString() << 1 << QStringLiteral("00010203040100EEFF");
        QTest::newRow("nothing after the old name")
                << QStringLiteral("000102030406054142434445") << QStringLiteral("TV") << 1
                << QStringLiteral("000102030403025456");

        // Short images: the missing pairs give 0, the ranges give what exists.
        QTest::newRow("10 characters") << QStringLiteral("0001020304") << QStringLiteral("TV") << 1
                                       << QStringLiteral("00010203040202") + QStringLiteral("5456");
        QTest::newRow("11 characters: a has one digit")
                << QStringLiteral("00010203041") << QStringLiteral("TV") << 1
                << QStringLiteral("00010203040202") + QStringLiteral("5456");
        QTest::newRow("13 characters: b has one digit")
                << QStringLiteral("0001020304065") << QStringLiteral("TV") << 1
                << QStringLiteral("00010203040802") + QStringLiteral("5456");
        QTest::newRow("1 character") << QStringLiteral("0") << QStringLiteral("TV") << 1
                                     << QStringLiteral("0010202") + QStringLiteral("5456");
        QTest::newRow("b runs past the end")
                << QStringLiteral("00010203040AFF41") << QStringLiteral("TV") << 1
                << QStringLiteral("0001020304") + QStringLiteral("FF02") + QStringLiteral("5456");

        // a and b only from two hexadecimal digits.
        QTest::newRow("a not hex: 0, L + a - b negative")
                << QStringLiteral("0001020304XY054142434445EEFF") << QStringLiteral("TV") << 1
                << QStringLiteral("0001020304FF025456EEFF");
        QTest::newRow("b not hex: 0, the old name stays")
                << QStringLiteral("000102030406G54142434445EEFF") << QStringLiteral("TV") << 1
                << QStringLiteral("0001020304080254564142434445EEFF");
        QTest::newRow("a with a sign is not hex")
                << QStringLiteral("0001020304+100EEFF") << QStringLiteral("TV") << 1
                << QStringLiteral("00010203040202") + QStringLiteral("5456EEFF");
        QTest::newRow("b with a blank is not hex")
                << QStringLiteral("000102030406 54142434445EEFF") << QStringLiteral("TV") << 1
                << QStringLiteral("0001020304080254564142434445EEFF");

        // L + a - b above 255 keeps the first two digits.
        QTest::newRow("L + a - b = 312")
                << QStringLiteral("0001020304FF00") << QString(57, QLatin1Char('A')) << 1
                << QStringLiteral("0001020304") + QStringLiteral("1339")
                           + QStringLiteral("41").repeated(57);

        QTest::newRow("long name cut to 57")
                << kImage << QString(57, QLatin1Char('B')) + QStringLiteral("CDE") << 1
                << QStringLiteral("0001020304") + QStringLiteral("3A39")
                           + QStringLiteral("42").repeated(57) + QStringLiteral("EEFF");
        QTest::newRow("Latin-1 and above in the name")
                << kImage << QString::fromUtf8("\xc3\xa9\xc2\x80\xe2\x82\xac\xc3\xbf") << 1
                << QStringLiteral("0001020304") + QStringLiteral("0504")
                           + QStringLiteral("E98000FF") + QStringLiteral("EEFF");
    }

    void rewrite()
    {
        QFETCH(QString, image);
        QFETCH(QString, name);
        QFETCH(int, flag);
        QFETCH(QString, rewritten);
        QCOMPARE(rewriteFlashImage(image, name, flag), rewritten);
    }

    // Both derivations encode a name character alike.
    void blockAndImageAgree_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("ASCII") << QStringLiteral("Sat box");
        QTest::newRow("Latin-1") << QString::fromUtf8("Caf\xc3\xa9 \xc3\x9f\xc2\xa0");
        QTest::newRow("beyond Latin-1") << QString::fromUtf8("\xe2\x82\xac\xce\xa9 TV");
        QTest::newRow("too long") << QStringLiteral("0123456789").repeated(7);
    }

    void blockAndImageAgree()
    {
        QFETCH(QString, name);
        const auto block = buildSwitchNameBlock(name);
        const QString image = rewriteFlashImage(QStringLiteral("00000000000000"), name, 1);
        const int length = block[6];
        QCOMPARE(image.size(), 14 + 2 * length);
        for (int j = 0; j < length; ++j) {
            bool ok = false;
            QCOMPARE(image.mid(14 + 2 * j, 2).toInt(&ok, 16), block[7 + j]);
            QVERIFY(ok);
        }
    }
};

QTEST_GUILESS_MAIN(TestRemoteControlData)
#include "tst_remotecontroldata.moc"
