// rcprog-cli: the configuration loader, the report sequence and the device link without the
// window, for scripts, production lines and other tools.
#include "CliCommon.h"
#include "Commands.h"

#include <QCommandLineParser>
#include <QCoreApplication>

using namespace cli;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    // --help / -h before the command; everything from the command on is the command's.
    QCommandLineParser parser;
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(helpOption);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(app.arguments()))
        return usage();
    if (parser.isSet(helpOption))
        return help();
    QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usage();

    const QString command = args.takeFirst();
    if (command == QLatin1String("record"))
        return commandRecord(args);
    if (command == QLatin1String("dump"))
        return commandDump(args);
    if (command == QLatin1String("program"))
        return commandProgram(args);
    if (command == QLatin1String("check"))
        return commandCheck(args);
    if (command == QLatin1String("devices"))
        return commandDevices(args);
    if (command == QLatin1String("template"))
        return commandTemplate(args);
    return usage();
}
