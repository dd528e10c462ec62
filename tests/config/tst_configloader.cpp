// Loader tests: every field of the record against a table written out here (not taken from the
// program), the value conversions, the group rules, and what a missing or unreadable file does.
#include "ConfigurationLoader.h"
#include "PlainValues.h"
#include "RecordFixtures.h"
#include "ScratchFiles.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <functional>

#include <unistd.h>

using Patch = std::function<void(ConfigurationRecord &)>;
Q_DECLARE_METATYPE(Patch)

namespace {



#define COMPARE_RECORDS(actual, expected) \
    do { \
        const QString diff_ = firstDifference(actual, expected); \
        QVERIFY2(diff_.isEmpty(), qPrintable(diff_)); \
        QVERIFY((actual) == (expected)); /* the operator must agree with the field walk */ \
    } while (0)

// A name block written out: the given leading entries, then zeros.
ConfigurationRecord::NameBlock nameBlock(std::initializer_list<int> leading)
{
    ConfigurationRecord::NameBlock block{};
    int i = 0;
    for (int v : leading)
        block[i++] = v;
    return block;
}


} // namespace

class TestConfigLoader : public QObject
{
    Q_OBJECT

private:
    ScratchFiles files_{QStringLiteral("case")};

    QString writeFile(const QByteArray &bytes) { return files_.write(bytes); }

    // The text the INI reader writes for `value`, as it stands after "k=".
    QByteArray writtenValue(const QVariant &value)
    {
        const QString path = files_.filePath(QStringLiteral("written-%1.ini").arg(++written_));
        {
            QSettings settings(path, QSettings::IniFormat);
            settings.setValue(QStringLiteral("k"), value);
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray();
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.startsWith("k="))
                return line.mid(2).trimmed();
        return QByteArray();
    }
    int written_ = 0;

private slots:
    void initTestCase() { QVERIFY(files_.isValid()); }

    void defaultsAreTheWrittenOutTable()
    {
        COMPARE_RECORDS(defaultConfiguration(), writtenOutDefaults());
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<Patch>("patch"); // turns the written-out defaults into the expectation

        const Patch none = [](ConfigurationRecord &) {};

        QTest::newRow("empty file: defaults") << QByteArray() << none;
        QTest::newRow("comments only: defaults") << QByteArray("; nothing\n\n  ; here\n") << none;
        QTest::newRow("empty groups: defaults")
                << QByteArray("[nameOfDevice]\n[Settings]\n[Macro]\n[rcSettings]\n"
                              "[rcDatabaseToRemoteControlKeysTable]\n")
                << none;

        QTest::newRow("Settings only: ID 4660, frequencyTrim 100")
                << QByteArray("[Settings]\nID=4660\nfrequencyTrim=100\n")
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[0] = 100;
                       r.configurationBlock[27] = 18;
                       r.configurationBlock[28] = 52;
                   });
        QTest::newRow("ID 70000") << QByteArray("[Settings]\nID=70000\n")
                                  << Patch([](ConfigurationRecord &r) {
                                         r.configurationBlock[27] = 273;
                                         r.configurationBlock[28] = 112;
                                     });
        QTest::newRow("ID -300: both parts truncate toward zero")
                << QByteArray("[Settings]\nID=-300\n") << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[27] = -1;
                       r.configurationBlock[28] = -44;
                   });
        QTest::newRow("ID 255: high byte 0")
                << QByteArray("[Settings]\nID=255\n") << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[27] = 0;
                       r.configurationBlock[28] = 255;
                   });

        QTest::newRow("shiftDelay 0x20 reads 0")
                << QByteArray("[Settings]\nshiftDelay=0x20\n")
                << Patch([](ConfigurationRecord &r) { r.configurationBlock[2] = 0; });
        QTest::newRow("shiftDelay empty reads 0, not the default")
                << QByteArray("[Settings]\nshiftDelay=\n")
                << Patch([](ConfigurationRecord &r) { r.configurationBlock[2] = 0; });
        QTest::newRow("letters read 0")
                << QByteArray("[Settings]\ncustomerId=forty\n")
                << Patch([](ConfigurationRecord &r) { r.configurationBlock[11] = 0; });
        QTest::newRow("decimal with sign and blanks")
                << QByteArray("[Settings]\nshiftDelay =  +40  \nkeyNumberOfShiftKey=-3\n")
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[2] = 40;
                       r.configurationBlock[1] = -3;
                   });
        QTest::newRow("values out of byte range are stored as read")
                << QByteArray("[Settings]\nfrequencyTrim=300\nquantityOfBytesInFlashBlock=-1\n")
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[0] = 300;
                       r.configurationBlock[3] = -1;
                   });
        QTest::newRow("integer with a comma reads 0 (a list)")
                << QByteArray("[Settings]\nshiftDelay=1,2\n")
                << Patch([](ConfigurationRecord &r) { r.configurationBlock[2] = 0; });
        QTest::newRow("inline comment ends the value")
                << QByteArray("[Settings]\nshiftDelay=40 ; milliseconds\n")
                << Patch([](ConfigurationRecord &r) { r.configurationBlock[2] = 40; });

        QTest::newRow("every Settings key lands at its index")
                << QByteArray("[Settings]\nfrequencyTrim=1\nkeyNumberOfShiftKey=2\nshiftDelay=3\n"
                              "quantityOfBytesInFlashBlock=4\nboolReceiveInfraredSignel=5\n"
                              "boolVirtualRemoteControl=6\nidNumberOfVarnoLtddeveloping=7\n"
                              "idNumberOfVarnoLtdRcDatabase=8\nIdNumberofPlastickForm=10\n"
                              "customerId=11\ndelayAfterKeyPress=15\nscaningKeyboardDelay=16\n"
                              "rcKeyNumberOfLoopKey=30\nquantityOfRemoteControls=31\nID=6940\n"
                              "miniTVRemoteControlNumber=26\nreceivingADCthreshold=25\n")
                << Patch([](ConfigurationRecord &r) {
                       auto &b = r.configurationBlock;
                       b[0] = 1;
                       b[1] = 2;
                       b[2] = 3;
                       b[3] = 4;
                       b[4] = 5;
                       b[5] = 6;
                       b[7] = 7;
                       b[8] = 8;
                       b[10] = 10;
                       b[11] = 11;
                       b[15] = 15;
                       b[16] = 16;
                       b[25] = 25;
                       b[26] = 26;
                       b[30] = 30;
                       b[31] = 31;
                       b[27] = 27; // 6940 = 27 * 256 + 28
                       b[28] = 28;
                   });

        QTest::newRow("product name present but empty stays empty")
                << QByteArray("[nameOfDevice]\nnewNameOfDevice=\n")
                << Patch([](ConfigurationRecord &r) { r.newNameOfDevice.clear(); });
        QTest::newRow("product name and flag")
                << QByteArray("[nameOfDevice]\nnewNameOfDevice=Hotel Hub\ncanChangeProductName=1\n")
                << Patch([](ConfigurationRecord &r) {
                       r.newNameOfDevice = QStringLiteral("Hotel Hub");
                       r.canChangeProductName = 1;
                   });
        QTest::newRow("quoted product name keeps its comma")
                << QByteArray("[nameOfDevice]\nnewNameOfDevice=\"Hotel, Lobby\"\n")
                << Patch([](ConfigurationRecord &r) {
                       r.newNameOfDevice = QStringLiteral("Hotel, Lobby");
                   });
        QTest::newRow("unquoted comma makes a list, which reads as empty text")
                << QByteArray("[nameOfDevice]\nnewNameOfDevice=Hotel, Lobby\n")
                << Patch([](ConfigurationRecord &r) { r.newNameOfDevice.clear(); });
        QTest::newRow("escapes and UTF-8 in a text value")
                << QByteArray("[nameOfDevice]\nnewNameOfDevice=Caf\xc3\xa9\\t\\x20ac \"x\"\n")
                << Patch([](ConfigurationRecord &r) {
                       r.newNameOfDevice = QString::fromUtf8("Caf\xc3\xa9\t\xe2\x82\xac x");
                   });

        QTest::newRow("rc03maxSize and rc03keyNumberOfSwitchKey")
                << QByteArray("[rcSettings]\nrc03maxSize=4\nrc03keyNumberOfSwitchKey=7\n")
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[37] = 4;
                       r.configurationBlock[36] = 7;
                   });
        QTest::newRow("rc01 and rc08 pairs at the ends of the run")
                << QByteArray("[rcSettings]\nrc01maxSize=11\nrc01keyNumberOfSwitchKey=12\n"
                              "rc08maxSize=81\nrc08keyNumberOfSwitchKey=82\n")
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[33] = 11;
                       r.configurationBlock[32] = 12;
                       r.configurationBlock[47] = 81;
                       r.configurationBlock[46] = 82;
                   });
        QTest::newRow("macro8 and key63")
                << QByteArray("[Macro]\nmacro8=9\n[rcDatabaseToRemoteControlKeysTable]\nkey63=12\n")
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[55] = 9;
                       r.configurationBlock[127] = 12;
                   });
        QTest::newRow("macro1, haveMacro, key00, flashMacro")
                << QByteArray("[Macro]\nhaveMacro=1\nmacro1=5\nflashMacro=00ff\n"
                              "[rcDatabaseToRemoteControlKeysTable]\nkey00=0\n")
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[29] = 1;
                       r.configurationBlock[48] = 5;
                       r.configurationBlock[64] = 0;
                       r.flashMacro = QStringLiteral("00ff");
                   });

        QTest::newRow("quantityOfRemoteControls 2 still reads all eight")
                << QByteArray("[Settings]\nquantityOfRemoteControls=2\n[rcSettings]\n"
                              "rc01nameOfSwitch=DVD 2\nrc08nameOfSwitch=TV\nrc08maxSize=3\n"
                              "rc08boolRewritableFromSoftware=0\n"
                              "rc08flashData=000102030406054142434445EEFF\n")
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[31] = 2;
                       r.configurationBlock[47] = 3;
                       r.switchNameBlocks[0] = nameBlock({0, 1, 0, 0, 0, 6, 5, 68, 86, 68, 32, 50});
                       r.switchNameBlocks[7] = nameBlock({0, 1, 0, 0, 0, 3, 2, 84, 86});
                       r.boolRewritableFromSoftware[7] = 0;
                       r.flashData[7] = QStringLiteral("000002030403025456EEFF");
                   });
        QTest::newRow("rewritable flag without flash data changes no block")
                << QByteArray(
                           "[rcSettings]\nrc02boolRewritableFromSoftware=0\nrc02nameOfSwitch=TV\n")
                << Patch([](ConfigurationRecord &r) {
                       r.boolRewritableFromSoftware[1] = 0;
                       r.switchNameBlocks[1] = nameBlock({0, 1, 0, 0, 0, 3, 2, 84, 86});
                   });
        QTest::newRow("flash data with the default flag 1 and no name")
                << QByteArray("[rcSettings]\nrc05flashData=000002030406054142434445EEFF\n")
                << Patch([](ConfigurationRecord &r) {
                       // a - b = 1, L = 0, the old name is dropped
                       r.flashData[4] = QStringLiteral("00010203040100EEFF");
                   });
        QTest::newRow("long switch name cut to 57 in block and flash")
                << QByteArray("[rcSettings]\nrc04nameOfSwitch=" + QByteArray(57, 'A')
                              + "BCD\nrc04flashData=00000000000000FF\n")
                << Patch([](ConfigurationRecord &r) {
                       auto &block = r.switchNameBlocks[3];
                       block.fill(65);
                       block[0] = 0;
                       block[1] = 1;
                       block[2] = block[3] = block[4] = 0;
                       block[5] = 58;
                       block[6] = 57;
                       r.flashData[3] = QStringLiteral("0001000000") + QStringLiteral("3939")
                                        + QStringLiteral("41").repeated(57) + QStringLiteral("FF");
                   });

        QTest::newRow("keys in the wrong group are not found")
                << QByteArray("[Settings]\nhaveMacro=1\nnewNameOfDevice=X\nkey00=1\n"
                              "[Macro]\nshiftDelay=1\nrc01maxSize=3\n"
                              "[rcSettings]\nmacro1=4\n"
                              "[nameOfDevice]\nfrequencyTrim=1\n")
                << none;
        QTest::newRow("keys outside any group are not found")
                << QByteArray("shiftDelay=1\nnewNameOfDevice=X\n[General]\nkey00=1\n") << none;
        QTest::newRow("unknown groups and keys have no effect")
                << QByteArray("[Setings]\nshiftDelay=1\n[Settings]\nshiftDelya=1\n") << none;
        QTest::newRow("a repeated key: the last one counts")
                << QByteArray("[Settings]\nshiftDelay=1\nshiftDelay=2\n[Macro]\n[Settings]\n"
                              "shiftDelay=3\n")
                << Patch([](ConfigurationRecord &r) { r.configurationBlock[2] = 3; });
        QTest::newRow("BOM and CRLF")
                << QByteArray("\xef\xbb\xbf[Settings]\r\nshiftDelay=40\r\n[nameOfDevice]\r\n"
                              "newNameOfDevice=Hub\r\n")
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[2] = 40;
                       r.newNameOfDevice = QStringLiteral("Hub");
                   });
        // The reader parses a group when a key is first asked for and looks for the key in the
        // last group whose name sorts before it: without the whole file parsed first, the
        // subgroups below would hide shiftDelay and rc01nameOfSwitch.
        QTest::newRow("a subgroup hides no key of its group")
                << QByteArray("[Settings]\nshiftDelay=40\n[rcSettings]\nrc01nameOfSwitch=TV\n"
                              "[Settings\\a]\nx=1\n[rcSettings%2Fc]\nx=1\n")
                << Patch([](ConfigurationRecord &r) {
                       r.configurationBlock[2] = 40;
                       auto &name = r.switchNameBlocks[0];
                       name[5] = 3;
                       name[6] = 2;
                       name[7] = 'T';
                       name[8] = 'V';
                   });
        QTest::newRow("unparsable lines are skipped silently")
                << QByteArray("[Settings]\nthis is not a key\nshiftDelay=40\n]]\n")
                << Patch([](ConfigurationRecord &r) { r.configurationBlock[2] = 40; });
    }

    void load()
    {
        QFETCH(QByteArray, ini);
        QFETCH(Patch, patch);

        ConfigurationRecord expected = writtenOutDefaults();
        patch(expected);

        // Start from a record whose every field differs from what the file gives.
        ConfigurationRecord record = scribbled();
        QCOMPARE(loadConfiguration(writeFile(ini), record), LoadStatus::Loaded);
        COMPARE_RECORDS(record, expected);
    }

    // Group and key names match without regard to case, as the toolkit's reader matches them on
    // Windows: every spelling of one file gives the record of its canonical spelling.
    void spellingsGiveOneRecord_data()
    {
        QTest::addColumn<QByteArray>("ini");

        // One key of each group and kind; values keep their case.
        const QList<QPair<QString, QString>> lines{{"[nameOfDevice]", ""},
                                                   {"newNameOfDevice", "Hall"},
                                                   {"canChangeProductName", "1"},
                                                   {"[Settings]", ""},
                                                   {"shiftDelay", "40"},
                                                   {"ID", "4660"},
                                                   {"IdNumberofPlastickForm", "7"},
                                                   {"[Macro]", ""},
                                                   {"haveMacro", "1"},
                                                   {"macro8", "9"},
                                                   {"[rcSettings]", ""},
                                                   {"rc03maxSize", "4"},
                                                   {"[rcDatabaseToRemoteControlKeysTable]", ""},
                                                   {"key63", "12"}};
        const auto spelled = [&lines](const std::function<QString(const QString &)> &name) {
            QByteArray out;
            for (const auto &[left, value] : lines)
                out += (value.isEmpty() ? name(left) : name(left) + u'=' + value).toUtf8() + '\n';
            return out;
        };
        const auto swapped = [](const QString &s) {
            QString out;
            for (QChar c : s)
                out += c.isUpper() ? c.toLower() : c.toUpper();
            return out;
        };
        QTest::newRow("as in the table") << spelled([](const QString &s) { return s; });
        QTest::newRow("lower case") << spelled([](const QString &s) { return s.toLower(); });
        QTest::newRow("upper case") << spelled([](const QString &s) { return s.toUpper(); });
        QTest::newRow("case swapped") << spelled(swapped);
        QTest::newRow("BOM, CRLF, blanks around the names")
                << QByteArray("\xef\xbb\xbf[ nameofdevice ]\r\n newnameofdevice = Hall\r\n"
                              "canchangeproductname=1\r\n[SETTINGS]\r\nshiftdelay=40\r\nid=4660\r\n"
                              "idnumberofplastickform=7\r\n[macro]\r\nHAVEMACRO=1\r\nMACRO8=9\r\n"
                              "[rcsettings]\r\nRC03MAXSIZE=4\r\n"
                              "[rcdatabasetoremotecontrolkeystable]\r\nKEY63=12\r\n");
        QTest::newRow("escapes that spell another case or the same")
                << QByteArray("[%4EameOfDevice]\nnew%4EameOfDevice=Hall\n"
                              "canChangeProduct%6Eame=1\n"
                              "[%73ettings]\nSHIFT%44ELAY=40\nI%64=4660\n"
                              "%U0069dnumberofplastickform=7\n"
                              "[Macro]\nhave%UOO4Dacro=0\nhave%U004Dacro=1\nMacro8=9\n"
                              "[rcSettings]\nRc03MaxSize=4\n"
                              "[rcDatabaseToRemoteControlKeysTable]\nKey63=12\n");
        QTest::newRow("keys of [General] that name a group are not read, in any spelling")
                << QByteArray("Settings\\shiftDelay=1\n[General]\nsettings\\shiftdelay=2\n")
                           + spelled([](const QString &s) { return s; })
                           + QByteArray("[GENERAL]\nmacro\\MACRO8=3\nMacro\\macro8=4\n");
        QTest::newRow("two spellings: the last one counts, as for a repeated key")
                << QByteArray("[nameOfDevice]\nnewNameOfDevice=Lobby\nNEWNAMEOFDEVICE=Hall\n"
                              "canChangeProductName=1\n"
                              "[settings]\nshiftDelay=9\nID=4660\n[Settings]\nshiftdelay=40\n"
                              "IdNumberofPlastickForm=7\n"
                              "[Macro]\nhaveMacro=1\nMACRO8=3\n[macro]\nmacro8=9\n"
                              "[rcSettings]\nrc03maxSize=4\n"
                              "[RCDATABASETOREMOTECONTROLKEYSTABLE]\nkey63=1\nKey63=12\n");
    }

    void spellingsGiveOneRecord()
    {
        QFETCH(QByteArray, ini);

        ConfigurationRecord expected = writtenOutDefaults();
        expected.newNameOfDevice = QStringLiteral("Hall");
        expected.canChangeProductName = 1;
        expected.configurationBlock[2] = 40;
        expected.configurationBlock[27] = 18;
        expected.configurationBlock[28] = 52;
        expected.configurationBlock[10] = 7;
        expected.configurationBlock[29] = 1;
        expected.configurationBlock[55] = 9;
        expected.configurationBlock[37] = 4;
        expected.configurationBlock[127] = 12;

        ConfigurationRecord record = scribbled();
        QCOMPARE(loadConfiguration(writeFile(ini), record), LoadStatus::Loaded);
        COMPARE_RECORDS(record, expected);
    }

    void loadingAThenBLeavesNothingOfA()
    {
        const QString a = writeFile(
                "[nameOfDevice]\nnewNameOfDevice=A name\ncanChangeProductName=1\n"
                "[Settings]\nfrequencyTrim=1\nshiftDelay=2\nID=4660\nquantityOfRemoteControls=3\n"
                "[Macro]\nhaveMacro=1\nmacro3=3\nflashMacro=ABCD\n"
                "[rcSettings]\nrc01maxSize=2\nrc02keyNumberOfSwitchKey=4\nrc03nameOfSwitch=TV\n"
                "rc04boolRewritableFromSoftware=0\nrc05flashData=000102030406054142434445EEFF\n"
                "[rcDatabaseToRemoteControlKeysTable]\nkey10=1\n");
        const QString b = writeFile("[Settings]\nshiftDelay=9\n");

        ConfigurationRecord record;
        QCOMPARE(loadConfiguration(a, record), LoadStatus::Loaded);
        QVERIFY(record != writtenOutDefaults()); // A really left its marks
        QCOMPARE(loadConfiguration(b, record), LoadStatus::Loaded);

        ConfigurationRecord expected = writtenOutDefaults();
        expected.configurationBlock[2] = 9;
        COMPARE_RECORDS(record, expected);
    }

    void loadingTwiceGivesTheSameRecord()
    {
        // The rewrite of the flash images starts from the file's text every time.
        const QString path = writeFile("[Settings]\nID=1\n[rcSettings]\nrc01nameOfSwitch=TV\n"
                                       "rc01boolRewritableFromSoftware=0\n"
                                       "rc01flashData=000102030406054142434445EEFF\n"
                                       "rc02nameOfSwitch=ABCDEFGHIJKL\n"
                                       "rc02flashData=000102030406054142434445EEFF\n");
        ConfigurationRecord record;
        QCOMPARE(loadConfiguration(path, record), LoadStatus::Loaded);
        const ConfigurationRecord first = record;
        QCOMPARE(first.flashData[0], QStringLiteral("000002030403025456EEFF"));
        QCOMPARE(loadConfiguration(path, record), LoadStatus::Loaded);
        COMPARE_RECORDS(record, first);
    }

    void missingFileLeavesTheRecord_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("no such file") << QStringLiteral("absent.ini");
        QTest::newRow("no such folder") << QStringLiteral("absent/x.ini");
        QTest::newRow("empty base name") << QStringLiteral(".ini");
    }

    void missingFileLeavesTheRecord()
    {
        QFETCH(QString, name);
        ConfigurationRecord record = scribbled();
        QCOMPARE(loadConfiguration(files_.filePath(name), record), LoadStatus::NotFound);
        COMPARE_RECORDS(record, scribbled());
    }

    void folderIsUnreadable()
    {
        const QString path = files_.filePath(QStringLiteral("folder.ini"));
        QVERIFY(QDir().mkpath(path));
        // Something a reader could mistake for contents.
        QFile inner(path + QStringLiteral("/x.ini"));
        QVERIFY(inner.open(QIODevice::WriteOnly));
        inner.write("[Settings]\nshiftDelay=1\n");
        inner.close();

        ConfigurationRecord record = scribbled();
        QCOMPARE(loadConfiguration(path, record), LoadStatus::Unreadable);
        COMPARE_RECORDS(record, scribbled());
    }

    void fileWithoutReadPermissionIsUnreadable()
    {
        if (::geteuid() == 0)
            QSKIP("root reads files regardless of their permissions");
        const QString path = writeFile("[Settings]\nshiftDelay=1\n");
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
        ConfigurationRecord record = scribbled();
        const LoadStatus status = loadConfiguration(path, record);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(status, LoadStatus::Unreadable);
        COMPARE_RECORDS(record, scribbled());
    }

    void encodedValue_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("line"); // the line named; 0: the file is accepted
        QTest::addColumn<QString>("form");
        QTest::addColumn<bool>("decoded"); // the INI reader really decodes an object from it

        // Values as the reader itself writes them for a URL and a date: @Variant(...) and
        // @DateTime(...) with the object in escaped binary.
        const QByteArray v = writtenValue(QVariant(QUrl(QStringLiteral("http://x"))));
        const QByteArray dt = writtenValue(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC));
        QVERIFY(v.startsWith("@Variant(") && dt.startsWith("@DateTime("));
        const QByteArray afterAt = v.mid(1);
        const QString variant = QStringLiteral("@Variant(");

        QTest::newRow("plain") << "[Settings]\nshiftDelay=" + v + "\n" << 2 << variant << true;
        QTest::newRow("@DateTime") << "[Settings]\nshiftDelay=" + dt + "\n"
                                   << 2 << QStringLiteral("@DateTime(") << true;
        QTest::newRow("quoted") << "[Settings]\nshiftDelay=\"" + v + "\"\n" << 2 << variant << true;
        QTest::newRow("@ as \\x40") << "[Settings]\nshiftDelay=\\x40" + afterAt + "\n"
                                    << 2 << variant << true;
        QTest::newRow("@ as \\100") << "[Settings]\nshiftDelay=\\100" + afterAt + "\n"
                                    << 2 << variant << true;
        QTest::newRow("@ as \\x10040: the value keeps 16 bits")
                << "[Settings]\nshiftDelay=\\x10040" + afterAt + "\n"
                << 2 << variant << true;
        QTest::newRow("a quoted @") << "[Settings]\nshiftDelay=\"@\"" + afterAt + "\n"
                                    << 2 << variant << true;
        QTest::newRow("after blanks and an empty quoted text")
                << "[Settings]\nshiftDelay= \t\"\" " + v + "\n"
                << 2 << variant << true;
        QTest::newRow("a backslash drops the blank before it")
                << "[Settings]\nshiftDelay=\\ " + v + "\n"
                << 2 << variant << true;
        QTest::newRow("second element of a list") << "[Settings]\nshiftDelay=1, " + v + "\n"
                                                  << 2 << variant << true;
        QTest::newRow("first element of a list, quoted")
                << "[Settings]\nshiftDelay=\"" + v + "\",2\n"
                << 2 << variant << true;
        QTest::newRow("continued from its key's line") << "[Settings]\nshiftDelay=\\\n" + v + "\n"
                                                       << 2 << variant << true;
        QTest::newRow("after a quoted line break in an earlier value")
                << "[rcSettings]\nrc01nameOfSwitch=\"a\nb\"\nrc02nameOfSwitch=" + v + "\n"
                << 4 << variant << true;
        QTest::newRow("in a group the loader does not read") << "[Other]\nx=1\ny=" + v + "\n"
                                                             << 3 << variant << true;
        QTest::newRow("outside any group") << "x=" + v + "\n[Settings]\n" << 1 << variant << true;
        QTest::newRow("a key starting with #") << "#x=" + v + "\n" << 1 << variant << true;
        QTest::newRow("line numbers after a BOM and CRLF")
                << "\xef\xbb\xbf[Settings]\r\n\r\nshiftDelay=" + v + "\r\n"
                << 3 << variant << true;
        QTest::newRow("without the closing parenthesis")
                << QByteArray("[Settings]\nshiftDelay=@Variant(abc\n") << 2 << variant << false;
        QTest::newRow("after a character that is not ASCII")
                << "[Settings]\nshiftDelay=\xc3\xa9" + v + "\n"
                << 2 << variant << false;

        QTest::newRow("accepted: @@ is a plain @") << "[Settings]\nshiftDelay=@" + v + "\n"
                                                   << 0 << QString() << false;
        QTest::newRow("accepted: in a comment") << "[Settings]\n; shiftDelay=" + v + "\n"
                                                << 0 << QString() << false;
        QTest::newRow("accepted: after a semicolon") << "[Settings]\nshiftDelay=1;" + v + "\n"
                                                     << 0 << QString() << false;
        QTest::newRow("accepted: as a key")
                << QByteArray("[Settings]\n@Variant(x)=1\n") << 0 << QString() << false;
        QTest::newRow("accepted: inside a text") << "[rcSettings]\nrc01nameOfSwitch=TV " + v + "\n"
                                                 << 0 << QString() << false;
        QTest::newRow("accepted: after a quoted line break")
                << "[rcSettings]\nrc01nameOfSwitch=\"\n" + v + "\"\n"
                << 0 << QString() << false;
        QTest::newRow("accepted: a backslash drops the V")
                << "[Settings]\nshiftDelay=\\x40\\" + afterAt + "\n"
                << 0 << QString() << false;
        QTest::newRow("accepted: values the reader builds from their spelling")
                << QByteArray("[Settings]\nshiftDelay=@ByteArray(7)\ncustomerId=@Invalid()\n"
                              "frequencyTrim=@Rect(1 2 3 4)\nID=@Size(1 2), @Point(3 4)\n")
                << 0 << QString() << false;
    }

    void encodedValue()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, line);
        QFETCH(QString, form);
        QFETCH(bool, decoded);
        const QString path = writeFile(ini);
        ConfigurationRecord record = scribbled();
        LoadDetail detail;
        const LoadStatus status = loadConfiguration(path, record, &detail);
        if (line == 0) {
            QCOMPARE(status, LoadStatus::Loaded);
            QCOMPARE(firstDecodedKey(path), QString());
            return;
        }
        QCOMPARE(status, LoadStatus::Unreadable);
        COMPARE_RECORDS(record, scribbled());
        QCOMPARE(detail.line, line);
        QCOMPARE(detail.encodedForm, form);
        QCOMPARE(loadErrorText(status, path, detail),
                 QStringLiteral("cannot read configuration file: %1: line %2: a value of the form "
                                "%3...) is refused")
                         .arg(path)
                         .arg(line)
                         .arg(form));
        // The row shows a real decoding (only now that the loader has refused the file may the
        // reader see it), or one that is refused to be safe.
        QCOMPARE(!firstDecodedKey(path).isEmpty(), decoded);
    }

    // For any file the loader accepts, the INI reader gives no object: files put together from
    // pieces of every spelling that reaches an '@' at the start of a value, and some that do not.
    void acceptedFilesHoldNoObject()
    {
        const QByteArray v = writtenValue(QVariant(QUrl(QStringLiteral("http://x"))));
        const QList<QByteArray> starts
                = {"[Settings]\n", "[General]\n", "shiftDelay=", "x=", "#y=", "; ", "\n", "\r\n"};
        const QList<QByteArray> pieces = {
                "\"",     "\\",       "\\x40",     "\\100", "\\x1",   "@",  "@@", v,     v,
                v.mid(1), "Variant(", "DateTime(", ")",     ",",      ", ", " ",  "\t",  ";",
                "=",      "\xc3\xa9", "1",         "\\\n",  "\\\r\n", "\n", "'",  "\\ ", "\\\"",
        };
        // Openers of a value that reach an '@' at its start, and near misses.
        const QList<QByteArray> openers = {
                v,          "\\x40" + v.mid(1), "\"" + v,         " \t" + v, "\\ " + v,
                "\"\"" + v, "1, " + v,          "\\\n" + v,       "@" + v,   "\\x40\\" + v.mid(1),
                "\"\n" + v, "\\100" + v.mid(1), "\"@" + v.mid(1),
        };
        QRandomGenerator rng(7);
        int accepted = 0, refused = 0;
        for (int round = 0; round < 1500; ++round) {
            // A few lines, each a start and some pieces.
            QByteArray ini;
            for (int lines = rng.bounded(1, 4); lines > 0; --lines) {
                ini += starts.at(rng.bounded(int(starts.size())));
                // Values often open with what leads to an '@'.
                if (rng.bounded(2))
                    ini += openers.at(rng.bounded(int(openers.size())));
                for (int i = rng.bounded(1, 6); i > 0; --i)
                    ini += pieces.at(rng.bounded(int(pieces.size())));
                ini += '\n';
            }
            const QString path = writeFile(ini);
            ConfigurationRecord record;
            if (loadConfiguration(path, record) != LoadStatus::Loaded) {
                ++refused;
                continue;
            }
            ++accepted;
            const QString key = firstDecodedKey(path);
            QVERIFY2(
                    key.isEmpty(),
                    qPrintable(QStringLiteral("key %1 of\n%2").arg(key, QString::fromLatin1(ini))));
        }
        // Both kinds came up often enough to mean something.
        QVERIFY2(accepted > 300 && refused > 300,
                 qPrintable(QStringLiteral("%1 accepted, %2 refused").arg(accepted).arg(refused)));
    }

    void sourceNamesTheFileAndItsBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("sha256");
        // Digests as sha256sum prints them.
        QTest::newRow("empty file")
                << QByteArray()
                << QStringLiteral(
                           "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        QTest::newRow("two lines, no line end at the end")
                << QByteArray("[Settings]\nshiftDelay=1")
                << QStringLiteral(
                           "37adc4ea3096e1444036c003285e32671d9f5552f9149326ded9f18cfc2ef246");
    }

    void sourceNamesTheFileAndItsBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, sha256);
        const QString path = writeFile(bytes);
        // Loaded by a relative path, named by its absolute one.
        const QString relative = QDir::current().relativeFilePath(path);
        ConfigurationRecord record;
        LoadDetail detail;
        QCOMPARE(loadConfiguration(relative, record, &detail), LoadStatus::Loaded);
        const ConfigurationSource &source = detail.source;
        QCOMPARE(source.path, QFileInfo(path).absoluteFilePath());
        QVERIFY(QDir::isAbsolutePath(source.path));
        QCOMPARE(source.sha256, sha256);
        QCOMPARE(detail.line, 0);
        QCOMPARE(source.sha256,
                 QString::fromLatin1(
                         QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    }

    // A refused load names no file, also where the detail held one from an earlier load.
    void refusedLoadNamesNoSource()
    {
        const QString folder = files_.filePath(QStringLiteral("source-folder.ini"));
        QVERIFY(QDir().mkpath(folder));
        const QString encoded = writeFile("[Settings]\nshiftDelay=@Variant(\\0\\0\\0\\x2)\n");
        for (const QString &path :
             {files_.filePath(QStringLiteral("absent.ini")), folder, encoded}) {
            ConfigurationRecord record;
            LoadDetail detail;
            detail.source = {QStringLiteral("earlier"), QStringLiteral("digest")};
            QVERIFY(loadConfiguration(path, record, &detail) != LoadStatus::Loaded);
            QCOMPARE(detail.source.path, QString());
            QCOMPARE(detail.source.sha256, QString());
        }
    }

    void configurationFilePath_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << QStringLiteral("abc") << QStringLiteral("configfiles/abc.ini");
        QTest::newRow("empty") << QString() << QStringLiteral("configfiles/.ini");
        QTest::newRow("untrimmed")
                << QStringLiteral(" a b ") << QStringLiteral("configfiles/ a b .ini");
    }

    void configurationFilePath()
    {
        QFETCH(QString, base);
        QFETCH(QString, path);
        QCOMPARE(::configurationFilePath(base), path);
    }
};

QTEST_GUILESS_MAIN(TestConfigLoader)
#include "tst_configloader.moc"
