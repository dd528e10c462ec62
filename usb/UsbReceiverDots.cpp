#include "UsbReceiverDots.h"

#include "Application.h"
#include "MainWindow.h"
#include "ProgrammingPass.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <atomic>

namespace {

// Writes the reports of a pass through the link it started on, and pauses between them.
class LinkSink : public PassSink
{
public:
    LinkSink(Application *app, std::uint64_t serial, StopSignal &stop)
        : app_(app), serial_(serial), stop_(stop)
    { }

    bool report(const std::uint8_t *bytes, std::size_t length) override
    {
        if (stop_.requested())
            return false;
        if (!write(bytes, length))
            allWritten = false;
        return true; // a failed write does not end the pass
    }

    bool pause(int ms) override { return stop_.sleepFor(ms); }

    bool allWritten = true;

private:
    bool write(const std::uint8_t *bytes, std::size_t length)
    {
        rcprog::HidHandle handle = rcprog::kNullHandle;
        {
            std::lock_guard<std::mutex> lock(app_->linkMutex);
            // Only through the link this pass started on: a receiver plugged in meanwhile gets
            // nothing of a pass meant for another one.
            if (app_->connectionState != QLatin1String(Application::kReceiverState)
                || app_->connectionSerial != serial_ || app_->writeHandle == rcprog::kNullHandle)
                return false;
            handle = app_->writeHandle;
            ++app_->writesInFlight;
        }
        const bool ok = app_->platform->write(handle, bytes, length);
        {
            std::lock_guard<std::mutex> lock(app_->linkMutex);
            --app_->writesInFlight;
        }
        app_->linkWritesDone.notify_all();
        app_->bytesWritten = ok ? std::uint32_t(length) : 0;
        return ok;
    }

    Application *app_;
    std::uint64_t serial_;
    StopSignal &stop_;
};

} // namespace

UsbReceiverDots::UsbReceiverDots(QObject *parent) : QThread(parent)
{
    connect(this, &UsbReceiverDots::updateUsb3, MainWindow::getInstance(), &MainWindow::updateForm3,
            Qt::QueuedConnection);
}

void UsbReceiverDots::preparePacing()
{
#ifdef __linux__
    // The default timer slack of 50 us would add up over the dozens of pauses of a pass.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

void UsbReceiverDots::run()
{
    const StopSignal::FinishGuard finish(stop_);
    preparePacing();
    Application *app = Application::getInstance();
    app->programmingRequested.store(false);
    if (!stop_.sleepFor(kStartPauseMs))
        return;
    while (stop_.sleepFor(kCheckMs))
        check();
}

Q_NEVER_INLINE void UsbReceiverDots::announceUpdated()
{
    emit updateUsb3();
    std::atomic_signal_fence(std::memory_order_seq_cst); // keeps this frame on the stack
}

void UsbReceiverDots::check()
{
    Application *app = Application::getInstance();
    int reportDataLength = 0;
    std::uint64_t connection = 0;
    {
        std::lock_guard<std::mutex> lock(app->linkMutex);
        if (app->connectionState != QLatin1String(Application::kReceiverState))
            return;
        reportDataLength = app->reportDataLength;
        connection = app->connectionSerial;
    }
    if (!app->programmingRequested.load(std::memory_order_acquire))
        return;

    // The pass works on a snapshot: a load during the pass changes nothing of it.
    ConfigurationRecord snapshot;
    std::uint64_t load = 0;
    {
        std::lock_guard<std::mutex> lock(app->recordMutex);
        if (!app->programmingRequested.exchange(false))
            return;
        snapshot = app->record;
        load = app->loadSerial;
    }

    LinkSink sink(app, connection, stop_);
    const PassOutcome outcome
            = runProgrammingPass(snapshot, reportDataLength, app->reportBuffer, sink);
    if (!outcome.finished)
        return; // stopped, or a link that cannot take a report

    if (outcome.nameSent) {
        // The record keeps the name as sent, unless a newer load has replaced it meanwhile.
        std::lock_guard<std::mutex> lock(app->recordMutex);
        if (app->loadSerial == load)
            app->record.newNameOfDevice = outcome.sentName;
    }
    if (sink.allWritten)
        announceUpdated();
}
