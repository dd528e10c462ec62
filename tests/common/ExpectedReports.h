#pragma once

#include "ConfigurationRecord.h"
#include "ProgrammingPass.h"

#include <cstdint>
#include <vector>

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
