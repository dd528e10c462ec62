#pragma once

#include "ConfigurationRecord.h"

#include <QtGlobal>

#include <algorithm>

// The size of a programming pass worked out from the record's counts alone: 19 reports and
// 140 ms of pauses for the opening, configuration and closing reports; per remote control
// 1 + F * floor(Q / R) reports and F * 50 ms (flash data in F flash blocks) or 9 reports and
// 50 ms (switch name block); 17 reports and 100 ms for the macro; 4 reports for the name.
struct PassSize
{
    qint64 reports = 0;
    qint64 pauseMs = 0;
};

inline PassSize expectedPassSize(const ConfigurationRecord &record, int r)
{
    PassSize size{19, 140};
    const auto &block = record.configurationBlock;
    const qint64 q = block[BlockIndex::quantityOfBytesInFlashBlock];
    const int rcs = std::min(block[BlockIndex::quantityOfRemoteControls], 8);
    for (int n = 1; n <= rcs; ++n) {
        const qint64 length = record.flashData[std::size_t(n - 1)].size();
        const qint64 m = block[std::size_t(BlockIndex::maxSize(n))];
        if (length >= 1 && q > 0 && m > 0 && length <= 2 * q * m) {
            const qint64 bytes = length / 2;
            const qint64 rounded = bytes % q == 0 ? bytes : (bytes / q + 1) * q;
            const qint64 f = rounded / q;
            size.reports += 1 + f * (q / r);
            size.pauseMs += 50 * f;
        } else {
            size.reports += 9;
            size.pauseMs += 50;
        }
    }
    if (block[BlockIndex::haveMacro] > 0 && record.flashMacro.size() == 256) {
        size.reports += 17;
        size.pauseMs += 100;
    }
    if (record.canChangeProductName == 1)
        size.reports += 4;
    return size;
}
