#include "UsbReceiverDots.h"

#include "DeviceLink.h"
#include "LinkPass.h"
#include "RecordHandOver.h"

#include <atomic>

namespace {

// Keeps the byte count of each write, as the report buffer's companion.
class BytesWrittenCounter : public LinkPassObserver
{
public:
    explicit BytesWrittenCounter(std::uint32_t &bytesWritten) : bytesWritten_(bytesWritten) { }
    void reportDone(bool written, std::size_t length) override
    {
        bytesWritten_ = written ? std::uint32_t(length) : 0;
    }

private:
    std::uint32_t &bytesWritten_;
};

} // namespace

UsbReceiverDots::UsbReceiverDots(DeviceLink &link, RecordHandOver &handOver,
                                 std::vector<std::uint8_t> &reportBuffer,
                                 std::uint32_t &bytesWritten, QObject *parent)
    : QThread(parent), link_(link), handOver_(handOver), reportBuffer_(reportBuffer),
      bytesWritten_(bytesWritten)
{ }

void UsbReceiverDots::run()
{
    const Pacer::FinishGuard finish(pacer_);
    handOver_.clearRequest();
    if (!pacer_.idleFor(kStartPauseMs))
        return;
    while (pacer_.idleFor(kCheckMs))
        check();
}

Q_NEVER_INLINE void UsbReceiverDots::announceUpdated()
{
    emit updateUsb3();
    std::atomic_signal_fence(std::memory_order_seq_cst); // keeps this frame on the stack
}

void UsbReceiverDots::check()
{
    const DeviceLink::Snapshot connection = link_.snapshot();
    if (!connection.connected)
        return;
    // The pass works on a snapshot: a load during the pass changes nothing of it.
    const std::optional<RecordHandOver::Snapshot> load = handOver_.take();
    if (!load)
        return;

    BytesWrittenCounter counter(bytesWritten_);
    const LinkPassOutcome outcome
            = runLinkPass(link_, connection.serial, connection.reportDataLength, load->record,
                          reportBuffer_, pacer_, &counter);
    if (!outcome.finished)
        return; // stopped, or a link that cannot take a report

    // The record keeps the name as sent, unless a newer load has replaced it meanwhile.
    if (outcome.nameSent)
        handOver_.storeSentName(load->loadSerial, outcome.sentName);
    if (outcome.failed == 0)
        announceUpdated();
}
