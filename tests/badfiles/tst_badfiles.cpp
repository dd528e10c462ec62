// Loads each malformed configuration file of tests/data/bad (and a few that are made here: a
// 20 MB flash image, a folder, a file without read permission, a named pipe) and checks the
// record against what the file must give, written out here field by field from the loading
// rules: keys the INI reader cannot find take their defaults, integers that are not decimal read
// as 0, names are cut to 57 characters and coded as Latin-1 (0 above U+00FF); a file with a value
// that the INI reader would decode as an object is refused at that value's line. A programming
// pass over each record must end and have the number of reports and pauses its counts give, and
// a record whose pass cannot be sent is refused with its reason.
#include "ConfigurationLoader.h"
#include "PassFormula.h"
#include "ProgrammingPass.h"
#include "RecordFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using Patch = std::function<void(ConfigurationRecord &)>;
Q_DECLARE_METATYPE(Patch)
Q_DECLARE_METATYPE(LoadStatus)

namespace {

enum class Source {
    DataFile, // tests/data/bad/<name>
    HugeFlashImage, // a 20 MB flash image, written at test time
    Folder, // a folder named like a configuration file
    NoReadPermission, // a file whose permissions forbid reading
    Missing, // nothing at the path
};


// A switch name block holding the given character codes.
ConfigurationRecord::NameBlock nameBlock(const QList<int> &codes)
{
    ConfigurationRecord::NameBlock block{};
    block[1] = 1;
    block[5] = int(codes.size()) + 1;
    block[6] = int(codes.size());
    for (int j = 0; j < codes.size(); ++j)
        block[7 + j] = codes[j];
    return block;
}

// The codes of an ASCII text, one per character.
QList<int> ascii(const char *text)
{
    QList<int> codes;
    for (const char *p = text; *p; ++p)
        codes << int(static_cast<unsigned char>(*p));
    return codes;
}

// Two upper-case hexadecimal digits per character of an ASCII text.
QString asciiHex(const QByteArray &text)
{
    return QString::fromLatin1(text.toHex().toUpper());
}



// Checks each report as it comes, counts reports and pauses, and keeps the reports as text
// ("00 A5 80 ...") while the pass is small enough to keep.
class ReportSink : public PassSink
{
public:
    bool report(const std::uint8_t *bytes, std::size_t length) override
    {
        if (length != 9 || bytes[0] != 0)
            ++malformed;
        ++reports;
        beforeLast.swap(last);
        last.assign(bytes, bytes + length);
        if (lines.size() < 10000) {
            QStringList hex;
            for (std::size_t i = 0; i < length; ++i)
                hex << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
            lines << hex.join(u' ');
        }
        return reports < limit;
    }
    bool pause(int ms) override
    {
        pauseMs += ms;
        return true;
    }

    qint64 limit = std::numeric_limits<qint64>::max(); // the pass stops after this many reports
    qint64 reports = 0;
    qint64 pauseMs = 0;
    int malformed = 0;
    QStringList lines;
    std::vector<std::uint8_t> last;
    std::vector<std::uint8_t> beforeLast;
};

// Byte k of the generated large flash image's filler.
int fillerByte(qint64 k)
{
    return int((k * 7 + 3) % 256);
}

// Passes up to this many reports are run whole (the 20 MB image makes 1.3 million).
constexpr qint64 kLongestPassChecked = 2'000'000;

constexpr qint64 kHugeImageLength = 20 * 1024 * 1024; // hexadecimal digits
const QString kHugeImageHead = QStringLiteral("0001000000") + QStringLiteral("0403")
                               + QStringLiteral("414243"); // a = 4, b = 3, old name "ABC"

// The image as written to the file: the head, then filler bytes up to 20 MB of digits.
const QString &hugeImage()
{
    static const QString image = [] {
        static const char digits[] = "0123456789ABCDEF";
        QByteArray text = kHugeImageHead.toLatin1();
        text.reserve(kHugeImageLength);
        for (qint64 k = 0; text.size() < kHugeImageLength; ++k) {
            text += digits[fillerByte(k) >> 4];
            text += digits[fillerByte(k) & 15];
        }
        return QString::fromLatin1(text);
    }();
    return image;
}

} // namespace

Q_DECLARE_METATYPE(Source)

class BadFiles : public QObject
{
    Q_OBJECT

private:
    QString dataDir() const
    {
        return qEnvironmentVariable("RCPROG_SOURCE_DIR") + QStringLiteral("/tests/data/bad/");
    }

    QTemporaryDir tmp_;

private slots:
    void initTestCase()
    {
        QVERIFY(tmp_.isValid());
        QVERIFY2(QDir(dataDir()).exists(), qPrintable(dataDir()));
    }

    void load_data()
    {
        QTest::addColumn<Source>("source");
        QTest::addColumn<QString>("file");
        QTest::addColumn<LoadStatus>("status");
        QTest::addColumn<Patch>("patch");
        // Reports that must come one after another somewhere in the pass (R = 8).
        QTest::addColumn<QStringList>("reports");
        // Why no pass of the record can be sent; empty when it can.
        QTest::addColumn<QString>("refusal");
        // Unreadable: the line that makes the file unreadable (0: the file as a whole).
        QTest::addColumn<int>("line");

        const Patch none = [](ConfigurationRecord &) {};
        const QStringList anyReports;
        const QString zeros = QStringLiteral("00 00 00 00 00 00 00 00 00");

        QTest::newRow("empty file: defaults")
                << Source::DataFile << QStringLiteral("empty.ini") << LoadStatus::Loaded << none
                << anyReports << QString() << 0;
        QTest::newRow("binary garbage: defaults")
                << Source::DataFile << QStringLiteral("binary-garbage.ini") << LoadStatus::Loaded
                << none << anyReports << QString() << 0;
        // The INI reader reads bytes as UTF-8: in UTF-16 every other byte is 0, so no group
        // header and no key is recognised, and the whole file reads as missing keys.
        QTest::newRow("UTF-16 with BOM: nothing recognised, defaults")
                << Source::DataFile << QStringLiteral("utf16-bom.ini") << LoadStatus::Loaded << none
                << anyReports << QString() << 0;
        QTest::newRow("UTF-8 BOM is skipped")
                << Source::DataFile << QStringLiteral("utf8-bom.ini") << LoadStatus::Loaded
                << Patch([](ConfigurationRecord &r) {
                       r.newNameOfDevice = QStringLiteral("Caf\u00e9 device");
                       r.canChangeProductName = 1;
                       r.configurationBlock[0] = 100;
                       r.switchNameBlocks[0] = nameBlock(ascii("TV"));
                   })
                << QStringList{"00 88 00 00 00 00 00 00 00", "00 43 61 66 E9 20 64 65 76",
                               "00 69 63 65 00 00 00 00 00", zeros, "00 03 00 00 00 00 00 00 00"}
                << QString() << 0;
        QTest::newRow("CRLF line endings: no CR in any value")
                << Source::DataFile << QStringLiteral("crlf.ini") << LoadStatus::Loaded
                << Patch([](ConfigurationRecord &r) {
                       r.newNameOfDevice = QStringLiteral("CRLF device");
                       r.configurationBlock[2] = 7;
                       r.configurationBlock[3] = 8;
                       r.configurationBlock[31] = 1;
                       r.configurationBlock[33] = 2;
                       r.switchNameBlocks[0] = nameBlock(ascii("TV"));
                       // a = 2, b = 1: byte 5 = 2 + 2 - 1, the old name 41 becomes 5456
                       r.flashData[0] = QStringLiteral("000102030403025456");
                   })
                // 18 digits = 9 bytes, raised to 16: 2 flash blocks of 1 report
                << QStringList{"00 A5 00 02 00 00 00 00 00", "00 00 01 02 03 04 03 02 54",
                               "00 56 00 00 00 00 00 00 00", "00 03 00 00 00 00 00 00 00"}
                << QString() << 0;
        QTest::newRow("integers beyond 32 bits keep their low 32 bits")
                << Source::DataFile << QStringLiteral("integers-beyond-32-bits.ini")
                << LoadStatus::Loaded
                << Patch([](ConfigurationRecord &r) {
                       auto &b = r.configurationBlock;
                       r.canChangeProductName = 1; // 2^32 + 1
                       b[0] = 0; // 2^32
                       b[1] = -2147483647 - 1; // 2^31
                       b[2] = 2147483647; // -2^31 - 1
                       b[3] = 64; // 2^32 + 64
                       b[11] = 0; // beyond 64 bits: not a number
                       b[15] = -1; // 2^63 - 1
                       b[16] = 0; // -2^63
                       b[25] = 0; // 2^64: not a number
                       b[31] = 2; // -2^32 + 2
                       b[27] = 18; // ID 2^32 + 4660 reads 4660
                       b[28] = 52;
                       b[29] = 1; // haveMacro 2^32 + 1, but there is no flashMacro
                       b[33] = 2; // rc01maxSize 2^32 + 2
                       b[35] = 1; // rc02maxSize -2^32 + 1
                       b[64] = 12; // key00 2^32 + 12
                       r.boolRewritableFromSoftware[0] = 2; // 2^32 + 2
                       r.flashData[0] = QStringLiteral("00020000000000AB");
                   })
                // Q = 64 after the wrap: one flash block of 8 reports for remote control 1.
                << QStringList{"00 A5 00 01 00 00 00 00 00", "00 00 02 00 00 00 00 00 AB"}
                           + QStringList(7, zeros) + QStringList{"00 A5 01 01 00 00 00 00 00"}
                << QString() << 0;
        QTest::newRow("a comma makes a list: integers 0, texts empty")
                << Source::DataFile << QStringLiteral("comma-lists.ini") << LoadStatus::Loaded
                << Patch([](ConfigurationRecord &r) {
                       auto &b = r.configurationBlock;
                       r.newNameOfDevice.clear(); // "Device, model 2" is a list
                       r.canChangeProductName = 0; // "1," is a list
                       b[0] = 0; // 1,2
                       b[2] = 0; // "5,6" quoted is text, but not a decimal integer
                       b[11] = 0; // ,8
                       b[31] = 2;
                       b[35] = 1;
                       b[69] = 0; // key05 5,5
                       r.boolRewritableFromSoftware[0] = 0; // 1,0
                       r.switchNameBlocks[0] = nameBlock({}); // TV,DVD is a list
                       r.switchNameBlocks[1] = nameBlock(ascii("TV, DVD"));
                       // rc01flashData 0001,0203 is a list: no flash image
                       r.flashData[1] = QStringLiteral("00010000000707") + asciiHex("TV, DVD")
                                        + QStringLiteral(",,");
                   })
                // Remote control 2: Q = 255 gives 31 reports; ",," is no number and gives 00.
                << QStringList{"00 A5 01 01 00 00 00 00 00", "00 00 01 00 00 00 07 07 54",
                               "00 56 2C 20 44 56 44 00 00", zeros}
                << QString() << 0;
        QTest::newRow("quotes, escapes, typed values, a continued line")
                << Source::DataFile << QStringLiteral("quotes-and-escapes.ini")
                << LoadStatus::Loaded << Patch([](ConfigurationRecord &r) {
                       auto &b = r.configurationBlock;
                       r.newNameOfDevice = QStringLiteral("Quoted; with = and , inside");
                       r.canChangeProductName = 1;
                       b[0] = 13; // " 13 "
                       b[2] = 21; // key %U0073hiftDelay
                       b[16] = 31; // key %73caningKeyboardDelay
                       b[1] = 0; // @Invalid() is present but no number: 0, not 255
                       b[11] = 77; // @ByteArray(77)
                       b[15] = 22; // @String(22)
                       b[30] = 12; // \x31\x32
                       b[25] = 16; // 1\ continued by 6
                       r.switchNameBlocks[0] = nameBlock(ascii("TV"));
                       // %U escapes belong to key names; in a value they are plain text
                       r.switchNameBlocks[1] = nameBlock(ascii("%U00E9"));
                       r.switchNameBlocks[2] = nameBlock(ascii("a\"b\tc"));
                       r.switchNameBlocks[3] = nameBlock({});
                       r.switchNameBlocks[4] = nameBlock(ascii(" padded "));
                       r.switchNameBlocks[5] = nameBlock(ascii("trimmed"));
                       // An open quote runs to the end of the file, taking the lines after it.
                       r.switchNameBlocks[6] = nameBlock(
                               ascii("ab\n[rcDatabaseToRemoteControlKeysTable]\nkey00=1\n"));
                   })
                << QStringList{"00 88 00 00 00 00 00 00 00", "00 51 75 6F 74 65 64 3B 20",
                               "00 77 69 74 68 20 3D 20 61", "00 6E 64 20 2C 20 69 6E 73"}
                << QString() << 0;
        QTest::newRow("keys in the wrong group: defaults")
                << Source::DataFile << QStringLiteral("wrong-group.ini") << LoadStatus::Loaded
                << none << anyReports << QString() << 0;
        QTest::newRow("group names differing in case: read as the canonical groups")
                << Source::DataFile << QStringLiteral("group-name-case.ini") << LoadStatus::Loaded
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[3] = 5;
                       r.configurationBlock[29] = 1;
                   })
                << anyReports << QString() << 0;
        QTest::newRow("repeated keys and groups: merged, the last value counts")
                << Source::DataFile << QStringLiteral("duplicates.ini") << LoadStatus::Loaded
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[0] = 0; // the last frequencyTrim is empty
                       r.configurationBlock[2] = 4;
                       r.configurationBlock[11] = 5;
                       r.configurationBlock[29] = 1;
                       r.switchNameBlocks[0] = nameBlock(ascii("Second"));
                   })
                << anyReports << QString() << 0;
        QTest::newRow("switch names of 500, 57 and 58 characters")
                << Source::DataFile << QStringLiteral("long-switch-name.ini") << LoadStatus::Loaded
                << Patch([](ConfigurationRecord &r) {
                       const QByteArray first57 = QByteArray("ABCDEFGHIJ").repeated(6).left(57);
                       // Blanks at the end of an unquoted value are not part of it.
                       r.newNameOfDevice = QStringLiteral("Product name ").repeated(8).trimmed();
                       r.canChangeProductName = 1;
                       r.configurationBlock[3] = 64;
                       r.configurationBlock[31] = 1;
                       r.configurationBlock[33] = 2;
                       r.switchNameBlocks[0] = nameBlock(ascii(first57.constData()));
                       r.switchNameBlocks[1] = nameBlock(
                               ascii(QByteArray("abcdefghij").repeated(6).left(57).constData()));
                       r.switchNameBlocks[2] = nameBlock(
                               ascii(QByteArray("klmnopqrst").repeated(6).left(57).constData()));
                       // a = 3, b = 2: byte 5 = 57 + 3 - 2 = 0x3A, byte 6 = 57 = 0x39
                       r.flashData[0] = QStringLiteral("00010000003A39") + asciiHex(first57)
                                        + QStringLiteral("EEFF");
                   })
                << QStringList{"00 88 00 00 00 00 00 00 00", "00 50 72 6F 64 75 63 74 20",
                               "00 6E 61 6D 65 20 50 72 6F", "00 64 75 63 74 20 6E 61 6D",
                               "00 03 00 63 74 20 6E 61 6D"}
                << QString() << 0;
        QTest::newRow("names outside ASCII: Latin-1 codes, 0 above U+00FF")
                << Source::DataFile << QStringLiteral("non-latin1-names.ini") << LoadStatus::Loaded
                << Patch([](ConfigurationRecord &r) {
                       auto &b = r.configurationBlock;
                       r.newNameOfDevice = QStringLiteral("T\u00e9l\u00e9 \u20acuro \u65e5\u672c");
                       r.canChangeProductName = 1;
                       b[3] = 8;
                       b[31] = 4;
                       b[33] = b[35] = b[37] = 2;
                       b[39] = 1;
                       r.switchNameBlocks[0] = nameBlock({84, 233, 108, 233}); // Télé
                       r.switchNameBlocks[1] = nameBlock({0, 32, 0, 0}); // € 日本
                       // U+1F600 is two UTF-16 units, each above U+00FF
                       r.switchNameBlocks[2] = nameBlock({0, 0, 120});
                       // the byte 0xFF is no UTF-8 and reads as U+FFFD
                       r.switchNameBlocks[3] = nameBlock({97, 98, 0, 99, 100});
                       r.flashData[0] = QStringLiteral("0001000000040454E96CE9");
                       r.flashData[1] = QStringLiteral("0001000000040400200000");
                       r.flashData[2] = QStringLiteral("00010000000303000078");
                   })
                << QStringList{"00 88 00 00 00 00 00 00 00", "00 54 E9 6C E9 20 00 75 72",
                               "00 6F 20 00 00 00 00 00 00", zeros, "00 03 00 00 00 00 00 00 00"}
                << QString() << 0;
        QTest::newRow("flash images: odd length, not hexadecimal, short, lower case")
                << Source::DataFile << QStringLiteral("odd-and-nonhex-flash.ini")
                << LoadStatus::Loaded << Patch([](ConfigurationRecord &r) {
                       auto &b = r.configurationBlock;
                       b[3] = 8;
                       b[31] = 6;
                       b[33] = 2;
                       b[35] = 1;
                       b[37] = 2;
                       b[39] = 1;
                       b[41] = 1;
                       b[43] = 2;
                       r.switchNameBlocks[2] = nameBlock(ascii("TV"));
                       r.switchNameBlocks[3] = nameBlock(ascii("AB"));
                       r.switchNameBlocks[4] = nameBlock(ascii("X"));
                       // No name and a = b = 0: the images stay as they are.
                       r.flashData[0] = QStringLiteral("00010000000000A1B");
                       r.flashData[1] = QStringLiteral("000100000000001");
                       // GG and 0G are no numbers: a = b = 0.
                       r.flashData[2] = QStringLiteral("ZZ010000zz02025456XY");
                       // One digit: kept, then the flag, bytes 5 and 6 and the name.
                       r.flashData[3] = QStringLiteral("0") + QStringLiteral("01")
                                        + QStringLiteral("0202") + QStringLiteral("4142");
                       // a = 3, b = 5 runs past the end: 1 + 3 - 5 = -1 gives FF.
                       r.flashData[4] = QStringLiteral("0a010c0d0eFF0158");
                       r.flashData[5] = QStringLiteral("00010000000000-1+1 1");
                   })
                << QStringList{// 17 digits: 8 bytes, already one flash block; the last digit
                               // is never read.
                               "00 A5 00 01 00 00 00 00 00", "00 00 01 00 00 00 00 00 A1",
                               // 15 digits: the lone last digit is padded to 10.
                               "00 A5 01 01 00 00 00 00 A1", "00 00 01 00 00 00 00 00 10",
                               // Pairs that are no numbers go out as 00.
                               "00 A5 02 02 00 00 00 00 10", "00 00 01 00 00 00 02 02 54",
                               "00 56 00 00 00 00 00 00 00",
                               // 11 digits padded to 16.
                               "00 A5 03 01 00 00 00 00 00", "00 00 10 20 24 14 20 00 00",
                               // Lower-case digits read as well.
                               "00 A5 04 01 24 14 20 00 00", "00 0A 01 0C 0D 0E FF 01 58",
                               // The toolkit reads -1 as -1 (FF), +1 and " 1" as 1.
                               "00 A5 05 02 0D 0E FF 01 58", "00 00 01 00 00 00 00 00 FF",
                               "00 01 01 00 00 00 00 00 00", "00 03 00 00 00 00 00 00 00"}
                << QString() << 0;
        QTest::newRow("20 MB flash image")
                << Source::HugeFlashImage << QStringLiteral("huge.ini") << LoadStatus::Loaded
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[3] = 4096;
                       r.configurationBlock[31] = 1;
                       r.configurationBlock[33] = 2560;
                       r.switchNameBlocks[0] = nameBlock(ascii("Big"));
                       // The old name ABC (414243) becomes Big (426967); a = 4 and b = 3 give
                       // byte 5 = 3 + 4 - 3 = 4 and byte 6 = 3, as before.
                       r.flashData[0]
                               = QString(hugeImage()).replace(14, 6, QStringLiteral("426967"));
                   })
                << anyReports
                << "quantityOfBytesInFlashBlock=4096: a flash block of more than 255 bytes cannot "
                   "be sent"
                << 0;
        QTest::newRow("Q of 2^31 - 1 with an 8-digit image: loads, cannot be sent")
                << Source::DataFile << QStringLiteral("huge-flash-block.ini") << LoadStatus::Loaded
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[3] = 2147483647;
                       r.configurationBlock[31] = 1;
                       r.configurationBlock[33] = 1;
                       // Shorter than a name record: a = b = 0, the flag and an empty name go in.
                       r.flashData[0] = QStringLiteral("000102030000");
                   })
                << anyReports
                << "quantityOfBytesInFlashBlock=2147483647: a flash block of more than 255 bytes "
                   "cannot be sent"
                << 0;
        QTest::newRow("a value the INI reader decodes as an object: unreadable at its line")
                << Source::DataFile << QStringLiteral("variant-value.ini") << LoadStatus::Unreadable
                << none << anyReports << QString() << 4;
        QTest::newRow("the same, escaped and quoted in a list: unreadable at its line")
                << Source::DataFile << QStringLiteral("variant-hidden.ini")
                << LoadStatus::Unreadable << none << anyReports << QString() << 6;
        QTest::newRow("a folder: unreadable, record untouched")
                << Source::Folder << QStringLiteral("folder.ini") << LoadStatus::Unreadable << none
                << anyReports << QString() << 0;
        QTest::newRow("no read permission: unreadable, record untouched")
                << Source::NoReadPermission << QStringLiteral("locked.ini")
                << LoadStatus::Unreadable << none << anyReports << QString() << 0;
        QTest::newRow("missing file: not found, record untouched")
                << Source::Missing << QStringLiteral("missing.ini") << LoadStatus::NotFound << none
                << anyReports << QString() << 0;
    }

    void load()
    {
        QFETCH(Source, source);
        QFETCH(QString, file);
        QFETCH(LoadStatus, status);
        QFETCH(Patch, patch);
        QFETCH(QStringList, reports);
        QFETCH(QString, refusal);
        QFETCH(int, line);

        QString path = tmp_.filePath(file);
        switch (source) {
        case Source::DataFile:
            path = dataDir() + file;
            QVERIFY2(QFile::exists(path), qPrintable(path));
            break;
        case Source::HugeFlashImage: {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("[Settings]\nquantityOfBytesInFlashBlock=4096\nquantityOfRemoteControls=1\n"
                      "[rcSettings]\nrc01maxSize=2560\nrc01nameOfSwitch=Big\nrc01flashData=");
            out.write(hugeImage().toLatin1());
            out.write("\n");
            QVERIFY(out.error() == QFile::NoError);
            break;
        }
        case Source::Folder:
            QVERIFY(QDir(tmp_.path()).mkpath(file));
            break;
        case Source::NoReadPermission: {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("[Settings]\nfrequencyTrim=1\n");
            out.close();
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
            if (fd >= 0) {
                ::close(fd);
                QSKIP("This process reads files regardless of their permissions (it runs as "
                      "root or with CAP_DAC_OVERRIDE), so a file without read permission cannot "
                      "be made here.");
            }
            break;
        }
        case Source::Missing:
            break;
        }

        // Start from a record that differs everywhere from what the file gives.
        const ConfigurationRecord before = scribbled();
        ConfigurationRecord record = before;
        LoadDetail detail;
        QCOMPARE(loadConfiguration(path, record, &detail), status);
        QCOMPARE(detail.line, line);
        if (status != LoadStatus::Loaded) {
            const QString diff = firstDifference(record, before);
            QVERIFY2(diff.isEmpty(), qPrintable(diff));
            return;
        }
        ConfigurationRecord expected = writtenOutDefaults();
        patch(expected);
        const QString diff = firstDifference(record, expected);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        QVERIFY(record == expected);

        const std::optional<PassRefusal> refused = passRefusal(record);
        QCOMPARE(refused ? refused->reason : QString(), refusal);
        const PassSize size = expectedPassSize(record, 8);
        if (size.reports > kLongestPassChecked) {
            // Never sent; the pass itself still stops at once when asked, whatever its size.
            QVERIFY(refused);
            ReportSink sink;
            sink.limit = 1000;
            std::vector<std::uint8_t> buffer(9, 0);
            QVERIFY(!runProgrammingPass(record, 8, buffer, sink).finished);
            QCOMPARE(sink.reports, qint64(1000));
            return;
        }

        // A pass over the record ends, with as many reports and pauses as its counts give.
        ReportSink sink;
        std::vector<std::uint8_t> buffer(9, 0);
        const PassOutcome outcome = runProgrammingPass(record, 8, buffer, sink);
        QVERIFY(outcome.finished);
        QCOMPARE(sink.malformed, 0);
        QCOMPARE(sink.reports, size.reports);
        QCOMPARE(sink.pauseMs, size.pauseMs);
        if (!reports.isEmpty()) {
            bool found = false;
            for (qsizetype i = 0; !found && i + reports.size() <= sink.lines.size(); ++i)
                found = sink.lines.mid(i, reports.size()) == reports;
            QVERIFY2(found,
                     qPrintable(QStringLiteral("reports not found in order:\n  %1\npass:\n  %2")
                                        .arg(reports.join(QStringLiteral("\n  ")),
                                             sink.lines.join(QStringLiteral("\n  ")))));
        }
        if (source == Source::HugeFlashImage) {
            // 2560 flash blocks of 512 reports; the last data report, just before the closing
            // report, carries the image's last 8 bytes.
            QCOMPARE(sink.reports, qint64(19 + 1 + 2560 * 512));
            const qint64 lastByte = kHugeImageLength / 2 - 1 - kHugeImageHead.size() / 2;
            std::vector<std::uint8_t> lastData{0};
            for (qint64 k = lastByte - 7; k <= lastByte; ++k)
                lastData.push_back(std::uint8_t(fillerByte(k)));
            QVERIFY(sink.beforeLast == lastData);
        }
    }

    // A named pipe at the path is no file to read: the load must refuse it (Unreadable) and must
    // not wait for a writer, which would freeze the window. If the load blocks, the test opens
    // the pipe for writing so that the load can go on, and fails.
    void namedPipeIsRefusedWithoutBlocking()
    {
        const QString path = tmp_.filePath(QStringLiteral("pipe.ini"));
        const QByteArray native = QFile::encodeName(path);
        QVERIFY(::mkfifo(native.constData(), 0600) == 0);

        ConfigurationRecord record = scribbled();
        auto load = std::async(std::launch::async,
                               [&path, &record] { return loadConfiguration(path, record); });
        const bool returned = load.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        int writer = -1;
        if (!returned)
            writer = ::open(native.constData(), O_WRONLY | O_NONBLOCK);
        const bool released
                = returned || load.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
        if (writer >= 0)
            ::close(writer);
        QVERIFY2(released, "the load stays blocked on the named pipe");
        const LoadStatus status = load.get();

        QVERIFY2(returned, "the load waited for a writer on the named pipe");
        QCOMPARE(status, LoadStatus::Unreadable);
        const QString diff = firstDifference(record, scribbled());
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }
};

QTEST_GUILESS_MAIN(BadFiles)
#include "tst_badfiles.moc"
