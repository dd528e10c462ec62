// rcprog-cli program FILE --all: one pass into every receiver present, all at once.
#include "CliCommon.h"
#include "DeviceSearch.h"
#include "Pacer.h"
#include "ParallelPasses.h"
#include "ProgramSupport.h"

#include <chrono>
#include <cstdio>

namespace cli {

int programAll(const ProgramOptions &options, ProgramContext &context)
{
    ParallelPasses parallel(context.platform, context.record, context.source);
    // Ctrl-C ends the wait for a receiver, or every pass under way between two reports.
    Pacer waiting;
    const InterruptWatcher interrupts([&] {
        waiting.requestStop();
        parallel.requestStop();
    });

    // Every matching interface in enumeration order, once there is at least one.
    const auto deadline = std::chrono::steady_clock::now()
                          + std::chrono::milliseconds(qint64(options.waitSeconds * 1000));
    std::vector<rcprog::OpenedDevice> receivers;
    bool denied = false;
    for (;;) {
        receivers = rcprog::openAllPass(*context.platform, rcprog::kReceiverVendorId,
                                        rcprog::kReceiverProductId, &denied);
        if (!receivers.empty())
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            return noReceiver(denied);
        if (!waiting.idleFor(200))
            return kExitInterrupted;
    }
    if (denied)
        std::fputs("rcprog-cli: a receiver is present, but access to it was denied "
                   "(install the udev rule, see README); it is left out\n",
                   stderr);

    const std::vector<RecordedPass> passes = parallel.run(receivers);
    // Every pass has ended: now their lines go to the log.
    for (const RecordedPass &pass : passes)
        context.log->append(pass.record);

    int ok = 0, failed = 0;
    bool interrupted = false;
    for (std::size_t i = 0; i < passes.size(); ++i) {
        const PassRecord &record = passes[i].record;
        ++(record.result == PassResult::Ok ? ok : failed);
        interrupted = interrupted || record.result == PassResult::Interrupted;
        printUtf8(stdout, receiverLine(int(i) + 1, record) + QLatin1Char('\n'));
    }
    printUtf8(stdout, doneLine(ok, failed) + QLatin1Char('\n'));
    std::fflush(stdout);
    if (interrupted)
        return kExitInterrupted;
    if (failed)
        return kExitWriteFailed;
    return denied ? kExitAccessDenied : kExitOk;
}

} // namespace cli
