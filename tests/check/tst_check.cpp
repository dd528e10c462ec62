// rcprog-cli check, run as a program on small configuration files written by the test: each row
// names the diagnostics expected (line, severity, a key part of the message) and the exit status.
#include "CliRun.h"
#include "ScratchFiles.h"
#include <QDir>
#include <QFile>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Run = CliRun;

Run runCheck(const QStringList &files)
{
    return runCli(QStringList{QStringLiteral("check")} + files);
}

// The lines of a file, each ended by "\n".
QByteArray ini(std::initializer_list<QByteArray> lines)
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + '\n';
    return text;
}

QByteArray hexDigits(int count, char digit = '0')
{
    return QByteArray(count, digit);
}

// An expected diagnostic: "LINE:SEVERITY:PART". The message must contain PART; a PART ending
// in '$' must end the message.
bool matches(const QString &actual, const QString &path, const QString &expected)
{
    const QStringList f = expected.split(u':');
    const QString line = f.at(0), severity = f.at(1);
    QString part = expected.section(u':', 2);
    const QString prefix = QStringLiteral("%1:%2: %3: ").arg(path, line, severity);
    if (!actual.startsWith(prefix))
        return false;
    const QString message = actual.mid(prefix.size());
    if (part.endsWith(u'$')) {
        part.chop(1);
        return message.endsWith(part);
    }
    return message.contains(part);
}

const QByteArray kMacro256 = hexDigits(128, 'A') + hexDigits(128, '5');

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT

private:
    ScratchFiles files_{QStringLiteral("check")};

    QString writeFile(const QByteArray &bytes) { return files_.write(bytes); }

    void compareDiagnostics(const Run &run, const QString &path, const QStringList &expected)
    {
        const QString all = run.errLines().join(u'\n');
        QVERIFY2(run.errLines().size() == expected.size(),
                 qPrintable(QStringLiteral("expected %1 lines, got:\n%2")
                                    .arg(expected.size())
                                    .arg(all)));
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(matches(run.errLines().at(i), path, expected.at(i)),
                     qPrintable(QStringLiteral("line %1 is\n  %2\nexpected\n  %3")
                                        .arg(i + 1)
                                        .arg(run.errLines().at(i), expected.at(i))));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(files_.isValid());
        QVERIFY2(QFileInfo(cliPath()).isExecutable(), qPrintable(cliPath()));
    }

    void diagnostics_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("exitCode");

        // --- clean files
        QTest::newRow("clean: every group, quoted comma, inline comment on an integer")
                << ini({"; comment",
                        "# comment",
                        "[nameOfDevice]",
                        "newNameOfDevice=\"Hotel, Lobby\"",
                        "canChangeProductName=1",
                        "",
                        "[Settings]",
                        "quantityOfBytesInFlashBlock=64",
                        "quantityOfRemoteControls=1",
                        "ID=65535",
                        "shiftDelay=40 ; ms",
                        "customerId=255",
                        "frequencyTrim=0",
                        "[Macro]",
                        "haveMacro=1",
                        "flashMacro=" + kMacro256,
                        "macro8=9",
                        "[rcSettings]",
                        "rc01maxSize=1",
                        "rc01nameOfSwitch=TV",
                        "rc01boolRewritableFromSoftware=255",
                        "rc01flashData=000102030406054142434445EEFF",
                        "[rcDatabaseToRemoteControlKeysTable]",
                        "key00=0",
                        "key63=63"})
                << QStringList() << 0;
        QTest::newRow("clean: empty file") << QByteArray() << QStringList() << 0;

        // --- structure
        QTest::newRow("BOM and CRLF keep the line numbers")
                << QByteArray("\xef\xbb\xbf[Settings]\r\n\r\nfrequnecyTrim=1\r\n")
                << QStringList{"3:error:unknown key 'frequnecyTrim' in [Settings] is ignored; "
                               "did you mean 'frequencyTrim'?"}
                << 1;
        QTest::newRow("line without '='")
                << ini({"[Settings]", "shiftDelay 40"})
                << QStringList{"2:error:not a comment, a [group] or a key=value line"} << 1;
        QTest::newRow("group without ']' still counts")
                << ini({"[Settings", "shiftDelay=40"})
                << QStringList{"1:warning:group line without ']'"} << 0;
        QTest::newRow("unclosed quote swallows the rest")
                << ini({"[nameOfDevice]", "newNameOfDevice=\"Hotel", "[Settings]", "shiftDelay=40"})
                << QStringList{"2:error:'\"' is not closed: the reader takes the rest of the "
                               "file into this value"}
                << 1;
        QTest::newRow("backslash at the end of a line continues the value")
                << ini({"[Settings]", "quantityOfRemoteControls=1",
                        "quantityOfBytesInFlashBlock=64", "[rcSettings]", "rc01maxSize=1",
                        "rc01flashData=00010203040605\\", "4142434445EEFF"})
                << QStringList{"6:warning:line ends with '\\': the next line continues"} << 0;
        QTest::newRow("invalid UTF-8") << ini({"[nameOfDevice]", "newNameOfDevice=Caf\xe9"})
                                       << QStringList{"2:error:line is not valid UTF-8"} << 1;

        // --- groups and keys
        QTest::newRow("unknown group with suggestion")
                << ini({"[Setings]", "shiftDelay=1"})
                << QStringList{"1:error:unknown group [Setings]; its keys are ignored; did you "
                               "mean [Settings]?"}
                << 1;
        QTest::newRow("unknown group, nothing near")
                << ini({"[Extras]", "colour=red"})
                << QStringList{"1:error:unknown group [Extras]; its keys are ignored$"} << 1;
        QTest::newRow("unknown key with suggestion")
                << ini({"[Settings]", "shiftDelya=40"})
                << QStringList{"2:error:unknown key 'shiftDelya' in [Settings] is ignored; did "
                               "you mean 'shiftDelay'?"}
                << 1;
        QTest::newRow("key differing in case: read in its canonical spelling")
                << ini({"[Settings]", "ShiftDelay=40"})
                << QStringList{"2:warning:'ShiftDelay' is read as 'shiftDelay'; names are "
                               "matched without regard to case$"}
                << 0;
        QTest::newRow("group differing in case: read in its canonical spelling")
                << QByteArray("\xef\xbb\xbf\r\n[SETTINGS]\r\n\r\nshift%44elay=40\r\n")
                << QStringList{"2:warning:group [SETTINGS] is read as [Settings]; names are "
                               "matched without regard to case$"}
                << 0;
        QTest::newRow("names in another case take part in every other check")
                << ini({"[settings]", "shiftdelay=4", "[Settings]", "shiftDelay=5", "[MACRO]",
                        "havemacro=1", "[macro]", "macro1=x", "[rcsettings]", "rc01maxsize=1",
                        "RC01nameofswitch=TV", "shiftdelay=1", "keyNumberOfShiftkey=300"})
                << QStringList{"1:warning:group [settings] is read as [Settings]",
                               "2:warning:'shiftdelay' is read as 'shiftDelay'",
                               "3:warning:group [Settings] appears again (first at line 1)",
                               "4:error:'shiftDelay' is set again (before at line 2)",
                               "5:warning:group [MACRO] is read as [Macro]",
                               "6:warning:'havemacro' is read as 'haveMacro'",
                               "6:error:haveMacro is 1 but there is no flashMacro",
                               "7:warning:group [macro] is read as [Macro]",
                               "7:warning:group [Macro] appears again (first at line 5)",
                               "8:error:'x' is not a decimal integer and reads as 0",
                               "9:warning:group [rcsettings] is read as [rcSettings]",
                               "10:warning:'rc01maxsize' is read as 'rc01maxSize'",
                               "11:warning:'RC01nameofswitch' is read as 'rc01nameOfSwitch'",
                               "11:warning:remote control 1 is not programmed",
                               "12:error:'shiftdelay' belongs in [Settings]; in [rcSettings] it "
                               "is ignored",
                               "13:error:'keyNumberOfShiftkey' belongs in [Settings]"}
                << 1;
        QTest::newRow("unknown key, nothing near")
                << ini({"[Settings]", "colour=red"})
                << QStringList{"2:error:unknown key 'colour' in [Settings] is ignored$"} << 1;
        QTest::newRow("unknown key near a key of another group")
                << ini({"[Settings]", "haveMakro=1"})
                << QStringList{"2:error:did you mean 'haveMacro' in [Macro]?"} << 1;
        QTest::newRow("numbered keys")
                << ini({"[rcSettings]", "rc1flashData=00", "rc09maxSize=1", "[Macro]", "macro9=1",
                        "macro01=1", "[rcDatabaseToRemoteControlKeysTable]", "key64=1", "key5=1"})
                << QStringList{"2:error:did you mean 'rc01flashData'?",
                               "3:error:remote controls run from rc01 to rc08",
                               "5:error:macros run from macro1 to macro8",
                               "6:error:did you mean 'macro1'?",
                               "8:error:the key table runs from key00 to key63",
                               "9:error:did you mean 'key05'?"}
                << 1;
        QTest::newRow("known keys in the wrong group")
                << ini({"[Settings]", "haveMacro=1", "[Macro]", "shiftDelay=1"})
                << QStringList{"2:error:'haveMacro' belongs in [Macro]; in [Settings] it is "
                               "ignored",
                               "4:error:'shiftDelay' belongs in [Settings]; in [Macro] it is "
                               "ignored"}
                << 1;
        QTest::newRow("keys outside any group")
                << ini({"shiftDelay=1", "foo=2", "[General]", "key00=1"})
                << QStringList{"1:error:'shiftDelay' belongs in [Settings]; outside any group "
                               "it is ignored",
                               "2:error:key 'foo' outside any group is ignored",
                               "4:error:'key00' belongs in [rcDatabaseToRemoteControlKeysTable]"}
                << 1;
        QTest::newRow("empty key")
                << ini({"[Settings]", "=5"}) << QStringList{"2:error:empty key"} << 1;
        QTest::newRow("duplicate keys and groups")
                << ini({"[Settings]", "shiftDelay=4", "shiftDelay=4", "shiftDelay=5", "[Macro]",
                        "[Settings]", "shiftDelay=5"})
                << QStringList{"3:warning:'shiftDelay' is set again to the same value (before "
                               "at line 2)",
                               "4:error:'shiftDelay' is set again (before at line 3); the reader "
                               "keeps only the last value",
                               "6:warning:group [Settings] appears again (first at line 1); the "
                               "reader merges both",
                               "7:warning:'shiftDelay' is set again to the same value (before "
                               "at line 4)"}
                << 1;

        // --- integer values
        QTest::newRow("not decimal integers")
                << ini({"[Settings]", "shiftDelay=0x20", "customerId=forty", "frequencyTrim=1.5"})
                << QStringList{"2:error:'0x20' is not a decimal integer and reads as 0",
                               "3:error:'forty' is not a decimal integer and reads as 0",
                               "4:error:'1.5' is not a decimal integer and reads as 0"}
                << 1;
        QTest::newRow("empty integer")
                << ini({"[Settings]", "shiftDelay="})
                << QStringList{"2:error:'shiftDelay' is empty and reads as 0; only a missing key "
                               "takes the default 255"}
                << 1;
        QTest::newRow("integer beyond 32 bits")
                << ini({"[Settings]", "shiftDelay=4294967336"})
                << QStringList{"2:error:4294967336 does not fit into 32 bits"} << 1;
        QTest::newRow("integer read as a list")
                << ini({"[Settings]", "receivingADCthreshold=1,2"})
                << QStringList{"2:error:'receivingADCthreshold' holds a ',' outside quotes, so "
                               "it reads as a list and the value is 0"}
                << 1;
        QTest::newRow("bytes outside 0..255")
                << ini({"[Settings]", "customerId=300", "[Macro]", "macro1=-1", "[rcSettings]",
                        "rc02maxSize=256", "[rcDatabaseToRemoteControlKeysTable]", "key10=1000"})
                << QStringList{"2:error:customerId 300 is outside 0..255; the receiver gets only "
                               "its low 8 bits (44)",
                               "4:error:macro1 -1 is outside 0..255; the receiver gets only its "
                               "low 8 bits (255)",
                               "6:error:rc02maxSize 256 is outside 0..255",
                               "8:error:key10 1000 is outside 0..255; the receiver gets only its "
                               "low 8 bits (232)"}
                << 1;
        QTest::newRow("ID 70000") << ini({"[Settings]", "ID=70000"})
                                  << QStringList{"2:error:ID 70000 is outside 0..65535; the "
                                                 "receiver gets the bytes 17 and 112"}
                                  << 1;
        QTest::newRow("ID -1") << ini({"[Settings]", "ID=-1"})
                               << QStringList{"2:error:ID -1 is outside 0..65535; the receiver "
                                              "gets the bytes 0 and 255"}
                               << 1;
        QTest::newRow("rewritable flags outside 0..255")
                << ini({"[Settings]", "quantityOfRemoteControls=3", "[rcSettings]",
                        "rc01boolRewritableFromSoftware=300", "rc02boolRewritableFromSoftware=-1",
                        "rc03boolRewritableFromSoftware=2"})
                << QStringList{"4:error:300 is outside 0..255; the flash image gets the first "
                               "two hex digits '12'",
                               "5:error:-1 is outside 0..255; the flash image gets the first two "
                               "hex digits 'FF'"}
                << 1;
        QTest::newRow("quantityOfRemoteControls 9")
                << ini({"[Settings]", "quantityOfRemoteControls=9"})
                << QStringList{"2:error:quantityOfRemoteControls 9 is outside 0..8"} << 1;
        QTest::newRow("quantityOfRemoteControls -1")
                << ini({"[Settings]", "quantityOfRemoteControls=-1"})
                << QStringList{"2:error:quantityOfRemoteControls -1 is outside 0..8"} << 1;
        QTest::newRow("quantityOfRemoteControls 8")
                << ini({"[Settings]", "quantityOfRemoteControls=8"}) << QStringList() << 0;
        // The flash block size matters only in a file that sends flash data: a remote control
        // that a pass programs and whose flash data fits.
        const QByteArray rc01Flash = "rc01flashData=000102030406054142434445EEFF";
        QTest::newRow("flash block size 60 while flash data is sent")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=60",
                        "quantityOfRemoteControls=1", "[rcSettings]", "rc01maxSize=1", rc01Flash})
                << QStringList{"2:error:quantityOfBytesInFlashBlock 60 is not a positive "
                               "multiple of 8"}
                << 1;
        QTest::newRow("flash block size 255 written while flash data is sent")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=255",
                        "quantityOfRemoteControls=1", "[rcSettings]", "rc01maxSize=1", rc01Flash})
                << QStringList{"2:error:quantityOfBytesInFlashBlock 255 is not a positive "
                               "multiple of 8"}
                << 1;
        QTest::newRow("flash block size 60 without flash data")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=60"}) << QStringList() << 0;
        QTest::newRow("flash block size 255 (the default) written without flash data")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=255",
                        "quantityOfRemoteControls=1", "[rcSettings]", "rc01nameOfSwitch=TV"})
                << QStringList() << 0;
        QTest::newRow("flash block size 60, flash data of a remote control not programmed")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=60",
                        "quantityOfRemoteControls=1", "[rcSettings]", "rc02maxSize=1",
                        "rc02flashData=000102030406054142434445EEFF"})
                << QStringList{"6:warning:remote control 2 is not programmed"} << 0;
        QTest::newRow("flash block size 0 without flash data")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=0"}) << QStringList() << 0;
        QTest::newRow("flash block size -8 without flash data")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=-8"})
                << QStringList{"2:error:quantityOfBytesInFlashBlock -8 is outside 0..255"} << 1;
        QTest::newRow("flash block size 256: a multiple of 8, but not a byte")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=256"})
                << QStringList{"2:error:quantityOfBytesInFlashBlock 256 is outside 0..255; the "
                               "receiver gets only its low 8 bits (0)"}
                << 1;
        QTest::newRow("flash block size missing while flash data is sent")
                << ini({"[Settings]", "quantityOfRemoteControls=1", "[rcSettings]", "rc01maxSize=1",
                        "rc01flashData=000102030406054142434445EEFF"})
                << QStringList{"1:error:quantityOfBytesInFlashBlock is missing and defaults to "
                               "255, which is not a multiple of 8"}
                << 1;
        QTest::newRow("flash block size 256 with flash data: cannot be sent")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=256",
                        "quantityOfRemoteControls=1", "[rcSettings]", "rc01maxSize=1",
                        "rc01flashData=000102030406054142434445EEFF"})
                << QStringList{"2:error:quantityOfBytesInFlashBlock 256 is outside 0..255",
                               "2:error:configuration cannot be sent: "
                               "quantityOfBytesInFlashBlock=256: a flash block of more than 255 "
                               "bytes cannot be sent$"}
                << 1;
        QTest::newRow("flash block size 256 without flash data: only the byte")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=256"})
                << QStringList{"2:error:quantityOfBytesInFlashBlock 256 is outside 0..255"} << 1;
        QTest::newRow("256 flash blocks: cannot be sent")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=8", "quantityOfRemoteControls=1",
                        "[rcSettings]", "rc01maxSize=300",
                        "rc01flashData=00010203040000" + hexDigits(4082)})
                << QStringList{"5:error:rc01maxSize 300 is outside 0..255",
                               "6:error:configuration cannot be sent: rc01flashData of 4096 "
                               "digits: 256 flash blocks of 8 bytes; more than 255 flash blocks "
                               "cannot be sent$"}
                << 1;
        QTest::newRow("canChangeProductName 2")
                << ini({"[nameOfDevice]", "canChangeProductName=2"})
                << QStringList{"2:warning:canChangeProductName is 2; only 1 writes the product "
                               "name"}
                << 0;

        // --- text values
        QTest::newRow("text read as a list")
                << ini({"[nameOfDevice]", "newNameOfDevice=Hotel, Lobby"})
                << QStringList{"2:error:'newNameOfDevice' holds a ',' outside quotes, so it "
                               "reads as a list and the text is empty"}
                << 1;
        QTest::newRow("';' inside a text value")
                << ini({"[Settings]", "quantityOfRemoteControls=1", "[rcSettings]",
                        "rc01nameOfSwitch=TV; living room"})
                << QStringList{"4:warning:';' starts a comment, so 'rc01nameOfSwitch' ends "
                               "before it: 'TV'"}
                << 0;
        QTest::newRow("switch names: long, Latin-1, beyond Latin-1")
                << ini({"[Settings]", "quantityOfRemoteControls=4", "[rcSettings]",
                        "rc01nameOfSwitch=" + QByteArray(58, 'A'),
                        "rc02nameOfSwitch=" + QByteArray(57, 'A'), "rc03nameOfSwitch=Caf\xc3\xa9",
                        "rc04nameOfSwitch=\xe2\x82\xac TV"})
                << QStringList{"4:error:switch name of 58 characters; only the first 57 are sent",
                               "6:warning:switch name character '\xc3\xa9' (U+00E9) is not "
                               "ASCII; it is sent as its Latin-1 code 233",
                               "7:error:switch name character '\xe2\x82\xac' (U+20AC) is "
                               "outside Latin-1; it is sent as 0"}
                << 1;
        QTest::newRow("product name of 25 characters")
                << ini({"[nameOfDevice]", "canChangeProductName=1",
                        "newNameOfDevice=" + QByteArray(25, 'N')})
                << QStringList{"3:error:product name of 25 characters; only the first 24 are "
                               "written"}
                << 1;
        QTest::newRow("product name of 24 characters, Latin-1")
                << ini({"[nameOfDevice]", "canChangeProductName=1",
                        "newNameOfDevice=Caf\xc3\xa9" + QByteArray(20, 'N')})
                << QStringList() << 0;
        QTest::newRow("product name beyond Latin-1")
                << ini({"[nameOfDevice]", "newNameOfDevice=Hub \xe2\x82\xac",
                        "canChangeProductName=1"})
                << QStringList{"2:error:product name character '\xe2\x82\xac' (U+20AC) is "
                               "outside Latin-1; it is written as 0"}
                << 1;
        QTest::newRow("empty product name")
                << ini({"[nameOfDevice]", "newNameOfDevice=", "canChangeProductName=1"})
                << QStringList{"2:warning:the product name is empty"} << 0;
        QTest::newRow("product name not written: no checks")
                << ini({"[nameOfDevice]", "newNameOfDevice=" + QByteArray(30, 'N') + "\xe2\x82\xac",
                        "canChangeProductName=0"})
                << QStringList() << 0;

        // --- flash data; Q = 64 and M = 1 allow 128 digits
        const QByteArray flashHead
                = ini({"[Settings]", "quantityOfBytesInFlashBlock=64", "quantityOfRemoteControls=1",
                       "[rcSettings]", "rc01maxSize=1"}); // lines 1 ... 5
        QTest::newRow("flash data not hexadecimal")
                << flashHead + ini({"rc01flashData=000102030406054142434445EEFG"})
                << QStringList{"6:error:flash data character 'G' (U+0047) at position 27 is not "
                               "a hexadecimal digit; that byte is sent as 0"}
                << 1;
        QTest::newRow("flash data of odd length")
                << flashHead + ini({"rc01flashData=000102030406054142434445EEF"})
                << QStringList{"6:error:flash data has an odd number of digits (17)"} << 1;
        QTest::newRow("flash data of 128 digits fits")
                << flashHead + ini({"rc01flashData=00010203040000" + hexDigits(114)})
                << QStringList() << 0;
        QTest::newRow("flash data of 130 digits does not fit")
                << flashHead + ini({"rc01flashData=00010203040000" + hexDigits(116)})
                << QStringList{"6:error:flash data of 130 digits does not fit into rc01maxSize "
                               "(1) flash blocks of 64 bytes (128 digits); the switch name block "
                               "is sent instead"}
                << 1;
        QTest::newRow("flash data that the name rewrite makes too long")
                << flashHead
                           + ini({"rc01nameOfSwitch=ABCDE",
                                  "rc01flashData=00010203040000" + hexDigits(106)})
                << QStringList{"7:error:flash data of 130 digits does not fit"} << 1;
        QTest::newRow("flash data with rc01maxSize missing")
                << ini({"[Settings]", "quantityOfBytesInFlashBlock=64",
                        "quantityOfRemoteControls=1", "[rcSettings]",
                        "rc01flashData=000102030406054142434445EEFF"})
                << QStringList{"5:error:flash data of 18 digits does not fit into rc01maxSize "
                               "(0) flash blocks of 64 bytes (0 digits)"}
                << 1;
        QTest::newRow("flash data shorter than its name record")
                << flashHead + ini({"rc01flashData=0001"})
                << QStringList{"6:warning:flash data of 4 digits is shorter than its name record "
                               "(14 digits)"}
                << 0;
        QTest::newRow("remote controls beyond the quantity")
                << ini({"[Settings]", "quantityOfRemoteControls=1", "[rcSettings]", "rc02maxSize=3",
                        "rc02nameOfSwitch=TV", "rc03flashData=00010203040000" + hexDigits(300)})
                << QStringList{"5:warning:remote control 2 is not programmed: "
                               "quantityOfRemoteControls is 1",
                               "6:warning:remote control 3 is not programmed: "
                               "quantityOfRemoteControls is 1"}
                << 0;

        // --- macro
        QTest::newRow("haveMacro without flashMacro")
                << ini({"[Macro]", "haveMacro=1"})
                << QStringList{"2:error:haveMacro is 1 but there is no flashMacro; no macro "
                               "block is sent"}
                << 1;
        QTest::newRow("flashMacro of 254 digits")
                << ini({"[Macro]", "haveMacro=1", "flashMacro=" + kMacro256.left(254)})
                << QStringList{"3:error:flashMacro has 254 digits, not 256; no macro block is "
                               "sent"}
                << 1;
        QTest::newRow("flashMacro of 258 digits")
                << ini({"[Macro]", "haveMacro=2", "flashMacro=" + kMacro256 + "00"})
                << QStringList{"3:error:flashMacro has 258 digits, not 256"} << 1;
        QTest::newRow("flashMacro not hexadecimal")
                << ini({"[Macro]", "haveMacro=1", "flashMacro=" + hexDigits(255) + "Z"})
                << QStringList{"3:error:flashMacro character 'Z' (U+005A) at position 255 is not "
                               "a hexadecimal digit"}
                << 1;
        QTest::newRow("flashMacro without haveMacro")
                << ini({"[Macro]", "haveMacro=0", "flashMacro=" + kMacro256})
                << QStringList{"3:warning:flashMacro is not sent: haveMacro is 0"} << 0;
    }

    void diagnostics()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        QFETCH(int, exitCode);
        const QString path = writeFile(file);
        const Run run = runCheck({path});
        compareDiagnostics(run, path, expected);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.out, QByteArray());
    }

    void severalFiles()
    {
        const QString clean = writeFile(ini({"[Settings]", "shiftDelay=40"}));
        const QString warned = writeFile(ini({"[nameOfDevice]", "canChangeProductName=3"}));
        const QString broken = writeFile(ini({"[Settings]", "shiftDelay=0x20"}));
        const QString absent = files_.filePath(QStringLiteral("absent.ini"));

        Run run = runCheck({clean, warned});
        QCOMPARE(run.exitCode, 0);
        compareDiagnostics(run, warned, {"2:warning:canChangeProductName is 3"});

        run = runCheck({broken, clean});
        QCOMPARE(run.exitCode, 1);
        compareDiagnostics(run, broken, {"2:error:'0x20' is not a decimal integer"});

        // A missing file weighs more than errors, and the other files are still checked.
        run = runCheck({absent, broken});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.errLines().size(), 2);
        QCOMPARE(run.errLines().at(0),
                 QStringLiteral("rcprog-cli: configuration file not found: ") + absent);
        QVERIFY(matches(run.errLines().at(1), broken, "2:error:'0x20'"));
    }

    void unreadableFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("named pipe (must not block)") << QStringLiteral("pipe");
        QTest::newRow("no read permission") << QStringLiteral("permission");
    }

    void unreadableFile()
    {
        QFETCH(QString, kind);
        QString path = files_.filePath(QStringLiteral("unreadable-%1.ini").arg(kind));
        QString message = QStringLiteral("rcprog-cli: cannot read configuration file: ");
        if (kind == QLatin1String("missing")) {
            message = QStringLiteral("rcprog-cli: configuration file not found: ");
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == QLatin1String("pipe")) {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else {
            if (::geteuid() == 0)
                QSKIP("root reads files regardless of their permissions");
            path = writeFile(ini({"[Settings]", "shiftDelay=40"}));
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
        }
        const Run run = runCheck({path});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.errLines(), QStringList{message + path});
        QCOMPARE(run.out, QByteArray());
    }

    // A value that the INI reader would decode as an object: the file is not read, and the line
    // is named.
    void encodedValueNamesItsLine()
    {
        const QString path
                = writeFile(ini({"[Settings]", "shiftDelay=40", "[rcSettings]",
                                 "rc01nameOfSwitch=\\x40Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)"}));
        const Run run = runCheck({path});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.errLines(),
                 QStringList{QStringLiteral("rcprog-cli: cannot read configuration file: %1: line "
                                            "4: a value of the form @Variant(...) is refused")
                                     .arg(path)});
        QCOMPARE(run.out, QByteArray());
    }

    void bundledExample_data() { addBundledExampleRows(); }

    void bundledExample()
    {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(path).isFile(), qPrintable(path));
        const Run run = runCheck({path});
        const QStringList errors
                = run.errLines().filter(QRegularExpression(QStringLiteral("^[^:]*:\\d+: error: ")));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'\n')));
        QCOMPARE(run.exitCode, 0);
    }
};

QTEST_GUILESS_MAIN(TestCheck)
#include "tst_check.moc"
