#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// A stop request that wakes an interruptible sleep at once. Worker threads sleep through it so
// that a stop request ends them between two steps, within milliseconds.
class StopSignal
{
public:
    void request()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        changed_.notify_all();
    }
    bool requested() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return stop_;
    }
    // Sleeps `ms` milliseconds; returns false (early) when a stop was requested. A timed wait
    // wakes tens to hundreds of microseconds late, which adds up over the dozens of pauses of a
    // programming pass; so it wakes a little early and waits out the rest actively.
    bool sleepFor(int ms)
    {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (changed_.wait_until(lock, deadline - kActiveWait, [this] { return stop_; }))
                return false;
        }
        while (Clock::now() < deadline) {
            if (requested())
                return false;
            std::this_thread::yield();
        }
        return !requested();
    }

    // The worker's last step: everything it did is then visible to whoever calls finished(),
    // also to ThreadSanitizer, which cannot see the toolkit's own thread join.
    void markFinished()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    bool finished() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return finished_;
    }

    // Marks the signal finished when the worker's run() is left, however it is left.
    class FinishGuard
    {
    public:
        explicit FinishGuard(StopSignal &signal) : signal_(signal) { }
        ~FinishGuard() { signal_.markFinished(); }
        FinishGuard(const FinishGuard &) = delete;
        FinishGuard &operator=(const FinishGuard &) = delete;

    private:
        StopSignal &signal_;
    };

private:
    static constexpr std::chrono::microseconds kActiveWait{300};

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool finished_ = false;
};
