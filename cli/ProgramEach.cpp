// rcprog-cli program FILE --each: the window's automatic mode without a window. The connection
// monitor and the programming thread run as in the window; every receiver the monitor reports
// connected is given one pass of FILE, until Ctrl-C or SIGTERM.
#include "CliCommon.h"
#include "DeviceLink.h"
#include "ProgramSupport.h"
#include "ProgrammingPass.h"
#include "Protocol.h"
#include "RecordHandOver.h"
#include "UsbConnection.h"
#include "UsbReceiverDots.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace cli {

namespace {

// The passes of the run: the programming thread adds each one as it ends and prints its line;
// the main thread reads the totals once the threads have ended.
class Tally
{
public:
    void add(const PassRecord &record)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++(record.result == PassResult::Ok ? ok_ : failed_);
        interrupted_ = interrupted_ || record.result == PassResult::Interrupted;
        printUtf8(stdout, receiverLine(ok_ + failed_, record) + QLatin1Char('\n'));
        std::fflush(stdout);
    }

    int ok() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return ok_;
    }
    int failed() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return failed_;
    }
    bool interrupted() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return interrupted_;
    }

private:
    mutable std::mutex mutex_;
    int ok_ = 0;
    int failed_ = 0;
    bool interrupted_ = false;
};

} // namespace

int programEach(const ProgramOptions &options, ProgramContext &context)
{
    // What the application object holds for the threads in the window.
    DeviceLink link(context.platform);
    RecordHandOver handOver;
    std::vector<std::uint8_t> reportBuffer(reportBufferSize(Protocol::kPayloadBytes), 0);
    std::uint32_t bytesWritten = 0;
    UsbConnection connection(link);
    // The first receiver is looked for at once; --wait counts from the start.
    connection.setFirstPollMs(0);
    UsbReceiverDots dots(link, handOver, reportBuffer, bytesWritten);
    dots.setPassLog(context.log.get());
    Tally tally;
    dots.setPassListener([&tally](const PassRecord &record) { tally.add(record); });

    // As "automatic programm" in the window: each receiver reported connected requests a pass.
    QObject receiver;
    bool connectedOnce = false;
    QObject::connect(
            &connection, &UsbConnection::updateUsb1, &receiver,
            [&] {
                connectedOnce = true;
                handOver.publish(context.record, context.source);
            },
            Qt::QueuedConnection);
    QObject::connect(
            &connection, &UsbConnection::updateUsb4, &receiver,
            [] {
                std::fputs("rcprog-cli: a receiver is present, but access to it was denied "
                           "(install the udev rule, see README)\n",
                           stderr);
            },
            Qt::QueuedConnection);

    // Ctrl-C stops both threads at once: a pass under way ends between two reports.
    std::atomic<bool> interrupted{false};
    const InterruptWatcher interrupts([&] {
        interrupted = true;
        connection.requestStop();
        dots.requestStop();
    });

    QEventLoop loop;
    QElapsedTimer sinceStart;
    int noReceiverStatus = -1;
    QTimer tick;
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, &receiver, [&] {
        if (interrupted) {
            loop.quit();
        } else if (!connectedOnce && !link.connected()
                   && sinceStart.elapsed() >= qint64(options.waitSeconds * 1000)) {
            noReceiverStatus = noReceiver(link.accessDenied());
            loop.quit();
        }
    });
    sinceStart.start();
    connection.start();
    dots.start();
    tick.start();
    loop.exec();

    connection.requestStop();
    dots.requestStop();
    connection.wait();
    dots.wait();
    // Joins the threads' last steps, for ThreadSanitizer's sake.
    (void)connection.runFinished();
    (void)dots.runFinished();
    link.close();

    if (noReceiverStatus >= 0)
        return noReceiverStatus;
    printUtf8(stdout, doneLine(tally.ok(), tally.failed()) + QLatin1Char('\n'));
    std::fflush(stdout);
    if (tally.interrupted())
        return kExitInterrupted;
    return tally.failed() ? kExitWriteFailed : kExitOk;
}

} // namespace cli
