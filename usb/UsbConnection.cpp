#include "UsbConnection.h"

#include "Application.h"
#include "MainWindow.h"

#include <atomic>

UsbConnection::UsbConnection(QObject *parent) : QThread(parent)
{
    MainWindow *window = MainWindow::getInstance();
    connect(this, &UsbConnection::updateUsb1, window, &MainWindow::updateForm1,
            Qt::QueuedConnection);
    connect(this, &UsbConnection::updateUsb2, window, &MainWindow::updateForm2,
            Qt::QueuedConnection);
    connect(this, &UsbConnection::updateUsb4, window, &MainWindow::updateForm4,
            Qt::QueuedConnection);
}

void UsbConnection::run()
{
    const StopSignal::FinishGuard finish(stop_);
    if (!stop_.sleepFor(kPollMs))
        return;
    while (stop_.sleepFor(kPollMs))
        poll();
}

Q_NEVER_INLINE void UsbConnection::announce(void (UsbConnection::*signal)())
{
    emit(this->*signal)();
    std::atomic_signal_fence(std::memory_order_seq_cst); // keeps this frame on the stack
}

void UsbConnection::poll()
{
    Application *app = Application::getInstance();
    const auto connected = [app] {
        std::lock_guard<std::mutex> lock(app->linkMutex);
        return app->connectionState == QLatin1String(Application::kReceiverState);
    };

    if (device.isPresent(kVendorId, kProductId)) {
        if (!connected() && device.openDevice(kVendorId, kProductId)) {
            {
                std::lock_guard<std::mutex> lock(app->linkMutex);
                app->connectionState = QLatin1String(Application::kReceiverState);
                app->accessDenied = false;
            }
            deniedShown_ = false;
            announce(&UsbConnection::updateUsb1);
        }
        return;
    }
    if (connected()) {
        device.closeDevice();
        {
            std::lock_guard<std::mutex> lock(app->linkMutex);
            app->connectionState.clear();
        }
        announce(&UsbConnection::updateUsb2);
    }
    // A receiver that is there but cannot be opened for lack of permission is shown as such,
    // once per change; when it goes, the window returns to "not connected".
    const bool denied = device.lastAccessDenied();
    {
        std::lock_guard<std::mutex> lock(app->linkMutex);
        app->accessDenied = denied;
    }
    if (denied != deniedShown_) {
        deniedShown_ = denied;
        if (denied)
            announce(&UsbConnection::updateUsb4);
        else
            announce(&UsbConnection::updateUsb2);
    }
}
