// `rcprog-cli template`, run as a program: the file it prints loads into exactly the record of
// an empty file, `check` finds no error in it, it holds every key of the table once, in its
// group, each after a comment that says what the key sets and the values the receiver takes.
#include "ConfigurationKeys.h"
#include "ConfigurationLoader.h"
#include "RecordFixtures.h"

#include "CliRun.h"
#include "ScratchFiles.h"

#include <QtTest>

namespace {

// A key line of the template and the comment lines right above it.
struct TemplateKey
{
    QString group;
    QString name;
    QString value;
    QStringList comment;
    int line = 0;
};

QList<TemplateKey> parseTemplate(const QByteArray &text, QStringList &problems)
{
    QList<TemplateKey> keys;
    QString group;
    QStringList comment;
    int number = 0;
    for (const QString &line : QString::fromUtf8(text).split(u'\n')) {
        ++number;
        if (line.startsWith(u';')) {
            comment << line.mid(1).trimmed();
        } else if (line.startsWith(u'[') && line.endsWith(u']')) {
            group = line.mid(1, line.size() - 2);
            comment.clear();
        } else if (line.contains(u'=')) {
            keys.append({group, line.section(u'=', 0, 0), line.section(u'=', 1), comment, number});
            comment.clear();
        } else if (!line.isEmpty()) {
            problems << QStringLiteral("line %1 is neither a comment, a group nor a key: %2")
                                .arg(number)
                                .arg(line);
        } else {
            comment.clear();
        }
    }
    return keys;
}

} // namespace

class TestTemplate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loadsAsAnEmptyFile();
    void checkFindsNoError();
    void everyKeyOnceInItsGroupAfterAComment();
    void commentsSayTheValues_data();
    void commentsSayTheValues();

private:
    ScratchFiles files_{QStringLiteral("template")};
    QByteArray text_;
    QString path_;
};

void TestTemplate::initTestCase()
{
    QVERIFY(files_.isValid());
    const CliRun run = runCli({QStringLiteral("template")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    text_ = run.out;
    QVERIFY(!text_.isEmpty());
    path_ = files_.write(text_);
}

void TestTemplate::loadsAsAnEmptyFile()
{
    ConfigurationRecord fromTemplate = scribbled();
    QCOMPARE(loadConfiguration(path_, fromTemplate), LoadStatus::Loaded);
    ConfigurationRecord fromEmpty = scribbled();
    QCOMPARE(loadConfiguration(files_.write(QByteArray()), fromEmpty), LoadStatus::Loaded);
    QCOMPARE(firstDifference(fromTemplate, fromEmpty), QString());
    QCOMPARE(firstDifference(fromTemplate, writtenOutDefaults()), QString());
    // And as the program reads it.
    const CliRun a = runCli({QStringLiteral("record"), path_});
    const CliRun b = runCli({QStringLiteral("record"), files_.write(QByteArray())});
    QCOMPARE(a.exitCode, 0);
    QCOMPARE(a.out, b.out);
}

void TestTemplate::checkFindsNoError()
{
    const CliRun run = runCli({QStringLiteral("check"), path_});
    QCOMPARE(run.exitCode, 0);
    for (const QString &line : run.errLines())
        QVERIFY2(!line.contains(QLatin1String(": error: ")), qPrintable(line));
}

void TestTemplate::everyKeyOnceInItsGroupAfterAComment()
{
    QStringList problems;
    const QList<TemplateKey> keys = parseTemplate(text_, problems);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    QCOMPARE(keys.size(), int(configurationKeys().size()));
    QSet<QString> seen;
    for (const TemplateKey &k : keys) {
        const ConfigKey *known = findConfigKey(k.group, k.name);
        QVERIFY2(
                known,
                qPrintable(QStringLiteral("line %1: %2 in [%3]").arg(k.line).arg(k.name, k.group)));
        QVERIFY2(!seen.contains(k.name), qPrintable(k.name));
        seen.insert(k.name);
        // The comment starts with what the table says the key sets.
        QVERIFY2(!k.comment.isEmpty() && k.comment.first().startsWith(known->description),
                 qPrintable(QStringLiteral("line %1: %2").arg(k.line).arg(k.comment.join(u' '))));
        // The value is the default, as text or as a number.
        QCOMPARE(k.value, known->kind == KeyKind::Integer ? QString::number(known->defaultValue)
                                                          : known->defaultText);
    }
    // The groups in reading order, each once.
    QStringList groups;
    for (const TemplateKey &k : keys)
        if (groups.isEmpty() || groups.last() != k.group)
            groups << k.group;
    QCOMPARE(groups, configurationGroups());
}

void TestTemplate::commentsSayTheValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("values");
    QTest::newRow("a byte") << QStringLiteral("frequencyTrim")
                            << QStringLiteral("Values 0 ... 255.");
    QTest::newRow("the key table")
            << QStringLiteral("key63") << QStringLiteral("Values 0 ... 255.");
    QTest::newRow("ID") << QStringLiteral("ID") << QStringLiteral("Values 0 ... 65535.");
    QTest::newRow("the product name flag")
            << QStringLiteral("canChangeProductName") << QStringLiteral("Values 0 or 1.");
    QTest::newRow("the remote controls programmed")
            << QStringLiteral("quantityOfRemoteControls") << QStringLiteral("Values 0 ... 8.");
    QTest::newRow("the flash block size")
            << QStringLiteral("quantityOfBytesInFlashBlock")
            << QStringLiteral("Values 8 ... 248 in steps of 8 when flash data is sent; otherwise "
                              "0 ... 255.");
    QTest::newRow("the product name") << QStringLiteral("newNameOfDevice")
                                      << QStringLiteral("At most 24 characters, Latin-1.");
    QTest::newRow("a switch name") << QStringLiteral("rc03nameOfSwitch")
                                   << QStringLiteral("At most 57 characters, Latin-1.");
    QTest::newRow("flash data")
            << QStringLiteral("rc05flashData")
            << QStringLiteral("Hex digits, two per byte; at most 2 x quantityOfBytesInFlashBlock x "
                              "rc05maxSize digits.");
    QTest::newRow("the macro") << QStringLiteral("flashMacro")
                               << QStringLiteral("Exactly 256 hex digits.");
}

void TestTemplate::commentsSayTheValues()
{
    QFETCH(QString, key);
    QFETCH(QString, values);
    QStringList problems;
    for (const TemplateKey &k : parseTemplate(text_, problems)) {
        if (k.name != key)
            continue;
        QVERIFY2(k.comment.join(u' ').endsWith(values), qPrintable(k.comment.join(u' ')));
        return;
    }
    QFAIL(qPrintable(key + QStringLiteral(" is not in the template")));
}

QTEST_GUILESS_MAIN(TestTemplate)
#include "tst_template.moc"
