// rcprog-cli program FILE [--wait SECONDS] [--each | --all] [--log FILE]
#include "CliCommon.h"
#include "Commands.h"
#include "DeviceLink.h"
#include "DeviceSearch.h"
#include "LinkPass.h"
#include "Pacer.h"
#include "ProgramSupport.h"
#include "ProgrammingPass.h"

#include <QCommandLineParser>
#include <QProcessEnvironment>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

using namespace cli;

namespace {

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

} // namespace

namespace cli {

int programOne(const ProgramOptions &options, ProgramContext &context)
{
    rcprog::HidPlatform &platform = *context.platform;
    // The wait for a receiver and the pass are paced by one pacer; Ctrl-C stops it.
    Pacer pacer;
    const InterruptWatcher interrupts([&pacer] { pacer.requestStop(); });

    const auto deadline = std::chrono::steady_clock::now()
                          + std::chrono::milliseconds(qint64(options.waitSeconds * 1000));
    rcprog::OpenedDevice device;
    for (;;) {
        const rcprog::SearchResult found = rcprog::openPass(platform, rcprog::kReceiverVendorId,
                                                            rcprog::kReceiverProductId, device);
        if (found.matched)
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            return noReceiver(found.accessDenied);
        if (!pacer.idleFor(200))
            return kExitInterrupted;
    }

    // The receiver is written to through a link, as the programming thread does.
    DeviceLink link(context.platform);
    link.publish(device);
    link.markConnected();
    const DeviceLink::Snapshot connection = link.snapshot();
    printUtf8(stdout, QStringLiteral("receiver: \"%1\", %2-byte reports\n")
                              .arg(connection.productName)
                              .arg(connection.reportDataLength + 1));
    std::vector<std::uint8_t> buffer(reportBufferSize(connection.reportDataLength), 0);
    RecordedPass pass;
    {
        StepPrinter printer;
        pass = runRecordedPass(link, connection, context.record, context.source, buffer, pacer,
                               &printer);
    }
    link.close();
    context.log->append(pass.record);

    const LinkPassOutcome &outcome = pass.outcome;
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

} // namespace cli

int commandProgram(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption waitOption(QStringLiteral("wait"), QString(),
                                        QStringLiteral("SECONDS"));
    const QCommandLineOption eachOption(QStringLiteral("each"));
    const QCommandLineOption allOption(QStringLiteral("all"));
    const QCommandLineOption logOption(QStringLiteral("log"), QString(), QStringLiteral("FILE"));
    const PlatformOptions platformOptions;
    parser.addOptions({waitOption, eachOption, allOption, logOption});
    platformOptions.addTo(parser);
    ProgramOptions options;
    if (!parseFileAndOptions(parser, QStringLiteral("program"), args, options.file))
        return usage();
    for (const QString &value : parser.values(waitOption)) {
        bool ok = false;
        options.waitSeconds = value.toDouble(&ok);
        if (!ok || options.waitSeconds < 0)
            return usage();
    }
    const bool each = parser.isSet(eachOption);
    const bool all = parser.isSet(allOption);
    if (each && all)
        return usage();
    // --log FILE before RCPROG_LOG before the default place; an empty FILE turns the log off.
    options.logPath = parser.isSet(logOption)
                              ? parser.values(logOption).constLast()
                              : passLogPath(QProcessEnvironment::systemEnvironment());

    // A configuration that cannot be sent is refused before any receiver is looked for, in
    // every way of programming.
    ProgramContext context;
    if (!load(options.file, context.record, &context.source) || !sendable(context.record))
        return kExitUsage;
    context.platform = platformOptions.create(parser);
    context.log = std::make_unique<PassLog>(options.logPath, kProgramName);
#ifdef SIGPIPE
    // With standard output gone (`rcprog-cli program FILE | head -n 1`), printing must not kill
    // the process half-way through a pass: the lost lines are only a report, the pass is not.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (each)
        return programEach(options, context);
    if (all)
        return programAll(options, context);
    return programOne(options, context);
}
