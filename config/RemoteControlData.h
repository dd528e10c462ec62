#pragma once

#include "ConfigurationRecord.h"

#include <QString>

// Derivations of the remote-control data from the switch names, done once per load.
namespace RemoteControlData {

// A name record: bytes 0 ... 6 (byte 5: the name length + a - b, byte 6: the name length), then
// the name. In a flash image those seven bytes are its first 14 hex digits.
constexpr int kNameRecordBytes = 7;
constexpr int kNameRecordDigits = 2 * kNameRecordBytes;

// A name record holds at most 57 characters (bytes 7 ... 63); longer names are cut to their
// first 57 characters, in the name block and in the flash image alike.
constexpr int kMaxNameLength = ConfigurationRecord::kNameBlockSize - kNameRecordBytes;

// 0-9, a-f, A-F.
bool isHexDigit(QChar c);

// The byte a switch-name character becomes: its Latin-1 code (1 ... 255), or 0 for a character
// above U+00FF. The name block and the flash image use the same code.
int characterCode(QChar c);

// Upper-case hexadecimal digits of v (of its 64-bit two's complement when negative), the first
// two of them, padded on the left with "0": 0 -> "00", 255 -> "FF", 300 -> "12", -1 -> "FF".
QString twoHexDigits(qint64 v);

// The 64-entry switch name block of a name.
ConfigurationRecord::NameBlock buildSwitchNameBlock(const QString &name);

// The flash image `image` with its name record rewritten to carry `name` and the rewritable
// flag; empty stays empty.
QString rewriteFlashImage(const QString &image, const QString &name, int rewritable);

} // namespace RemoteControlData
