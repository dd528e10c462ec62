#pragma once

#include <QObject>

// Counts a worker thread's signal in the test's own thread (QSignalSpy would count it in the
// emitting thread, racing with the test reading the count).
class SignalCounter : public QObject
{
public:
    template<typename Sender, typename Signal>
    SignalCounter(Sender *sender, Signal signal)
    {
        QObject::connect(
                sender, signal, this, [this] { ++count_; }, Qt::QueuedConnection);
    }
    int count() const { return count_; }

private:
    int count_ = 0;
};
