#pragma once

#include "ConfigurationRecord.h"

#include <QString>

// The first field in which two records differ, for a readable failure message; empty when they
// are equal. Long texts are shortened.
inline QString firstDifference(const ConfigurationRecord &actual,
                               const ConfigurationRecord &expected)
{
    auto shorten = [](const QString &s) {
        return s.size() > 80 ? s.left(80) + QStringLiteral("... (%1 characters)").arg(s.size()) : s;
    };
    if (actual.newNameOfDevice != expected.newNameOfDevice)
        return QStringLiteral("newNameOfDevice: '%1' != '%2'")
                .arg(shorten(actual.newNameOfDevice), shorten(expected.newNameOfDevice));
    if (actual.canChangeProductName != expected.canChangeProductName)
        return QStringLiteral("canChangeProductName: %1 != %2")
                .arg(actual.canChangeProductName)
                .arg(expected.canChangeProductName);
    for (int i = 0; i < ConfigurationRecord::kBlockSize; ++i)
        if (actual.configurationBlock[i] != expected.configurationBlock[i])
            return QStringLiteral("configurationBlock[%1]: %2 != %3")
                    .arg(i)
                    .arg(actual.configurationBlock[i])
                    .arg(expected.configurationBlock[i]);
    for (int n = 0; n < ConfigurationRecord::kRemoteControls; ++n) {
        for (int j = 0; j < ConfigurationRecord::kNameBlockSize; ++j)
            if (actual.switchNameBlocks[n][j] != expected.switchNameBlocks[n][j])
                return QStringLiteral("switchNameBlocks[%1][%2]: %3 != %4")
                        .arg(n)
                        .arg(j)
                        .arg(actual.switchNameBlocks[n][j])
                        .arg(expected.switchNameBlocks[n][j]);
        if (actual.boolRewritableFromSoftware[n] != expected.boolRewritableFromSoftware[n])
            return QStringLiteral("boolRewritableFromSoftware[%1]: %2 != %3")
                    .arg(n)
                    .arg(actual.boolRewritableFromSoftware[n])
                    .arg(expected.boolRewritableFromSoftware[n]);
        if (actual.flashData[n] != expected.flashData[n])
            return QStringLiteral("flashData[%1]: '%2' != '%3'")
                    .arg(n)
                    .arg(shorten(actual.flashData[n]), shorten(expected.flashData[n]));
    }
    if (actual.flashMacro != expected.flashMacro)
        return QStringLiteral("flashMacro: '%1' != '%2'")
                .arg(shorten(actual.flashMacro), shorten(expected.flashMacro));
    return QString();
}

// A record whose every field differs from what any load gives, to see that a load rewrites
// every field, or that a refused one leaves them all alone.
inline ConfigurationRecord scribbled()
{
    ConfigurationRecord r;
    r.newNameOfDevice = QStringLiteral("earlier load");
    r.canChangeProductName = 7;
    for (int i = 0; i < ConfigurationRecord::kBlockSize; ++i)
        r.configurationBlock[i] = 1000 + i;
    for (auto &block : r.switchNameBlocks)
        block.fill(-5);
    r.boolRewritableFromSoftware.fill(9);
    for (QString &f : r.flashData)
        f = QStringLiteral("DEAD");
    r.flashMacro = QStringLiteral("BEEF");
    return r;
}

// The record an existing file without any key loads into, written out entry by entry.
inline ConfigurationRecord writtenOutDefaults()
{
    ConfigurationRecord r;
    r.newNameOfDevice = QStringLiteral("VARNO LTD USB changer");
    r.canChangeProductName = 0;
    r.configurationBlock.fill(0); // 6, 9, 12 ... 14, 17 ... 24 and 56 ... 63 stay 0
    auto &b = r.configurationBlock;
    b[0] = 128; // frequencyTrim
    b[1] = 255; // keyNumberOfShiftKey
    b[2] = 255; // shiftDelay
    b[3] = 255; // quantityOfBytesInFlashBlock
    b[4] = 0; // boolReceiveInfraredSignel
    b[5] = 0; // boolVirtualRemoteControl
    b[7] = 0; // idNumberOfVarnoLtddeveloping
    b[8] = 255; // idNumberOfVarnoLtdRcDatabase
    b[10] = 255; // IdNumberofPlastickForm
    b[11] = 255; // customerId
    b[15] = 48; // delayAfterKeyPress
    b[16] = 48; // scaningKeyboardDelay
    b[25] = 160; // receivingADCthreshold
    b[26] = 0; // miniTVRemoteControlNumber
    b[27] = 0; // ID / 256
    b[28] = 0; // ID % 256
    b[29] = 0; // haveMacro
    b[30] = 63; // rcKeyNumberOfLoopKey
    b[31] = 0; // quantityOfRemoteControls
    for (int i = 32; i <= 46; i += 2)
        b[i] = 255; // rc01keyNumberOfSwitchKey ... rc08keyNumberOfSwitchKey
    for (int i = 33; i <= 47; i += 2)
        b[i] = 0; // rc01maxSize ... rc08maxSize
    for (int i = 48; i <= 55; ++i)
        b[i] = 0; // macro1 ... macro8
    for (int i = 64; i <= 127; ++i)
        b[i] = 63; // key00 ... key63
    for (auto &block : r.switchNameBlocks) {
        block.fill(0);
        block[1] = 1;
        block[5] = 1; // empty name: length + 1
        block[6] = 0;
    }
    r.boolRewritableFromSoftware.fill(1);
    for (QString &f : r.flashData)
        f.clear();
    r.flashMacro.clear();
    return r;
}
