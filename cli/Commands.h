#pragma once

#include <QStringList>

// The commands of rcprog-cli. Each takes the arguments that follow its name, prints what it
// prints and returns the exit status (see CliCommon.h). They need a QCoreApplication.

// record FILE: the record FILE loads into, as one JSON object on stdout.
int commandRecord(const QStringList &args);

// dump FILE [--passes N] [--report-length R]: the report sequence of N passes of FILE's record
// for a receiver with R payload bytes per report, on stdout.
int commandDump(const QStringList &args);

// check FILE...: problems in configuration files on stderr as
// "FILE:LINE: error|warning: message"; 1 when any error was found, 2 when a file is missing or
// unreadable.
int commandCheck(const QStringList &args);

// program FILE [--wait SECONDS] [--each | --all] [--log FILE]: one pass into a receiver, one
// line per group of reports; --each: one pass into every receiver connected until Ctrl-C;
// --all: one pass into every receiver present, all at once. Every pass goes to the pass log.
int commandProgram(const QStringList &args);

// devices [--json]: every HID interface present, one line each (or one JSON array), with
// whether it can be opened and which of them a pass would use. Always 0.
int commandDevices(const QStringList &args);

// template: a configuration file with every key at its default, commented, on stdout.
int commandTemplate(const QStringList &args);
