#pragma once

#include "DeviceSearch.h"
#include "HidPlatform.h"
#include "RecordingPlatform.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace rcprog::probe {

// What one probe run does, in this order.
struct ProbePlan
{
    int vendorId = kReceiverVendorId;
    int productId = kReceiverProductId;
    // First open every listed interface on its own and report what it shows.
    bool examineEach = false;
    // A search pass, which must leave no handle open.
    bool search = false;
    // A search pass with the connect steps; at a match, the writes below go through its write
    // handle, and then both of its handles are closed again.
    bool connect = false;
    // The report written `writes` times, padded with zeros to the device's report length.
    std::vector<std::uint8_t> report;
    int writes = 0;
    // A report longer than the device's is cut to its length when set, refused otherwise.
    bool cutLongReport = false;
    // How long to wait after each write.
    std::chrono::milliseconds pauseAfterWrite{0};
};

// The moments at which a run stops for the listener to count the process's handles.
enum class Moment {
    Before, // after examining each interface, before the passes
    AfterSearch, // after the plain search pass
    WhileOpen, // after the pass with the connect steps, before the writes
    End, // after everything the run opened has been closed again
};

// One write of the report through the write handle.
struct WriteAttempt
{
    int number = 0; // 1, 2, ...
    std::size_t given = 0; // bytes of the report as given
    std::size_t reportLength = 0; // the device's report length, report-ID byte included
    bool refused = false; // longer than a report (and not to be cut): nothing was written
    bool ok = false; // the whole report was written
    long long milliseconds = 0; // how long the write took
};

// Told of every step of a run as it happens.
class ProbeListener
{
public:
    virtual ~ProbeListener() = default;

    virtual void examined(const InterfaceSeen &interface) = 0;
    virtual void at(Moment moment) = 0;
    // The plain search pass and what it saw of each interface it examined.
    virtual void searched(const SearchResult &result, const std::vector<InterfaceSeen> &seen) = 0;
    // The pass with the connect steps; `device` holds its handles when the result matched.
    virtual void connected(const SearchResult &result, const OpenedDevice &device,
                           const std::vector<InterfaceSeen> &seen)
            = 0;
    virtual void wrote(const WriteAttempt &attempt) = 0;
};

// Runs the plan on the platform: examines each interface (examineEach), counts (Before), makes
// the search pass (search) and counts (AfterSearch), makes the pass with the connect steps
// (connect), counts (WhileOpen), writes at a match, closes what it opened, and counts (End).
void runProbe(HidPlatform &platform, const ProbePlan &plan, ProbeListener &listener);

} // namespace rcprog::probe
