#pragma once

#include "DeviceSearch.h"
#include "ForwardingPlatform.h"
#include "HidPlatform.h"
#include "InterfaceSurvey.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace rcprog::probe {

using rcprog::examineInterface;
using rcprog::InterfaceSeen;

// Passes every call through to another platform and records, for each interface a search pass
// examines, what can be read through its probe handle. The length and product string are read
// just before the pass closes the probe handle, so the pass itself runs unchanged.
class RecordingPlatform : public ForwardingPlatform
{
public:
    explicit RecordingPlatform(HidPlatform &inner) : ForwardingPlatform(inner) { }

    // The interfaces examined so far, in the order the pass first opened them.
    const std::vector<InterfaceSeen> &examined() const { return examined_; }

    HidHandle open(const std::string &path, OpenError *error = nullptr) override;
    bool attributes(HidHandle handle, std::uint16_t &vendorId, std::uint16_t &productId) override;
    void close(HidHandle handle) override;
    bool peekAttributes(const std::string &path, std::uint16_t &vendorId,
                        std::uint16_t &productId) override;

private:
    int indexOf(const std::string &path) const;

    std::vector<InterfaceSeen> examined_;
    std::map<HidHandle, std::size_t> probeHandles_; // open probe handle -> its entry
};

} // namespace rcprog::probe
