#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QProcessEnvironment>
#include <QString>

#include <cstdio>
#include <mutex>

// The record of every programming pass: one JSON line per pass, appended to a log file that the
// window and rcprog-cli share. Building a line is pure; appending it is one write(2) of the
// whole line on a descriptor opened for appending, and fdatasync after it, so that the lines of
// several writers (the window and a CLI on one machine, the threads of `program --all`) never
// interleave. A log that cannot be written is reported on the error stream once per log object
// and never stops or fails a pass.

// How a pass ended.
enum class PassResult {
    Ok, // every step was taken and every write succeeded
    Failed, // every step was taken, but a write failed or was refused
    Interrupted, // stopped between two reports (Ctrl-C, shutdown)
};

// One pass as the log records it.
struct PassRecord
{
    QDateTime time; // when the pass began (UTC)
    QString file; // the configuration file's absolute path
    QString sha256; // of the file's bytes as they were loaded
    QString product; // the receiver's product string
    QString device; // the receiver's path (a hidraw node on Linux)
    int reportLength = 0; // bytes per report, the report-ID byte included
    qint64 reportsWritten = 0;
    qint64 reportsInPass = 0; // the whole report sequence of the pass
    PassResult result = PassResult::Ok;
    qint64 durationMs = 0;
};

// "ok", "failed" or "interrupted".
QString passResultName(PassResult result);

// The line of one pass, "\n" included, with its fields in this order: time (ISO 8601, UTC, with
// milliseconds), program, host, file, sha256, product, device, reportLength, reportsWritten,
// reportsInPass, result, durationMs.
QByteArray passLogLine(const PassRecord &record, const QString &program, const QString &host);

// Where the log goes, from the environment: the file RCPROG_LOG names when it is set (an empty
// value turns the log off: an empty path), otherwise $XDG_STATE_HOME/rcprog/passes.jsonl; when
// XDG_STATE_HOME is unset, empty or not absolute, $LOCALAPPDATA/rcprog/passes.jsonl where
// LOCALAPPDATA is an absolute path (Windows), else ~/.local/state/rcprog/passes.jsonl.
QString passLogPath(const QProcessEnvironment &environment);

class PassLog
{
public:
    // Appends to `path` (empty: the log is off) for `program`; a log that cannot be written is
    // reported on `errors`, once, as "PROGRAM: cannot write the pass log PATH: REASON".
    PassLog(const QString &path, const QString &program, std::FILE *errors = stderr);
    PassLog(const PassLog &) = delete;
    PassLog &operator=(const PassLog &) = delete;

    const QString &path() const { return path_; }
    bool enabled() const { return !path_.isEmpty(); }

    // Appends the line of one pass, creating the file (and its folder) when needed. Returns
    // false when it could not be written whole; may be called from any thread.
    bool append(const PassRecord &record);

private:
    void report(const QString &reason);

    const QString path_;
    const QString program_;
    const QString host_;
    std::FILE *const errors_;
    std::mutex mutex_; // guards reported_
    bool reported_ = false;
};
