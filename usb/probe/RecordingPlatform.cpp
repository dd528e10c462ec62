#include "RecordingPlatform.h"

namespace rcprog::probe {

HidHandle RecordingPlatform::open(const std::string &path, OpenError *error)
{
    OpenError why = OpenError::None;
    const HidHandle handle = inner_.open(path, &why);
    if (error)
        *error = why;
    if (indexOf(path) < 0) { // the first open of a path in the pass is its probe handle
        InterfaceSeen entry;
        entry.path = path;
        entry.opened = handle != kNullHandle;
        entry.openError = why;
        examined_.push_back(entry);
        if (handle != kNullHandle)
            probeHandles_[handle] = examined_.size() - 1;
    }
    return handle;
}

bool RecordingPlatform::attributes(HidHandle handle, std::uint16_t &vendorId,
                                   std::uint16_t &productId)
{
    const bool ok = inner_.attributes(handle, vendorId, productId);
    const auto probe = probeHandles_.find(handle);
    if (ok && probe != probeHandles_.end()) {
        InterfaceSeen &entry = examined_[probe->second];
        entry.idsRead = true;
        entry.vendorId = vendorId;
        entry.productId = productId;
    }
    return ok;
}

void RecordingPlatform::close(HidHandle handle)
{
    const auto probe = probeHandles_.find(handle);
    if (probe != probeHandles_.end()) {
        readLengthAndName(inner_, handle, examined_[probe->second]);
        probeHandles_.erase(probe);
    }
    inner_.close(handle);
}

bool RecordingPlatform::peekAttributes(const std::string &path, std::uint16_t &vendorId,
                                       std::uint16_t &productId)
{
    const bool ok = inner_.peekAttributes(path, vendorId, productId);
    const int index = indexOf(path);
    if (ok && index >= 0) {
        InterfaceSeen &entry = examined_[std::size_t(index)];
        entry.idsPeeked = true;
        entry.vendorId = vendorId;
        entry.productId = productId;
    }
    return ok;
}

int RecordingPlatform::indexOf(const std::string &path) const
{
    for (std::size_t i = 0; i < examined_.size(); ++i)
        if (examined_[i].path == path)
            return int(i);
    return -1;
}

} // namespace rcprog::probe
