// rcprog-cli dump FILE [--passes N] [--report-length R]
#include "CliCommon.h"
#include "Commands.h"
#include "ProgrammingPass.h"
#include "Protocol.h"

#include <QCommandLineParser>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

using namespace cli;

namespace {

// The largest report length taken: HID reports are at most 16384 bytes, the report-ID byte
// among them.
constexpr int kMaxPayloadBytes = 16383;

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

} // namespace

int commandDump(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption passesOption(QStringLiteral("passes"), QString(), QStringLiteral("N"));
    const QCommandLineOption lengthOption(QStringLiteral("report-length"), QString(),
                                          QStringLiteral("R"));
    parser.addOptions({passesOption, lengthOption});
    QString file;
    if (!parseFileAndOptions(parser, QStringLiteral("dump"), args, file))
        return usage();
    // A number from min to max for each time the option is given; the last one counts.
    const auto number = [&parser](const QCommandLineOption &option, int value, int min, int max) {
        for (const QString &text : parser.values(option)) {
            bool ok = false;
            value = text.toInt(&ok);
            if (!ok || value < min || value > max)
                return -1;
        }
        return value;
    };
    const int passes = number(passesOption, 1, 1, std::numeric_limits<int>::max());
    // Payload bytes per report, as a receiver reports them (the report-ID byte comes first).
    const int reportDataLength = number(lengthOption, Protocol::kPayloadBytes, 1, kMaxPayloadBytes);
    if (passes < 0 || reportDataLength < 0)
        return usage();
    ConfigurationRecord record;
    if (!load(file, record) || !sendable(record))
        return kExitUsage;
    std::vector<std::uint8_t> buffer(reportBufferSize(reportDataLength), 0);
    DumpSink sink;
    for (int k = 1; k <= passes; ++k) {
        std::printf("# pass %d\n", k);
        const PassOutcome outcome = runProgrammingPass(record, reportDataLength, buffer, sink);
        // The programming thread keeps the name as sent; the next pass starts from it.
        if (outcome.nameSent)
            record.newNameOfDevice = outcome.sentName;
    }
    return kExitOk;
}
