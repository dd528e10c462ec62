#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

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
    // Sleeps `ms` milliseconds; returns false (early) when a stop was requested.
    bool sleepFor(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return !changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
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
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool finished_ = false;
};
