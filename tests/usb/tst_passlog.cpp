// The pass log on its own: the line of a pass (its fields, their order, JSON that survives any
// product string), where the log goes by the environment, and the appends: whole lines, the
// folder made when missing, a log that cannot be written reported once and never more, a short
// write reported, and many writers at once never interleaving.
#include "PassLog.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

#include <sys/resource.h>

Q_DECLARE_METATYPE(PassResult)

namespace {

PassRecord samplePass()
{
    PassRecord r;
    r.time = QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58, 7), QTimeZone::utc());
    r.file = QStringLiteral("/home/op/configfiles/single-remote.ini");
    r.sha256 = QString(64, u'a');
    r.product = QStringLiteral("USB Receiver");
    r.device = QStringLiteral("/dev/hidraw3");
    r.reportLength = 9;
    r.reportsWritten = 28;
    r.reportsInPass = 28;
    r.result = PassResult::Ok;
    r.durationMs = 190;
    return r;
}

// The text of a file, or a null array when it cannot be read.
QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What an error stream got: a temporary FILE whose contents can be read back.
class ErrorStream
{
public:
    ErrorStream() : file_(std::tmpfile()) { }
    ~ErrorStream()
    {
        if (file_)
            std::fclose(file_);
    }
    ErrorStream(const ErrorStream &) = delete;
    ErrorStream &operator=(const ErrorStream &) = delete;

    std::FILE *file() const { return file_; }
    QByteArray text() const
    {
        QByteArray all;
        if (!file_)
            return all;
        std::fflush(file_);
        std::rewind(file_);
        char chunk[512];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0)
            all.append(chunk, qsizetype(n));
        return all;
    }

private:
    std::FILE *file_;
};

} // namespace

class TestPassLog : public QObject
{
    Q_OBJECT

private slots:
    void lineHoldsEveryFieldInOrder();
    void resultNames_data();
    void resultNames();
    void stringsStayValidJson_data();
    void stringsStayValidJson();
    void timeIsUtcWithMilliseconds();
    void path_data();
    void path();
    void appendsWholeLinesAndMakesTheFolder();
    void offWritesNothing();
    void unwritableLogIsReportedOnce();
    void shortWriteIsReported();
    void concurrentWritersNeverInterleave();
};

void TestPassLog::lineHoldsEveryFieldInOrder()
{
    const QByteArray line
            = passLogLine(samplePass(), QStringLiteral("rcprog-cli"), QStringLiteral("station-3"));
    QCOMPARE(line, QByteArray("{\"time\":\"2024-02-29T23:59:58.007Z\",\"program\":\"rcprog-cli\","
                              "\"host\":\"station-3\","
                              "\"file\":\"/home/op/configfiles/single-remote.ini\",\"sha256\":\"")
                           + QByteArray(64, 'a')
                           + "\",\"product\":\"USB Receiver\",\"device\":\"/dev/hidraw3\","
                             "\"reportLength\":9,\"reportsWritten\":28,\"reportsInPass\":28,"
                             "\"result\":\"ok\",\"durationMs\":190}\n");
}

void TestPassLog::resultNames_data()
{
    QTest::addColumn<PassResult>("result");
    QTest::addColumn<QString>("name");
    QTest::newRow("ok") << PassResult::Ok << QStringLiteral("ok");
    QTest::newRow("failed") << PassResult::Failed << QStringLiteral("failed");
    QTest::newRow("interrupted") << PassResult::Interrupted << QStringLiteral("interrupted");
}

void TestPassLog::resultNames()
{
    QFETCH(PassResult, result);
    QFETCH(QString, name);
    PassRecord r = samplePass();
    r.result = result;
    const QJsonDocument doc = QJsonDocument::fromJson(passLogLine(r, "p", "h"));
    QCOMPARE(doc.object().value(QStringLiteral("result")).toString(), name);
}

void TestPassLog::stringsStayValidJson_data()
{
    QTest::addColumn<QString>("product");
    QTest::newRow("quotes and backslashes") << QStringLiteral("A \"B\" \\C\\");
    QTest::newRow("control characters") << QStringLiteral("tab\tnew\nline\x01");
    QTest::newRow("Latin-1") << QStringLiteral("Empf\u00e4nger \u00e9");
    QTest::newRow("beyond the BMP") << QStringLiteral("r\U0001F600x");
    QTest::newRow("empty") << QString();
}

void TestPassLog::stringsStayValidJson()
{
    QFETCH(QString, product);
    PassRecord r = samplePass();
    r.product = product;
    r.device = product;
    const QByteArray line = passLogLine(r, product, product);
    // One line: nothing in a string may break it.
    QCOMPARE(line.count('\n'), 1);
    QVERIFY(line.endsWith('\n'));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    for (const char *key : {"product", "device", "program", "host"})
        QCOMPARE(doc.object().value(QLatin1String(key)).toString(), product);
}

void TestPassLog::timeIsUtcWithMilliseconds()
{
    // 12:00:00.250 at UTC+02:00 is 10:00:00.250 UTC; whole seconds still show ".000".
    PassRecord r = samplePass();
    r.time = QDateTime(QDate(2024, 6, 1), QTime(12, 0, 0, 250), QTimeZone(2 * 3600));
    QCOMPARE(QJsonDocument::fromJson(passLogLine(r, "p", "h"))
                     .object()
                     .value(QStringLiteral("time"))
                     .toString(),
             QStringLiteral("2024-06-01T10:00:00.250Z"));
    r.time = QDateTime(QDate(2024, 6, 1), QTime(8, 30), QTimeZone::utc());
    QCOMPARE(QJsonDocument::fromJson(passLogLine(r, "p", "h"))
                     .object()
                     .value(QStringLiteral("time"))
                     .toString(),
             QStringLiteral("2024-06-01T08:30:00.000Z"));
}

void TestPassLog::path_data()
{
    // The environment as NAME=VALUE entries; a name without '=' is unset.
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("path");
    QTest::newRow("RCPROG_LOG names the file")
            << QStringList{"RCPROG_LOG=/var/log/line.jsonl", "XDG_STATE_HOME=/state",
                           "HOME=/home/op"}
            << QStringLiteral("/var/log/line.jsonl");
    QTest::newRow("RCPROG_LOG empty turns the log off")
            << QStringList{"RCPROG_LOG=", "XDG_STATE_HOME=/state", "HOME=/home/op"} << QString();
    QTest::newRow("XDG_STATE_HOME") << QStringList{"XDG_STATE_HOME=/state", "HOME=/home/op"}
                                    << QStringLiteral("/state/rcprog/passes.jsonl");
    QTest::newRow("XDG_STATE_HOME unset")
            << QStringList{"HOME=/home/op"}
            << QStringLiteral("/home/op/.local/state/rcprog/passes.jsonl");
    QTest::newRow("XDG_STATE_HOME empty")
            << QStringList{"XDG_STATE_HOME=", "HOME=/home/op"}
            << QStringLiteral("/home/op/.local/state/rcprog/passes.jsonl");
    QTest::newRow("LOCALAPPDATA without XDG_STATE_HOME")
            << QStringList{"LOCALAPPDATA=/appdata", "HOME=/home/op"}
            << QStringLiteral("/appdata/rcprog/passes.jsonl");
    QTest::newRow("XDG_STATE_HOME before LOCALAPPDATA")
            << QStringList{"XDG_STATE_HOME=/state", "LOCALAPPDATA=/appdata", "HOME=/home/op"}
            << QStringLiteral("/state/rcprog/passes.jsonl");
    QTest::newRow("XDG_STATE_HOME relative is ignored")
            << QStringList{"XDG_STATE_HOME=state", "HOME=/home/op"}
            << QStringLiteral("/home/op/.local/state/rcprog/passes.jsonl");
}

void TestPassLog::path()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, path);
    QProcessEnvironment env;
    for (const QString &entry : environment)
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    QCOMPARE(passLogPath(env), path);
}

void TestPassLog::appendsWholeLinesAndMakesTheFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("state/rcprog/passes.jsonl"));
    ErrorStream errors;
    PassLog log(path, QStringLiteral("rcprog"), errors.file());
    PassRecord first = samplePass(), second = samplePass();
    second.result = PassResult::Failed;
    second.reportsWritten = 3;
    QVERIFY(log.append(first));
    QVERIFY(log.append(second));
    QCOMPARE(contents(path),
             passLogLine(first, QStringLiteral("rcprog"), QSysInfo::machineHostName())
                     + passLogLine(second, QStringLiteral("rcprog"), QSysInfo::machineHostName()));
    QCOMPARE(errors.text(), QByteArray());
}

void TestPassLog::offWritesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QDir before(dir.path());
    ErrorStream errors;
    PassLog log(QString(), QStringLiteral("rcprog"), errors.file());
    QVERIFY(!log.enabled());
    QVERIFY(log.append(samplePass()));
    QCOMPARE(before.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(errors.text(), QByteArray());
}

void TestPassLog::unwritableLogIsReportedOnce()
{
    // A folder where the file should be: open(2) fails with EISDIR, also for root.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("passes.jsonl"));
    QVERIFY(QDir().mkdir(path));
    ErrorStream errors;
    PassLog log(path, QStringLiteral("rcprog-cli"), errors.file());
    for (int i = 0; i < 3; ++i)
        QVERIFY(!log.append(samplePass()));
    QCOMPARE(errors.text(),
             QStringLiteral("rcprog-cli: cannot write the pass log %1: Is a directory\n")
                     .arg(path)
                     .toUtf8());
}

void TestPassLog::shortWriteIsReported()
{
    // The file may grow by 10 bytes only: write(2) writes those and returns fewer bytes than the
    // line has.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("passes.jsonl"));
    const QByteArray earlier(100, 'x');
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(earlier), qint64(earlier.size()));
    }
    const QByteArray line
            = passLogLine(samplePass(), QStringLiteral("rcprog"), QSysInfo::machineHostName());
    ErrorStream errors;
    PassLog log(path, QStringLiteral("rcprog"), errors.file());
    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit cap{rlim_t(earlier.size() + 10), old.rlim_max};
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &cap) == 0);
    const bool appended = log.append(samplePass());
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &old) == 0);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!appended);
    QCOMPARE(errors.text(),
             QStringLiteral("rcprog: cannot write the pass log %1: short write (10 of %2 bytes)\n")
                     .arg(path)
                     .arg(line.size())
                     .toUtf8());
}

void TestPassLog::concurrentWritersNeverInterleave()
{
    // Lines of several kilobytes from eight writers at once, each with a log object (and so a
    // descriptor) of its own, as separate programs have.
    constexpr int kWriters = 8;
    constexpr int kLinesEach = 40;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("passes.jsonl"));
    std::vector<std::thread> writers;
    std::vector<int> failures(kWriters, 0);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            PassLog log(path, QStringLiteral("writer %1").arg(w), nullptr);
            PassRecord r = samplePass();
            r.product = QString(3000 + 100 * w, QChar(u'a' + w));
            for (int i = 0; i < kLinesEach; ++i) {
                r.reportsWritten = i;
                if (!log.append(r))
                    ++failures[std::size_t(w)];
            }
        });
    }
    for (std::thread &t : writers)
        t.join();
    for (int w = 0; w < kWriters; ++w)
        QCOMPARE(failures[std::size_t(w)], 0);

    QList<QByteArray> lines = contents(path).split('\n');
    QCOMPARE(lines.takeLast(), QByteArray()); // the file ends with a line end
    QCOMPARE(lines.size(), kWriters * kLinesEach);
    std::vector<std::vector<int>> seen(kWriters);
    for (const QByteArray &line : lines) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const int w = o.value(QStringLiteral("program")).toString().section(u' ', 1).toInt();
        QVERIFY2(!o.isEmpty() && w >= 0 && w < kWriters, line.left(80).constData());
        QCOMPARE(o.value(QStringLiteral("product")).toString(),
                 QString(3000 + 100 * w, QChar(u'a' + w)));
        seen[std::size_t(w)].push_back(o.value(QStringLiteral("reportsWritten")).toInt());
    }
    // Each writer's lines arrived whole and in its order.
    for (int w = 0; w < kWriters; ++w) {
        QCOMPARE(int(seen[std::size_t(w)].size()), kLinesEach);
        for (int i = 0; i < kLinesEach; ++i)
            QCOMPARE(seen[std::size_t(w)][std::size_t(i)], i);
    }
}

QTEST_GUILESS_MAIN(TestPassLog)
#include "tst_passlog.moc"
