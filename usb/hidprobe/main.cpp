// rcprog-hidprobe: runs one device search pass over the Windows HID backend and lists every HID
// interface the pass examined, with the process handle count before and after the pass.
//
//   rcprog-hidprobe [--ids VVVV:PPPP] [--open] [--write HEXBYTES]
//
// --ids       searches for other IDs than the receiver's 04B4:F231 (hexadecimal)
// --open      carries out the connect steps at the match, shows what they read, closes again
// --write     as --open, then writes one report (the bytes given, padded with zeros to the
//             device's report length) through the write handle
//
// Exit status: 0 on success, 1 when a handle was left open or a requested write failed or found
// no device, 2 on a usage error. The backend's own checks, which need no HID device, are
// rcprog-winhid-selftest.

#include "HandleCount.h"
#include "ProbeArguments.h"
#include "ProbeOutput.h"
#include "ProbeRun.h"
#include "WinHid.h"

#include <cstdio>
#include <string>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: rcprog-hidprobe [--ids VVVV:PPPP] [--open] [--write HEXBYTES]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    using namespace rcprog::probe;

    ProbePlan plan;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--ids" && i + 1 < argc) {
            if (!parseIdPair(argv[++i], plan.vendorId, plan.productId))
                return usage();
        } else if (arg == "--open") {
            plan.connect = true;
        } else if (arg == "--write" && i + 1 < argc) {
            if (!parseHexBytes(argv[++i], plan.report))
                return usage();
            plan.connect = true;
            plan.writes = 1;
        } else {
            return usage();
        }
    }
    plan.search = !plan.connect;

    rcprog::WinHid backend;
    HidprobeOutput output(plan, standardOutput(), countHandles);
    runProbe(backend, plan, output);
    return output.exitStatus();
}
