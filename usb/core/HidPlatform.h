#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rcprog {

// Opaque handle on an open HID interface. kNullHandle means "no handle".
using HidHandle = std::intptr_t;
constexpr HidHandle kNullHandle = 0;

// Why an open failed, where the platform can tell. SystemDevice: every top-level collection of
// the interface is of a kind the system holds for its own exclusive use (keyboards, mice, pens,
// touch; see SystemCollections.h), so it is not to be opened for reading and writing.
enum class OpenError { None, AccessDenied, SystemDevice, Other };

// The product string of a device: UTF-16LE units, NUL-terminated within the 100 bytes when
// shorter than the buffer.
using ProductStringBuffer = std::array<std::uint8_t, 100>;

// The operations the device search and the report writes need from the operating system.
// Every call is synchronous. Implementations: the Linux hidraw backend, the Windows HID backend
// and the simulated receiver used by tests and rcprog-sim.
class HidPlatform
{
public:
    virtual ~HidPlatform() = default;

    // Paths of the HID interfaces present now, in a stable order.
    virtual std::vector<std::string> listInterfaces() = 0;
    // Opens a path for reading and writing, sharing both with other openers.
    // Returns kNullHandle on failure; *error (when given) says why.
    virtual HidHandle open(const std::string &path, OpenError *error = nullptr) = 0;
    // Vendor and product ID of an open handle.
    virtual bool attributes(HidHandle handle, std::uint16_t &vendorId, std::uint16_t &productId)
            = 0;
    // Input report length in bytes, counting the report-ID byte even where the device uses none.
    virtual bool inputReportLength(HidHandle handle, int &length) = 0;
    // Product string of an open handle into the 100-byte buffer.
    virtual bool productString(HidHandle handle, ProductStringBuffer &buffer) = 0;
    virtual void close(HidHandle handle) = 0;
    // Writes one whole output report (report-ID byte first); true only if all of it was written.
    virtual bool write(HidHandle handle, const std::uint8_t *data, std::size_t length) = 0;

    // Vendor and product ID of a path without opening it for reading and writing, where the
    // platform can read them (to tell "present but access denied" from "absent", to skip other
    // devices, and to list interfaces that refuse to be opened). Default: not available.
    virtual bool peekAttributes(const std::string &path, std::uint16_t &vendorId,
                                std::uint16_t &productId)
    {
        (void)path;
        (void)vendorId;
        (void)productId;
        return false;
    }
    // Whether peekAttributes reads the IDs without opening the device at all (from a record the
    // system keeps, such as sysfs). A search pass then opens only paths whose IDs are the wanted
    // ones (or cannot be told), and leaves every other device alone. Default: no.
    virtual bool peeksWithoutOpening() const { return false; }
    // The input report length and the product string of a path without opening it for reading
    // and writing, where the platform can read them (to list interfaces that refuse to be
    // opened). Default: not available.
    virtual bool peekReportLength(const std::string &path, int &length)
    {
        (void)path;
        (void)length;
        return false;
    }
    virtual bool peekProductString(const std::string &path, ProductStringBuffer &buffer)
    {
        (void)path;
        (void)buffer;
        return false;
    }
};

} // namespace rcprog
