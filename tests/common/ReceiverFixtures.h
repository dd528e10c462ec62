#pragma once

#include "ConfigurationLoader.h"
#include "ConfigurationRecord.h"
#include "ProgrammingPass.h"
#include "SimulatedHid.h"

#include <cstdint>
#include <string>
#include <vector>

// For tests that program a simulated receiver: the receiver, what it got and what it must get.

using Reports = std::vector<std::vector<std::uint8_t>>;

// The reports of `passes` back-to-back passes of a record, as a receiver with R payload bytes
// must get them from the programming thread (the buffer starts all zeros; a pass that sends the
// product name leaves it shortened for the next).
inline Reports expectedReports(ConfigurationRecord record, int passes, int r = 8)
{
    std::vector<std::uint8_t> buffer(9, 0);
    Reports out;
    for (int k = 0; k < passes; ++k) {
        PassOutcome outcome;
        for (const PassStep &s : collectPassSteps(record, r, buffer, &outcome))
            if (s.kind == PassStep::Kind::Write)
                out.push_back(s.bytes);
        if (outcome.nameSent)
            record.newNameOfDevice = outcome.sentName;
    }
    return out;
}

// The reports of `a` followed by those of `b`.
inline Reports concat(Reports a, const Reports &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A receiver with the receiver's IDs at `path` of the simulated platform.
inline rcprog::SimulatedHid::Interface simulatedReceiver(const std::string &path,
                                                         const std::u16string &productName,
                                                         int inputReportLength = 9)
{
    rcprog::SimulatedHid::Interface i;
    i.path = path;
    i.productString = productName;
    i.inputReportLength = inputReportLength;
    return i;
}

// The reports the simulated receiver at `path` got, in order.
inline Reports receivedReports(const rcprog::SimulatedHid &hid, const std::string &path)
{
    Reports out;
    for (const auto &r : hid.reportsFor(path))
        out.push_back(r.bytes);
    return out;
}

// A record whose pass takes seconds: eight remote controls with flash data of 16 blocks of 64
// bytes each, all of the hex digit `digit`.
inline ConfigurationRecord longFlashRecord(char16_t digit = u'7')
{
    ConfigurationRecord record = defaultConfiguration();
    auto &block = record.configurationBlock;
    block[BlockIndex::quantityOfBytesInFlashBlock] = 64;
    block[BlockIndex::quantityOfRemoteControls] = 8;
    for (int n = 1; n <= 8; ++n) {
        block[std::size_t(BlockIndex::maxSize(n))] = 16;
        record.flashData[std::size_t(n - 1)] = QString(2 * 64 * 16, digit);
    }
    return record;
}
