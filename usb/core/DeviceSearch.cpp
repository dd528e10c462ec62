#include "DeviceSearch.h"

namespace rcprog {

std::string productNameFromBuffer(const ProductStringBuffer &buffer)
{
    std::string name;
    for (std::size_t unit = 0; unit < buffer.size() / 2; ++unit) {
        const std::uint8_t low = buffer[2 * unit];
        if (low == 0)
            break;
        name.push_back(static_cast<char>(low));
    }
    return name;
}

namespace {

bool idsMatch(std::uint16_t vendor, std::uint16_t product, int vendorId, int productId)
{
    return int(vendor) == vendorId && int(product) == productId;
}

// The connect steps at the matching candidate. Returns false after closing what it opened.
bool connect(HidPlatform &platform, const std::string &path, HidHandle probeHandle,
             OpenedDevice &opened)
{
    const HidHandle info = platform.open(path);
    const HidHandle write = info == kNullHandle ? kNullHandle : platform.open(path);
    int inputLength = 0;
    // A device must take at least one payload byte after the report-ID byte.
    const bool ok = info != kNullHandle && write != kNullHandle
                    && platform.inputReportLength(probeHandle, inputLength) && inputLength >= 2;
    if (!ok) {
        if (write != kNullHandle)
            platform.close(write);
        if (info != kNullHandle)
            platform.close(info);
        return false;
    }
    ProductStringBuffer buffer{};
    // A product string that cannot be read gives an empty name, never one from a stale buffer.
    if (!platform.productString(info, buffer))
        buffer.fill(0);
    opened.infoHandle = info;
    opened.writeHandle = write;
    opened.reportDataLength = inputLength - 1;
    opened.productName = productNameFromBuffer(buffer);
    opened.path = path;
    return true;
}

// Walks the interfaces in the platform's order and hands each one with both IDs to `match`
// (with its probe handle, closed afterwards); stops when `match` returns false. A path whose
// other IDs the platform tells without opening it is skipped unopened. An interface with the IDs
// that refuses access sets `accessDenied`.
template<typename Match>
void walk(HidPlatform &platform, int vendorId, int productId, bool &accessDenied, Match match)
{
    const bool peeksFirst = platform.peeksWithoutOpening();
    for (const std::string &path : platform.listInterfaces()) {
        std::uint16_t vendor = 0, product = 0;
        const bool peeked = peeksFirst && platform.peekAttributes(path, vendor, product);
        // Opening another device would start its input and keep it awake: it is left alone.
        if (peeked && !idsMatch(vendor, product, vendorId, productId))
            continue;
        OpenError error = OpenError::None;
        const HidHandle probeHandle = platform.open(path, &error);
        if (probeHandle == kNullHandle) {
            if (error == OpenError::AccessDenied
                && (peeked || platform.peekAttributes(path, vendor, product))
                && idsMatch(vendor, product, vendorId, productId))
                accessDenied = true;
            continue;
        }
        const bool ids = platform.attributes(probeHandle, vendor, product)
                         && idsMatch(vendor, product, vendorId, productId);
        const bool goOn = !ids || match(path, probeHandle);
        platform.close(probeHandle);
        if (!goOn)
            break;
    }
}

SearchResult pass(HidPlatform &platform, int vendorId, int productId, OpenedDevice *opened)
{
    SearchResult result;
    walk(platform, vendorId, productId, result.accessDenied,
         [&](const std::string &path, HidHandle probeHandle) {
             result.matched = opened ? connect(platform, path, probeHandle, *opened) : true;
             if (result.matched)
                 result.path = path;
             return false; // the first match in enumeration order wins
         });
    if (result.matched)
        result.accessDenied = false;
    return result;
}

} // namespace

SearchResult searchPass(HidPlatform &platform, int vendorId, int productId)
{
    return pass(platform, vendorId, productId, nullptr);
}

SearchResult openPass(HidPlatform &platform, int vendorId, int productId, OpenedDevice &opened)
{
    return pass(platform, vendorId, productId, &opened);
}

std::vector<OpenedDevice> openAllPass(HidPlatform &platform, int vendorId, int productId,
                                      bool *accessDenied)
{
    std::vector<OpenedDevice> all;
    bool denied = false;
    walk(platform, vendorId, productId, denied,
         [&](const std::string &path, HidHandle probeHandle) {
             OpenedDevice opened;
             if (connect(platform, path, probeHandle, opened))
                 all.push_back(opened);
             return true;
         });
    if (accessDenied)
        *accessDenied = denied;
    return all;
}

} // namespace rcprog
