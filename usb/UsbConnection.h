#pragma once

#include "Device.h"
#include "StopSignal.h"

#include <QThread>

// The connection monitor: looks for the receiver once a second, opens it when it arrives,
// closes it when it goes, and tells the window of each change.
class UsbConnection : public QThread
{
    Q_OBJECT

public:
    static constexpr int kVendorId = 0x04B4;
    static constexpr int kProductId = 0xF231;
    static constexpr int kPollMs = 1000;

    explicit UsbConnection(QObject *parent = nullptr);

    // Asks the loop to end; it wakes from its sleep at once.
    void requestStop() { stop_.request(); }
    // Whether run() has ended (to be asked after the thread was waited for).
    bool runFinished() const { return stop_.finished(); }

signals:
    void updateUsb1(); // the receiver was opened; connectionState has just become "receiver"
    void updateUsb2(); // the receiver has gone; its handles are closed, connectionState cleared
    void updateUsb4(); // a receiver is present but access to it was denied

protected:
    void run() override;

private:
    void poll();
    // Emits one of the signals above. Every signal of this thread goes through here, out of
    // line, so that the sanitizer suppression for the toolkit's queued hand-off can name it.
    void announce(void (UsbConnection::*signal)());

    Device device;
    StopSignal stop_;
    bool deniedShown_ = false;
};
