#include "CliCommon.h"

#include "ConfigurationLoader.h"
#include "ProgrammingPass.h"
#include "SystemHidPlatform.h"

#ifdef __linux__
#include "LinuxHidraw.h"
#endif

#include <QCommandLineParser>

namespace cli {

const char kUsage[]
        = "usage: rcprog-cli COMMAND ...\n"
          "\n"
          "Loads, checks and writes rcprog's configuration files without the window, for\n"
          "scripts and production lines. Its output formats and exit statuses stay as\n"
          "documented.\n"
          "\n"
          "Commands:\n"
          "  record FILE                    Print the configuration record that FILE loads into,\n"
          "                                 as one JSON object.\n"
          "  dump FILE [--passes N] [--report-length R]\n"
          "                                 Print the report sequence of N passes (default 1) of\n"
          "                                 FILE's record for a receiver with R payload bytes per\n"
          "                                 report (default 8), run back to back over one report\n"
          "                                 buffer that starts all zeros: '# pass K', then 'W'\n"
          "                                 and the R + 1 report bytes in hex, or 'P' and a\n"
          "                                 pause in milliseconds, one per line.\n"
          "  check FILE...                  Report problems in configuration files as\n"
          "                                 FILE:LINE: error|warning: message. Exit 1 when any\n"
          "                                 error was found.\n"
          "  program FILE [--wait SECONDS] [--each | --all] [--log FILE]\n"
          "                                 Wait up to SECONDS (default 10) for a receiver, write\n"
          "                                 FILE's configuration into it in one pass, and print\n"
          "                                 what was sent. Ctrl-C stops between two reports.\n"
          "                                 --each: one pass into every receiver that is\n"
          "                                 connected from then on, a line '#N ok|failed ...'\n"
          "                                 for each, until Ctrl-C ends it with 'done: N ok, M\n"
          "                                 failed'. --all: one pass into every receiver\n"
          "                                 present, all at once, a line for each and 'done: N\n"
          "                                 ok, M failed'. Every pass is recorded in the pass\n"
          "                                 log (see README); --log FILE names another file,\n"
          "                                 --log '' turns it off.\n"
          "  devices [--json]               List every HID interface present: path, VVVV:PPPP,\n"
          "                                 input report length, product string, whether it\n"
          "                                 can be opened (ok, access denied, system device,\n"
          "                                 error), and which are the receiver's and which one\n"
          "                                 a pass would use. --json: the same as one JSON\n"
          "                                 array. Exit 0, also when nothing is found.\n"
          "  template                       Print a configuration file with every key at its\n"
          "                                 default, each with a comment.\n"
          "  --help                         Show this text (-h does the same).\n"
          "\n"
          "Exit status: 0 success; 1 check found errors; 2 bad arguments, a missing or\n"
          "unreadable FILE, or a configuration that cannot be sent; 3 no receiver appeared in\n"
          "time; 4 a receiver is present but access to it was denied; 5 a write to the receiver\n"
          "failed (--each, --all: a pass failed); 130 interrupted.\n";

int usage()
{
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

int help()
{
    std::fputs(kUsage, stdout);
    return kExitOk;
}

void printUtf8(FILE *out, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out);
}

void printError(const QString &message)
{
    printUtf8(stderr, QStringLiteral("rcprog-cli: ") + message + QLatin1Char('\n'));
}

bool load(const QString &path, ConfigurationRecord &record, ConfigurationSource *source)
{
    LoadDetail detail;
    const LoadStatus status = loadConfiguration(path, record, &detail);
    if (status == LoadStatus::Loaded) {
        if (source)
            *source = detail.source;
        return true;
    }
    printError(loadErrorText(status, path, detail));
    return false;
}

bool sendable(const ConfigurationRecord &record)
{
    const std::optional<PassRefusal> refusal = passRefusal(record);
    if (!refusal)
        return true;
    printError(refusalText(*refusal));
    return false;
}

bool parseFileAndOptions(QCommandLineParser &parser, const QString &command,
                         const QStringList &args, QString &file)
{
    if (!parser.parse(QStringList{command} + args) || parser.positionalArguments().size() != 1)
        return false;
    file = parser.positionalArguments().at(0);
    return true;
}

QStringList fileArguments(const QString &command, const QStringList &args)
{
    // "--" ends the options before the first argument: each argument is taken as it is.
    QCommandLineParser parser;
    parser.parse(QStringList{command, QStringLiteral("--")} + args);
    return parser.positionalArguments();
}

PlatformOptions::PlatformOptions()
    : sysfsRoot_(QStringLiteral("sysfs-root"), QString(), QStringLiteral("DIR")),
      devRoot_(QStringLiteral("dev-root"), QString(), QStringLiteral("DIR"))
{ }

void PlatformOptions::addTo(QCommandLineParser &parser) const
{
    parser.addOptions({sysfsRoot_, devRoot_});
}

std::shared_ptr<rcprog::HidPlatform> PlatformOptions::create(const QCommandLineParser &parser) const
{
#ifdef __linux__
    const QString sysfsRoot = parser.value(sysfsRoot_);
    const QString devRoot = parser.value(devRoot_);
    if (!sysfsRoot.isEmpty() || !devRoot.isEmpty())
        return std::make_shared<rcprog::LinuxHidraw>(
                sysfsRoot.isEmpty() ? std::string("/sys") : sysfsRoot.toStdString(),
                devRoot.isEmpty() ? std::string("/dev") : devRoot.toStdString());
#else
    (void)parser;
#endif
    return rcprog::createSystemHidPlatform();
}

} // namespace cli
