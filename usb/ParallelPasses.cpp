#include "ParallelPasses.h"

#include "DeviceLink.h"
#include "Pacer.h"

#include <thread>

ParallelPasses::ParallelPasses(std::shared_ptr<rcprog::HidPlatform> platform,
                               ConfigurationRecord record, ConfigurationSource source)
    : platform_(std::move(platform)), record_(std::move(record)), source_(std::move(source))
{ }

std::vector<RecordedPass> ParallelPasses::run(const std::vector<rcprog::OpenedDevice> &receivers)
{
    std::vector<Pacer *> pacers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pacers_.clear();
        for (std::size_t i = 0; i < receivers.size(); ++i) {
            pacers_.push_back(std::make_unique<Pacer>());
            if (stop_)
                pacers_.back()->requestStop();
            pacers.push_back(pacers_.back().get());
        }
    }

    std::vector<RecordedPass> passes(receivers.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < receivers.size(); ++i) {
        threads.emplace_back([this, &receivers, &passes, &pacers, i] {
            DeviceLink link(platform_);
            link.publish(receivers[i]);
            link.markConnected();
            const DeviceLink::Snapshot connection = link.snapshot();
            std::vector<std::uint8_t> buffer(reportBufferSize(connection.reportDataLength), 0);
            passes[i] = runRecordedPass(link, connection, record_, source_, buffer, *pacers[i]);
            link.close();
        });
    }
    for (std::thread &t : threads)
        t.join();

    std::lock_guard<std::mutex> lock(mutex_);
    pacers_.clear();
    return passes;
}

void ParallelPasses::requestStop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    for (const auto &pacer : pacers_)
        pacer->requestStop();
}
