#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// Paces a worker: its pauses (the precise ones of a programming pass, and the plain sleeps
// between polls), and a stop request that ends either at once. The programming
// thread, the connection monitor, rcprog-cli program and the pass benchmark all pause through
// one of these, so a pause ends the same way everywhere and a stop ends a worker between two
// steps, within milliseconds.
class Pacer
{
public:
    // `timeDivisor` divides every pause: 1 keeps the real timing, which the program and the
    // command-line tool always use; the soak benchmark and tests run the threads faster.
    explicit Pacer(int timeDivisor = 1) : timeDivisor_(timeDivisor < 1 ? 1 : timeDivisor) { }

    // Asks the paced work to stop: a pause under way ends at once, later ones do not begin.
    // Any thread may call it (not a signal handler: it takes a lock).
    void requestStop();
    bool stopRequested() const;

    // The precise pause of a programming pass: pauses `ms` milliseconds; returns false (early)
    // when a stop was requested. A pause is never shorter than asked for. A timed wait wakes
    // tens to hundreds of microseconds late, which adds up over the dozens of pauses of a pass;
    // so it wakes a little early and waits out the rest actively. The first pause on a thread
    // also makes that thread's timed waits end as close to their time as the system allows.
    bool sleepFor(int ms);
    // The wait of an idle worker between two polls: sleeps at least `ms` milliseconds without
    // spending processor time on the end; returns false (early) when a stop was requested.
    bool idleFor(int ms);

    // The worker's last step: everything it did is then visible to whoever calls finished(),
    // also to ThreadSanitizer, which cannot see the toolkit's own thread join.
    void markFinished();
    bool finished() const;

    // Marks the pacer finished when the worker's run() is left, however it is left.
    class FinishGuard
    {
    public:
        explicit FinishGuard(Pacer &pacer) : pacer_(pacer) { }
        ~FinishGuard() { pacer_.markFinished(); }
        FinishGuard(const FinishGuard &) = delete;
        FinishGuard &operator=(const FinishGuard &) = delete;

    private:
        Pacer &pacer_;
    };

private:
    static constexpr std::chrono::microseconds kActiveWait{300};

    const int timeDivisor_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool finished_ = false;
};
