// How names are decoded, and the respelling of known group and key names before the INI reader
// sees a file: which names are respelled, that nothing else changes, and what the reader then
// reads.
#include "ConfigurationText.h"
#include "ScratchFiles.h"

#include <QSettings>
#include <QtTest>

class TestConfigText : public QObject
{
    Q_OBJECT

private:
    ScratchFiles files_{QStringLiteral("text")};

private slots:
    void initTestCase() { QVERIFY(files_.isValid()); }

    void namesAreDecodedAsTheReaderDoes_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("plain") << "shiftDelay"
                               << "shiftDelay";
        QTest::newRow("%XX") << "%41bc"
                             << "Abc";
        QTest::newRow("%UXXXX") << "caf%U00E9"
                                << "caf\u00e9";
        QTest::newRow("%U above Latin-1") << "%U20AC"
                                          << "\u20ac";
        QTest::newRow("backslash is the separator") << "a\\b"
                                                    << "a/b";
        QTest::newRow("% without digits stays") << "a%zz"
                                                << "a%zz";
        QTest::newRow("% at the end stays") << "a%"
                                            << "a%";
    }

    void namesAreDecodedAsTheReaderDoes()
    {
        QFETCH(QString, raw);
        QFETCH(QString, decoded);
        QCOMPARE(decodeIniName(raw), decoded);

        // The reader, given the same name as a key, knows it by the same decoded name.
        const QString path = files_.write("[g]\n" + raw.toUtf8() + "=1\n");
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.allKeys(), QStringList{QStringLiteral("g/") + decoded});
    }

    void canonicalizeNames_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("expected");
        // "offset:written>canonical", a group in brackets
        QTest::addColumn<QStringList>("respelled");

        QTest::newRow("canonical names stay")
                << QByteArray("[Settings]\nshiftDelay=1\n")
                << QByteArray("[Settings]\nshiftDelay=1\n") << QStringList();
        QTest::newRow("group and key")
                << QByteArray("[settings]\nSHIFTDELAY=1\n")
                << QByteArray("[Settings]\nshiftDelay=1\n")
                << QStringList{"1:[settings]>[Settings]", "11:SHIFTDELAY>shiftDelay"};
        QTest::newRow("values and comments stay as written")
                << QByteArray("; [settings]\n[SETTINGS]\nshiftdelay=shiftdelay ; shiftdelay\n")
                << QByteArray("; [settings]\n[Settings]\nshiftDelay=shiftdelay ; shiftdelay\n")
                << QStringList{"14:[SETTINGS]>[Settings]", "24:shiftdelay>shiftDelay"};
        QTest::newRow("blanks, BOM and CRLF stay")
                << QByteArray("\xef\xbb\xbf  [ settings ]\r\n\r\n\t id\t= 1\r\n")
                << QByteArray("\xef\xbb\xbf  [ Settings ]\r\n\r\n\t ID\t= 1\r\n")
                << QStringList{"7:[settings]>[Settings]", "23:id>ID"};
        QTest::newRow("escapes: decoded as the reader decodes them")
                << QByteArray("[%73ettings]\nshift%44elay=1\nshift%64elay=2\n%UOO49D=3\n")
                << QByteArray("[Settings]\nshift%44elay=1\nshiftDelay=2\n%UOO49D=3\n")
                << QStringList{"1:[settings]>[Settings]", "28:shiftdelay>shiftDelay"};
        QTest::newRow("unknown names stay, also in a known group")
                << QByteArray("[setings]\nshiftdelay=1\n[settings]\nshiftdelya=1\nhavemacro=1\n")
                << QByteArray("[setings]\nshiftdelay=1\n[Settings]\nshiftdelya=1\nhavemacro=1\n")
                << QStringList{"24:[settings]>[Settings]"};
        QTest::newRow("[General]: keys without a group stay, keys naming a group go")
                << QByteArray("shiftdelay=1\nSettings%2FshiftDelay=1\n[general]\n"
                              "settings\\shiftdelay=2 ; comment\nSettings\\ID=\"a\nb\"\n"
                              "[%General]\nid=3\n")
                << QByteArray("shiftdelay=1\n\n[general]\n; comment\n\n[%General]\nid=3\n")
                << QStringList();
        QTest::newRow("lines continued in quotes or after a backslash are values")
                << QByteArray("[nameOfDevice]\nnewnameofdevice=\"a\ncanchangeproductname=1\"\n"
                              "newNameOfDevice=b\\\ncanchangeproductname=1\n")
                << QByteArray("[nameOfDevice]\nnewNameOfDevice=\"a\ncanchangeproductname=1\"\n"
                              "newNameOfDevice=b\\\ncanchangeproductname=1\n")
                << QStringList{"15:newnameofdevice>newNameOfDevice"};
        QTest::newRow("a group line without ']' still starts the group")
                << QByteArray("[macro\nmacro1=1\nMACRO2=2\n")
                << QByteArray("[Macro\nmacro1=1\nmacro2=2\n")
                << QStringList{"1:[macro]>[Macro]", "16:MACRO2>macro2"};
        QTest::newRow("a name written in the wrong group is not moved")
                << QByteArray("[Macro]\nSHIFTDELAY=1\n") << QByteArray("[Macro]\nSHIFTDELAY=1\n")
                << QStringList();
    }

    void canonicalizeNames()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, expected);
        QFETCH(QStringList, respelled);

        const CanonicalNames names = ::canonicalizeNames(file);
        QCOMPARE(names.text, expected);
        QStringList actual;
        for (const NameRespelling &r : names.respellings)
            actual << (r.group ? QStringLiteral("%1:[%2]>[%3]") : QStringLiteral("%1:%2>%3"))
                              .arg(r.offset)
                              .arg(r.written, r.canonical);
        QCOMPARE(actual, respelled);
    }

    // What the reader reads: the file itself, or its respelled copy, which is gone afterwards.
    void readerReadsTheRespelledText()
    {
        const QString path = files_.write("[settings]\nSHIFTDELAY=40\nshiftDelay=41\nother=1\n");
        const QDir temp = QDir::temp();
        const QStringList before = temp.entryList({QStringLiteral("rcprog-*")});
        std::unique_ptr<QSettings> settings = readConfigurationSettings(path);
        QVERIFY(settings);
        QCOMPARE(settings->value(QStringLiteral("Settings/shiftDelay")).toInt(), 41);
        QCOMPARE(settings->allKeys(), QStringList({QStringLiteral("Settings/other"),
                                                   QStringLiteral("Settings/shiftDelay")}));
        QVERIFY(settings->fileName() != path);
        QCOMPARE(temp.entryList({QStringLiteral("rcprog-*")}), before);

        const QString plain = files_.write("[Settings]\nshiftDelay=40\n");
        settings = readConfigurationSettings(plain);
        QVERIFY(settings);
        QCOMPARE(settings->fileName(), plain);
        QCOMPARE(settings->value(QStringLiteral("Settings/shiftDelay")).toInt(), 40);

        QVERIFY(!readConfigurationSettings(files_.filePath(QStringLiteral("absent.ini"))));
    }
};

QTEST_GUILESS_MAIN(TestConfigText)
#include "tst_configtext.moc"
