// The pieces of `check` in process: the line scanner against the toolkit's INI reader on the
// same bytes (names, line numbers, what it reports), and the misspelling hints at their edges.
#include "IniScan.h"
#include "KeyHints.h"
#include "ScratchFiles.h"

#include <QSettings>
#include <QtTest>

namespace {

// The key lines of a scan as "LINE [GROUP] KEY=VALUE", plus ";" when a comment cut the value.
QStringList keyLines(const Scan &scan)
{
    QStringList lines;
    for (const KeyLine &k : scan.keys)
        lines << QStringLiteral("%1 [%2] %3=%4%5")
                         .arg(k.line)
                         .arg(k.group, k.key, k.value,
                              k.cutByComment ? QStringLiteral(";") : QString());
    return lines;
}

// Diagnostics as "LINE:error" / "LINE:warning".
QStringList diagnosticLines(const std::vector<Diagnostic> &diagnostics)
{
    QStringList lines;
    for (const Diagnostic &d : diagnostics)
        lines << QStringLiteral("%1:%2").arg(d.line).arg(d.severity == Severity::Error
                                                                 ? QStringLiteral("error")
                                                                 : QStringLiteral("warning"));
    return lines;
}

} // namespace

class TestCheckPieces : public QObject
{
    Q_OBJECT

private:
    ScratchFiles files_{QStringLiteral("pieces")};

private slots:
    void initTestCase() { QVERIFY(files_.isValid()); }

    void scan_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("diagnostics");

        QTest::newRow("LF, CRLF and CR end lines alike")
                << QByteArray("[a]\nk1=1\r\nk2=2\rk3=3\n\n[b]\r\nk4=4")
                << QStringList{"2 [a] k1=1", "3 [a] k2=2", "4 [a] k3=3", "7 [b] k4=4"}
                << QStringList();
        QTest::newRow("BOM, blanks and comments")
                << QByteArray("\xef\xbb\xbf; c\n  # c\n[a]\n  k = v ; note\n")
                << QStringList{"4 [a] k=v;"} << QStringList();
        QTest::newRow("[General] is outside any group")
                << QByteArray("k1=1\n[General]\nk2=2\n") << QStringList{"1 [] k1=1", "3 [] k2=2"}
                << QStringList();
        QTest::newRow("a quoted value over two lines keeps the numbers after it")
                << QByteArray("[a]\nk1=\"x\ny\"\nk2=2\n")
                << QStringList{"2 [a] k1=\"x\ny\"", "4 [a] k2=2"} << QStringList{"2:error"};
        QTest::newRow("a value continued after a backslash")
                << QByteArray("[a]\nk1=x\\\ny\nk2=2\n")
                << QStringList{"2 [a] k1=x\\\ny", "4 [a] k2=2"} << QStringList{"2:warning"};
        QTest::newRow("a quoted ';' and '=' belong to the value")
                << QByteArray("[a]\nk=\"x;y=z\"\n") << QStringList{"2 [a] k=\"x;y=z\""}
                << QStringList();
        QTest::newRow("a line without '=' and a group without ']'")
                << QByteArray("[a\nnothing\nk=1\n") << QStringList{"3 [a] k=1"}
                << QStringList{"1:warning", "2:error"};
        QTest::newRow("bytes that are not UTF-8")
                << QByteArray("[a]\nk=caf\xe9\n") << QStringList{"2 [a] k=caf\ufffd"}
                << QStringList{"2:error"};
    }

    void scan()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, diagnostics);
        Scan scan;
        std::vector<Diagnostic> out;
        scanFile(file, scan, out);
        QCOMPARE(keyLines(scan), keys);
        QCOMPARE(diagnosticLines(out), diagnostics);

        // Every key the scan found is one the reader has.
        QSettings settings(files_.write(file), QSettings::IniFormat);
        for (const KeyLine &k : scan.keys) {
            const QString id = k.group.isEmpty() ? k.key : k.group + u'/' + k.key;
            QVERIFY2(settings.contains(id), qPrintable(id));
        }
    }

    void editDistance_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("distance");
        QTest::newRow("same") << "shiftDelay"
                              << "shiftDelay" << 0;
        QTest::newRow("case is ignored") << "SHIFTdelay"
                                         << "shiftDelay" << 0;
        QTest::newRow("adjacent transposition is one edit") << "shiftDelya"
                                                            << "shiftDelay" << 1;
        QTest::newRow("insertion") << "shiftDeelay"
                                   << "shiftDelay" << 1;
        QTest::newRow("deletion") << "shiftDlay"
                                  << "shiftDelay" << 1;
        QTest::newRow("deletion and transposition") << "shiftDelXya"
                                                    << "shiftDelay" << 2;
        QTest::newRow("empty") << ""
                               << "ID" << 2;
    }

    void editDistance()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, distance);
        QCOMPARE(::editDistance(a, b), distance);
        QCOMPARE(::editDistance(b, a), distance);
    }

    void nearest_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<QString>("found"); // empty: none near enough

        const QStringList keys{"frequencyTrim", "shiftDelay", "customerId"};
        // A word of 10 characters takes up to 3 edits; one of 5 up to 2.
        QTest::newRow("3 edits in 10 characters") << "shiXtDeXaX" << keys << "shiftDelay";
        QTest::newRow("4 edits in 10 characters") << "sXiXtDeXaX" << keys << "";
        QTest::newRow("2 edits in a short word") << "IXX" << QStringList{"ID"} << "ID";
        QTest::newRow("3 edits in a short word") << "XXX" << QStringList{"ID"} << "";
        QTest::newRow("the first of equally near ones")
                << "key1x" << QStringList{"key10", "key11"} << "key10";
    }

    void nearest()
    {
        QFETCH(QString, word);
        QFETCH(QStringList, candidates);
        QFETCH(QString, found);
        QCOMPARE(::nearest(word, candidates).value_or(QString()), found);
    }

    void numberedKeyHint_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("hint");
        QTest::newRow("one digit") << "rc1flashData"
                                   << "; did you mean 'rc01flashData'?";
        QTest::newRow("three digits") << "rc008maxSize"
                                      << "; did you mean 'rc08maxSize'?";
        QTest::newRow("rc00") << "rc00maxSize"
                              << "; remote controls run from rc01 to rc08";
        QTest::newRow("rc09") << "rc09nameOfSwitch"
                              << "; remote controls run from rc01 to rc08";
        QTest::newRow("rc with an unknown suffix") << "rc1flash"
                                                   << "";
        QTest::newRow("key5") << "key5"
                              << "; did you mean 'key05'?";
        QTest::newRow("key063") << "key063"
                                << "; did you mean 'key63'?";
        QTest::newRow("key64") << "key64"
                               << "; the key table runs from key00 to key63";
        QTest::newRow("macro01") << "macro01"
                                 << "; did you mean 'macro1'?";
        QTest::newRow("macro0") << "macro0"
                                << "; macros run from macro1 to macro8";
        QTest::newRow("macro9") << "macro9"
                                << "; macros run from macro1 to macro8";
        QTest::newRow("not numbered") << "keyboard"
                                      << "";
    }

    void numberedKeyHint()
    {
        QFETCH(QString, key);
        QFETCH(QString, hint);
        QCOMPARE(::numberedKeyHint(key), hint);
    }
};

QTEST_GUILESS_MAIN(TestCheckPieces)
#include "tst_checkpieces.moc"
