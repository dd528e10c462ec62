// rcprog-cli as a program: `record FILE` prints the record the loader gives, as JSON with the
// fields in record order; missing files, bad arguments and --help behave as documented.
#include "ConfigurationLoader.h"
#include "ProgrammingPass.h"

#include "CliRun.h"
#include "ScratchFiles.h"
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

namespace {

using Run = CliRun;

QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> result = text.split('\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

const QStringList kFields = {
        QStringLiteral("newNameOfDevice"),
        QStringLiteral("canChangeProductName"),
        QStringLiteral("configurationBlock"),
        QStringLiteral("switchNameBlocks"),
        QStringLiteral("boolRewritableFromSoftware"),
        QStringLiteral("flashData"),
        QStringLiteral("flashMacro"),
};

// Empty when `array` holds exactly the integers of `values`, else what differs.
template<typename Ints>
QString compareInts(const QJsonValue &array, const Ints &values, const QString &what)
{
    if (!array.isArray() || array.toArray().size() != qsizetype(values.size()))
        return what + QStringLiteral(": not an array of %1").arg(values.size());
    const QJsonArray a = array.toArray();
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!a.at(i).isDouble() || a.at(i).toDouble() != double(values[size_t(i)]))
            return what
                   + QStringLiteral("[%1]: %2 != %3")
                             .arg(i)
                             .arg(a.at(i).toVariant().toString())
                             .arg(values[size_t(i)]);
    }
    return QString();
}

// Empty when the printed JSON is the record, else the first difference.
QString compareJson(const QByteArray &out, const ConfigurationRecord &r)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(out, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return QStringLiteral("not JSON: ") + parseError.errorString();
    if (!doc.isObject())
        return QStringLiteral("not a JSON object");
    const QJsonObject o = doc.object();
    QStringList keys = o.keys();
    QStringList expectedKeys = kFields;
    keys.sort();
    expectedKeys.sort();
    if (keys != expectedKeys)
        return QStringLiteral("keys: ") + o.keys().join(u',');

    // The fields come in record order.
    qsizetype previous = -1;
    for (const QString &field : kFields) {
        const qsizetype at = out.indexOf("\"" + field.toUtf8() + "\":");
        if (at <= previous)
            return QStringLiteral("field %1 out of order").arg(field);
        previous = at;
    }

    if (o.value(kFields[0]) != QJsonValue(r.newNameOfDevice))
        return QStringLiteral("newNameOfDevice: ") + o.value(kFields[0]).toString();
    if (!o.value(kFields[1]).isDouble() || o.value(kFields[1]).toInt() != r.canChangeProductName)
        return QStringLiteral("canChangeProductName");
    QString diff = compareInts(o.value(kFields[2]), r.configurationBlock, kFields[2]);
    if (!diff.isEmpty())
        return diff;
    const QJsonValue blocks = o.value(kFields[3]);
    if (!blocks.isArray() || blocks.toArray().size() != ConfigurationRecord::kRemoteControls)
        return QStringLiteral("switchNameBlocks: not 8 blocks");
    for (int n = 0; n < ConfigurationRecord::kRemoteControls; ++n) {
        diff = compareInts(blocks.toArray().at(n), r.switchNameBlocks[size_t(n)],
                           QStringLiteral("switchNameBlocks[%1]").arg(n));
        if (!diff.isEmpty())
            return diff;
    }
    diff = compareInts(o.value(kFields[4]), r.boolRewritableFromSoftware, kFields[4]);
    if (!diff.isEmpty())
        return diff;
    const QJsonValue flash = o.value(kFields[5]);
    if (!flash.isArray() || flash.toArray().size() != ConfigurationRecord::kRemoteControls)
        return QStringLiteral("flashData: not 8 texts");
    for (int n = 0; n < ConfigurationRecord::kRemoteControls; ++n)
        if (flash.toArray().at(n) != QJsonValue(r.flashData[size_t(n)]))
            return QStringLiteral("flashData[%1]").arg(n);
    if (o.value(kFields[6]) != QJsonValue(r.flashMacro))
        return QStringLiteral("flashMacro");
    return QString();
}

} // namespace

class TestRecordCli : public QObject
{
    Q_OBJECT

private:
    ScratchFiles files_{QStringLiteral("record")};

    QString writeFile(const QByteArray &bytes) { return files_.write(bytes); }

    void checkRecord(const QString &path)
    {
        ConfigurationRecord record;
        QCOMPARE(loadConfiguration(path, record), LoadStatus::Loaded);
        const Run run = runCli({QStringLiteral("record"), path});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        const QString diff = compareJson(run.out, record);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(files_.isValid());
        QVERIFY2(QFileInfo(cliPath()).isExecutable(), qPrintable(cliPath()));
    }

    void bundledExample_data() { addBundledExampleRows(); }

    void bundledExample()
    {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(path).isFile(), qPrintable(path));
        checkRecord(path);
    }

    void record_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("characters JSON must escape")
                << QByteArray("[nameOfDevice]\nnewNameOfDevice=\"q\\\"b\\\\t\\tn\\nr\\r\\x1\"\n"
                              "[Macro]\nflashMacro=\"/</\"\n");
        QTest::newRow("non-ASCII text") << QByteArray(
                "[nameOfDevice]\nnewNameOfDevice=Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xba\n"
                "[rcSettings]\nrc01nameOfSwitch=\xc3\xa9\xe2\x82\xac\n");
        QTest::newRow("negative and large values, flash data") << QByteArray(
                "[Settings]\nID=-300\nfrequencyTrim=2147483647\nshiftDelay=-2147483648\n"
                "[rcSettings]\nrc03nameOfSwitch=TV\nrc03boolRewritableFromSoftware=-1\n"
                "rc03flashData=000102030406054142434445EEFF\n");
    }

    void record()
    {
        QFETCH(QByteArray, ini);
        checkRecord(writeFile(ini));
    }

    void unloadableFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("makeFolder");
        QTest::addColumn<QString>("messageStart");
        QTest::newRow("missing") << QStringLiteral("absent.ini") << false
                                 << QStringLiteral("rcprog-cli: configuration file not found: ");
        QTest::newRow("folder") << QStringLiteral("folder.ini") << true
                                << QStringLiteral("rcprog-cli: cannot read configuration file: ");
    }

    void unloadableFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, makeFolder);
        QFETCH(QString, messageStart);
        const QString path = files_.filePath(name);
        if (makeFolder)
            QVERIFY(QDir().mkpath(path));
        const Run run = runCli({QStringLiteral("record"), path});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QByteArray());
        const QList<QByteArray> errLines = lines(run.err);
        QCOMPARE(errLines.size(), 1);
        QCOMPARE(QString::fromUtf8(errLines.first()), messageStart + path);
    }

    // The file of a flash block of 2^31 - 1 bytes: record prints it; dump refuses it at once, in
    // little memory, with the reason on stderr (a pass of it would pad its flash data to four
    // thousand million digits and send 268 million reports), for any report length.
    void dumpRefusesAConfigurationThatCannotBeSent()
    {
        const QString path = writeFile("[Settings]\nquantityOfBytesInFlashBlock=2147483647\n"
                                       "quantityOfRemoteControls=1\n[rcSettings]\nrc01maxSize=1\n"
                                       "rc01flashData=00010203\n");
        const auto run = [](const QStringList &args) {
            QProcess p;
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
            // A sanitizer reserves far more address space than this for itself.
            p.setChildProcessModifier([] {
                const rlimit limit{512L << 20, 512L << 20};
                ::setrlimit(RLIMIT_AS, &limit);
            });
#endif
            p.start(cliPath(), args);
            Run r;
            if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
                return r;
            r.exitCode = p.exitCode();
            r.out = p.readAllStandardOutput();
            r.err = p.readAllStandardError();
            return r;
        };
        for (const QStringList &args :
             {QStringList{QStringLiteral("dump"), path},
              QStringList{QStringLiteral("dump"), path, QStringLiteral("--report-length"),
                          QStringLiteral("64")}}) {
            const Run dump = run(args);
            QVERIFY2(dump.exitCode == 2, qPrintable(args.join(u' ')));
            QCOMPARE(dump.out, QByteArray());
            QCOMPARE(QString::fromUtf8(dump.err),
                     QStringLiteral("rcprog-cli: configuration cannot be sent: "
                                    "quantityOfBytesInFlashBlock=2147483647: a flash block of more "
                                    "than 255 bytes cannot be sent\n"));
        }
        const Run record = run({QStringLiteral("record"), path});
        QCOMPARE(record.exitCode, 0);
        QCOMPARE(record.err, QByteArray());
        const QJsonObject json = QJsonDocument::fromJson(record.out).object();
        QCOMPARE(json.value(QStringLiteral("configurationBlock")).toArray().at(3).toDouble(),
                 2147483647.0);
    }

    // A value that the INI reader would decode as an object: every command refuses the file
    // and names the line.
    void encodedValueIsRefused_data()
    {
        QTest::addColumn<QString>("command");
        for (const char *command : {"record", "dump", "check", "program"})
            QTest::newRow(command) << QString::fromLatin1(command);
    }

    void encodedValueIsRefused()
    {
        QFETCH(QString, command);
        const QString path
                = writeFile("; typed\n[Settings]\nshiftDelay=\"\\100Variant(\\0\\0\\0\\x2"
                            "\\0\\0\\0\\x5)\"\n");
        const Run run = runCli({command, path});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(QString::fromUtf8(run.err),
                 QStringLiteral("rcprog-cli: cannot read configuration file: %1: line 3: a value "
                                "of the form @Variant(...) is refused\n")
                         .arg(path));
    }

    void dumpForAReportLength_data()
    {
        QTest::addColumn<int>("r");
        QTest::addColumn<int>("passes");
        QTest::newRow("default: 8") << 0 << 1;
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("16, two passes") << 16 << 2;
        QTest::newRow("64") << 64 << 1;
        QTest::newRow("255") << 255 << 1;
    }

    // `dump --report-length R` prints what the programming thread sends a receiver with R
    // payload bytes per report: its pass steps, over one buffer.
    void dumpForAReportLength()
    {
        QFETCH(int, r);
        QFETCH(int, passes);
        const QString path
                = testSourceDir() + QStringLiteral("/configfiles/four-remotes-flash.ini");
        ConfigurationRecord record;
        QCOMPARE(loadConfiguration(path, record), LoadStatus::Loaded);
        QStringList args{QStringLiteral("dump"), path, QStringLiteral("--passes"),
                         QString::number(passes)};
        if (r > 0)
            args << QStringLiteral("--report-length") << QString::number(r);
        else
            r = 8;
        std::vector<std::uint8_t> buffer(reportBufferSize(r), 0);
        QByteArray expected;
        for (int k = 1; k <= passes; ++k) {
            expected += "# pass " + QByteArray::number(k) + '\n';
            PassOutcome outcome;
            for (const PassStep &step : collectPassSteps(record, r, buffer, &outcome)) {
                if (step.kind == PassStep::Kind::Pause) {
                    expected += "P " + QByteArray::number(step.ms) + '\n';
                    continue;
                }
                QCOMPARE(int(step.bytes.size()), r + 1);
                expected += "W "
                            + QByteArray(reinterpret_cast<const char *>(step.bytes.data()),
                                         qsizetype(step.bytes.size()))
                                      .toHex(' ')
                                      .toUpper()
                            + '\n';
            }
            if (outcome.nameSent)
                record.newNameOfDevice = outcome.sentName;
        }
        const Run run = runCli(args);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.out, expected);
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        const QString example = testSourceDir() + QStringLiteral("/configfiles/single-remote.ini");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")};
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate")};
        QTest::newRow("record without file") << QStringList{QStringLiteral("record")};
        QTest::newRow("record with two files")
                << QStringList{QStringLiteral("record"), example, example};
        QTest::newRow("check without file") << QStringList{QStringLiteral("check")};
        QTest::newRow("dump without file") << QStringList{QStringLiteral("dump")};
        QTest::newRow("dump with 0 passes") << QStringList{
                QStringLiteral("dump"), example, QStringLiteral("--passes"), QStringLiteral("0")};
        for (const char *length : {"0", "-8", "x", "16384"})
            QTest::newRow(qPrintable(QStringLiteral("dump with report length %1").arg(length)))
                    << QStringList{QStringLiteral("dump"), example,
                                   QStringLiteral("--report-length"), QLatin1String(length)};
        QTest::newRow("template with an argument")
                << QStringList{QStringLiteral("template"), example};
        QTest::newRow("program with --each and --all")
                << QStringList{QStringLiteral("program"), example, QStringLiteral("--each"),
                               QStringLiteral("--all")};
        QTest::newRow("program with unknown option")
                << QStringList{QStringLiteral("program"), example, QStringLiteral("--fast")};
    }

    void badArguments()
    {
        QFETCH(QStringList, args);
        const Run run = runCli(args);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.err.startsWith("usage: rcprog-cli"), run.err.constData());
    }

    void helpDocumentsEveryCommand()
    {
        const Run run = runCli({QStringLiteral("--help")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        const QString help = QString::fromUtf8(run.out);
        QVERIFY(help.startsWith(QStringLiteral("usage: rcprog-cli")));

        // Each command that the program carries out is described...
        QStringList documented, takingFiles;
        static const QRegularExpression entry(QStringLiteral("^  (\\S+)(.*)$"),
                                              QRegularExpression::MultilineOption);
        for (auto it = entry.globalMatch(help); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            documented << m.captured(1);
            if (m.captured(2).contains(QLatin1String("FILE")))
                takingFiles << m.captured(1);
        }
        for (const char *command :
             {"record", "dump", "check", "program", "devices", "template", "--help"})
            QVERIFY2(documented.contains(QLatin1String(command)), command);
        for (const char *option : {"--passes", "--report-length", "--wait", "--each", "--all",
                                   "--log", "--json", "Exit status"})
            QVERIFY2(help.contains(QLatin1String(option)), option);

        // ...and each described command is carried out: with a missing file it gets as far as
        // naming the file, which no unknown command does; of those without a file, devices (over
        // an empty tree) succeeds and template prints a configuration, which no unknown command
        // does either.
        const QString absent = files_.filePath(QStringLiteral("help-absent.ini"));
        const QString empty = files_.filePath(QStringLiteral("empty-tree"));
        QVERIFY(QDir().mkpath(empty));
        for (const QString &command : documented) {
            if (command.startsWith(QLatin1String("--")))
                continue;
            if (takingFiles.contains(command)) {
                const Run r = runCli({command, absent});
                QCOMPARE(r.exitCode, 2);
                QVERIFY2(r.err.contains(absent.toUtf8()), qPrintable(command));
            } else if (command == QLatin1String("template")) {
                const Run r = runCli({command});
                QCOMPARE(r.exitCode, 0);
                QVERIFY(r.out.startsWith("; "));
            } else {
                const Run r = runCli({command, QStringLiteral("--sysfs-root"), empty,
                                      QStringLiteral("--dev-root"), empty});
                QVERIFY2(r.exitCode == 0, qPrintable(command));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestRecordCli)
#include "tst_recordcli.moc"
