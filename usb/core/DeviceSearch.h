#pragma once

#include "HidPlatform.h"

#include <string>
#include <vector>

namespace rcprog {

constexpr int kReceiverVendorId = 0x04B4;
constexpr int kReceiverProductId = 0xF231;

// What the connect steps leave behind for a receiver that was opened.
struct OpenedDevice
{
    HidHandle infoHandle = kNullHandle;
    HidHandle writeHandle = kNullHandle;
    int reportDataLength = 0;
    std::string productName; // Latin-1 bytes, at most 50
    std::string path; // the interface's path as the platform lists it (a hidraw node on Linux)
};

// Result of one search pass.
struct SearchResult
{
    bool matched = false; // a matching interface was found (and, when connecting, opened)
    bool accessDenied = false; // no match opened, but an interface with the IDs refused access
    std::string path; // the matching interface's path, when matched
};

// The product-name rule: the low byte of each UTF-16LE unit, up to the first zero low byte or
// 50 units, as Latin-1 characters.
std::string productNameFromBuffer(const ProductStringBuffer &buffer);

// One search pass: walks the interfaces in the platform's order, opens each candidate, and stops
// at the first one whose vendor and product ID equal the given ones. No handle stays open.
// Where the platform tells the IDs of a path without opening anything, a path with other IDs
// is not opened at all. An interface that refuses to be opened (among them one the system
// holds, such as the keyboard interface of a receiver) is not a match; the walk goes on.
SearchResult searchPass(HidPlatform &platform, int vendorId, int productId);

// A search pass that, at the first match, carries out the connect steps: opens the info and
// write handles, reads the report length and the product name. On success exactly those two
// handles stay open and are in *opened. When the match cannot be opened completely (a handle,
// the report length, or a report length below 2 bytes), everything it opened is closed again
// and the result is not matched.
SearchResult openPass(HidPlatform &platform, int vendorId, int productId, OpenedDevice &opened);

// Every receiver present now, opened: a search pass that carries out the connect steps at each
// matching interface, in the platform's order, instead of stopping at the first. A match that
// cannot be opened completely is left closed and out of the list. Each opened receiver holds its
// two handles until they are closed. *accessDenied (when given) tells whether a matching
// interface refused access.
std::vector<OpenedDevice> openAllPass(HidPlatform &platform, int vendorId, int productId,
                                      bool *accessDenied = nullptr);

} // namespace rcprog
