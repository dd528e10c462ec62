#pragma once

#include "DeviceSearch.h"
#include "HidPlatform.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace rcprog::probe {

// What a probe learnt of one HID interface through one handle on it.
struct InterfaceSeen
{
    std::string path;
    bool opened = false;
    OpenError openError = OpenError::None;
    bool idsRead = false;
    bool idsPeeked = false; // read through peekAttributes after a refused open
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool lengthRead = false;
    int inputReportLength = 0;
    bool nameRead = false;
    std::string productName; // by the product-name rule

    // Whether a search pass takes this interface for the device: it opened and the IDs read
    // through its handle are the given ones.
    bool matches(int wantedVendorId, int wantedProductId) const;
};

// Opens one interface on its own, reads everything a search pass can read through its probe
// handle (IDs, input report length, product name) and closes it again.
InterfaceSeen examineInterface(HidPlatform &platform, const std::string &path);

// Passes every call through to another platform and records, for each interface a search pass
// examines, what can be read through its probe handle. The length and product string are read
// just before the pass closes the probe handle, so the pass itself runs unchanged.
class RecordingPlatform : public HidPlatform
{
public:
    explicit RecordingPlatform(HidPlatform &inner) : inner_(inner) { }

    // The interfaces examined so far, in the order the pass first opened them.
    const std::vector<InterfaceSeen> &examined() const { return examined_; }

    std::vector<std::string> listInterfaces() override;
    HidHandle open(const std::string &path, OpenError *error = nullptr) override;
    bool attributes(HidHandle handle, std::uint16_t &vendorId, std::uint16_t &productId) override;
    bool inputReportLength(HidHandle handle, int &length) override;
    bool productString(HidHandle handle, ProductStringBuffer &buffer) override;
    void close(HidHandle handle) override;
    bool write(HidHandle handle, const std::uint8_t *data, std::size_t length) override;
    bool peekAttributes(const std::string &path, std::uint16_t &vendorId,
                        std::uint16_t &productId) override;

private:
    int indexOf(const std::string &path) const;

    HidPlatform &inner_;
    std::vector<InterfaceSeen> examined_;
    std::map<HidHandle, std::size_t> probeHandles_; // open probe handle -> its entry
};

} // namespace rcprog::probe
