#include "UsbReceiverDots.h"

#include "DeviceLink.h"
#include "LinkPass.h"
#include "ProgrammingPass.h"
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
                                 std::uint32_t &bytesWritten, QObject *parent, int timeDivisor)
    : QThread(parent), link_(link), handOver_(handOver), reportBuffer_(reportBuffer),
      bytesWritten_(bytesWritten), pacer_(timeDivisor)
{ }

void UsbReceiverDots::run()
{
    // The hand-over starts without a request, so the thread need not clear one: a load
    // published before this thread got to run is served like any other.
    const Pacer::FinishGuard finish(pacer_);
    if (!pacer_.idleFor(kStartPauseMs))
        return;
    while (pacer_.idleFor(kCheckMs))
        check();
}

Q_NEVER_INLINE void UsbReceiverDots::announcePassEnd(int written, int total)
{
    if (written == total)
        emit updateUsb3();
    else
        emit updateUsb5(written, total);
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
    // The window never requests a pass that cannot be sent; should such a record come all the
    // same, the request is used up and nothing is sent.
    if (passRefusal(load->record))
        return;

    BytesWrittenCounter counter(bytesWritten_);
    const RecordedPass pass = runRecordedPass(link_, connection, load->record, load->source,
                                              reportBuffer_, pacer_, &counter);
    // The pass is over, however it ended: now its line goes to the log (a log that cannot be
    // written changes nothing of the pass), and the listener hears of it.
    if (passLog_)
        passLog_->append(pass.record);
    if (passListener_)
        passListener_(pass.record);
    const LinkPassOutcome &outcome = pass.outcome;
    if (!outcome.finished)
        return; // stopped, or a link that cannot take a report

    // The record keeps the name as sent, unless a newer load has replaced it meanwhile.
    if (outcome.nameSent)
        handOver_.storeSentName(load->loadSerial, outcome.sentName);
    handOver_.passEnded(load->loadSerial);
    // The window says what the log says: the reports written of those in the pass. A pass is at
    // most a few hundred thousand reports (passRefusal bounds it).
    announcePassEnd(int(pass.record.reportsWritten), int(pass.record.reportsInPass));
}
