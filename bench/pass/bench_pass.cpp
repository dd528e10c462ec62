// Times whole programming passes against the simulated receiver with the real pauses, sent by
// the same code as the programming thread and rcprog-cli program (a pass through a device link,
// paced by a pacer), and compares the wall time with the pauses the protocol mandates; then the
// same for eight receivers at once, as rcprog-cli program --all programs them.
#include "ConfigurationLoader.h"
#include "DeviceLink.h"
#include "DeviceSearch.h"
#include "LinkPass.h"
#include "Pacer.h"
#include "ParallelPasses.h"
#include "ProgrammingPass.h"
#include "SimulatedHid.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// The pauses of one pass of the record, in milliseconds, as the protocol mandates them.
long mandatedMs(const ConfigurationRecord &record, int reportDataLength)
{
    std::vector<std::uint8_t> buffer(reportBufferSize(reportDataLength), 0);
    long ms = 0;
    for (const PassStep &step : collectPassSteps(record, reportDataLength, buffer))
        if (step.kind == PassStep::Kind::Pause)
            ms += step.ms;
    return ms;
}

void run(const char *name, const ConfigurationRecord &record, int passes)
{
    auto hid = std::make_shared<rcprog::SimulatedHid>();
    hid->plug({"bench", 0x04B4, 0xF231, 9, u"Bench"});
    DeviceLink link(hid);
    rcprog::OpenedDevice opened;
    if (!rcprog::openPass(*hid, rcprog::kReceiverVendorId, rcprog::kReceiverProductId, opened)
                 .matched) {
        std::fprintf(stderr, "bench-pass: the simulated receiver could not be opened\n");
        std::exit(1);
    }
    const std::uint64_t serial = link.publish(opened);
    link.markConnected();

    Pacer pacer;
    std::vector<double> walls;
    qint64 reports = 0;
    std::vector<std::uint8_t> buffer(reportBufferSize(opened.reportDataLength), 0);
    for (int i = 0; i < passes; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const LinkPassOutcome outcome
                = runLinkPass(link, serial, opened.reportDataLength, record, buffer, pacer);
        walls.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count());
        if (!outcome.finished || outcome.failed != 0) {
            std::fprintf(stderr, "bench-pass: a write to the simulated receiver failed\n");
            std::exit(1);
        }
        reports = outcome.attempted;
        hid->clearReports();
    }
    link.close();
    std::sort(walls.begin(), walls.end());
    const double median = walls[walls.size() / 2];
    const long mandated = mandatedMs(record, opened.reportDataLength);
    std::printf("pass %s reports=%lld mandated_ms=%ld wall_ms=%.1f ratio=%.4f\n", name,
                (long long)reports, mandated, median, median / double(mandated));
    std::fflush(stdout);
}

// One pass into each of `receivers` simulated receivers at once, `passes` times; the wall time
// of all of them against the pauses of one.
void runParallel(const ConfigurationRecord &record, int receivers, int passes)
{
    auto hid = std::make_shared<rcprog::SimulatedHid>();
    for (int i = 0; i < receivers; ++i)
        hid->plug({"bench" + std::to_string(i), 0x04B4, 0xF231, 9, u"Bench"});
    ParallelPasses parallel(hid, record, {});
    std::vector<double> walls;
    for (int i = 0; i < passes; ++i) {
        const std::vector<rcprog::OpenedDevice> opened
                = rcprog::openAllPass(*hid, rcprog::kReceiverVendorId, rcprog::kReceiverProductId);
        if (int(opened.size()) != receivers) {
            std::fprintf(stderr, "bench-pass: the simulated receivers could not be opened\n");
            std::exit(1);
        }
        const auto start = std::chrono::steady_clock::now();
        const std::vector<RecordedPass> results = parallel.run(opened);
        walls.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count());
        for (const RecordedPass &pass : results) {
            if (pass.record.result != PassResult::Ok) {
                std::fprintf(stderr, "bench-pass: a write to a simulated receiver failed\n");
                std::exit(1);
            }
        }
        hid->clearReports();
    }
    std::sort(walls.begin(), walls.end());
    const double median = walls[walls.size() / 2];
    const long mandated = mandatedMs(record, 8);
    std::printf("pass parallel receivers=%d mandated_ms=%ld wall_ms=%.1f ratio=%.4f\n", receivers,
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
    runParallel(full, 8, 5);
    return 0;
}
