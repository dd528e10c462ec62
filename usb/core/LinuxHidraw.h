#pragma once

#include "HidPlatform.h"

#include <mutex>
#include <string>
#include <unordered_map>

namespace rcprog {

// The platform layer on Linux hidraw: interfaces are the nodes <devRoot>/hidrawN of the entries
// of <sysfsRoot>/class/hidraw. IDs, the report descriptor and the product string come from the
// hidraw ioctls where the node supports them and from sysfs otherwise. An interface whose
// top-level collections the system holds (keyboards, mice, ...) is refused with
// OpenError::SystemDevice, decided from the report descriptor in sysfs before it is opened, or,
// where sysfs has none, from the descriptor the node gives once opened. Both roots can point at
// a fake tree. Thread-safe: write() may run on another thread than the search.
//
// A handle is its file descriptor, and every operation on a handle counts as a use of it while
// it runs: close() during a use takes the handle away at once (later operations on it fail), but
// the descriptor is closed only when the last use has ended. So the descriptor number cannot be
// given to another node by the system while a write (or an ioctl) through the handle is still
// under way, and a report can never reach another device.
class LinuxHidraw : public HidPlatform
{
public:
    explicit LinuxHidraw(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");
    ~LinuxHidraw() override;

    LinuxHidraw(const LinuxHidraw &) = delete;
    LinuxHidraw &operator=(const LinuxHidraw &) = delete;

    std::vector<std::string> listInterfaces() override;
    HidHandle open(const std::string &path, OpenError *error = nullptr) override;
    bool attributes(HidHandle handle, std::uint16_t &vendorId, std::uint16_t &productId) override;
    bool inputReportLength(HidHandle handle, int &length) override;
    bool productString(HidHandle handle, ProductStringBuffer &buffer) override;
    void close(HidHandle handle) override;
    bool write(HidHandle handle, const std::uint8_t *data, std::size_t length) override;
    // From the uevent of the node's HID device in sysfs: no device is opened.
    bool peekAttributes(const std::string &path, std::uint16_t &vendorId,
                        std::uint16_t &productId) override;
    bool peeksWithoutOpening() const override { return true; }
    bool peekReportLength(const std::string &path, int &length) override;
    bool peekProductString(const std::string &path, ProductStringBuffer &buffer) override;

    // How an errno value of open(2) is reported.
    static OpenError openErrorFor(int errnoValue);
    // The product string rule for a sysfs text: UTF-8 (invalid sequences become U+FFFD) into
    // UTF-16LE units, as many whole units as fit, NUL-terminated when there is room, the rest
    // zero. One trailing newline is dropped.
    static void encodeProductString(const std::string &utf8, ProductStringBuffer &buffer);

private:
    // The sysfs folder of a node: <sysfsRoot>/class/hidraw/hidrawN, or empty when the path does
    // not end in a hidraw node name.
    std::string sysfsFolderFor(const std::string &path) const;
    // A use of an open handle (see above): its descriptor and sysfs folder while it lasts.
    class Use;
    struct OpenNode
    {
        std::string folder; // sysfs folder of the node
        int uses = 0; // operations under way on the handle
        bool closed = false; // close() came while in use: the last use closes the descriptor
    };
    static bool idsFromUevent(const std::string &folder, std::uint16_t &vendorId,
                              std::uint16_t &productId);
    static bool productStringFromFolder(const std::string &folder, ProductStringBuffer &buffer);

    const std::string sysfsRoot_;
    const std::string devRoot_;
    mutable std::mutex mutex_;
    std::unordered_map<HidHandle, OpenNode> open_;
};

} // namespace rcprog
