#include "ProgrammingPass.h"

#include "ConfigurationKeys.h"
#include "Protocol.h"

#include <QStringView>

#include <algorithm>

namespace {

using namespace Protocol;

std::uint8_t lowByte(qint64 v)
{
    return std::uint8_t(v & 0xFF);
}

// Builds the reports of one pass in the buffer and hands them to the sink.
class Pass
{
public:
    Pass(const ConfigurationRecord &record, int r, std::vector<std::uint8_t> &buffer,
         PassSink &sink)
        : rec_(record), r_(r), buf_(buffer), sink_(sink)
    { }

    PassOutcome run()
    {
        PassOutcome outcome;
        outcome.finished = steps(outcome);
        return outcome;
    }

private:
    bool write()
    {
        buf_[0] = kReportId;
        return sink_.report(buf_.data(), std::size_t(r_) + 1);
    }
    bool pause(int ms) { return sink_.pause(ms); }

    // Payload bytes 1 ... 3 of a header-like report; the rest keep what they held.
    bool header(std::uint8_t b1, std::uint8_t b2)
    {
        buf_[1] = b1;
        buf_[2] = b2;
        return write();
    }

    // 8-byte packing: entry i to payload byte 1 + i mod 8, a report after every 8th entry.
    template<typename Entries>
    bool packEight(const Entries &entries, int groupSize, int pauseMs)
    {
        int written = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            buf_[1 + i % kPayloadBytes] = lowByte(entries[i]);
            if (i % kPayloadBytes == kPayloadBytes - 1) {
                if (!write())
                    return false;
                if (++written % groupSize == 0 && !pause(pauseMs))
                    return false;
            }
        }
        return true;
    }

    // Hex packing: one data report of R bytes read from `text` at position `pos`, which runs on.
    // A position at or past the end of the text reads as the digit "0", which pads flash data to
    // whole flash blocks without a padded copy; a pair that is no hexadecimal number gives 0.
    bool packHex(QStringView text, qint64 &pos)
    {
        const auto digit = [&text](qint64 i) { return i < text.size() ? text[i] : QChar(u'0'); };
        for (int j = 1; j <= r_; ++j, pos += 2) {
            const QChar pair[2] = {digit(pos), digit(pos + 1)};
            bool ok = false;
            const int value = QStringView(pair, 2).toInt(&ok, 16);
            buf_[std::size_t(j)] = ok ? lowByte(value) : 0;
        }
        return write();
    }

    bool remoteControl(int n)
    {
        const QString &s = rec_.flashData[std::size_t(n - 1)];
        const qint64 q = rec_.configurationBlock[BlockIndex::quantityOfBytesInFlashBlock];
        const auto blockId = std::uint8_t(n - 1);

        const FlashPlan plan = flashPlan(rec_, n);
        if (plan.flash) {
            // The text is read as if padded with "0" up to 2N digits. With an odd length whose
            // half is already a multiple of Q, 2N is below the length: its last lone digit is
            // never read.
            sink_.section(PassSection::FlashData, n - 1, plan.blocks);
            buf_[3] = lowByte(plan.blocks);
            if (!header(kBlockHeader, blockId))
                return false;
            qint64 pos = 0;
            const qint64 reportsPerBlock = q / r_;
            for (qint64 f = 0; f < plan.blocks; ++f) {
                for (qint64 k = 0; k < reportsPerBlock; ++k)
                    if (!packHex(s, pos))
                        return false;
                if (!pause(kGroupPauseMs))
                    return false;
            }
            return true;
        }
        sink_.section(PassSection::SwitchNameBlock, n - 1, 1);
        buf_[3] = 0x01;
        return header(kBlockHeader, blockId)
               && packEight(rec_.switchNameBlocks[std::size_t(n - 1)], kNameBlockReports,
                            kGroupPauseMs);
    }

    bool macro()
    {
        sink_.section(PassSection::Macro, kMacroBlockId, kMacroGroups);
        if (!header(kBlockHeader, kMacroBlockId))
            return false;
        qint64 pos = 0;
        for (int group = 0; group < kMacroGroups; ++group) {
            for (int k = 0; k < kReportsPerGroup; ++k)
                if (!packHex(rec_.flashMacro, pos))
                    return false;
            if (!pause(kGroupPauseMs))
                return false;
        }
        return true;
    }

    bool productName(PassOutcome &outcome)
    {
        sink_.section(PassSection::ProductName, kNameHeader, 0);
        buf_[1] = kNameHeader;
        if (!write())
            return false;
        const QString name = rec_.newNameOfDevice.left(kProductNameLength);
        outcome.nameSent = true;
        outcome.sentName = name;
        for (int k = 0; k < kNameReports; ++k) {
            for (int j = 0; j < kPayloadBytes; ++j) {
                const int i = kPayloadBytes * k + j;
                const char16_t c = i < name.size() ? name.at(i).unicode() : 0;
                buf_[std::size_t(1 + j)] = c <= 0xFF ? std::uint8_t(c) : 0;
            }
            if (!write())
                return false;
        }
        return true;
    }

    bool steps(PassOutcome &outcome)
    {
        const auto &block = rec_.configurationBlock;
        if (!pause(kOpeningPauseMs))
            return false;
        sink_.section(PassSection::Opening, 0, 0);
        if (!header(kControlReport, kOpen) || !pause(kOpeningPauseMs))
            return false;
        sink_.section(PassSection::Configuration, kConfigurationBlockId,
                      kConfigurationReports / kReportsPerGroup);
        if (!header(kBlockHeader, kConfigurationBlockId)
            || !packEight(block, kReportsPerGroup, kGroupPauseMs))
            return false;
        std::fill(buf_.begin() + 2, buf_.begin() + kMinReportBuffer, 0);

        const int count = programmedRemoteControls(rec_);
        for (int n = 1; n <= count; ++n)
            if (!remoteControl(n))
                return false;
        if (block[BlockIndex::haveMacro] > 0 && rec_.flashMacro.size() == kMacroDigits && !macro())
            return false;
        if (rec_.canChangeProductName == 1 && !productName(outcome))
            return false;
        sink_.section(PassSection::Closing, 0, 0);
        return header(kControlReport, kClose);
    }

    const ConfigurationRecord &rec_;
    const int r_;
    std::vector<std::uint8_t> &buf_;
    PassSink &sink_;
};

// Counts the reports of a pass.
class Counter : public PassSink
{
public:
    bool report(const std::uint8_t *, std::size_t) override
    {
        ++reports;
        return true;
    }
    bool pause(int) override { return true; }
    qint64 reports = 0;
};

class Collector : public PassSink
{
public:
    bool report(const std::uint8_t *bytes, std::size_t length) override
    {
        steps.push_back({PassStep::Kind::Write, {bytes, bytes + length}, 0});
        return true;
    }
    bool pause(int ms) override
    {
        steps.push_back({PassStep::Kind::Pause, {}, ms});
        return true;
    }
    std::vector<PassStep> steps;
};

} // namespace

FlashPlan flashPlan(const ConfigurationRecord &record, int n)
{
    const qint64 length = record.flashData[std::size_t(n - 1)].size();
    const qint64 q = record.configurationBlock[BlockIndex::quantityOfBytesInFlashBlock];
    const qint64 m = record.configurationBlock[std::size_t(BlockIndex::maxSize(n))];
    FlashPlan plan;
    // In 64 bits: 2 x Q x M of two 32-bit values does not overflow.
    if (length < 1 || q <= 0 || m <= 0 || length > 2 * q * m)
        return plan;
    plan.flash = true;
    plan.bytes = length / 2;
    if (plan.bytes % q != 0)
        plan.bytes = (plan.bytes / q + 1) * q;
    plan.blocks = plan.bytes / q;
    return plan;
}

std::optional<PassRefusal> passRefusal(const ConfigurationRecord &record)
{
    const int q = record.configurationBlock[BlockIndex::quantityOfBytesInFlashBlock];
    for (int n = 1; n <= programmedRemoteControls(record); ++n) {
        const FlashPlan plan = flashPlan(record, n);
        if (!plan.flash)
            continue;
        if (q > Protocol::kMaxFlashBlockBytes) {
            const QString key = keyOfBlockEntry(BlockIndex::quantityOfBytesInFlashBlock)->name;
            return PassRefusal{key, QStringLiteral("%1=%2: a flash block of more than %3 bytes "
                                                   "cannot be sent")
                                            .arg(key)
                                            .arg(q)
                                            .arg(Protocol::kMaxFlashBlockBytes)};
        }
        if (plan.blocks > Protocol::kMaxFlashBlocks) {
            const QString key = remoteControlKey(n, u"flashData");
            return PassRefusal{key, QStringLiteral("%1 of %2 digits: %3 flash blocks of %4 bytes; "
                                                   "more than %5 flash blocks cannot be sent")
                                            .arg(key)
                                            .arg(record.flashData[std::size_t(n - 1)].size())
                                            .arg(plan.blocks)
                                            .arg(q)
                                            .arg(Protocol::kMaxFlashBlocks)};
        }
    }
    return std::nullopt;
}

QString refusalText(const PassRefusal &refusal)
{
    return QStringLiteral("configuration cannot be sent: ") + refusal.reason;
}

std::size_t reportBufferSize(int reportDataLength)
{
    return std::max(Protocol::kMinReportBuffer, std::size_t(std::max(reportDataLength, 0)) + 1);
}

int programmedRemoteControls(const ConfigurationRecord &record)
{
    // The record has eight remote controls; a larger count programs those eight.
    return std::max(0, std::min(record.configurationBlock[BlockIndex::quantityOfRemoteControls],
                                ConfigurationRecord::kRemoteControls));
}

qint64 passReportCount(const ConfigurationRecord &record, int reportDataLength)
{
    std::vector<std::uint8_t> buffer(reportBufferSize(reportDataLength), 0);
    Counter counter;
    runProgrammingPass(record, reportDataLength, buffer, counter);
    return counter.reports;
}

PassOutcome runProgrammingPass(const ConfigurationRecord &record, int reportDataLength,
                               std::vector<std::uint8_t> &buffer, PassSink &sink)
{
    if (reportDataLength < 1)
        return {};
    if (buffer.size() < reportBufferSize(reportDataLength))
        buffer.resize(reportBufferSize(reportDataLength), 0);
    return Pass(record, reportDataLength, buffer, sink).run();
}

std::vector<PassStep> collectPassSteps(const ConfigurationRecord &record, int reportDataLength,
                                       std::vector<std::uint8_t> &buffer, PassOutcome *outcome)
{
    Collector collector;
    const PassOutcome result = runProgrammingPass(record, reportDataLength, buffer, collector);
    if (outcome)
        *outcome = result;
    return collector.steps;
}
