// Times whole programming passes against the simulated receiver with the real pauses, paced
// exactly as the programming thread paces them, and compares the wall time with the pauses
// the protocol mandates.
#include "ConfigurationLoader.h"
#include "ProgrammingPass.h"
#include "SimulatedHid.h"
#include "StopSignal.h"
#include "UsbReceiverDots.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

class TimedSink : public PassSink
{
public:
    TimedSink(rcprog::SimulatedHid &hid, rcprog::HidHandle handle) : hid_(hid), handle_(handle) { }
    bool report(const std::uint8_t *bytes, std::size_t length) override
    {
        ++reports;
        return hid_.write(handle_, bytes, length);
    }
    bool pause(int ms) override
    {
        mandatedMs += ms;
        return stop_.sleepFor(ms);
    }
    long reports = 0;
    long mandatedMs = 0;

private:
    rcprog::SimulatedHid &hid_;
    rcprog::HidHandle handle_;
    StopSignal stop_;
};

void run(const char *name, const ConfigurationRecord &record, int passes)
{
    rcprog::SimulatedHid hid;
    hid.plug({"bench", 0x04B4, 0xF231, 9, u"Bench"});
    const rcprog::HidHandle handle = hid.open("bench");
    UsbReceiverDots::preparePacing();
    std::vector<double> walls;
    long reports = 0, mandated = 0;
    std::vector<std::uint8_t> buffer(9, 0);
    for (int i = 0; i < passes; ++i) {
        TimedSink sink(hid, handle);
        const auto start = std::chrono::steady_clock::now();
        runProgrammingPass(record, 8, buffer, sink);
        walls.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count());
        reports = sink.reports;
        mandated = sink.mandatedMs;
        hid.clearReports();
    }
    std::sort(walls.begin(), walls.end());
    const double median = walls[walls.size() / 2];
    std::printf("pass %s reports=%ld mandated_ms=%ld wall_ms=%.1f ratio=%.4f\n", name, reports,
                mandated, median, median / double(mandated));
    std::fflush(stdout);
}

} // namespace

int main()
{
    run("minimal", defaultConfiguration(), 15);

    ConfigurationRecord full = defaultConfiguration();
    auto &block = full.configurationBlock;
    block[BlockIndex::quantityOfBytesInFlashBlock] = 64;
    block[BlockIndex::quantityOfRemoteControls] = 8;
    block[BlockIndex::haveMacro] = 1;
    for (int n = 1; n <= 8; ++n) {
        block[std::size_t(BlockIndex::maxSize(n))] = 4;
        full.flashData[std::size_t(n - 1)] = QString(512, u'A'); // 4 flash blocks of 64 bytes
    }
    full.flashMacro = QString(256, u'C');
    full.canChangeProductName = 1;
    full.newNameOfDevice = QStringLiteral("Benchmark receiver");
    run("full", full, 5);
    return 0;
}
