// rcprog-cli program FILE [--wait SECONDS]
#include "CliCommon.h"
#include "Commands.h"
#include "DeviceSearch.h"
#include "ProgrammingPass.h"
#include "SystemHidPlatform.h"

#ifdef __linux__
#include "LinuxHidraw.h"
#endif

#include <QCommandLineParser>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

using namespace cli;

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int)
{
    interrupted.store(true);
}

// Sleeps in short steps so that Ctrl-C is noticed; false when interrupted.
bool interruptibleSleep(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!interrupted.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                end - now, std::chrono::milliseconds(20)));
    }
    return false;
}

// Writes a pass to an open receiver and prints one line per group of reports.
class ProgramSink : public PassSink
{
public:
    ProgramSink(rcprog::HidPlatform &platform, rcprog::HidHandle handle)
        : platform_(platform), handle_(handle)
    { }
    ~ProgramSink() override { flush(); }

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

    bool report(const std::uint8_t *bytes, std::size_t length) override
    {
        if (interrupted.load())
            return false;
        ++reports_;
        ++total;
        if (!platform_.write(handle_, bytes, length)) {
            ++failed_;
            ++totalFailed;
        }
        return true;
    }
    bool pause(int ms) override { return interruptibleSleep(ms); }

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

    qint64 total = 0;
    qint64 totalFailed = 0;

private:
    rcprog::HidPlatform &platform_;
    rcprog::HidHandle handle_;
    QString title_;
    qint64 reports_ = 0;
    qint64 failed_ = 0;
};

} // namespace

int commandProgram(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption waitOption(QStringLiteral("wait"), QString(),
                                        QStringLiteral("SECONDS"));
    // Test-only: the Linux backend's roots.
    const QCommandLineOption sysfsRootOption(QStringLiteral("sysfs-root"), QString(),
                                             QStringLiteral("DIR"));
    const QCommandLineOption devRootOption(QStringLiteral("dev-root"), QString(),
                                           QStringLiteral("DIR"));
    parser.addOptions({waitOption, sysfsRootOption, devRootOption});
    QString file;
    if (!parseFileAndOptions(parser, QStringLiteral("program"), args, file))
        return usage();
    double waitSeconds = 10;
    for (const QString &value : parser.values(waitOption)) {
        bool ok = false;
        waitSeconds = value.toDouble(&ok);
        if (!ok || waitSeconds < 0)
            return usage();
    }
    const QString sysfsRoot = parser.value(sysfsRootOption);
    const QString devRoot = parser.value(devRootOption);
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

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    // With standard output gone (`rcprog-cli program FILE | head -n 1`), printing must not kill
    // the process half-way through a pass: the lost lines are only a report, the pass is not.
    std::signal(SIGPIPE, SIG_IGN);

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
        if (!interruptibleSleep(200))
            return kExitInterrupted;
    }

    printUtf8(stdout, QStringLiteral("receiver: \"%1\", %2-byte reports\n")
                              .arg(QString::fromLatin1(device.productName.data(),
                                                       qsizetype(device.productName.size())))
                              .arg(device.reportDataLength + 1));
    std::vector<std::uint8_t> buffer(reportBufferSize(device.reportDataLength), 0);
    PassOutcome outcome;
    qint64 total = 0, failed = 0;
    {
        ProgramSink sink(*platform, device.writeHandle);
        outcome = runProgrammingPass(record, device.reportDataLength, buffer, sink);
        sink.flush();
        total = sink.total;
        failed = sink.totalFailed;
    }
    platform->close(device.infoHandle);
    platform->close(device.writeHandle);

    if (!outcome.finished) {
        std::printf("result: failed, interrupted after %lld reports\n", (long long)total);
        return kExitInterrupted;
    }
    if (failed) {
        std::printf("result: failed, %lld of %lld writes failed\n", (long long)failed,
                    (long long)total);
        return kExitWriteFailed;
    }
    std::printf("result: ok, %lld reports written\n", (long long)total);
    return kExitOk;
}
