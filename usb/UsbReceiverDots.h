#pragma once

#include "Pacer.h"
#include "PassLog.h"

#include <QThread>

#include <cstdint>
#include <functional>
#include <vector>

class DeviceLink;
class RecordHandOver;

// The programming thread: when a load has requested it and the receiver is connected, sends
// the configuration record to the receiver as one programming pass.
class UsbReceiverDots : public QThread
{
    Q_OBJECT

public:
    static constexpr int kStartPauseMs = 1000;
    static constexpr int kCheckMs = 200;

    // `link`: the receiver written to; `handOver`: where loads request passes; `reportBuffer`
    // and `bytesWritten`: the report buffer and the count of the last write, this thread's
    // alone while it runs. `timeDivisor` divides every pause and check interval (see Pacer);
    // only benchmarks and tests pass anything but 1.
    UsbReceiverDots(DeviceLink &link, RecordHandOver &handOver,
                    std::vector<std::uint8_t> &reportBuffer, std::uint32_t &bytesWritten,
                    QObject *parent = nullptr, int timeDivisor = 1);

    // Every pass, however it ended, is appended to `log` (null: none) once it is over. To be set
    // before start().
    void setPassLog(PassLog *log) { passLog_ = log; }
    // `listener` hears of every pass once it is over (after the log), on this thread. To be set
    // before start().
    void setPassListener(std::function<void(const PassRecord &)> listener)
    {
        passListener_ = std::move(listener);
    }

    // Asks the thread to end; a pass stops between two reports.
    void requestStop() { pacer_.requestStop(); }
    // Whether run() has ended (to be asked after the thread was waited for).
    bool runFinished() const { return pacer_.finished(); }

signals:
    void updateUsb3(); // a pass ended in which every write succeeded
    // A pass ended in which a write failed: `written` of its `total` reports were written.
    void updateUsb5(int written, int total);

protected:
    void run() override;

private:
    void check();
    // Emits updateUsb3() or updateUsb5() for a pass that ran to its end. Every signal of this
    // thread goes through here, out of line, so that the sanitizer suppression for the
    // toolkit's queued hand-off can name it.
    void announcePassEnd(int written, int total);

    DeviceLink &link_;
    RecordHandOver &handOver_;
    std::vector<std::uint8_t> &reportBuffer_;
    std::uint32_t &bytesWritten_;
    PassLog *passLog_ = nullptr;
    std::function<void(const PassRecord &)> passListener_;
    Pacer pacer_;
};
