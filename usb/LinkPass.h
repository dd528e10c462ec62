#pragma once

#include "ConfigurationLoader.h"
#include "ConfigurationRecord.h"
#include "DeviceLink.h"
#include "PassLog.h"
#include "ProgrammingPass.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

class Pacer;

// One programming pass written to the receiver: the report sequence of the record, each report
// through the link of one connection, paced by a pacer. The programming thread and
// rcprog-cli program both send their passes through here.

// Sees a pass as it goes: where each group of reports begins, and how each write went.
class LinkPassObserver
{
public:
    virtual ~LinkPassObserver() = default;
    // A group of reports begins (as PassSink::section).
    virtual void section(PassSection section, int id, qint64 count)
    {
        (void)section;
        (void)id;
        (void)count;
    }
    // A report of `length` bytes was written (`written`), or its write failed or was refused.
    virtual void reportDone(bool written, std::size_t length)
    {
        (void)written;
        (void)length;
    }
};

struct LinkPassOutcome
{
    bool finished = false; // every step was taken; false: stopped (or R below 1)
    qint64 attempted = 0; // reports whose write was tried
    qint64 written = 0; // of them, written
    qint64 failed = 0; // of them, failed or refused by the link
    bool nameSent = false; // the product name was part of the pass
    QString sentName; // the product name as sent (at most 24 characters)
};

// Runs one pass of `record` for a receiver with `reportDataLength` (R) payload bytes per report,
// writing every report through `link` for the connection `serial` (both as a snapshot of the link
// gave them). `reportBuffer` is the report buffer as the previous pass left it. The pacer pauses
// between groups; a stop request ends the pass between two reports or out of a pause at once. A
// failed write does not end the pass: the protocol has no other way to stop, so it runs to its
// end and the failures are counted.
LinkPassOutcome runLinkPass(DeviceLink &link, std::uint64_t serial, int reportDataLength,
                            const ConfigurationRecord &record,
                            std::vector<std::uint8_t> &reportBuffer, Pacer &pacer,
                            LinkPassObserver *observer = nullptr);

// How a pass ended, for the pass log: interrupted when it was stopped before its last step.
PassResult passResult(const LinkPassOutcome &outcome);

// A pass as runLinkPass ran it, and the pass log's record of it.
struct RecordedPass
{
    LinkPassOutcome outcome;
    PassRecord record;
};

// Runs one pass of `record` (loaded from `source`) into the receiver that `connection`, a
// snapshot of `link`, describes, as runLinkPass does, and times it. The record it returns is
// what the pass log gets; writing it is the caller's, after the pass.
RecordedPass runRecordedPass(DeviceLink &link, const DeviceLink::Snapshot &connection,
                             const ConfigurationRecord &record, const ConfigurationSource &source,
                             std::vector<std::uint8_t> &reportBuffer, Pacer &pacer,
                             LinkPassObserver *observer = nullptr);
