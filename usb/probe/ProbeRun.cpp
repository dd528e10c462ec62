#include "ProbeRun.h"

#include <thread>

namespace rcprog::probe {

namespace {

WriteAttempt writeReport(HidPlatform &platform, const OpenedDevice &device, const ProbePlan &plan,
                         int number)
{
    WriteAttempt attempt;
    attempt.number = number;
    attempt.given = plan.report.size();
    attempt.reportLength = std::size_t(device.reportDataLength) + 1;
    if (attempt.given > attempt.reportLength && !plan.cutLongReport) {
        attempt.refused = true;
        return attempt;
    }
    std::vector<std::uint8_t> bytes = plan.report;
    bytes.resize(attempt.reportLength, 0);
    const auto start = std::chrono::steady_clock::now();
    attempt.ok = platform.write(device.writeHandle, bytes.data(), bytes.size());
    attempt.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - start)
                                   .count();
    return attempt;
}

} // namespace

void runProbe(HidPlatform &platform, const ProbePlan &plan, ProbeListener &listener)
{
    if (plan.examineEach) {
        for (const std::string &path : platform.listInterfaces())
            listener.examined(examineInterface(platform, path));
    }
    listener.at(Moment::Before);

    if (plan.search) {
        RecordingPlatform recording(platform);
        const SearchResult result = searchPass(recording, plan.vendorId, plan.productId);
        listener.searched(result, recording.examined());
        listener.at(Moment::AfterSearch);
    }

    if (plan.connect) {
        RecordingPlatform recording(platform);
        OpenedDevice device;
        const SearchResult result = openPass(recording, plan.vendorId, plan.productId, device);
        listener.connected(result, device, recording.examined());
        listener.at(Moment::WhileOpen);
        for (int number = 1; result.matched && number <= plan.writes; ++number) {
            listener.wrote(writeReport(platform, device, plan, number));
            if (plan.pauseAfterWrite.count() > 0)
                std::this_thread::sleep_for(plan.pauseAfterWrite);
        }
        if (device.infoHandle != kNullHandle)
            platform.close(device.infoHandle);
        if (device.writeHandle != kNullHandle)
            platform.close(device.writeHandle);
    }
    listener.at(Moment::End);
}

} // namespace rcprog::probe
