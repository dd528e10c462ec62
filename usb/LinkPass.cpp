#include "LinkPass.h"

#include "DeviceLink.h"
#include "Pacer.h"

#include <QElapsedTimer>

namespace {

// Writes the reports of a pass through the link it started on, and pauses between them.
class LinkSink : public PassSink
{
public:
    LinkSink(DeviceLink &link, std::uint64_t serial, Pacer &pacer, LinkPassObserver *observer,
             LinkPassOutcome &outcome)
        : link_(link), serial_(serial), pacer_(pacer), observer_(observer), outcome_(outcome)
    { }

    void section(PassSection section, int id, qint64 count) override
    {
        if (observer_)
            observer_->section(section, id, count);
    }

    bool report(const std::uint8_t *bytes, std::size_t length) override
    {
        if (pacer_.stopRequested())
            return false;
        ++outcome_.attempted;
        const bool ok = link_.write(serial_, bytes, length);
        ++(ok ? outcome_.written : outcome_.failed);
        if (observer_)
            observer_->reportDone(ok, length);
        return true; // a failed write does not end the pass
    }

    bool pause(int ms) override { return pacer_.sleepFor(ms); }

private:
    DeviceLink &link_;
    const std::uint64_t serial_;
    Pacer &pacer_;
    LinkPassObserver *const observer_;
    LinkPassOutcome &outcome_;
};

} // namespace

LinkPassOutcome runLinkPass(DeviceLink &link, std::uint64_t serial, int reportDataLength,
                            const ConfigurationRecord &record,
                            std::vector<std::uint8_t> &reportBuffer, Pacer &pacer,
                            LinkPassObserver *observer)
{
    LinkPassOutcome outcome;
    LinkSink sink(link, serial, pacer, observer, outcome);
    const PassOutcome pass = runProgrammingPass(record, reportDataLength, reportBuffer, sink);
    outcome.finished = pass.finished;
    outcome.nameSent = pass.nameSent;
    outcome.sentName = pass.sentName;
    return outcome;
}

PassResult passResult(const LinkPassOutcome &outcome)
{
    if (!outcome.finished)
        return PassResult::Interrupted;
    return outcome.failed == 0 ? PassResult::Ok : PassResult::Failed;
}

RecordedPass runRecordedPass(DeviceLink &link, const DeviceLink::Snapshot &connection,
                             const ConfigurationRecord &record, const ConfigurationSource &source,
                             std::vector<std::uint8_t> &reportBuffer, Pacer &pacer,
                             LinkPassObserver *observer)
{
    RecordedPass pass;
    PassRecord &r = pass.record;
    r.file = source.path;
    r.sha256 = source.sha256;
    r.product = connection.productName;
    r.device = connection.devicePath;
    r.reportLength = connection.reportDataLength + 1;
    r.reportsInPass = passReportCount(record, connection.reportDataLength);
    r.time = QDateTime::currentDateTimeUtc();
    QElapsedTimer timer;
    timer.start();
    pass.outcome = runLinkPass(link, connection.serial, connection.reportDataLength, record,
                               reportBuffer, pacer, observer);
    r.durationMs = timer.elapsed();
    r.reportsWritten = pass.outcome.written;
    r.result = passResult(pass.outcome);
    return pass;
}
