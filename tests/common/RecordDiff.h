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
