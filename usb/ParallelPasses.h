#pragma once

#include "ConfigurationLoader.h"
#include "ConfigurationRecord.h"
#include "DeviceSearch.h"
#include "HidPlatform.h"
#include "LinkPass.h"
#include "Pacer.h"

#include <memory>
#include <mutex>
#include <vector>

// One pass into each of several receivers, all at once: each receiver gets a link of its own
// (its handles and its report length), a thread of its own that runs the same pass as the
// programming thread, and a pacer of its own, so that every receiver keeps its own pauses and a
// failure on one never touches another's pass.
class ParallelPasses
{
public:
    ParallelPasses(std::shared_ptr<rcprog::HidPlatform> platform, ConfigurationRecord record,
                   ConfigurationSource source);
    ParallelPasses(const ParallelPasses &) = delete;
    ParallelPasses &operator=(const ParallelPasses &) = delete;

    // Runs one pass into each receiver (as openAllPass opened them) and returns when all have
    // ended, with the receivers' handles closed. The passes come back in the receivers' order.
    std::vector<RecordedPass> run(const std::vector<rcprog::OpenedDevice> &receivers);

    // Stops every pass under way between two reports, and those of a later run() at once. Any
    // thread may call it (not a signal handler).
    void requestStop();

private:
    const std::shared_ptr<rcprog::HidPlatform> platform_;
    const ConfigurationRecord record_;
    const ConfigurationSource source_;
    std::mutex mutex_; // guards pacers_ and stop_
    std::vector<std::unique_ptr<Pacer>> pacers_;
    bool stop_ = false;
};
