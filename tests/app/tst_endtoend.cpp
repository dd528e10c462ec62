#include "AppHarness.h"
#include "PassLogLines.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>

#include <cstdio>

#include <unistd.h>

namespace {

const QByteArray kFileA = "[Settings]\nfrequencyTrim=11\nquantityOfRemoteControls=2\n"
                          "[rcSettings]\nrc01nameOfSwitch=TV\nrc02nameOfSwitch=DVD\n";
const QByteArray kFileB = "[nameOfDevice]\nnewNameOfDevice=Second file name\n"
                          "canChangeProductName=1\n[Settings]\nfrequencyTrim=22\n";
// Eight switch name blocks: a pass of about 560 ms, long enough to act during it.
const QByteArray kFileLong = "[Settings]\nfrequencyTrim=33\nquantityOfRemoteControls=8\n";

// Sets an environment variable for the lifetime of the object, as the application object reads it
// when it is made, and restores the old value.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnvironment()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char *name_;
    bool had_;
    QByteArray old_;
};

// What the process writes to its standard error while the object lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        if (!file_.open())
            return;
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(int(file_.handle()), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    QByteArray text()
    {
        restore();
        file_.seek(0);
        return file_.readAll();
    }

private:
    void restore()
    {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }

    QTemporaryFile file_;
    int saved_ = -1;
};


QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

// rcprog as a whole over a simulated receiver: the real threads with their real timing.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void monitorFollowsPlugAndUnplug();
    void noReceiverNoSignal();
    void buttonProgramsTheExactSequence();
    void automaticProgrammingOnEachConnect();
    void loadWhileDisconnectedIsServedAfterConnect();
    void unplugDuringAPass();
    void loadDuringAPass();
    void closingDuringAPassEndsPromptly();
    void everyPassIsLoggedWithTheFileItSent();
    void unwritableLogNeverFailsAPass();
};

void TestEndToEnd::monitorFollowsPlugAndUnplug()
{
    AppHarness h;
    MainWindow *w = h.window();
    h.plug(u"First receiver");
    QElapsedTimer timer;
    timer.start();
    QTRY_COMPARE_WITH_TIMEOUT(h.connected->count(), 1, kConnectTimeoutMs);
    QVERIFY2(timer.elapsed() > 1000, "the first poll comes after the start pause");
    QTRY_COMPARE(w->label->text(), QStringLiteral("First receiver connected"));
    QCOMPARE(w->label->styleSheet(), QStringLiteral("QLabel { color: green}"));
    QVERIFY(w->pushButton->isEnabled());
    QCOMPARE(h.hid->openHandleCount(), 2);

    // A second receiver while connected changes nothing.
    h.plug(u"Another", 9, "sim:second");
    QTest::qWait(2500);
    QCOMPARE(h.connected->count(), 1);
    QCOMPARE(w->label->text(), QStringLiteral("First receiver connected"));
    h.hid->unplug("sim:second");

    h.hid->unplug(AppHarness::kPath);
    QTRY_COMPARE_WITH_TIMEOUT(h.disconnected->count(), 1, kConnectTimeoutMs);
    QTRY_COMPARE(w->label->text(), QStringLiteral("USB remote control not connected"));
    QCOMPARE(w->label->styleSheet(), QStringLiteral("QLabel { color: red}"));
    QVERIFY(!w->pushButton->isEnabled());
    QCOMPARE(h.hid->openHandleCount(), 0);

    // Plugged again with another name and report length: read afresh.
    h.plug(u"Replugged", 17);
    QTRY_COMPARE_WITH_TIMEOUT(h.connected->count(), 2, kConnectTimeoutMs);
    QTRY_COMPARE(w->label->text(), QStringLiteral("Replugged connected"));
    QCOMPARE(h.app->deviceLink().reportDataLength(), 16);
    QTest::qWait(1500);
    QCOMPARE(h.connected->count(), 2);
    QCOMPARE(h.disconnected->count(), 1);
}

void TestEndToEnd::noReceiverNoSignal()
{
    AppHarness h;
    QTest::qWait(3500);
    QCOMPARE(h.connected->count(), 0);
    QCOMPARE(h.disconnected->count(), 0);
    QCOMPARE(h.window()->label->text(), QStringLiteral("USB remote control not connected"));
}

void TestEndToEnd::buttonProgramsTheExactSequence()
{
    AppHarness h({{"a", kFileA}, {"b", kFileB}});
    MainWindow *w = h.window();
    h.plug();
    QTRY_VERIFY_WITH_TIMEOUT(w->pushButton->isEnabled(), kConnectTimeoutMs);
    h.select(QStringLiteral("a"));
    QTest::mouseClick(w->pushButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kPassTimeoutMs);
    QTRY_COMPARE(w->label2->text(), QStringLiteral("updated OK!!! :)"));
    QCOMPARE(w->label->text(), QString());
    const Reports first = AppHarness::expectedReports(h.configPath("a"), 1);
    QCOMPARE(first.size(), std::size_t(19 + 2 * 9));
    QCOMPARE(h.received(), first);

    // A second file: the pass continues from the buffer the first one left.
    h.select(QStringLiteral("b"));
    QTest::mouseClick(w->pushButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 2, kPassTimeoutMs);
    const Reports received = h.received();
    const Reports second(received.begin() + std::ptrdiff_t(first.size()), received.end());
    QCOMPARE(second.size(), std::size_t(19 + 4));
    // 16 name characters: the last name report is all zeros, and so is the closing report's tail.
    QCOMPARE(second.back(), (std::vector<std::uint8_t>{0, 3, 0, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(second[19], (std::vector<std::uint8_t>{0, 'S', 'e', 'c', 'o', 'n', 'd', ' ', 'f'}));
    QTest::qWait(600);
    QCOMPARE(h.updated->count(), 2); // one pass per request
}

void TestEndToEnd::automaticProgrammingOnEachConnect()
{
    AppHarness h({{"a", kFileA}});
    h.window()->checkBox->setChecked(true);
    const Reports one = AppHarness::expectedReports(h.configPath("a"), 1);
    for (int k = 1; k <= 2; ++k) {
        h.plug();
        QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), k, kConnectTimeoutMs + kPassTimeoutMs);
        h.hid->unplug(AppHarness::kPath);
        QTRY_COMPARE_WITH_TIMEOUT(h.disconnected->count(), k, kConnectTimeoutMs);
    }
    QCOMPARE(h.received(), concat(one, one));
}

void TestEndToEnd::loadWhileDisconnectedIsServedAfterConnect()
{
    AppHarness h({{"a", kFileA}});
    QTest::qWait(1500); // the programming thread is checking by now
    h.window()->loadConfigurationFile();
    QTest::qWait(600);
    QVERIFY(h.app->recordHandOver().programmingRequested()); // pending while nothing is connected
    h.plug();
    QTRY_COMPARE_WITH_TIMEOUT(h.connected->count(), 1, kConnectTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kPassTimeoutMs);
    QCOMPARE(h.received(), AppHarness::expectedReports(h.configPath("a"), 1));
}

void TestEndToEnd::unplugDuringAPass()
{
    AppHarness h({{"long", kFileLong}});
    h.plug();
    QTRY_VERIFY_WITH_TIMEOUT(h.window()->pushButton->isEnabled(), kConnectTimeoutMs);
    h.hid->unplugAfterWrites(AppHarness::kPath, 30);
    h.window()->programmConfigurationBlock();
    QTRY_COMPARE_WITH_TIMEOUT(h.disconnected->count(), 1, kConnectTimeoutMs);
    // Wait until the pass has run to its end: every report was attempted.
    const Reports expected = AppHarness::expectedReports(h.configPath("long"), 1);
    QTRY_COMPARE_WITH_TIMEOUT(h.hid->writeAttempts(), int(expected.size()), kPassTimeoutMs);
    QTest::qWait(500);
    QCOMPARE(h.updated->count(), 0);
    QVERIFY(h.window()->label2->text().isEmpty());
    QCOMPARE(h.received(), Reports(expected.begin(), expected.begin() + 30));
}

void TestEndToEnd::loadDuringAPass()
{
    AppHarness h({{"long", kFileLong}, {"b", kFileB}});
    h.plug();
    QTRY_VERIFY_WITH_TIMEOUT(h.window()->pushButton->isEnabled(), kConnectTimeoutMs);
    h.select(QStringLiteral("long"));
    h.window()->programmConfigurationBlock();
    QTRY_VERIFY_WITH_TIMEOUT(!h.received().empty(), kPassTimeoutMs);
    h.select(QStringLiteral("b"));
    h.window()->programmConfigurationBlock(); // during the pass
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 2, 2 * kPassTimeoutMs);
    const Reports first = AppHarness::expectedReports(h.configPath("long"), 1);
    QVERIFY(h.received().size() > first.size());
    const Reports received = h.received();
    QCOMPARE(Reports(received.begin(), received.begin() + std::ptrdiff_t(first.size())), first);
    QCOMPARE(received.size(), first.size() + 19 + 4);
    // The second pass carries file b: its configuration block starts with frequencyTrim 22.
    QCOMPARE(received[first.size() + 2][1], std::uint8_t(22));
}

void TestEndToEnd::closingDuringAPassEndsPromptly()
{
    QElapsedTimer timer;
    {
        AppHarness h({{"long", kFileLong}});
        h.plug();
        QTRY_VERIFY_WITH_TIMEOUT(h.window()->pushButton->isEnabled(), kConnectTimeoutMs);
        h.window()->programmConfigurationBlock();
        QTRY_VERIFY_WITH_TIMEOUT(!h.received().empty(), kPassTimeoutMs);
        h.window()->close();
        timer.start();
    }
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
}

void TestEndToEnd::everyPassIsLoggedWithTheFileItSent()
{
    QTemporaryDir logDir;
    QVERIFY(logDir.isValid());
    const QString logPath = logDir.filePath(QStringLiteral("passes.jsonl"));
    const ScopedEnvironment log("RCPROG_LOG", QFile::encodeName(logPath));
    AppHarness h({{"a", kFileA}, {"b", kFileB}});
    QTest::qWait(1500); // the programming thread is checking by now
    h.select(QStringLiteral("a"));
    h.window()->loadConfigurationFile();
    // While the request waits for a receiver, another file is selected and a.ini is changed:
    // the pass and its line are still those of a.ini as it was loaded.
    h.select(QStringLiteral("b"));
    h.writeFile(QStringLiteral("a"), "[Settings]\nfrequencyTrim=99\n");
    h.plug(u"Logged receiver");
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 1, kConnectTimeoutMs + kPassTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(passLogLines(logPath).size(), 1, kPassTimeoutMs);
    QJsonObject line = passLogLines(logPath).at(0);
    const QString pathA = QFileInfo(h.configPath("a")).absoluteFilePath();
    QCOMPARE(line.value(QStringLiteral("program")).toString(), QStringLiteral("rcprog"));
    QCOMPARE(line.value(QStringLiteral("host")).toString(), QSysInfo::machineHostName());
    QCOMPARE(line.value(QStringLiteral("file")).toString(), pathA);
    QCOMPARE(line.value(QStringLiteral("sha256")).toString(), sha256(kFileA));
    QCOMPARE(line.value(QStringLiteral("product")).toString(), QStringLiteral("Logged receiver"));
    QCOMPARE(line.value(QStringLiteral("device")).toString(), QLatin1String(AppHarness::kPath));
    QCOMPARE(line.value(QStringLiteral("reportLength")).toInt(), 9);
    QCOMPARE(line.value(QStringLiteral("reportsInPass")).toInt(), 19 + 2 * 9);
    QCOMPARE(line.value(QStringLiteral("reportsWritten")).toInt(), 19 + 2 * 9);
    QCOMPARE(line.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));

    // The button with b selected: a second line, for b.
    QTest::mouseClick(h.window()->pushButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), 2, kPassTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(passLogLines(logPath).size(), 2, kPassTimeoutMs);
    line = passLogLines(logPath).at(1);
    QCOMPARE(line.value(QStringLiteral("file")).toString(),
             QFileInfo(h.configPath("b")).absoluteFilePath());
    QCOMPARE(line.value(QStringLiteral("sha256")).toString(), sha256(kFileB));
    QCOMPARE(line.value(QStringLiteral("reportsWritten")).toInt(), 19 + 4);
}

void TestEndToEnd::unwritableLogNeverFailsAPass()
{
    // The log's path is a folder: no line can be written, and the window does as it always does.
    QTemporaryDir logDir;
    QVERIFY(logDir.isValid());
    const ScopedEnvironment log("RCPROG_LOG", QFile::encodeName(logDir.path()));
    StderrCapture errors;
    {
        AppHarness h({{"a", kFileA}});
        h.window()->checkBox->setChecked(true);
        for (int k = 1; k <= 2; ++k) {
            h.plug();
            QTRY_COMPARE_WITH_TIMEOUT(h.updated->count(), k, kConnectTimeoutMs + kPassTimeoutMs);
            QTRY_COMPARE(h.window()->label2->text(), QStringLiteral("updated OK!!! :)"));
            h.hid->unplug(AppHarness::kPath);
            QTRY_COMPARE_WITH_TIMEOUT(h.disconnected->count(), k, kConnectTimeoutMs);
        }
        const Reports one = AppHarness::expectedReports(h.configPath("a"), 1);
        QCOMPARE(h.received(), concat(one, one));
    }
    // Said once on standard error, not once per pass.
    const QByteArray text = errors.text();
    const QByteArray message = "rcprog: cannot write the pass log "
                               + QFile::encodeName(logDir.path()) + ": Is a directory\n";
    QVERIFY2(text.count(message) == 1, text.constData());
}

int main(int argc, char *argv[])
{
    TestEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_endtoend.moc"
