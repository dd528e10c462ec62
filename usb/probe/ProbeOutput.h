#pragma once

#include "HandleCount.h"
#include "HidPlatform.h"
#include "ProbeRun.h"

#include <functional>
#include <string>

namespace rcprog::probe {

// Where the output lines of a probe go, one call per line, without the line end.
using LineSink = std::function<void(const std::string &line)>;
// How a probe counts the process's handles: countHandles, or a stand-in in tests.
using HandleCounter = std::function<HandleCount()>;

// Prints each line on stdout and flushes it, so that a probe that is stopped midway still
// shows how far it came.
LineSink standardOutput();

// "none", "access-denied", "system-device", "other".
const char *openErrorName(OpenError error);
// A Latin-1 or UTF-8 byte string quoted for one output line: printable ASCII as is, everything
// else and the double quote as \xNN.
std::string quoted(const std::string &text);
// "handles WHEN: process-count=N table-count=N", "unreadable" for a count without an answer.
std::string handlesLine(const std::string &when, const HandleCount &count);
// "SUBJECT: ok" or "SUBJECT: FAILED", followed by " - DETAIL" when there is a detail.
std::string verdictLine(const std::string &subject, bool ok, const std::string &detail);

// The output of rcprog-hidprobe, the Windows probe, which scripts/test-windows reads:
//
//   search: VVVV:PPPP (search pass|search pass with connect steps)
//   handles before: process-count=N table-count=N
//   interface: open=ok|failed(WHY) vid=VVVV pid=PPPP input-report-length=N product="NAME"
//              match=yes|no path="PATH"                       (one line each)
//   interfaces examined: N
//   result: matched|no match[ (a matching interface refused access)]
//   opened: report-data-length=N product="NAME"               (connect steps, at a match)
//   handles while open: ...
//   write: N bytes ok|failed after N ms                       (a requested write)
//   handles after: ...
//   handle check: ok|FAILED[ - DETAIL]
//
// The plan makes either the plain search pass or the one with the connect steps, and at most
// one write.
class HidprobeOutput : public ProbeListener
{
public:
    HidprobeOutput(const ProbePlan &plan, LineSink sink, HandleCounter count);

    // 0; 1 when a handle was left open, or a requested write was refused, failed or found no
    // device.
    int exitStatus() const { return failed_ || !balanced_ ? 1 : 0; }

    void examined(const InterfaceSeen &interface) override;
    void at(Moment moment) override;
    void searched(const SearchResult &result, const std::vector<InterfaceSeen> &seen) override;
    void connected(const SearchResult &result, const OpenedDevice &device,
                   const std::vector<InterfaceSeen> &seen) override;
    void wrote(const WriteAttempt &attempt) override;

private:
    void passLines(const SearchResult &result, const std::vector<InterfaceSeen> &seen);

    ProbePlan plan_;
    LineSink sink_;
    HandleCounter count_;
    HandleCount before_;
    bool matched_ = false;
    bool failed_ = false;
    bool balanced_ = false;
};

// The output of rcprog-hidraw-probe, the Linux probe, which the kernel test reads:
//
//   interface path=P vendor=VVVV product=PPPP inputReportLength=N name="NAME" matched=yes|no
//   interface path=P open=failed
//   fds before=N
//   search matched=yes|no accessDenied=yes|no
//   fds afterSearch=N
//   open matched=yes|no reportDataLength=N name="NAME" infoHandle=yes|no writeHandle=yes|no
//   fds whileOpen=N
//   write n=I ok=yes|no
//   fds afterClose=N
//
// An unreadable length, or fd count, is -1; the name is printed as read.
class HidrawProbeOutput : public ProbeListener
{
public:
    // The run of rcprog-hidraw-probe for the receiver: each interface examined on its own, a
    // search pass, a pass with the connect steps, and `writes` opening reports of a programming
    // pass (report ID 0, 03 01, zeros, as long as the device's reports), 50 ms apart.
    static ProbePlan plan(int writes);

    HidrawProbeOutput(const ProbePlan &plan, LineSink sink, HandleCounter count);

    void examined(const InterfaceSeen &interface) override;
    void at(Moment moment) override;
    void searched(const SearchResult &result, const std::vector<InterfaceSeen> &seen) override;
    void connected(const SearchResult &result, const OpenedDevice &device,
                   const std::vector<InterfaceSeen> &seen) override;
    void wrote(const WriteAttempt &attempt) override;

private:
    ProbePlan plan_;
    LineSink sink_;
    HandleCounter count_;
};

} // namespace rcprog::probe
