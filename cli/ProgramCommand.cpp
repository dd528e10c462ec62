// rcprog-cli program FILE [--wait SECONDS]
#include "CliCommon.h"
#include "Commands.h"
#include "DeviceLink.h"
#include "DeviceSearch.h"
#include "LinkPass.h"
#include "Pacer.h"
#include "ProgrammingPass.h"

#include <QCommandLineParser>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#ifdef _WIN32
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>
#else
#include <atomic>
#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <unistd.h>
#endif

using namespace cli;

namespace {

#ifdef _WIN32

// The pacer that Ctrl-C stops (null: none), guarded by interruptMutex.
std::mutex interruptMutex;
Pacer *interruptPacer = nullptr;

BOOL WINAPI onConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT)
        return FALSE;
    // The system runs a console control handler on a thread of its own, so it may take locks.
    std::lock_guard<std::mutex> lock(interruptMutex);
    if (interruptPacer)
        interruptPacer->requestStop();
    return TRUE;
}

// Turns Ctrl-C into a stop request of a pacer while it lives. The handler stays installed after
// that, ignoring Ctrl-C: the pass is over then.
class InterruptWatcher
{
public:
    explicit InterruptWatcher(Pacer &pacer)
    {
        {
            std::lock_guard<std::mutex> lock(interruptMutex);
            interruptPacer = &pacer;
        }
        SetConsoleCtrlHandler(onConsoleControl, TRUE);
    }
    ~InterruptWatcher()
    {
        std::lock_guard<std::mutex> lock(interruptMutex);
        interruptPacer = nullptr;
    }
    InterruptWatcher(const InterruptWatcher &) = delete;
    InterruptWatcher &operator=(const InterruptWatcher &) = delete;
};

#else

// The write end of the interrupt pipe, for the signal handler (-1: none).
std::atomic<int> interruptPipe{-1};

extern "C" void onInterrupt(int)
{
    // Only what a signal handler may do: one write(2), to a pipe that never blocks.
    const int savedErrno = errno;
    const int fd = interruptPipe.load();
    if (fd >= 0) {
        const char byte = 'i';
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

// Turns SIGINT and SIGTERM into a stop request of a pacer while it lives. A signal handler may
// not take the pacer's lock nor notify its condition, so the handler writes a byte to a pipe and
// a watcher thread, woken by it, asks the pacer to stop. Once the watcher is gone the signals
// are ignored: the pass is over then.
class InterruptWatcher
{
public:
    explicit InterruptWatcher(Pacer &pacer)
    {
        // Without a pipe (no file descriptor left) the signals keep their default action.
        if (::pipe(pipe_) != 0) {
            pipe_[0] = pipe_[1] = -1;
            return;
        }
        for (const int fd : pipe_)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(pipe_[1], F_SETFL, ::fcntl(pipe_[1], F_GETFL) | O_NONBLOCK);
        watcher_ = std::thread([this, &pacer] {
            char byte = 0;
            ssize_t n = 0;
            do
                n = ::read(pipe_[0], &byte, 1);
            while (n < 0 && errno == EINTR);
            if (n == 1 && byte == kInterrupt)
                pacer.requestStop();
        });
        interruptPipe.store(pipe_[1]);
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onInterrupt);
    }
    ~InterruptWatcher()
    {
        if (pipe_[1] < 0)
            return;
        std::signal(SIGINT, SIG_IGN);
        std::signal(SIGTERM, SIG_IGN);
        interruptPipe.store(-1);
        const char quit = kQuit;
        [[maybe_unused]] const ssize_t n = ::write(pipe_[1], &quit, 1);
        watcher_.join();
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }
    InterruptWatcher(const InterruptWatcher &) = delete;
    InterruptWatcher &operator=(const InterruptWatcher &) = delete;

    static constexpr char kInterrupt = 'i'; // written by the signal handler
    static constexpr char kQuit = 'q'; // written when the watcher is no longer needed

private:
    int pipe_[2] = {-1, -1};
    std::thread watcher_;
};

#endif

// Prints one line per group of reports of a pass as it goes: "title: N reports[, F failed]".
class StepPrinter : public LinkPassObserver
{
public:
    ~StepPrinter() override { flush(); }

    void section(PassSection section, int id, qint64 count) override
    {
        flush();
        switch (section) {
        case PassSection::Opening:
            title_ = QStringLiteral("opening report");
            break;
        case PassSection::Configuration:
            title_ = QStringLiteral("configuration block (0x80)");
            break;
        case PassSection::FlashData:
            title_ = QStringLiteral("remote control %1 (block 0x%2): flash data, %3 flash blocks")
                             .arg(id + 1)
                             .arg(id, 2, 16, QLatin1Char('0'))
                             .arg(count);
            break;
        case PassSection::SwitchNameBlock:
            title_ = QStringLiteral("remote control %1 (block 0x%2): switch name block")
                             .arg(id + 1)
                             .arg(id, 2, 16, QLatin1Char('0'));
            break;
        case PassSection::Macro:
            title_ = QStringLiteral("macro block (0x81)");
            break;
        case PassSection::ProductName:
            title_ = QStringLiteral("product name");
            break;
        case PassSection::Closing:
            title_ = QStringLiteral("closing report");
            break;
        }
    }

    void reportDone(bool written, std::size_t) override
    {
        ++reports_;
        if (!written)
            ++failed_;
    }

    void flush()
    {
        if (title_.isEmpty())
            return;
        QString line = QStringLiteral("%1: %2 report%3")
                               .arg(title_)
                               .arg(reports_)
                               .arg(reports_ == 1 ? QString() : QStringLiteral("s"));
        if (failed_)
            line += QStringLiteral(", %1 failed").arg(failed_);
        printUtf8(stdout, line + QLatin1Char('\n'));
        std::fflush(stdout);
        title_.clear();
        reports_ = failed_ = 0;
    }

private:
    QString title_;
    qint64 reports_ = 0;
    qint64 failed_ = 0;
};

} // namespace

int commandProgram(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption waitOption(QStringLiteral("wait"), QString(),
                                        QStringLiteral("SECONDS"));
    const PlatformOptions platformOptions;
    parser.addOption(waitOption);
    platformOptions.addTo(parser);
    QString file;
    if (!parseFileAndOptions(parser, QStringLiteral("program"), args, file))
        return usage();
    double waitSeconds = 10;
    for (const QString &value : parser.values(waitOption)) {
        bool ok = false;
        waitSeconds = value.toDouble(&ok);
        if (!ok || waitSeconds < 0)
            return usage();
    }
    ConfigurationRecord record;
    if (!load(file, record) || !sendable(record))
        return kExitUsage;

    const std::shared_ptr<rcprog::HidPlatform> platform = platformOptions.create(parser);

    // The wait for a receiver and the pass are paced by one pacer; Ctrl-C stops it.
    Pacer pacer;
    const InterruptWatcher interrupts(pacer);
#ifdef SIGPIPE
    // With standard output gone (`rcprog-cli program FILE | head -n 1`), printing must not kill
    // the process half-way through a pass: the lost lines are only a report, the pass is not.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    const auto deadline = std::chrono::steady_clock::now()
                          + std::chrono::milliseconds(qint64(waitSeconds * 1000));
    rcprog::OpenedDevice device;
    bool denied = false;
    for (;;) {
        const rcprog::SearchResult found = rcprog::openPass(*platform, rcprog::kReceiverVendorId,
                                                            rcprog::kReceiverProductId, device);
        if (found.matched)
            break;
        denied = found.accessDenied;
        if (std::chrono::steady_clock::now() >= deadline) {
            if (denied) {
                std::fputs("rcprog-cli: a receiver is present, but access to it was denied "
                           "(install the udev rule, see README)\n",
                           stderr);
                return kExitAccessDenied;
            }
            std::fputs("rcprog-cli: no receiver appeared in time\n", stderr);
            return kExitNoReceiver;
        }
        if (!pacer.idleFor(200))
            return kExitInterrupted;
    }

    // The receiver is written to through a link, as the programming thread does.
    DeviceLink link(platform);
    const std::uint64_t serial = link.publish(device);
    link.markConnected();
    printUtf8(stdout, QStringLiteral("receiver: \"%1\", %2-byte reports\n")
                              .arg(link.productName())
                              .arg(device.reportDataLength + 1));
    std::vector<std::uint8_t> buffer(reportBufferSize(device.reportDataLength), 0);
    LinkPassOutcome outcome;
    {
        StepPrinter printer;
        outcome = runLinkPass(link, serial, device.reportDataLength, record, buffer, pacer,
                              &printer);
    }
    link.close();

    if (!outcome.finished) {
        std::printf("result: failed, interrupted after %lld reports\n",
                    (long long)outcome.attempted);
        return kExitInterrupted;
    }
    if (outcome.failed) {
        std::printf("result: failed, %lld of %lld writes failed\n", (long long)outcome.failed,
                    (long long)outcome.attempted);
        return kExitWriteFailed;
    }
    std::printf("result: ok, %lld reports written\n", (long long)outcome.written);
    return kExitOk;
}
