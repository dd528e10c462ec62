#pragma once

#include "HidPlatform.h"

namespace rcprog {

// Passes every call through to another platform: the base of wrappers that watch or count what
// a search pass does without changing it.
class ForwardingPlatform : public HidPlatform
{
public:
    explicit ForwardingPlatform(HidPlatform &inner) : inner_(inner) { }

    std::vector<std::string> listInterfaces() override { return inner_.listInterfaces(); }
    HidHandle open(const std::string &path, OpenError *error = nullptr) override
    {
        return inner_.open(path, error);
    }
    bool attributes(HidHandle handle, std::uint16_t &vendorId, std::uint16_t &productId) override
    {
        return inner_.attributes(handle, vendorId, productId);
    }
    bool inputReportLength(HidHandle handle, int &length) override
    {
        return inner_.inputReportLength(handle, length);
    }
    bool productString(HidHandle handle, ProductStringBuffer &buffer) override
    {
        return inner_.productString(handle, buffer);
    }
    void close(HidHandle handle) override { inner_.close(handle); }
    bool write(HidHandle handle, const std::uint8_t *data, std::size_t length) override
    {
        return inner_.write(handle, data, length);
    }
    bool peekAttributes(const std::string &path, std::uint16_t &vendorId,
                        std::uint16_t &productId) override
    {
        return inner_.peekAttributes(path, vendorId, productId);
    }
    bool peeksWithoutOpening() const override { return inner_.peeksWithoutOpening(); }
    bool peekReportLength(const std::string &path, int &length) override
    {
        return inner_.peekReportLength(path, length);
    }
    bool peekProductString(const std::string &path, ProductStringBuffer &buffer) override
    {
        return inner_.peekProductString(path, buffer);
    }

protected:
    HidPlatform &inner_;
};

} // namespace rcprog
