// rcprog-cli dump FILE [--passes N]
#include "CliCommon.h"
#include "Commands.h"
#include "ProgrammingPass.h"
#include "Protocol.h"

#include <QCommandLineParser>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace cli;

namespace {

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
    parser.addOption(passesOption);
    QString file;
    if (!parseFileAndOptions(parser, QStringLiteral("dump"), args, file))
        return usage();
    int passes = 1;
    for (const QString &value : parser.values(passesOption)) {
        bool ok = false;
        passes = value.toInt(&ok);
        if (!ok || passes < 1)
            return usage();
    }
    ConfigurationRecord record;
    if (!load(file, record) || !sendable(record))
        return kExitUsage;
    constexpr int kReportDataLength = Protocol::kPayloadBytes;
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
