#pragma once

#include <QString>

#include <array>

// The values of one configuration file in the form the receiver gets them. Every byte-valued
// field is a signed 32-bit integer: the receiver gets its low 8 bits, while every decision of a
// programming pass uses the full value. All fields start defined (zeros and empty texts), so
// nothing sent to a receiver can come from undefined memory.
struct ConfigurationRecord
{
    static constexpr int kRemoteControls = 8;
    static constexpr int kBlockSize = 128;
    static constexpr int kNameBlockSize = 64;
    using NameBlock = std::array<int, kNameBlockSize>;

    QString newNameOfDevice;
    int canChangeProductName = 0;
    std::array<int, kBlockSize> configurationBlock{};
    std::array<NameBlock, kRemoteControls> switchNameBlocks{};
    std::array<int, kRemoteControls> boolRewritableFromSoftware{};
    std::array<QString, kRemoteControls> flashData;
    QString flashMacro;

    bool operator==(const ConfigurationRecord &other) const;
    bool operator!=(const ConfigurationRecord &other) const { return !(*this == other); }
};

// Indexes of the configuration block: those that steer a programming pass, and those of the
// numbered key families. The table of configuration keys names every index a key fills.
namespace BlockIndex {
constexpr int quantityOfBytesInFlashBlock = 3;
constexpr int idHigh = 27; // ID / 256; ID % 256 follows at 28
constexpr int haveMacro = 29;
constexpr int quantityOfRemoteControls = 31;
// rcNNmaxSize of remote control n (1 ... 8) and its switch key number.
constexpr int maxSize(int n)
{
    return 31 + 2 * n;
}
constexpr int keyNumberOfSwitchKey(int n)
{
    return 30 + 2 * n;
}
// macro1 ... macro8.
constexpr int kMacroKeys = 8;
constexpr int macro(int n)
{
    return 47 + n;
}
// key00 ... key63 of the key table.
constexpr int kKeyTableKeys = 64;
constexpr int keyTable(int k)
{
    return 64 + k;
}
} // namespace BlockIndex
