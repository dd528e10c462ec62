// Soak: the window and its two threads over the simulated receiver, run for many cycles of plug,
// pass and unplug, every tenth pass with a refused write. Prints
//   soak cycles=N passes_ok=N passes_failed=M fds_start=A fds_end=B rss_kb_start=C rss_kb_end=D
// and then whether anything grew or the window showed a success it did not have: file
// descriptors must stay as they were after the first cycle, resident memory within 1 MB of its
// value after the first 10 cycles; the pass log, written into the soak's working folder, must
// hold one line per pass. Exits with 1 when something grew or went wrong.
//
// The threads run a hundred times faster than the real timing (a poll every 10 ms, a check
// every 2 ms, pauses of a hundredth); the program and rcprog-cli always keep the real timing.
//
//   bench-soak [--cycles N]        (default 1000)
#include "Application.h"
#include "HandleCount.h"
#include "MainWindow.h"
#include "SimulatedHid.h"
#include "UsbConnection.h"
#include "UsbReceiverDots.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

#include <unistd.h>

namespace {

constexpr int kTimeDivisor = 100;
constexpr int kFailEvery = 10; // every tenth pass has a refused write
constexpr int kBaselineCycles = 10; // resident memory is compared with its value after these
constexpr long kMaxRssGrowthKb = 1024;
constexpr int kWaitMs = 10000;
const std::string kPath = "sim:receiver";

// Two remote controls as switch name blocks: 37 reports.
const QByteArray kConfiguration = "[Settings]\nfrequencyTrim=77\nquantityOfRemoteControls=2\n"
                                  "[rcSettings]\nrc01nameOfSwitch=TV\nrc02nameOfSwitch=DVD\n";
constexpr int kPassReports = 37;
constexpr int kRefusedWrite = 5;

// File descriptors of the process, counted as the probes count them.
int openDescriptors()
{
    return int(rcprog::probe::countHandles().process.value_or(0));
}

long residentKb()
{
    long pages = 0, resident = 0;
    if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Runs the event loop until `done` holds; false after kWaitMs without.
bool waitFor(const std::function<bool()> &done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > kWaitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

// The lines of the pass log, and how many of them tell of a failed pass.
std::pair<int, int> loggedPasses(const QString &path)
{
    std::pair<int, int> lines{0, 0};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        ++lines.first;
        if (line.contains("\"result\":\"failed\""))
            ++lines.second;
    }
    return lines;
}

int fail(const char *what, int cycle)
{
    std::fprintf(stderr, "bench-soak: cycle %d: %s\n", cycle, what);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    int cycles = 1000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cycles") == 0 && i + 1 < argc) {
            cycles = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench-soak [--cycles N]\n");
            return 2;
        }
    }
    if (cycles < kBaselineCycles) {
        std::fprintf(stderr, "bench-soak: at least %d cycles\n", kBaselineCycles);
        return 2;
    }
    // The window needs no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir(dir.path()).mkdir(QStringLiteral("configfiles")))
        return fail("cannot make a working folder", 0);
    QFile file(dir.filePath(QStringLiteral("configfiles/soak.ini")));
    if (!file.open(QIODevice::WriteOnly) || file.write(kConfiguration) != kConfiguration.size())
        return fail("cannot write the configuration file", 0);
    file.close();
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    // The window logs every pass, as it does for an operator, but into the working folder.
    const QString logPath = dir.filePath(QStringLiteral("passes.jsonl"));
    qputenv("RCPROG_LOG", QFile::encodeName(logPath));

    auto hid = std::make_shared<rcprog::SimulatedHid>();
    int status = 0;
    {
        Application app(argc, argv, hid, {}, kTimeDivisor);
        MainWindow *window = app.mainWindow;
        int connected = 0, disconnected = 0, ok = 0, failed = 0;
        QObject counters;
        QObject::connect(app.usbConnection, &UsbConnection::updateUsb1, &counters,
                         [&] { ++connected; });
        QObject::connect(app.usbConnection, &UsbConnection::updateUsb2, &counters,
                         [&] { ++disconnected; });
        QObject::connect(app.usbReceiverDots, &UsbReceiverDots::updateUsb3, &counters,
                         [&] { ++ok; });
        QObject::connect(app.usbReceiverDots, &UsbReceiverDots::updateUsb5, &counters,
                         [&] { ++failed; });

        rcprog::SimulatedHid::Interface receiver;
        receiver.path = kPath;
        receiver.productString = u"Soak receiver";

        int fdsStart = 0;
        long rssStart = 0;
        int falseSuccesses = 0;
        for (int cycle = 1; cycle <= cycles && status == 0; ++cycle) {
            hid->plug(receiver);
            if (!waitFor([&] { return connected == cycle && window->pushButton->isEnabled(); })) {
                status = fail("the receiver was not connected", cycle);
                break;
            }
            const bool refuse = cycle % kFailEvery == 0;
            if (refuse)
                hid->failWriteNumber(kPath, kRefusedWrite);
            window->programmConfigurationBlock();
            if (!waitFor([&] { return ok + failed == cycle; })) {
                status = fail("the pass did not end", cycle);
                break;
            }
            const QString shown = window->label2->text();
            const int received = int(hid->reports().size());
            if (shown == MainWindow::kUpdated && refuse)
                ++falseSuccesses;
            const QString expected
                    = refuse ? MainWindow::kUpdateFailed.arg(kPassReports - 1).arg(kPassReports)
                             : MainWindow::kUpdated;
            if (shown != expected || received != kPassReports - (refuse ? 1 : 0)) {
                status = fail(qPrintable(QStringLiteral("the window shows \"%1\" after %2 reports")
                                                 .arg(shown)
                                                 .arg(received)),
                              cycle);
                break;
            }
            hid->clearReports();
            hid->unplug(kPath);
            if (!waitFor([&] { return disconnected == cycle; })) {
                status = fail("the receiver was not disconnected", cycle);
                break;
            }
            // Once a whole cycle has run, everything that is made once exists (the threads'
            // event dispatchers among them).
            if (cycle == 1)
                fdsStart = openDescriptors();
            if (cycle == kBaselineCycles)
                rssStart = residentKb();
        }
        const int fdsEnd = openDescriptors();
        const long rssEnd = residentKb();
        std::printf("soak cycles=%d passes_ok=%d passes_failed=%d fds_start=%d fds_end=%d "
                    "rss_kb_start=%ld rss_kb_end=%ld\n",
                    cycles, ok, failed, fdsStart, fdsEnd, rssStart, rssEnd);
        std::fflush(stdout);
        if (status == 0) {
            if (falseSuccesses > 0)
                status = fail("a failed pass was shown as a success", cycles);
            else if (ok != cycles - cycles / kFailEvery || failed != cycles / kFailEvery)
                status = fail("passes were counted wrong", cycles);
            else if (loggedPasses(logPath) != std::make_pair(cycles, cycles / kFailEvery))
                status = fail("the pass log does not hold one line per pass", cycles);
            else if (fdsEnd != fdsStart)
                status = fail("file descriptors grew", cycles);
            else if (rssEnd - rssStart > kMaxRssGrowthKb)
                status = fail("resident memory grew by more than 1 MB", cycles);
        }
        delete window;
    }
    QDir::setCurrent(oldDir);
    std::printf("soak: %s\n", status == 0 ? "nothing grew" : "FAILED");
    return status;
}
