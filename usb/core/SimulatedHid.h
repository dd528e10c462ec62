#pragma once

#include "HidPlatform.h"
#include "SystemCollections.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace rcprog {

// An in-memory set of HID interfaces standing in for the operating system: interfaces can be
// plugged and unplugged at any time from any thread, operations can be made to fail, writes can
// be made to hang, and every report written is recorded with the time it arrived.
class SimulatedHid : public HidPlatform
{
public:
    struct Interface
    {
        std::string path;
        std::uint16_t vendorId = 0x04B4;
        std::uint16_t productId = 0xF231;
        int inputReportLength = 9;
        std::u16string productString;
        // The top-level collections of its report descriptor: a vendor-defined one by default.
        // An interface whose collections the system holds is refused as a system device.
        std::vector<CollectionUsage> collections{{0xFF00, 0x01}};
    };

    enum class Fault { Open, Attributes, ReportLength, ProductString, Write, AccessDenied };

    struct Report
    {
        std::string path;
        std::vector<std::uint8_t> bytes;
        std::chrono::steady_clock::time_point time;
    };

    // Plugs an interface in; it is listed after those already present. Plugging a path that is
    // present replaces it (the old handles then refer to a device that is gone).
    void plug(const Interface &interface);
    void unplug(const std::string &path);
    // Unplugs `path` and plugs `interface` in at one instant: no call in between sees either
    // state alone (a receiver swapped, or re-enumerated, faster than anything polls).
    void swap(const std::string &path, const Interface &interface);
    bool isPlugged(const std::string &path) const;

    // The next `count` calls of the operation on `path` fail (count < 0: until cleared).
    void setFault(const std::string &path, Fault fault, int count = -1);
    void clearFaults();
    // Unplugs `path` right after the `k`-th successful write to it from now on (k >= 1).
    void unplugAfterWrites(const std::string &path, int k);
    // The `k`-th write to `path` from now on (k >= 1) fails, once; the device stays plugged.
    void failWriteNumber(const std::string &path, int k);
    // The `n`-th open of `path` from now on (n >= 1) finds it gone: it is unplugged just before.
    void unplugAtOpen(const std::string &path, int n);
    // While set, writes block until cleared (or the interface is unplugged).
    void setWritesHang(bool hang);
    // Number of writes currently blocked by setWritesHang.
    int hangingWrites() const;
    // While set, peekAttributes tells the IDs without opening anything, as sysfs does on Linux,
    // so that a search pass skips the interfaces of other devices. Default: off, as on Windows,
    // where a search pass opens every interface.
    void setPeeksWithoutOpening(bool peeks);

    std::vector<Report> reports() const;
    std::vector<Report> reportsFor(const std::string &path) const;
    void clearReports();
    int openHandleCount() const;
    int writeAttempts() const;
    int openAttempts() const; // calls of open(), successful or not

    // HidPlatform
    std::vector<std::string> listInterfaces() override;
    HidHandle open(const std::string &path, OpenError *error = nullptr) override;
    bool attributes(HidHandle handle, std::uint16_t &vendorId, std::uint16_t &productId) override;
    bool inputReportLength(HidHandle handle, int &length) override;
    bool productString(HidHandle handle, ProductStringBuffer &buffer) override;
    void close(HidHandle handle) override;
    bool write(HidHandle handle, const std::uint8_t *data, std::size_t length) override;
    bool peekAttributes(const std::string &path, std::uint16_t &vendorId,
                        std::uint16_t &productId) override;
    bool peeksWithoutOpening() const override;
    bool peekReportLength(const std::string &path, int &length) override;
    bool peekProductString(const std::string &path, ProductStringBuffer &buffer) override;

private:
    struct Plugged
    {
        Interface interface;
        std::uint64_t serial = 0;
    };
    struct Open
    {
        std::string path;
        std::uint64_t serial = 0;
    };

    bool takeFault(const std::string &path, Fault fault); // needs mutex_
    const Plugged *live(HidHandle handle) const; // needs mutex_
    const Plugged *find(const std::string &path) const; // needs mutex_
    void unplugLocked(const std::string &path); // needs mutex_

    mutable std::mutex mutex_;
    std::condition_variable hangChanged_;
    std::vector<Plugged> plugged_;
    std::map<HidHandle, Open> open_;
    std::map<std::pair<std::string, Fault>, int> faults_;
    std::map<std::string, int> unplugAfter_;
    std::map<std::string, int> failWrite_;
    std::map<std::string, int> unplugAtOpen_;
    std::vector<Report> reports_;
    HidHandle nextHandle_ = 1;
    std::uint64_t nextSerial_ = 1;
    bool hang_ = false;
    bool peeksWithoutOpening_ = false;
    int hanging_ = 0;
    int writeAttempts_ = 0;
    int openAttempts_ = 0;
};

} // namespace rcprog
