#include "ReportDescriptor.h"

#include <array>

namespace rcprog {

namespace {

// Item types and tags of the short item format (HID 1.11, 6.2.2).
enum ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2, Reserved = 3 };
enum MainTag : std::uint8_t { Input = 0x8 };
enum GlobalTag : std::uint8_t {
    ReportSize = 0x7,
    ReportId = 0x8,
    ReportCount = 0x9,
    Push = 0xA,
    Pop = 0xB
};
constexpr std::uint8_t kLongItemPrefix = 0xFE;

// The part of the global item state that report lengths depend on.
struct GlobalState
{
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

} // namespace

std::optional<int> inputReportLength(const std::uint8_t *data, std::size_t size)
{
    // Input bits per report ID; ID 0 stands for "no report ID".
    std::array<std::uint64_t, 256> inputBits{};
    bool anyInput = false;
    GlobalState state;
    std::array<GlobalState, kMaxGlobalStackDepth> stack{};
    int depth = 0;

    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t prefix = data[pos++];
        if (prefix == kLongItemPrefix) {
            // Long item: data size byte, tag byte, then the data. Nothing in it concerns lengths.
            if (size - pos < 2)
                return std::nullopt;
            const std::size_t dataSize = data[pos];
            pos += 2;
            if (size - pos < dataSize)
                return std::nullopt;
            pos += dataSize;
            continue;
        }
        static constexpr std::size_t kDataSizes[4] = {0, 1, 2, 4};
        const std::size_t dataSize = kDataSizes[prefix & 0x3];
        if (size - pos < dataSize)
            return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < dataSize; ++i)
            value |= std::uint32_t(data[pos + i]) << (8 * i);
        pos += dataSize;

        const std::uint8_t type = (prefix >> 2) & 0x3;
        const std::uint8_t tag = prefix >> 4;
        if (type == Main && tag == Input) {
            anyInput = true;
            std::uint64_t &bits = inputBits[state.reportId];
            bits += std::uint64_t(state.reportSize) * state.reportCount;
            if (bits > std::uint64_t(kMaxReportBytes) * 8)
                return std::nullopt;
        } else if (type == Global) {
            switch (tag) {
            case ReportSize:
                if (value > kMaxReportSizeBits)
                    return std::nullopt;
                state.reportSize = value;
                break;
            case ReportCount:
                if (value > kMaxReportCount)
                    return std::nullopt;
                state.reportCount = value;
                break;
            case ReportId:
                if (value == 0 || value > 255)
                    return std::nullopt;
                state.reportId = std::uint8_t(value);
                break;
            case Push:
                if (depth == kMaxGlobalStackDepth)
                    return std::nullopt;
                stack[depth++] = state;
                break;
            case Pop:
                if (depth == 0)
                    return std::nullopt;
                state = stack[--depth];
                break;
            default:
                break; // usage page, logical/physical ranges, units: no effect on lengths
            }
        }
        // Local items, other main items (Output, Feature, collections) and reserved items do
        // not change input report lengths.
    }

    if (!anyInput)
        return 0;
    std::uint64_t longestBits = 0;
    for (const std::uint64_t bits : inputBits)
        longestBits = bits > longestBits ? bits : longestBits;
    return int((longestBits + 7) / 8) + 1;
}

} // namespace rcprog
