#include "PassDecoder.h"

#include "Protocol.h"

#include <QStringList>

#include <cstddef>

namespace {

using namespace Protocol;

class Decoder
{
public:
    Decoder(const std::vector<ReceivedReport> &reports, double gapMs)
        : reports_(reports), gapMs_(gapMs)
    { }

    std::vector<DecodedPass> run()
    {
        std::vector<DecodedPass> passes;
        while (pos_ < reports_.size()) {
            if (!isOpening(reports_[pos_])) {
                ++pos_; // not the start of a pass: skip it
                continue;
            }
            passes.push_back(pass());
        }
        return passes;
    }

private:
    static std::uint8_t at(const ReceivedReport &r, std::size_t i)
    {
        return i < r.bytes.size() ? r.bytes[i] : 0;
    }
    static bool isOpening(const ReceivedReport &r)
    {
        return at(r, 1) == kControlReport && at(r, 2) == kOpen;
    }
    static bool isClosing(const ReceivedReport &r)
    {
        return at(r, 1) == kControlReport && at(r, 2) == kClose;
    }

    // A gap before report i (i > 0) ends the group before it.
    bool gapBefore(std::size_t i) const
    {
        return i > 0 && i < reports_.size() && reports_[i].ms - reports_[i - 1].ms >= gapMs_;
    }

    void take(DecodedPass &pass, DecodedBlock &block)
    {
        const ReceivedReport &r = reports_[pos_++];
        ++pass.reports;
        ++block.reports;
        block.payload.insert(block.payload.end(), r.bytes.begin() + (r.bytes.empty() ? 0 : 1),
                             r.bytes.end());
        notePause(pass);
    }
    void notePause(DecodedPass &pass)
    {
        if (gapBefore(pos_))
            pass.pausesMs.push_back(reports_[pos_].ms - reports_[pos_ - 1].ms);
    }
    void takeHeader(DecodedPass &pass)
    {
        ++pos_;
        ++pass.reports;
        notePause(pass);
    }
    // Data reports up to the end of the current group.
    void takeGroup(DecodedPass &pass, DecodedBlock &block)
    {
        while (pos_ < reports_.size()) {
            const bool last = gapBefore(pos_ + 1) || pos_ + 1 == reports_.size();
            take(pass, block);
            if (last)
                break;
        }
    }
    void takeFixed(DecodedPass &pass, DecodedBlock &block, int n)
    {
        for (int i = 0; i < n && pos_ < reports_.size(); ++i)
            take(pass, block);
    }

    DecodedPass pass()
    {
        DecodedPass pass;
        // The opening report: the short pause after it is noted whatever its length.
        ++pos_;
        ++pass.reports;
        if (pos_ < reports_.size() && !gapBefore(pos_))
            pass.pausesMs.push_back(reports_[pos_].ms - reports_[pos_ - 1].ms);
        notePause(pass);
        while (pos_ < reports_.size()) {
            const ReceivedReport &r = reports_[pos_];
            if (isClosing(r)) {
                takeHeader(pass);
                pass.closed = true;
                break;
            }
            if (isOpening(r))
                break; // a new pass began before this one was closed
            DecodedBlock block;
            if (at(r, 1) == kNameHeader) {
                block.kind = DecodedBlock::Kind::Name;
                block.id = kNameHeader;
                takeHeader(pass);
                takeFixed(pass, block, kNameReports);
                for (std::uint8_t b : block.payload) {
                    if (b == 0)
                        break;
                    pass.productName += QChar(char16_t(b));
                }
            } else if (at(r, 1) == kBlockHeader && at(r, 2) == kConfigurationBlockId) {
                block.id = kConfigurationBlockId;
                takeHeader(pass);
                takeFixed(pass, block, kConfigurationReports);
            } else if (at(r, 1) == kBlockHeader && at(r, 2) == kMacroBlockId) {
                block.kind = DecodedBlock::Kind::Macro;
                block.id = kMacroBlockId;
                takeHeader(pass);
                for (int group = 0; group < kMacroGroups; ++group)
                    takeGroup(pass, block);
            } else if (at(r, 1) == kBlockHeader && at(r, 2) < kRemoteControlBlockIds) {
                block.kind = DecodedBlock::Kind::RemoteControl;
                block.id = at(r, 2);
                block.count = at(r, 3);
                const bool headerEndsGroup = gapBefore(pos_ + 1);
                takeHeader(pass);
                // The header shares its group with the first block's data reports.
                for (int f = 0; f < block.count && !(f == 0 && headerEndsGroup); ++f)
                    takeGroup(pass, block);
            } else {
                // A report that fits nowhere: keep it as a block of its own so nothing is hidden.
                block.kind = DecodedBlock::Kind::Configuration;
                block.id = -1;
                take(pass, block);
            }
            pass.blocks.push_back(std::move(block));
        }
        return pass;
    }

    const std::vector<ReceivedReport> &reports_;
    const double gapMs_;
    std::size_t pos_ = 0;
};

QString hex(const std::vector<std::uint8_t> &bytes)
{
    QStringList parts;
    for (std::uint8_t b : bytes)
        parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

} // namespace

std::vector<DecodedPass> decodePasses(const std::vector<ReceivedReport> &reports, double gapMs)
{
    return Decoder(reports, gapMs).run();
}

QString describePass(const DecodedPass &pass)
{
    QStringList lines;
    lines << QStringLiteral("pass: %1 reports%2")
                     .arg(pass.reports)
                     .arg(pass.closed ? QString() : QStringLiteral(", NOT CLOSED"));
    for (const DecodedBlock &b : pass.blocks) {
        switch (b.kind) {
        case DecodedBlock::Kind::Configuration:
            if (b.id == kConfigurationBlockId)
                lines << QStringLiteral("  configuration block (0x80): %1 data reports: %2")
                                 .arg(b.reports)
                                 .arg(hex(b.payload));
            else
                lines << QStringLiteral("  unexpected report: %1").arg(hex(b.payload));
            break;
        case DecodedBlock::Kind::RemoteControl:
            lines << QStringLiteral(
                             "  remote control %1 (block 0x%2, count %3): %4 data reports: %5")
                             .arg(b.id + 1)
                             .arg(b.id, 2, 16, QLatin1Char('0'))
                             .arg(b.count)
                             .arg(b.reports)
                             .arg(hex(b.payload));
            break;
        case DecodedBlock::Kind::Macro:
            lines << QStringLiteral("  macro block (0x81): %1 data reports: %2")
                             .arg(b.reports)
                             .arg(hex(b.payload));
            break;
        case DecodedBlock::Kind::Name:
            lines << QStringLiteral("  product name: \"%1\"").arg(pass.productName);
            break;
        }
    }
    QStringList pauses;
    for (double ms : pass.pausesMs)
        pauses << QString::number(ms, 'f', 1);
    lines << QStringLiteral("  pauses (ms): %1").arg(pauses.join(QLatin1Char(' ')));
    return lines.join(QLatin1Char('\n'));
}
