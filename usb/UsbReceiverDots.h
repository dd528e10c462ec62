#pragma once

#include "StopSignal.h"

#include <QThread>

// The programming thread: when a load has requested it and the receiver is connected, sends
// the configuration record to the receiver as one programming pass.
class UsbReceiverDots : public QThread
{
    Q_OBJECT

public:
    static constexpr int kStartPauseMs = 1000;
    static constexpr int kCheckMs = 200;

    explicit UsbReceiverDots(QObject *parent = nullptr);

    // Asks the thread to end; a pass stops between two reports.
    void requestStop() { stop_.request(); }
    // Whether run() has ended (to be asked after the thread was waited for).
    bool runFinished() const { return stop_.finished(); }

    // Makes the calling thread's sleeps end as close to their time as the system allows, so
    // that a pass takes its mandated pauses and hardly more.
    static void preparePacing();

signals:
    void updateUsb3(); // a pass ended in which every write succeeded

protected:
    void run() override;

private:
    void check();
    // Emits updateUsb3(), out of line, so that the sanitizer suppression for the toolkit's
    // queued hand-off can name it.
    void announceUpdated();

    StopSignal stop_;
};
