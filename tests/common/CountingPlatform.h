#pragma once

#include "ForwardingPlatform.h"

#include <atomic>

// Passes every call through to another platform and counts the handles it opens: how many
// devices a search pass has woken up.
class CountingPlatform : public rcprog::ForwardingPlatform
{
public:
    using ForwardingPlatform::ForwardingPlatform;

    rcprog::HidHandle open(const std::string &path, rcprog::OpenError *error = nullptr) override
    {
        const rcprog::HidHandle handle = inner_.open(path, error);
        if (handle != rcprog::kNullHandle)
            ++opens_;
        return handle;
    }

    int opens() const { return opens_; }
    void resetOpens() { opens_ = 0; }

private:
    std::atomic<int> opens_{0};
};
