#include "StartOptions.h"

#include "ConfigurationLoader.h"

#include <cstdio>

namespace {

// The help texts, each line as it is printed (at most 80 columns).
const char kStartOptionsHelp[]
        = "  --select NAME       Select NAME (the file configfiles/NAME.ini) in the list at\n"
          "                      start. A NAME that the list does not show is refused.\n"
          "  --automatic         Tick \"automatic programm\" at start. Together with --select,\n"
          "                      a station's launcher opens the window ready to program\n"
          "                      every receiver plugged in with that file.\n";

const char kWindowHelpHead[]
        = "Usage: rcprog [--select NAME] [--automatic]\n"
          "\n"
          "Writes configuration files into USB remote-control receivers (USB ID 04b4:f231).\n"
          "The window lists the files NAME.ini of the folder configfiles in the directory\n"
          "it is started in. Pick one and press \"update configuration\": a background\n"
          "thread writes it into the receiver, and the window shows \"updated OK!!! :)\"\n"
          "when every write succeeded. With \"automatic programm\" ticked, every receiver\n"
          "that is plugged in is programmed with the selected file without a click.\n"
          "\n"
          "Options:\n";

const char kWindowHelpTail[]
        = "  -h, --help          Show this text.\n"
          "\n"
          "Exit status:\n"
          "  0                   The window was closed, or the help was shown.\n"
          "  2                   An unknown option or argument, or a --select NAME that the\n"
          "                      list does not show; the window does not open.\n";

void printUtf8(FILE *out, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out);
    std::fflush(out);
}

} // namespace

CommandLine::CommandLine(QString program, QString help)
    : program_(std::move(program)), help_(std::move(help)),
      helpOption_(QStringList{QStringLiteral("h"), QStringLiteral("help")}),
      selectOption_(QStringLiteral("select"), QString(), QStringLiteral("NAME")),
      automaticOption_(QStringLiteral("automatic"))
{
    addTo(parser_);
}

void CommandLine::addTo(QCommandLineParser &parser) const
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({helpOption_, selectOption_, automaticOption_});
    parser.addOptions(own_);
}

void CommandLine::addOption(const QCommandLineOption &option)
{
    own_ << option;
    parser_.addOption(option);
}

bool CommandLine::helpRequested(const QStringList &arguments) const
{
    QCommandLineParser parser;
    addTo(parser);
    (void)parser.parse(arguments); // unknown options are the toolkit's, at this point
    return parser.isSet(helpOption_);
}

void CommandLine::printHelp() const
{
    printUtf8(stdout, help_);
}

bool CommandLine::parse(const QStringList &arguments)
{
    if (!parser_.parse(arguments)) {
        printError(parser_.errorText());
        return false;
    }
    if (!parser_.positionalArguments().isEmpty()) {
        printError(QStringLiteral("unexpected argument '%1'")
                           .arg(parser_.positionalArguments().constFirst()));
        return false;
    }
    return true;
}

bool CommandLine::isSet(const QCommandLineOption &option) const
{
    return parser_.isSet(option);
}

QString CommandLine::value(const QCommandLineOption &option) const
{
    return parser_.value(option);
}

StartOptions CommandLine::startOptions() const
{
    StartOptions options;
    if (parser_.isSet(selectOption_))
        options.select = parser_.value(selectOption_);
    options.automatic = parser_.isSet(automaticOption_);
    return options;
}

std::optional<StartOptions> CommandLine::startOptionsFrom(const QStringList &arguments)
{
    if (!parse(arguments))
        return std::nullopt;
    return startOptions();
}

void CommandLine::printError(const QString &message) const
{
    printUtf8(stderr, program_ + QStringLiteral(": ") + message + u'\n');
}

QStringList processArguments(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

QString startOptionsHelp()
{
    return QString::fromUtf8(kStartOptionsHelp);
}

QString windowHelp()
{
    return QString::fromUtf8(kWindowHelpHead) + startOptionsHelp()
           + QString::fromUtf8(kWindowHelpTail);
}

QString unknownSelectionText(const QString &name, const QStringList &listed)
{
    const QString list = listed.isEmpty()
                                 ? QStringLiteral("the list is empty")
                                 : QStringLiteral("the list: ") + listed.join(QStringLiteral(", "));
    return QStringLiteral("--select: no configuration file \"%1\" in %2 (%3)")
            .arg(name, kConfigurationFolder, list);
}
