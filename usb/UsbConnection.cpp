#include "UsbConnection.h"

#include "DeviceLink.h"
#include "DeviceSearch.h"

#include <atomic>

UsbConnection::UsbConnection(DeviceLink &link, QObject *parent)
    : QThread(parent), link_(link), device(link)
{ }

void UsbConnection::run()
{
    const Pacer::FinishGuard finish(pacer_);
    if (!pacer_.sleepFor(firstPollMs_))
        return;
    do
        poll();
    while (pacer_.sleepFor(kPollMs));
}

Q_NEVER_INLINE void UsbConnection::announce(void (UsbConnection::*signal)())
{
    emit(this->*signal)();
    std::atomic_signal_fence(std::memory_order_seq_cst); // keeps this frame on the stack
}

void UsbConnection::poll()
{
    if (device.isPresent(rcprog::kReceiverVendorId, rcprog::kReceiverProductId)) {
        if (!link_.connected()
            && device.openDevice(rcprog::kReceiverVendorId, rcprog::kReceiverProductId)) {
            link_.markConnected();
            deniedShown_ = false;
            announce(&UsbConnection::updateUsb1);
        }
        return;
    }
    if (link_.connected()) {
        device.closeDevice();
        link_.markDisconnected();
        announce(&UsbConnection::updateUsb2);
    }
    // A receiver that is there but cannot be opened for lack of permission is shown as such,
    // once per change; when it goes, the window returns to "not connected".
    const bool denied = device.lastAccessDenied();
    link_.setAccessDenied(denied);
    if (denied != deniedShown_) {
        deniedShown_ = denied;
        if (denied)
            announce(&UsbConnection::updateUsb4);
        else
            announce(&UsbConnection::updateUsb2);
    }
}
