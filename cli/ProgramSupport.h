#pragma once

#include "ConfigurationLoader.h"
#include "ConfigurationRecord.h"
#include "HidPlatform.h"
#include "PassLog.h"

#include <QString>

#include <functional>
#include <memory>
#include <thread>

// What the three ways of `rcprog-cli program` share: their options, the platform, the pass log,
// Ctrl-C, the wait for a receiver and the result lines.
namespace cli {

struct ProgramOptions
{
    QString file;
    double waitSeconds = 10;
    QString logPath; // where the pass log goes; empty: off
};

// What every way of programming starts from: the file's record and where it came from, the
// platform, and the pass log.
struct ProgramContext
{
    ConfigurationRecord record;
    ConfigurationSource source;
    std::shared_ptr<rcprog::HidPlatform> platform;
    std::unique_ptr<PassLog> log;
};

// The program name in messages and in the pass log.
inline const QString kProgramName = QStringLiteral("rcprog-cli");

// program FILE: one pass into the first receiver.
int programOne(const ProgramOptions &options, ProgramContext &context);
// program FILE --each: one pass into every receiver that is connected, until Ctrl-C.
int programEach(const ProgramOptions &options, ProgramContext &context);
// program FILE --all: one pass into every receiver present, all at once.
int programAll(const ProgramOptions &options, ProgramContext &context);

// Calls `onInterrupt` (on a thread of its own) when Ctrl-C or, where there is one, SIGTERM
// arrives, while the watcher lives; also after a pass, so that output and the log are finished
// before the process ends. Once it is gone those signals are ignored.
class InterruptWatcher
{
public:
    explicit InterruptWatcher(std::function<void()> onInterrupt);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher &) = delete;
    InterruptWatcher &operator=(const InterruptWatcher &) = delete;

private:
#ifndef _WIN32
    int pipe_[2] = {-1, -1};
    std::thread watcher_;
#endif
};

// The exit status and message when no receiver could be had in time: access denied (4) when a
// receiver refused access, no receiver (3) otherwise.
int noReceiver(bool accessDenied);

// The result line of the N-th receiver of --each and --all:
// '#N ok "PRODUCT" DEVICE, W of T reports, S.SS s' ("failed" instead of "ok" when a write failed
// or the pass was stopped; ", interrupted" at the end when it was stopped).
QString receiverLine(int number, const PassRecord &record);
// The summary of --each and --all: "done: N ok, M failed".
QString doneLine(int ok, int failed);

} // namespace cli
