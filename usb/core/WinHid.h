#pragma once

#include "HidPlatform.h"

namespace rcprog {

// The platform layer on the Windows HID (hid.dll), device-setup (setupapi.dll) and file
// services. Paths are the device interface paths that the device-setup services report,
// converted to UTF-8; handles are Win32 file handles.
//
// The system opens keyboards, mice, pens and touch devices for its own exclusive use and refuses
// an open for reading and writing with ERROR_ACCESS_DENIED; such a refusal is told apart from a
// denied permission by the top-level collection's usage, read through a handle without access,
// and reported as OpenError::SystemDevice.
//
// Every handle is opened for overlapped I/O so that a report write can be given up after a
// time-out instead of holding the calling thread for ever. The other operations stay
// synchronous: the HID services wait for their own requests on such handles.
class WinHid : public HidPlatform
{
public:
    // How long a report write may take before it is cancelled and reported as failed.
    static constexpr unsigned long kDefaultWriteTimeoutMs = 5000;

    explicit WinHid(unsigned long writeTimeoutMs = kDefaultWriteTimeoutMs);

    unsigned long writeTimeoutMs() const { return writeTimeoutMs_; }

    // HidPlatform
    std::vector<std::string> listInterfaces() override;
    HidHandle open(const std::string &path, OpenError *error = nullptr) override;
    bool attributes(HidHandle handle, std::uint16_t &vendorId, std::uint16_t &productId) override;
    bool inputReportLength(HidHandle handle, int &length) override;
    bool productString(HidHandle handle, ProductStringBuffer &buffer) override;
    void close(HidHandle handle) override;
    bool write(HidHandle handle, const std::uint8_t *data, std::size_t length) override;
    // Reads the IDs through a handle opened without read or write access, which Windows grants
    // even for interfaces that refuse to be opened for reading and writing.
    bool peekAttributes(const std::string &path, std::uint16_t &vendorId,
                        std::uint16_t &productId) override;
    // Likewise through a handle without read or write access.
    bool peekReportLength(const std::string &path, int &length) override;
    bool peekProductString(const std::string &path, ProductStringBuffer &buffer) override;

private:
    unsigned long writeTimeoutMs_;
};

} // namespace rcprog
