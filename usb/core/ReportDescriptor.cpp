#include "ReportDescriptor.h"

#include <array>

namespace rcprog {

namespace {

// Item types and tags of the short item format (HID 1.11, 6.2.2).
enum ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2, Reserved = 3 };
enum MainTag : std::uint8_t { Input = 0x8, Collection = 0xA, EndCollection = 0xC };
enum GlobalTag : std::uint8_t {
    UsagePage = 0x0,
    ReportSize = 0x7,
    ReportId = 0x8,
    ReportCount = 0x9,
    Push = 0xA,
    Pop = 0xB
};
enum LocalTag : std::uint8_t { Usage = 0x0 };
constexpr std::uint8_t kLongItemPrefix = 0xFE;

// The part of the global item state that report lengths and collection usages depend on.
struct GlobalState
{
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
    std::uint16_t usagePage = 0;
};

// What a walk over a descriptor finds.
struct Summary
{
    int inputReportLength = 0;
    std::vector<CollectionUsage> collections;
};

// Walks the items of a descriptor once, keeping the global state, the input bits per report ID
// and the top-level collections. Nothing for a descriptor that cannot be read.
std::optional<Summary> summarize(const std::uint8_t *data, std::size_t size)
{
    // Input bits per report ID; ID 0 stands for "no report ID".
    std::array<std::uint64_t, 256> inputBits{};
    bool anyInput = false;
    GlobalState state;
    std::array<GlobalState, kMaxGlobalStackDepth> stack{};
    int depth = 0;
    Summary summary;
    // Local state up to the next main item: the first Usage and its page, if any.
    bool haveUsage = false;
    CollectionUsage firstUsage;
    std::size_t collectionDepth = 0;

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
        if (type == Main) {
            if (tag == Input) {
                anyInput = true;
                std::uint64_t &bits = inputBits[state.reportId];
                bits += std::uint64_t(state.reportSize) * state.reportCount;
                if (bits > std::uint64_t(kMaxReportBytes) * 8)
                    return std::nullopt;
            } else if (tag == Collection) {
                if (collectionDepth == 0)
                    summary.collections.push_back(haveUsage ? firstUsage
                                                            : CollectionUsage{state.usagePage, 0});
                ++collectionDepth;
            } else if (tag == EndCollection && collectionDepth > 0) {
                --collectionDepth;
            }
            // Output, Feature and the rest change neither lengths nor collections; every main
            // item ends the local state.
            haveUsage = false;
        } else if (type == Global) {
            switch (tag) {
            case UsagePage:
                state.usagePage = std::uint16_t(value);
                break;
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
                break; // logical/physical ranges, units: no effect on lengths
            }
        } else if (type == Local && tag == Usage && !haveUsage) {
            // An extended usage carries its page in its upper 16 bits.
            haveUsage = true;
            firstUsage = dataSize == 4
                                 ? CollectionUsage{std::uint16_t(value >> 16), std::uint16_t(value)}
                                 : CollectionUsage{state.usagePage, std::uint16_t(value)};
        }
        // Other local items and reserved items change neither lengths nor collections.
    }

    if (anyInput) {
        std::uint64_t longestBits = 0;
        for (const std::uint64_t bits : inputBits)
            longestBits = bits > longestBits ? bits : longestBits;
        summary.inputReportLength = int((longestBits + 7) / 8) + 1;
    }
    return summary;
}

} // namespace

std::optional<int> inputReportLength(const std::uint8_t *data, std::size_t size)
{
    const std::optional<Summary> summary = summarize(data, size);
    if (!summary)
        return std::nullopt;
    return summary->inputReportLength;
}

std::optional<std::vector<CollectionUsage>> topLevelCollections(const std::uint8_t *data,
                                                                std::size_t size)
{
    std::optional<Summary> summary = summarize(data, size);
    if (!summary)
        return std::nullopt;
    return std::move(summary->collections);
}

} // namespace rcprog
