#pragma once

#include <cstdint>
#include <vector>

namespace rcprog {

// The usage page and usage of a top-level collection of a HID report descriptor.
struct CollectionUsage
{
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;

    bool operator==(const CollectionUsage &other) const
    {
        return usagePage == other.usagePage && usage == other.usage;
    }
    bool operator!=(const CollectionUsage &other) const { return !(*this == other); }
};

// Whether the operating system holds top-level collections of this kind for its own exclusive
// use: Windows opens pointers, mice, keyboards, keypads, pens and touch screens and pads itself,
// and refuses everyone else's open for reading and writing. The one table of these kinds.
bool heldBySystem(const CollectionUsage &collection);

// Whether an interface with these top-level collections is one the system holds: it has at
// least one, and every one of them is of a kind the system holds. Such an interface counts as
// one that cannot be opened for reading and writing, on every platform alike.
bool heldBySystem(const std::vector<CollectionUsage> &collections);

} // namespace rcprog
