// rcprog-hidraw-probe: looks at the hidraw interfaces of a running kernel through the project's
// Linux backend and prints what the device search sees, one fact per line, for the kernel test
// to judge (HidrawProbeOutput in usb/probe/ProbeOutput.h lists the lines):
//
//   rcprog-hidraw-probe [--vendor ID] [--product ID] [--sysfs DIR] [--dev DIR] [--writes N]
//
// It examines each interface on its own, then makes a search pass and a pass with the connect
// steps; with --writes N it writes N opening reports of a programming pass, 50 ms apart, through
// the write handle (HidrawProbeOutput::plan). The fd counts are the entries of
// /proc/self/fd: a search pass must leave none behind, and an open pass exactly two (the info
// and the write handle) until they are closed.

#include "HandleCount.h"
#include "LinuxHidraw.h"
#include "ProbeArguments.h"
#include "ProbeOutput.h"
#include "ProbeRun.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    using namespace rcprog::probe;

    ProbePlan plan = HidrawProbeOutput::plan(0);
    std::string sysfsRoot = "/sys";
    std::string devRoot = "/dev";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (arg == "--vendor")
            ok = parseId(value, plan.vendorId), ++i;
        else if (arg == "--product")
            ok = parseId(value, plan.productId), ++i;
        else if (arg == "--sysfs" && value)
            sysfsRoot = value, ++i;
        else if (arg == "--dev" && value)
            devRoot = value, ++i;
        else if (arg == "--writes" && value)
            plan.writes = int(std::strtol(value, nullptr, 10)), ++i;
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr,
                         "Usage: rcprog-hidraw-probe [--vendor ID] [--product ID] [--sysfs DIR] "
                         "[--dev DIR] [--writes N]\n");
            return 2;
        }
    }

    rcprog::LinuxHidraw platform(sysfsRoot, devRoot);
    HidrawProbeOutput output(plan, standardOutput(), countHandles);
    runProbe(platform, plan, output);
    return 0;
}
