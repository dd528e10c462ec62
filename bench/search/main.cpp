// Times one search pass of the Linux hidraw backend over 64 interfaces of other devices in a
// fake sysfs tree, none of which is the receiver: what every poll costs while no receiver is
// plugged in. Prints how many interfaces a pass opened (through a counting wrapper) and the
// median CPU time (user + system) of a pass in microseconds.

#include "CountingPlatform.h"
#include "DeviceSearch.h"
#include "FakeSysfs.h"
#include "LinuxHidraw.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kInterfaces = 64;
constexpr int kWarmUpPasses = 20;
constexpr int kPasses = 501;

long long cpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

} // namespace

int main()
{
    // A keyboard with a vendor collection: a descriptor of ordinary size.
    const QByteArray descriptor = QByteArray::fromHex(
            "05 01 09 06 A1 01 85 01 05 07 19 E0 29 E7 15 00 25 01 75 01 95 08 81 02 95 01 75 08"
            "81 01 95 06 75 08 15 00 26 FF 00 19 00 2A FF 00 81 00 C0"
            "06 00 FF 09 01 A1 01 85 03 15 00 26 FF 00 75 08 95 40 09 01 81 02 95 20 09 02 91 02"
            "C0");
    rcprog::test::FakeSysfs fake;
    if (!fake.isValid())
        return 1;
    for (int number = 0; number < kInterfaces; ++number) {
        const quint16 vendor = quint16(0x1000 + number);
        const quint16 product = quint16(0x2000 + number);
        if (!fake.add(number, vendor, product, descriptor,
                      QByteArray("Interface ") + QByteArray::number(number), number % 4 != 3))
            return 1;
    }

    rcprog::LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    CountingPlatform counting(hid);
    auto pass = [&] {
        return rcprog::searchPass(counting, rcprog::kReceiverVendorId, rcprog::kReceiverProductId)
                .matched;
    };
    for (int i = 0; i < kWarmUpPasses; ++i)
        if (pass())
            return 1;
    counting.resetOpens();
    std::vector<long long> times;
    times.reserve(kPasses);
    for (int i = 0; i < kPasses; ++i) {
        const long long start = cpuNanoseconds();
        const bool found = pass();
        times.push_back(cpuNanoseconds() - start);
        if (found)
            return 1;
    }
    std::nth_element(times.begin(), times.begin() + kPasses / 2, times.end());
    std::printf("search-pass interfaces=%d opens=%d cpu_us_median=%lld\n", kInterfaces,
                counting.opens() / kPasses, (times[kPasses / 2] + 500) / 1000);
    return 0;
}
