#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// How the window starts: the configuration file selected in its list, and whether "automatic
// programm" is ticked. Without options: the list's first entry, unticked.
struct StartOptions
{
    std::optional<QString> select; // a name as the list shows it
    bool automatic = false;
};

// The exit status of rcprog and rcprog-sim for arguments they refuse.
constexpr int kExitBadArguments = 2;

// The command line of the window programs: -h/--help, --select NAME, --automatic, and the
// options a program adds of its own. A word after a single dash is one option ("-select NAME"),
// never a row of one-letter options, so that the toolkit's own options ("-platform xcb",
// "-stylesheet FILE") are not misread.
class CommandLine
{
public:
    // `program` names the program in messages; `help` is its --help text.
    CommandLine(QString program, QString help);

    void addOption(const QCommandLineOption &option);

    // Whether the arguments ask for the help. Meant for the arguments as the process got them,
    // before any toolkit object exists (the help needs no display): the toolkit's options
    // count as unknown here and are passed over.
    bool helpRequested(const QStringList &arguments) const;
    void printHelp() const; // on stdout

    // Parses the arguments that the toolkit left (it takes its own, such as -platform and
    // -style, first). False, with the reason on stderr, for an unknown option, an option
    // without its value, or any other argument.
    bool parse(const QStringList &arguments);
    bool isSet(const QCommandLineOption &option) const;
    QString value(const QCommandLineOption &option) const;
    StartOptions startOptions() const;

    // parse() and startOptions(): nothing when the arguments were refused.
    std::optional<StartOptions> startOptionsFrom(const QStringList &arguments);

    // "PROGRAM: message" on stderr.
    void printError(const QString &message) const;

private:
    void addTo(QCommandLineParser &parser) const;

    QString program_;
    QString help_;
    const QCommandLineOption helpOption_;
    const QCommandLineOption selectOption_;
    const QCommandLineOption automaticOption_;
    QList<QCommandLineOption> own_; // the program's own options
    QCommandLineParser parser_;
};

// The arguments as the process got them, for use before the toolkit has started.
QStringList processArguments(int argc, char **argv);

// The --help text of rcprog.
QString windowHelp();
// The lines of --help on the options that rcprog and rcprog-sim share.
QString startOptionsHelp();

// Why a start with --select NAME was refused, given the names the list has.
QString unknownSelectionText(const QString &name, const QStringList &listed);
