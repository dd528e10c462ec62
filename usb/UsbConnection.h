#pragma once

#include "Device.h"
#include "Pacer.h"

#include <QThread>

class DeviceLink;

// The connection monitor: looks for the receiver once a second, opens it when it arrives,
// closes it when it goes, keeps the link's connection state, and tells of each change through
// its signals.
class UsbConnection : public QThread
{
    Q_OBJECT

public:
    static constexpr int kPollMs = 1000;

    // `link`: the device link this thread opens, closes and keeps up to date. `timeDivisor`
    // divides the poll interval (see Pacer); only benchmarks and tests pass anything but 1.
    explicit UsbConnection(DeviceLink &link, QObject *parent = nullptr, int timeDivisor = 1);

    // When the first poll comes after start(): by default two poll periods (a start pause, then
    // the sleep of the first cycle). To be set before start().
    void setFirstPollMs(int ms) { firstPollMs_ = ms; }

    // Asks the loop to end; it wakes from its sleep at once.
    void requestStop() { pacer_.requestStop(); }
    // Whether run() has ended (to be asked after the thread was waited for).
    bool runFinished() const { return pacer_.finished(); }

signals:
    void updateUsb1(); // the receiver was opened; connectionState has just become "receiver"
    void updateUsb2(); // the receiver has gone; its handles are closed, connectionState cleared
    void updateUsb4(); // a receiver is present but access to it was denied

protected:
    void run() override;

private:
    void poll();
    // Closes the link, clears the connection state and tells of it.
    void disconnect();
    // Emits one of the signals above. Every signal of this thread goes through here, out of
    // line, so that the sanitizer suppression for the toolkit's queued hand-off can name it.
    void announce(void (UsbConnection::*signal)());

    DeviceLink &link_;
    Device device;
    Pacer pacer_;
    int firstPollMs_ = 2 * kPollMs;
    bool deniedShown_ = false;
};
