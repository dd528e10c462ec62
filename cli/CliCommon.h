#pragma once

#include "ConfigurationLoader.h"
#include "ConfigurationRecord.h"

#include <QString>
#include <QStringList>

#include <cstdio>

class QCommandLineParser;

// What the commands of rcprog-cli share: exit statuses, the usage text, printing, loading a
// file with its error line and argument parsing.
namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitErrors = 1; // check found errors
constexpr int kExitUsage = 2; // bad arguments, or a file that is missing or unreadable
constexpr int kExitNoReceiver = 3;
constexpr int kExitAccessDenied = 4;
constexpr int kExitWriteFailed = 5;
constexpr int kExitInterrupted = 130;

extern const char kUsage[];

// The usage on stderr; returns kExitUsage.
int usage();
// The usage on stdout, for --help; returns kExitOk.
int help();

void printUtf8(FILE *out, const QString &text);
// One line on stderr: "rcprog-cli: " and the message.
void printError(const QString &message);

// Loads FILE for a command; on failure names it on stderr. *source (when given) names the file
// loaded.
bool load(const QString &path, ConfigurationRecord &record, ConfigurationSource *source = nullptr);

// Parses the arguments that follow `command` with `parser`, which holds the command's options
// ("--passes N", also "--passes=N"), into those options and one FILE. False for arguments that
// do not parse (among them any other argument that starts with '-'; "--" ends the options), and
// for no FILE or more than one.
bool parseFileAndOptions(QCommandLineParser &parser, const QString &command,
                         const QStringList &args, QString &file);

// For a command without options: every argument is a file, also one that starts with '-'.
QStringList fileArguments(const QString &command, const QStringList &args);

} // namespace cli
