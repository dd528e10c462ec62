#include "ProgramSupport.h"

#include "CliCommon.h"

#include <csignal>
#include <cstdio>
#include <mutex>

#ifdef _WIN32
#include "WindowsApi.h"
#else
#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace cli {

namespace {

// What Ctrl-C calls (empty: nothing), guarded by interruptMutex.
std::mutex interruptMutex;
std::function<void()> interruptAction;

void interrupt()
{
    std::lock_guard<std::mutex> lock(interruptMutex);
    if (interruptAction)
        interruptAction();
}

#ifdef _WIN32

BOOL WINAPI onConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT)
        return FALSE;
    // The system runs a console control handler on a thread of its own, so it may take locks.
    interrupt();
    return TRUE;
}

#else

// The write end of the interrupt pipe, for the signal handler (-1: none).
std::atomic<int> interruptPipe{-1};

constexpr char kInterrupt = 'i'; // written by the signal handler
constexpr char kQuit = 'q'; // written when the watcher is no longer needed

extern "C" void onInterruptSignal(int)
{
    // Only what a signal handler may do: one write(2), to a pipe that never blocks.
    const int savedErrno = errno;
    const int fd = interruptPipe.load();
    if (fd >= 0) {
        const char byte = kInterrupt;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

#endif

} // namespace

#ifdef _WIN32

InterruptWatcher::InterruptWatcher(std::function<void()> onInterrupt)
{
    {
        std::lock_guard<std::mutex> lock(interruptMutex);
        interruptAction = std::move(onInterrupt);
    }
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

InterruptWatcher::~InterruptWatcher()
{
    // The handler stays installed, ignoring Ctrl-C: the work is over then.
    std::lock_guard<std::mutex> lock(interruptMutex);
    interruptAction = nullptr;
}

#else

// A signal handler may not take a lock nor notify a condition, so the handler writes a byte to
// a pipe and a watcher thread, woken by it, calls the action. Each signal calls it once.
InterruptWatcher::InterruptWatcher(std::function<void()> onInterrupt)
{
    // Without a pipe (no file descriptor left) the signals keep their default action.
    if (::pipe(pipe_) != 0) {
        pipe_[0] = pipe_[1] = -1;
        return;
    }
    for (const int fd : pipe_)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(pipe_[1], F_SETFL, ::fcntl(pipe_[1], F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard<std::mutex> lock(interruptMutex);
        interruptAction = std::move(onInterrupt);
    }
    watcher_ = std::thread([this] {
        for (;;) {
            char byte = 0;
            const ssize_t n = ::read(pipe_[0], &byte, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n != 1 || byte != kInterrupt)
                return;
            interrupt();
        }
    });
    interruptPipe.store(pipe_[1]);
    std::signal(SIGINT, onInterruptSignal);
    std::signal(SIGTERM, onInterruptSignal);
}

InterruptWatcher::~InterruptWatcher()
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
    std::lock_guard<std::mutex> lock(interruptMutex);
    interruptAction = nullptr;
}

#endif

int noReceiver(bool accessDenied)
{
    if (accessDenied) {
        std::fputs("rcprog-cli: a receiver is present, but access to it was denied "
                   "(install the udev rule, see README)\n",
                   stderr);
        return kExitAccessDenied;
    }
    std::fputs("rcprog-cli: no receiver appeared in time\n", stderr);
    return kExitNoReceiver;
}

QString receiverLine(int number, const PassRecord &record)
{
    QString line = QStringLiteral("#%1 %2 \"%3\" %4, %5 of %6 reports, %7 s")
                           .arg(number)
                           .arg(record.result == PassResult::Ok ? QStringLiteral("ok")
                                                                : QStringLiteral("failed"))
                           .arg(record.product, record.device)
                           .arg(record.reportsWritten)
                           .arg(record.reportsInPass)
                           .arg(double(record.durationMs) / 1000.0, 0, 'f', 2);
    if (record.result == PassResult::Interrupted)
        line += QStringLiteral(", interrupted");
    return line;
}

QString doneLine(int ok, int failed)
{
    return QStringLiteral("done: %1 ok, %2 failed").arg(ok).arg(failed);
}

} // namespace cli
