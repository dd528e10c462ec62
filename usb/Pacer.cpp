#include "Pacer.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cstdint>
#include <thread>

namespace {

// Makes the calling thread's timed waits end as close to their time as the system allows,
// once per thread: the default timer slack of 50 us would add up over the dozens of pauses of a
// pass.
void prepareThisThread()
{
    thread_local bool prepared = false;
    if (prepared)
        return;
    prepared = true;
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

} // namespace

void Pacer::requestStop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    changed_.notify_all();
}

bool Pacer::stopRequested() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
}

bool Pacer::sleepFor(int ms)
{
    prepareThisThread();
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline
            = Clock::now() + std::chrono::microseconds(std::int64_t(ms) * 1000 / timeDivisor_);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (changed_.wait_until(lock, deadline - kActiveWait, [this] { return stop_; }))
            return false;
    }
    while (Clock::now() < deadline) {
        if (stopRequested())
            return false;
        std::this_thread::yield();
    }
    return !stopRequested();
}

bool Pacer::idleFor(int ms)
{
    const auto deadline = std::chrono::steady_clock::now()
                          + std::chrono::microseconds(std::int64_t(ms) * 1000 / timeDivisor_);
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_until(lock, deadline, [this] { return stop_; });
}

void Pacer::markFinished()
{
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
}

bool Pacer::finished() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}
