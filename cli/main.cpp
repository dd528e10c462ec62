// rcprog-cli: the configuration loader, the report sequence and the device link without the
// window, for scripts, production lines and other tools.
#include "Check.h"
#include "ConfigurationLoader.h"
#include "DeviceLink.h"
#include "DeviceSearch.h"
#include "LinkPass.h"
#include "Pacer.h"
#include "ProgrammingPass.h"
#include "SystemHidPlatform.h"

#ifdef __linux__
#include "LinuxHidraw.h"
#endif

#include <QCoreApplication>
#include <QStringList>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#ifdef _WIN32
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>
#else
#include <atomic>
#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitErrors = 1; // check found errors
constexpr int kExitUsage = 2; // bad arguments, or a file that is missing or unreadable
constexpr int kExitNoReceiver = 3;
constexpr int kExitAccessDenied = 4;
constexpr int kExitWriteFailed = 5;
constexpr int kExitInterrupted = 130;

const char kUsage[]
        = "usage: rcprog-cli COMMAND ...\n"
          "\n"
          "Commands:\n"
          "  record FILE                    Print the configuration record that FILE loads into,\n"
          "                                 as one JSON object.\n"
          "  dump FILE [--passes N]         Print the report sequence of N passes (default 1) of\n"
          "                                 FILE's record for a receiver with 8-byte reports, run\n"
          "                                 back to back over one report buffer that starts all\n"
          "                                 zeros: '# pass K', then 'W' and the 9 report bytes in\n"
          "                                 hex, or 'P' and a pause in milliseconds, one per "
          "line.\n"
          "  check FILE...                  Report problems in configuration files as\n"
          "                                 FILE:LINE: error|warning: message. Exit 1 when any\n"
          "                                 error was found.\n"
          "  program FILE [--wait SECONDS]  Wait up to SECONDS (default 10) for a receiver, write\n"
          "                                 FILE's configuration into it in one pass, and print\n"
          "                                 what was sent. Ctrl-C stops between two reports.\n"
          "  --help                         Show this text (-h does the same).\n"
          "\n"
          "Exit status: 0 success; 1 check found errors; 2 bad arguments or a missing or\n"
          "unreadable FILE; 3 no receiver appeared in time; 4 a receiver is present but access\n"
          "to it was denied; 5 a write to the receiver failed; 130 interrupted.\n";

int usage()
{
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

void printUtf8(FILE *out, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out);
}

// Loads FILE for a command; on failure names it on stderr.
bool load(const QString &path, ConfigurationRecord &record)
{
    switch (loadConfiguration(path, record)) {
    case LoadStatus::Loaded:
        return true;
    case LoadStatus::NotFound:
        printUtf8(stderr,
                  QStringLiteral("rcprog-cli: configuration file not found: %1\n").arg(path));
        return false;
    case LoadStatus::Unreadable:
        printUtf8(stderr,
                  QStringLiteral("rcprog-cli: cannot read configuration file: %1\n").arg(path));
        return false;
    }
    return false;
}

QString jsonString(const QString &s)
{
    QString out = QStringLiteral("\"");
    for (QChar c : s) {
        switch (c.unicode()) {
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        default:
            // Control characters and lone surrogates are escaped so the output stays valid.
            if (c.unicode() < 0x20 || c.isSurrogate())
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

template<typename Ints>
QString jsonInts(const Ints &values)
{
    QStringList parts;
    for (int v : values)
        parts << QString::number(v);
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

int commandRecord(const QStringList &args)
{
    if (args.size() != 1)
        return usage();
    ConfigurationRecord r;
    if (!load(args.at(0), r))
        return kExitUsage;
    QStringList blocks, flash;
    for (const auto &block : r.switchNameBlocks)
        blocks << jsonInts(block);
    for (const QString &f : r.flashData)
        flash << jsonString(f);
    QString out = QStringLiteral("{\n");
    out += QStringLiteral("  \"newNameOfDevice\": %1,\n").arg(jsonString(r.newNameOfDevice));
    out += QStringLiteral("  \"canChangeProductName\": %1,\n").arg(r.canChangeProductName);
    out += QStringLiteral("  \"configurationBlock\": %1,\n").arg(jsonInts(r.configurationBlock));
    out += QStringLiteral("  \"switchNameBlocks\": [\n    %1\n  ],\n")
                   .arg(blocks.join(QStringLiteral(",\n    ")));
    out += QStringLiteral("  \"boolRewritableFromSoftware\": %1,\n")
                   .arg(jsonInts(r.boolRewritableFromSoftware));
    out += QStringLiteral("  \"flashData\": [%1],\n").arg(flash.join(QStringLiteral(", ")));
    out += QStringLiteral("  \"flashMacro\": %1\n}\n").arg(jsonString(r.flashMacro));
    printUtf8(stdout, out);
    return kExitOk;
}

// Prints the steps of a pass as 'W xx xx ...' and 'P ms' lines.
class DumpSink : public PassSink
{
public:
    bool report(const std::uint8_t *bytes, std::size_t length) override
    {
        line_.assign("W");
        for (std::size_t i = 0; i < length; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", unsigned(bytes[i]));
            line_ += hex;
        }
        line_ += '\n';
        std::fputs(line_.c_str(), stdout);
        return true;
    }
    bool pause(int ms) override
    {
        std::printf("P %d\n", ms);
        return true;
    }

private:
    std::string line_;
};

int commandDump(const QStringList &args)
{
    QString file;
    int passes = 1;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--passes") && i + 1 < args.size()) {
            bool ok = false;
            passes = args.at(++i).toInt(&ok);
            if (!ok || passes < 1)
                return usage();
        } else if (file.isNull() && !args.at(i).startsWith(QLatin1String("--"))) {
            file = args.at(i);
        } else {
            return usage();
        }
    }
    if (file.isNull())
        return usage();
    ConfigurationRecord record;
    if (!load(file, record))
        return kExitUsage;
    constexpr int kReportDataLength = 8;
    std::vector<std::uint8_t> buffer(reportBufferSize(kReportDataLength), 0);
    DumpSink sink;
    for (int k = 1; k <= passes; ++k) {
        std::printf("# pass %d\n", k);
        const PassOutcome outcome = runProgrammingPass(record, kReportDataLength, buffer, sink);
        // The programming thread keeps the name as sent; the next pass starts from it.
        if (outcome.nameSent)
            record.newNameOfDevice = outcome.sentName;
    }
    return kExitOk;
}

#ifdef _WIN32

// The pacer that Ctrl-C stops (null: none), guarded by interruptMutex.
std::mutex interruptMutex;
Pacer *interruptPacer = nullptr;

BOOL WINAPI onConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT)
        return FALSE;
    // The system runs a console control handler on a thread of its own, so it may take locks.
    std::lock_guard<std::mutex> lock(interruptMutex);
    if (interruptPacer)
        interruptPacer->requestStop();
    return TRUE;
}

// Turns Ctrl-C into a stop request of a pacer while it lives. The handler stays installed after
// that, ignoring Ctrl-C: the pass is over then.
class InterruptWatcher
{
public:
    explicit InterruptWatcher(Pacer &pacer)
    {
        {
            std::lock_guard<std::mutex> lock(interruptMutex);
            interruptPacer = &pacer;
        }
        SetConsoleCtrlHandler(onConsoleControl, TRUE);
    }
    ~InterruptWatcher()
    {
        std::lock_guard<std::mutex> lock(interruptMutex);
        interruptPacer = nullptr;
    }
    InterruptWatcher(const InterruptWatcher &) = delete;
    InterruptWatcher &operator=(const InterruptWatcher &) = delete;
};

#else

// The write end of the interrupt pipe, for the signal handler (-1: none).
std::atomic<int> interruptPipe{-1};

extern "C" void onInterrupt(int)
{
    // Only what a signal handler may do: one write(2), to a pipe that never blocks.
    const int savedErrno = errno;
    const int fd = interruptPipe.load();
    if (fd >= 0) {
        const char byte = 'i';
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

// Turns SIGINT and SIGTERM into a stop request of a pacer while it lives. A signal handler may
// not take the pacer's lock nor notify its condition, so the handler writes a byte to a pipe and
// a watcher thread, woken by it, asks the pacer to stop. Once the watcher is gone the signals
// are ignored: the pass is over then.
class InterruptWatcher
{
public:
    explicit InterruptWatcher(Pacer &pacer)
    {
        // Without a pipe (no file descriptor left) the signals keep their default action.
        if (::pipe(pipe_) != 0) {
            pipe_[0] = pipe_[1] = -1;
            return;
        }
        for (const int fd : pipe_)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(pipe_[1], F_SETFL, ::fcntl(pipe_[1], F_GETFL) | O_NONBLOCK);
        watcher_ = std::thread([this, &pacer] {
            char byte = 0;
            ssize_t n = 0;
            do
                n = ::read(pipe_[0], &byte, 1);
            while (n < 0 && errno == EINTR);
            if (n == 1 && byte == kInterrupt)
                pacer.requestStop();
        });
        interruptPipe.store(pipe_[1]);
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onInterrupt);
    }
    ~InterruptWatcher()
    {
        if (pipe_[1] < 0)
            return;
        std::signal(SIGINT, SIG_IGN);
        std::signal(SIGTERM, SIG_IGN);
        interruptPipe.store(-1);
        const char quit = kQuit;
        [[maybe_unused]] const ssize_t n = ::write(pipe_[1], &quit, 1);
        watcher_.join();
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }
    InterruptWatcher(const InterruptWatcher &) = delete;
    InterruptWatcher &operator=(const InterruptWatcher &) = delete;

    static constexpr char kInterrupt = 'i'; // written by the signal handler
    static constexpr char kQuit = 'q'; // written when the watcher is no longer needed

private:
    int pipe_[2] = {-1, -1};
    std::thread watcher_;
};

#endif

// Prints one line per group of reports of a pass as it goes: "title: N reports[, F failed]".
class StepPrinter : public LinkPassObserver
{
public:
    ~StepPrinter() override { flush(); }

    void section(PassSection section, int id, qint64 count) override
    {
        flush();
        switch (section) {
        case PassSection::Opening:
            title_ = QStringLiteral("opening report");
            break;
        case PassSection::Configuration:
            title_ = QStringLiteral("configuration block (0x80)");
            break;
        case PassSection::FlashData:
            title_ = QStringLiteral("remote control %1 (block 0x%2): flash data, %3 flash blocks")
                             .arg(id + 1)
                             .arg(id, 2, 16, QLatin1Char('0'))
                             .arg(count);
            break;
        case PassSection::SwitchNameBlock:
            title_ = QStringLiteral("remote control %1 (block 0x%2): switch name block")
                             .arg(id + 1)
                             .arg(id, 2, 16, QLatin1Char('0'));
            break;
        case PassSection::Macro:
            title_ = QStringLiteral("macro block (0x81)");
            break;
        case PassSection::ProductName:
            title_ = QStringLiteral("product name");
            break;
        case PassSection::Closing:
            title_ = QStringLiteral("closing report");
            break;
        }
    }

    void reportDone(bool written, std::size_t) override
    {
        ++reports_;
        if (!written)
            ++failed_;
    }

    void flush()
    {
        if (title_.isEmpty())
            return;
        QString line = QStringLiteral("%1: %2 report%3")
                               .arg(title_)
                               .arg(reports_)
                               .arg(reports_ == 1 ? QString() : QStringLiteral("s"));
        if (failed_)
            line += QStringLiteral(", %1 failed").arg(failed_);
        printUtf8(stdout, line + QLatin1Char('\n'));
        std::fflush(stdout);
        title_.clear();
        reports_ = failed_ = 0;
    }

private:
    QString title_;
    qint64 reports_ = 0;
    qint64 failed_ = 0;
};

int commandProgram(const QStringList &args)
{
    QString file;
    double waitSeconds = 10;
    QString sysfsRoot, devRoot; // test-only: the Linux backend's roots
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--wait") && hasValue) {
            bool ok = false;
            waitSeconds = args.at(++i).toDouble(&ok);
            if (!ok || waitSeconds < 0)
                return usage();
        } else if (a == QLatin1String("--sysfs-root") && hasValue) {
            sysfsRoot = args.at(++i);
        } else if (a == QLatin1String("--dev-root") && hasValue) {
            devRoot = args.at(++i);
        } else if (file.isNull() && !a.startsWith(QLatin1String("--"))) {
            file = a;
        } else {
            return usage();
        }
    }
    if (file.isNull())
        return usage();
    ConfigurationRecord record;
    if (!load(file, record))
        return kExitUsage;

    std::shared_ptr<rcprog::HidPlatform> platform;
#ifdef __linux__
    if (!sysfsRoot.isEmpty() || !devRoot.isEmpty())
        platform = std::make_shared<rcprog::LinuxHidraw>(
                sysfsRoot.isEmpty() ? std::string("/sys") : sysfsRoot.toStdString(),
                devRoot.isEmpty() ? std::string("/dev") : devRoot.toStdString());
#endif
    if (!platform)
        platform = rcprog::createSystemHidPlatform();

    // The wait for a receiver and the pass are paced by one pacer; Ctrl-C stops it.
    Pacer pacer;
    const InterruptWatcher interrupts(pacer);
#ifdef SIGPIPE
    // With standard output gone (`rcprog-cli program FILE | head -n 1`), printing must not kill
    // the process half-way through a pass: the lost lines are only a report, the pass is not.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    const auto deadline = std::chrono::steady_clock::now()
                          + std::chrono::milliseconds(qint64(waitSeconds * 1000));
    rcprog::OpenedDevice device;
    bool denied = false;
    for (;;) {
        const rcprog::SearchResult found = rcprog::openPass(*platform, rcprog::kReceiverVendorId,
                                                            rcprog::kReceiverProductId, device);
        if (found.matched)
            break;
        denied = found.accessDenied;
        if (std::chrono::steady_clock::now() >= deadline) {
            if (denied) {
                std::fputs("rcprog-cli: a receiver is present, but access to it was denied "
                           "(install the udev rule, see README)\n",
                           stderr);
                return kExitAccessDenied;
            }
            std::fputs("rcprog-cli: no receiver appeared in time\n", stderr);
            return kExitNoReceiver;
        }
        if (!pacer.sleepFor(200))
            return kExitInterrupted;
    }

    // The receiver is written to through a link, as the programming thread does.
    DeviceLink link(platform);
    const std::uint64_t serial = link.publish(device);
    link.markConnected();
    printUtf8(stdout, QStringLiteral("receiver: \"%1\", %2-byte reports\n")
                              .arg(link.productName())
                              .arg(device.reportDataLength + 1));
    std::vector<std::uint8_t> buffer(reportBufferSize(device.reportDataLength), 0);
    LinkPassOutcome outcome;
    {
        StepPrinter printer;
        outcome = runLinkPass(link, serial, device.reportDataLength, record, buffer, pacer,
                              &printer);
    }
    link.close();

    if (!outcome.finished) {
        std::printf("result: failed, interrupted after %lld reports\n",
                    (long long)outcome.attempted);
        return kExitInterrupted;
    }
    if (outcome.failed) {
        std::printf("result: failed, %lld of %lld writes failed\n", (long long)outcome.failed,
                    (long long)outcome.attempted);
        return kExitWriteFailed;
    }
    std::printf("result: ok, %lld reports written\n", (long long)outcome.written);
    return kExitOk;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (command == QLatin1String("record"))
        return commandRecord(args);
    if (command == QLatin1String("dump"))
        return commandDump(args);
    if (command == QLatin1String("program"))
        return commandProgram(args);
    if (command == QLatin1String("check"))
        return args.isEmpty() ? usage() : runCheck(args);
    return usage();
}
