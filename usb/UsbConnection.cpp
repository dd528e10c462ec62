#include "UsbConnection.h"

#include "DeviceLink.h"
#include "DeviceSearch.h"

#include <atomic>

UsbConnection::UsbConnection(DeviceLink &link, QObject *parent, int timeDivisor)
    : QThread(parent), link_(link), device(link), pacer_(timeDivisor)
{ }

void UsbConnection::run()
{
    const Pacer::FinishGuard finish(pacer_);
    if (!pacer_.idleFor(firstPollMs_))
        return;
    do
        poll();
    while (pacer_.idleFor(kPollMs));
}

Q_NEVER_INLINE void UsbConnection::announce(void (UsbConnection::*signal)())
{
    emit(this->*signal)();
    std::atomic_signal_fence(std::memory_order_seq_cst); // keeps this frame on the stack
}

void UsbConnection::disconnect()
{
    device.closeDevice();
    link_.markDisconnected();
    announce(&UsbConnection::updateUsb2);
}

void UsbConnection::poll()
{
    // Another receiver present does not prove that the connected one still is: one swapped for
    // another, or one that re-enumerated, within a poll leaves the link on the handles of a
    // device that is gone. Such a link is closed first, so the newcomer is connected below.
    if (link_.connected() && !link_.alive())
        disconnect();
    if (device.isPresent(rcprog::kReceiverVendorId, rcprog::kReceiverProductId)) {
        if (!link_.connected()
            && device.openDevice(rcprog::kReceiverVendorId, rcprog::kReceiverProductId)) {
            link_.markConnected();
            deniedShown_ = false;
            announce(&UsbConnection::updateUsb1);
        }
        return;
    }
    if (link_.connected())
        disconnect();
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
