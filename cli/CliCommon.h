#pragma once

#include "ConfigurationLoader.h"
#include "ConfigurationRecord.h"
#include "HidPlatform.h"

#include <QCommandLineOption>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>

class QCommandLineParser;

// What the commands of rcprog-cli share: exit statuses, the usage text, printing, loading a
// file with its error line and argument parsing.
namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitErrors = 1; // check found errors
constexpr int kExitUsage = 2; // bad arguments, a file that is missing or unreadable, or a
                              // configuration that cannot be sent
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
// Whether a pass of the record can be sent; if not, says why on stderr.
bool sendable(const ConfigurationRecord &record);

// Parses the arguments that follow `command` with `parser`, which holds the command's options
// ("--passes N", also "--passes=N"), into those options and one FILE. False for arguments that
// do not parse (among them any other argument that starts with '-'; "--" ends the options), and
// for no FILE or more than one.
bool parseFileAndOptions(QCommandLineParser &parser, const QString &command,
                         const QStringList &args, QString &file);

// For a command without options: every argument is a file, also one that starts with '-'.
QStringList fileArguments(const QString &command, const QStringList &args);

// The HID platform a command goes through: the system's, or, with the test-only options
// --sysfs-root DIR and --dev-root DIR, the Linux backend over a fake tree.
class PlatformOptions
{
public:
    PlatformOptions();
    void addTo(QCommandLineParser &parser) const;
    std::shared_ptr<rcprog::HidPlatform> create(const QCommandLineParser &parser) const;

private:
    QCommandLineOption sysfsRoot_;
    QCommandLineOption devRoot_;
};

} // namespace cli
