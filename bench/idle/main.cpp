// Runs the connection monitor and the programming thread as the window runs them, over the
// simulated receiver with no receiver plugged in, and prints the CPU time the process spent:
//
//   bench-idle [--seconds S]     (default 60)
//   idle seconds=S cpu_ms=N
//
// What the window costs while it waits for a receiver: the monitor's polls, the programming
// thread's checks, and the event loop.
#include "DeviceLink.h"
#include "RecordHandOver.h"
#include "SimulatedHid.h"
#include "UsbConnection.h"
#include "UsbReceiverDots.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace {

long long cpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

int main(int argc, char *argv[])
{
    int seconds = 60;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench-idle [--seconds S]\n");
            return 2;
        }
    }
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: bench-idle [--seconds S]\n");
        return 2;
    }

    QCoreApplication app(argc, argv);
    DeviceLink link(std::make_shared<rcprog::SimulatedHid>());
    RecordHandOver handOver;
    std::vector<std::uint8_t> reportBuffer(9, 0);
    std::uint32_t bytesWritten = 0;
    UsbConnection connection(link);
    UsbReceiverDots dots(link, handOver, reportBuffer, bytesWritten);

    const long long start = cpuMilliseconds();
    connection.start();
    dots.start();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const long long spent = cpuMilliseconds() - start;

    connection.requestStop();
    dots.requestStop();
    connection.wait();
    dots.wait();
    std::printf("idle seconds=%d cpu_ms=%lld\n", seconds, spent);
    return 0;
}
