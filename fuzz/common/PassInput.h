#pragma once

// How fuzz_pass turns its bytes into a record, a report length and a report buffer, and the
// reverse, so that seed inputs can be written for known records (make_pass_seeds).
//
// The values that steer a pass are kept in ranges that keep a pass small (Q in -16 ... 1024,
// counts and rcNNmaxSize in -3 ... 12, R in 1 ... 64); every other entry is a 16-bit value,
// which covers negative values and values beyond a byte. Texts hold any UTF-16 unit. A flash
// image or the macro is either spelled out unit by unit or a short pattern repeated to a given
// length, so that images of every length up to 2 * Q * M + 3 need only a few input bytes.

#include "FuzzSupport.h"
#include "RemoteControlData.h"

namespace fuzz {

struct PassInput
{
    ConfigurationRecord record;
    int r = 8;
    std::vector<std::uint8_t> buffer;
};

namespace passinput {

constexpr int kMaxR = 64;
constexpr int kMaxBuffer = 80;
constexpr int kMinQ = -16;
constexpr int kMaxQ = 1024;
constexpr int kMinCount = -3;
constexpr int kMaxCount = 12;
constexpr int kMaxNameText = 80;
constexpr int kMaxImageText = 4096;
constexpr int kMaxPatternLength = 2 * kMaxQ * kMaxCount + 3;
constexpr int kMaxPattern = 16;

struct Range
{
    qint64 lo;
    qint64 hi;
};

inline Range entryRange(int index)
{
    if (index == BlockIndex::quantityOfBytesInFlashBlock)
        return {kMinQ, kMaxQ};
    if (index == BlockIndex::haveMacro)
        return {-1, 2};
    if (index == BlockIndex::quantityOfRemoteControls)
        return {kMinCount, kMaxCount};
    for (int n = 1; n <= ConfigurationRecord::kRemoteControls; ++n)
        if (index == BlockIndex::maxSize(n))
            return {kMinCount, kMaxCount};
    return {-32768, 32767};
}

inline QString readImage(InputReader &in)
{
    if (in.inRange(0, 1) == 0)
        return in.text(kMaxImageText);
    const int length = int(in.inRange(0, kMaxPatternLength));
    QString pattern = in.text(kMaxPattern);
    if (pattern.isEmpty())
        pattern = QStringLiteral("0");
    QString image;
    image.reserve(length);
    while (image.size() < length)
        image += pattern;
    image.truncate(length);
    return image;
}

} // namespace passinput

inline PassInput readPassInput(InputReader &in)
{
    using namespace passinput;
    PassInput input;
    input.r = int(in.inRange(1, kMaxR));
    input.buffer.resize(std::size_t(in.inRange(0, kMaxBuffer)));
    for (std::uint8_t &b : input.buffer)
        b = std::uint8_t(in.raw(1));

    ConfigurationRecord &rec = input.record;
    rec.canChangeProductName = int(in.inRange(-1, 2));
    rec.newNameOfDevice = in.text(40);
    for (int i = 0; i < ConfigurationRecord::kBlockSize; ++i) {
        const Range range = entryRange(i);
        rec.configurationBlock[std::size_t(i)] = int(in.inRange(range.lo, range.hi));
    }
    for (int &flag : rec.boolRewritableFromSoftware)
        flag = int(in.inRange(-32768, 32767));
    for (auto &block : rec.switchNameBlocks) {
        if (in.inRange(0, 1) == 0) {
            block = RemoteControlData::buildSwitchNameBlock(in.text(kMaxNameText));
        } else {
            for (int &entry : block)
                entry = int(in.inRange(-32768, 32767));
        }
    }
    for (QString &image : rec.flashData)
        image = readImage(in);
    rec.flashMacro = readImage(in);
    return input;
}

// The bytes that readPassInput reads back as `input`, as far as its values lie in the ranges
// above (texts spelled out unit by unit, name blocks entry by entry). Returns false otherwise.
inline bool writePassInput(const PassInput &input, InputWriter &out)
{
    using namespace passinput;
    const ConfigurationRecord &rec = input.record;
    auto fits = [](qint64 v, Range range) { return v >= range.lo && v <= range.hi; };
    if (input.r < 1 || input.r > kMaxR || input.buffer.size() > std::size_t(kMaxBuffer)
        || rec.canChangeProductName < -1 || rec.canChangeProductName > 2
        || rec.newNameOfDevice.size() > 40 || rec.flashMacro.size() > kMaxImageText)
        return false;
    out.inRange(input.r, 1, kMaxR);
    out.inRange(qint64(input.buffer.size()), 0, kMaxBuffer);
    for (std::uint8_t b : input.buffer)
        out.raw(b, 1);
    out.inRange(rec.canChangeProductName, -1, 2);
    out.text(rec.newNameOfDevice, 40);
    for (int i = 0; i < ConfigurationRecord::kBlockSize; ++i) {
        const Range range = entryRange(i);
        if (!fits(rec.configurationBlock[std::size_t(i)], range))
            return false;
        out.inRange(rec.configurationBlock[std::size_t(i)], range.lo, range.hi);
    }
    for (int flag : rec.boolRewritableFromSoftware) {
        if (!fits(flag, {-32768, 32767}))
            return false;
        out.inRange(flag, -32768, 32767);
    }
    for (const auto &block : rec.switchNameBlocks) {
        out.inRange(1, 0, 1);
        for (int entry : block) {
            if (!fits(entry, {-32768, 32767}))
                return false;
            out.inRange(entry, -32768, 32767);
        }
    }
    auto image = [&](const QString &text) {
        if (text.size() > kMaxImageText)
            return false;
        out.inRange(0, 0, 1);
        out.text(text, kMaxImageText);
        return true;
    };
    for (const QString &text : rec.flashData)
        if (!image(text))
            return false;
    return image(rec.flashMacro);
}

} // namespace fuzz
