// rcprog-search-bench: the CPU time of one search pass of the Linux hidraw backend for the
// receiver, against hidapi's hid_enumerate for the same IDs, over the HID devices of the running
// kernel. Each is timed over N passes (default 31) after a few to warm up, and the medians are
// printed in microseconds:
//
//   rcprog-search-bench [--passes N]
//   search-pass kernel interfaces=I rcprog_us=N hidapi_us=M
//
// Exits 1 when a receiver is present (the pass would stop early) or hidapi cannot start.
#include "DeviceSearch.h"
#include "LinuxHidraw.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr int kWarmUp = 3;

long long cpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// The median CPU time of `run` over `passes` runs, in microseconds.
long long medianMicroseconds(int passes, const std::function<void()> &run)
{
    for (int i = 0; i < kWarmUp; ++i)
        run();
    std::vector<long long> times;
    for (int i = 0; i < passes; ++i) {
        const long long start = cpuNanoseconds();
        run();
        times.push_back(cpuNanoseconds() - start);
    }
    std::nth_element(times.begin(), times.begin() + passes / 2, times.end());
    return (times[std::size_t(passes / 2)] + 500) / 1000;
}

} // namespace

int main(int argc, char **argv)
{
    int passes = 31;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--passes") == 0 && i + 1 < argc) {
            passes = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: rcprog-search-bench [--passes N]\n");
            return 2;
        }
    }
    if (passes < 1) {
        std::fprintf(stderr, "usage: rcprog-search-bench [--passes N]\n");
        return 2;
    }

    rcprog::LinuxHidraw platform;
    const std::size_t interfaces = platform.listInterfaces().size();
    bool found = false;
    const long long rcprogUs = medianMicroseconds(passes, [&] {
        found = rcprog::searchPass(platform, rcprog::kReceiverVendorId, rcprog::kReceiverProductId)
                        .matched
                || found;
    });
    if (hid_init() != 0) {
        std::fprintf(stderr, "rcprog-search-bench: hid_init failed\n");
        return 1;
    }
    const long long hidapiUs = medianMicroseconds(passes, [&] {
        hid_device_info *devices
                = hid_enumerate(rcprog::kReceiverVendorId, rcprog::kReceiverProductId);
        found = devices != nullptr || found;
        hid_free_enumeration(devices);
    });
    hid_exit();
    std::printf("search-pass kernel interfaces=%zu rcprog_us=%lld hidapi_us=%lld\n", interfaces,
                rcprogUs, hidapiUs);
    if (found) {
        std::fprintf(stderr, "rcprog-search-bench: a receiver is present\n");
        return 1;
    }
    return 0;
}
