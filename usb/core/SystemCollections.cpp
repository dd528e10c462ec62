#include "SystemCollections.h"

#include <algorithm>
#include <iterator>

namespace rcprog {

namespace {

constexpr std::uint16_t kGenericDesktop = 0x01;
constexpr std::uint16_t kDigitizer = 0x0D;

// Windows' list of top-level collections opened for system use.
constexpr CollectionUsage kHeldBySystem[] = {
        {kGenericDesktop, 0x01}, // pointer
        {kGenericDesktop, 0x02}, // mouse
        {kGenericDesktop, 0x06}, // keyboard
        {kGenericDesktop, 0x07}, // keypad
        {kDigitizer, 0x01}, // external pen
        {kDigitizer, 0x02}, // integrated pen
        {kDigitizer, 0x04}, // touch screen
        {kDigitizer, 0x05}, // touch pad
};

} // namespace

bool heldBySystem(const CollectionUsage &collection)
{
    return std::find(std::begin(kHeldBySystem), std::end(kHeldBySystem), collection)
           != std::end(kHeldBySystem);
}

bool heldBySystem(const std::vector<CollectionUsage> &collections)
{
    return !collections.empty()
           && std::all_of(collections.begin(), collections.end(),
                          [](const CollectionUsage &c) { return heldBySystem(c); });
}

} // namespace rcprog
