#pragma once

#include "SystemCollections.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace rcprog {

// Limits beyond which a descriptor is taken as unreadable (the same bounds the Linux HID core
// enforces, so no descriptor of a working device exceeds them).
constexpr std::uint32_t kMaxReportSizeBits = 256;
constexpr std::uint32_t kMaxReportCount = 12288;
constexpr std::size_t kMaxReportBytes = 16384;
constexpr int kMaxGlobalStackDepth = 16;

// The input report length of a HID report descriptor, counted as Windows counts
// InputReportByteLength: the longest Input report over all top-level collections, in whole
// bytes (Report Size x Report Count summed per Report ID, rounded up once per report), plus one
// byte for the report ID, which is counted even when the descriptor uses no report IDs.
// A descriptor without any Input item gives 0. Returns nothing for a descriptor that cannot be
// read: a truncated item, Pop without Push, a Push stack overflow, Report ID 0 or above 255, a
// Report Size, Report Count or report length beyond the limits above.
// Reads only data[0 .. size).
std::optional<int> inputReportLength(const std::uint8_t *data, std::size_t size);

// The usage page and usage of each top-level collection (a Collection item outside any other),
// in descriptor order: the first Usage before the Collection item, with the Usage Page in force
// there, or the page an extended (four-byte) Usage names. A collection without a Usage gives
// usage 0. Returns nothing for a descriptor that inputReportLength cannot read either.
std::optional<std::vector<CollectionUsage>> topLevelCollections(const std::uint8_t *data,
                                                                std::size_t size);

} // namespace rcprog
