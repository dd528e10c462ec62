#include "SimulatedHid.h"

#include <algorithm>

namespace rcprog {

namespace {

// Like the Windows call: as many whole units as fit, NUL-terminated when there is room.
void fillProductString(const std::u16string &s, ProductStringBuffer &buffer)
{
    buffer.fill(0);
    for (std::size_t i = 0; i < s.size() && 2 * i + 1 < buffer.size(); ++i) {
        buffer[2 * i] = std::uint8_t(s[i] & 0xFF);
        buffer[2 * i + 1] = std::uint8_t(s[i] >> 8);
    }
}

} // namespace

void SimulatedHid::plug(const Interface &interface)
{
    std::lock_guard<std::mutex> lock(mutex_);
    unplugLocked(interface.path);
    plugged_.push_back({interface, nextSerial_++});
}

void SimulatedHid::unplug(const std::string &path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    unplugLocked(path);
}

void SimulatedHid::swap(const std::string &path, const Interface &interface)
{
    std::lock_guard<std::mutex> lock(mutex_);
    unplugLocked(path);
    unplugLocked(interface.path);
    plugged_.push_back({interface, nextSerial_++});
}

void SimulatedHid::unplugLocked(const std::string &path)
{
    plugged_.erase(std::remove_if(plugged_.begin(), plugged_.end(),
                                  [&](const Plugged &p) { return p.interface.path == path; }),
                   plugged_.end());
    hangChanged_.notify_all();
}

bool SimulatedHid::isPlugged(const std::string &path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return find(path) != nullptr;
}

void SimulatedHid::setFault(const std::string &path, Fault fault, int count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[{path, fault}] = count;
}

void SimulatedHid::clearFaults()
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
    unplugAfter_.clear();
    failWrite_.clear();
    unplugAtOpen_.clear();
}

void SimulatedHid::unplugAfterWrites(const std::string &path, int k)
{
    std::lock_guard<std::mutex> lock(mutex_);
    unplugAfter_[path] = k;
}

void SimulatedHid::failWriteNumber(const std::string &path, int k)
{
    std::lock_guard<std::mutex> lock(mutex_);
    failWrite_[path] = k;
}

void SimulatedHid::unplugAtOpen(const std::string &path, int n)
{
    std::lock_guard<std::mutex> lock(mutex_);
    unplugAtOpen_[path] = n;
}

void SimulatedHid::setWritesHang(bool hang)
{
    std::lock_guard<std::mutex> lock(mutex_);
    hang_ = hang;
    hangChanged_.notify_all();
}

int SimulatedHid::hangingWrites() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return hanging_;
}

void SimulatedHid::setPeeksWithoutOpening(bool peeks)
{
    std::lock_guard<std::mutex> lock(mutex_);
    peeksWithoutOpening_ = peeks;
}

std::vector<SimulatedHid::Report> SimulatedHid::reports() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
}

std::vector<SimulatedHid::Report> SimulatedHid::reportsFor(const std::string &path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Report> result;
    for (const Report &r : reports_)
        if (r.path == path)
            result.push_back(r);
    return result;
}

void SimulatedHid::clearReports()
{
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.clear();
}

int SimulatedHid::openHandleCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return int(open_.size());
}

int SimulatedHid::writeAttempts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return writeAttempts_;
}

int SimulatedHid::openAttempts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return openAttempts_;
}

bool SimulatedHid::takeFault(const std::string &path, Fault fault)
{
    const auto it = faults_.find({path, fault});
    if (it == faults_.end() || it->second == 0)
        return false;
    if (it->second > 0)
        --it->second;
    return true;
}

const SimulatedHid::Plugged *SimulatedHid::live(HidHandle handle) const
{
    const auto open = open_.find(handle);
    if (open == open_.end())
        return nullptr;
    for (const Plugged &p : plugged_)
        if (p.interface.path == open->second.path && p.serial == open->second.serial)
            return &p;
    return nullptr;
}

const SimulatedHid::Plugged *SimulatedHid::find(const std::string &path) const
{
    for (const Plugged &p : plugged_)
        if (p.interface.path == path)
            return &p;
    return nullptr;
}

std::vector<std::string> SimulatedHid::listInterfaces()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> paths;
    for (const Plugged &p : plugged_)
        paths.push_back(p.interface.path);
    return paths;
}

HidHandle SimulatedHid::open(const std::string &path, OpenError *error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++openAttempts_;
    if (error)
        *error = OpenError::None;
    const auto gone = unplugAtOpen_.find(path);
    if (gone != unplugAtOpen_.end() && --gone->second <= 0) {
        unplugAtOpen_.erase(gone);
        unplugLocked(path);
    }
    const Plugged *it = find(path);
    if (!it || takeFault(path, Fault::Open)) {
        if (error)
            *error = OpenError::Other;
        return kNullHandle;
    }
    if (heldBySystem(it->interface.collections)) {
        if (error)
            *error = OpenError::SystemDevice;
        return kNullHandle;
    }
    if (takeFault(path, Fault::AccessDenied)) {
        if (error)
            *error = OpenError::AccessDenied;
        return kNullHandle;
    }
    const HidHandle handle = nextHandle_++;
    open_[handle] = {path, it->serial};
    return handle;
}

bool SimulatedHid::attributes(HidHandle handle, std::uint16_t &vendorId, std::uint16_t &productId)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Plugged *p = live(handle);
    if (!p || takeFault(p->interface.path, Fault::Attributes))
        return false;
    vendorId = p->interface.vendorId;
    productId = p->interface.productId;
    return true;
}

bool SimulatedHid::inputReportLength(HidHandle handle, int &length)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Plugged *p = live(handle);
    if (!p || takeFault(p->interface.path, Fault::ReportLength))
        return false;
    length = p->interface.inputReportLength;
    return true;
}

bool SimulatedHid::productString(HidHandle handle, ProductStringBuffer &buffer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Plugged *p = live(handle);
    if (!p || takeFault(p->interface.path, Fault::ProductString))
        return false;
    fillProductString(p->interface.productString, buffer);
    return true;
}

void SimulatedHid::close(HidHandle handle)
{
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(handle);
}

bool SimulatedHid::write(HidHandle handle, const std::uint8_t *data, std::size_t length)
{
    std::unique_lock<std::mutex> lock(mutex_);
    ++writeAttempts_;
    if (hang_ && live(handle)) {
        ++hanging_;
        hangChanged_.wait(lock, [&] { return !hang_ || !live(handle); });
        --hanging_;
    }
    const Plugged *p = live(handle);
    if (!p || takeFault(p->interface.path, Fault::Write))
        return false;
    const std::string path = p->interface.path;
    const auto failing = failWrite_.find(path);
    if (failing != failWrite_.end() && --failing->second <= 0) {
        failWrite_.erase(failing);
        return false;
    }
    reports_.push_back({path, std::vector<std::uint8_t>(data, data + length),
                        std::chrono::steady_clock::now()});
    const auto after = unplugAfter_.find(path);
    if (after != unplugAfter_.end() && --after->second <= 0) {
        unplugAfter_.erase(after);
        unplugLocked(path);
    }
    return true;
}

bool SimulatedHid::peekAttributes(const std::string &path, std::uint16_t &vendorId,
                                  std::uint16_t &productId)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Plugged *p = find(path);
    if (!p)
        return false;
    vendorId = p->interface.vendorId;
    productId = p->interface.productId;
    return true;
}

bool SimulatedHid::peeksWithoutOpening() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return peeksWithoutOpening_;
}

bool SimulatedHid::peekReportLength(const std::string &path, int &length)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Plugged *p = find(path);
    if (!p)
        return false;
    length = p->interface.inputReportLength;
    return true;
}

bool SimulatedHid::peekProductString(const std::string &path, ProductStringBuffer &buffer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Plugged *p = find(path);
    if (!p)
        return false;
    fillProductString(p->interface.productString, buffer);
    return true;
}

} // namespace rcprog
