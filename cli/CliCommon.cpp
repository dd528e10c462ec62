#include "CliCommon.h"

#include "ConfigurationLoader.h"

#include <QCommandLineParser>

namespace cli {

const char kUsage[]
        = "usage: rcprog-cli COMMAND ...\n"
          "\n"
          "Commands:\n"
          "  record FILE                    Print the configuration record that FILE loads into,\n"
          "                                 as one JSON object.\n"
          "  dump FILE [--passes N] [--report-length R]\n"
          "                                 Print the report sequence of N passes (default 1) of\n"
          "                                 FILE's record for a receiver with R payload bytes per\n"
          "                                 report (default 8), run back to back over one report\n"
          "                                 buffer that starts all zeros: '# pass K', then 'W' "
          "and\n"
          "                                 the R + 1 report bytes in hex, or 'P' and a pause in\n"
          "                                 milliseconds, one per line.\n"
          "  check FILE...                  Report problems in configuration files as\n"
          "                                 FILE:LINE: error|warning: message. Exit 1 when any\n"
          "                                 error was found.\n"
          "  program FILE [--wait SECONDS] [--each | --all] [--log FILE]\n"
          "                                 Wait up to SECONDS (default 10) for a receiver, write\n"
          "                                 FILE's configuration into it in one pass, and print\n"
          "                                 what was sent. Ctrl-C stops between two reports.\n"
          "                                 --each: one pass into every receiver that is "
          "connected\n"
          "                                 from then on, a line '#N ok|failed ...' for each, "
          "until\n"
          "                                 Ctrl-C ends it with 'done: N ok, M failed'.\n"
          "                                 --all: one pass into every receiver present, all at\n"
          "                                 once, a line for each and 'done: N ok, M failed'.\n"
          "                                 Every pass is recorded in the pass log (see README);\n"
          "                                 --log FILE names another file, --log '' turns it off.\n"
          "  template                       Print a configuration file with every key at its\n"
          "                                 default, each with a comment.\n"
          "  --help                         Show this text (-h does the same).\n"
          "\n"
          "Exit status: 0 success; 1 check found errors; 2 bad arguments or a missing or\n"
          "unreadable FILE; 3 no receiver appeared in time; 4 a receiver is present but access\n"
          "to it was denied; 5 a write to the receiver failed (--each, --all: a pass failed);\n"
          "130 interrupted.\n";

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
    const LoadStatus status = loadConfiguration(path, record, source);
    if (status == LoadStatus::Loaded)
        return true;
    printError(loadErrorText(status, path));
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

} // namespace cli
