#include "PassLog.h"

#include "JsonString.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#ifdef _WIN32
#include "WindowsApi.h"
#else
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Appends `line` to the file at `path` with one write of the whole line, then flushes it to
// disk. On failure `reason` says why.
bool appendLine(const QString &path, const QByteArray &line, QString &reason)
{
#ifdef _WIN32
    // FILE_APPEND_DATA alone makes every write go to the end of the file at once.
    const auto open = [&] {
        return CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()),
                           FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE file = open();
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND
        && QDir().mkpath(QFileInfo(path).absolutePath()))
        file = open();
    if (file == INVALID_HANDLE_VALUE) {
        reason = qt_error_string(int(GetLastError()));
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, line.constData(), DWORD(line.size()), &written, nullptr);
    if (!ok)
        reason = qt_error_string(int(GetLastError()));
    else if (written != DWORD(line.size()))
        reason = QStringLiteral("short write (%1 of %2 bytes)").arg(written).arg(line.size());
    else if (!FlushFileBuffers(file))
        reason = qt_error_string(int(GetLastError()));
    ok = reason.isEmpty();
    CloseHandle(file);
    return ok;
#else
    const QByteArray name = QFile::encodeName(path);
    const auto open = [&] {
        return ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    };
    int fd = open();
    if (fd < 0 && errno == ENOENT && QDir().mkpath(QFileInfo(path).absolutePath()))
        fd = open();
    if (fd < 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // O_APPEND: the kernel puts the whole buffer at the end of the file in one step, so the
    // lines of several writers never interleave.
    ssize_t n = 0;
    do
        n = ::write(fd, line.constData(), std::size_t(line.size()));
    while (n < 0 && errno == EINTR);
    if (n < 0)
        reason = QString::fromLocal8Bit(std::strerror(errno));
    else if (n != ssize_t(line.size()))
        reason = QStringLiteral("short write (%1 of %2 bytes)").arg(n).arg(line.size());
    else if (::fdatasync(fd) != 0)
        reason = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    return reason.isEmpty();
#endif
}

} // namespace

QString passResultName(PassResult result)
{
    switch (result) {
    case PassResult::Ok:
        break;
    case PassResult::Failed:
        return QStringLiteral("failed");
    case PassResult::Interrupted:
        return QStringLiteral("interrupted");
    }
    return QStringLiteral("ok");
}

QByteArray passLogLine(const PassRecord &record, const QString &program, const QString &host)
{
    const auto text = [](const char *key, const QString &value) {
        return QStringLiteral("\"%1\":%2").arg(QLatin1String(key), jsonString(value));
    };
    const auto number = [](const char *key, qint64 value) {
        return QStringLiteral("\"%1\":%2").arg(QLatin1String(key)).arg(value);
    };
    const QStringList fields{
            text("time", record.time.toUTC().toString(Qt::ISODateWithMs)),
            text("program", program),
            text("host", host),
            text("file", record.file),
            text("sha256", record.sha256),
            text("product", record.product),
            text("device", record.device),
            number("reportLength", record.reportLength),
            number("reportsWritten", record.reportsWritten),
            number("reportsInPass", record.reportsInPass),
            text("result", passResultName(record.result)),
            number("durationMs", record.durationMs),
    };
    return (QLatin1Char('{') + fields.join(QLatin1Char(',')) + QStringLiteral("}\n")).toUtf8();
}

QString passLogPath(const QProcessEnvironment &environment)
{
    if (environment.contains(QStringLiteral("RCPROG_LOG")))
        return environment.value(QStringLiteral("RCPROG_LOG"));
    QString state = environment.value(QStringLiteral("XDG_STATE_HOME"));
    // Windows has no XDG_STATE_HOME; its place for a user's local data is LOCALAPPDATA.
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::fromNativeSeparators(environment.value(QStringLiteral("LOCALAPPDATA")));
    if (state.isEmpty() || !QDir::isAbsolutePath(state)) {
        QString home = environment.value(QStringLiteral("HOME"));
        if (home.isEmpty())
            home = QDir::homePath();
        state = home + QStringLiteral("/.local/state");
    }
    return state + QStringLiteral("/rcprog/passes.jsonl");
}

PassLog::PassLog(const QString &path, const QString &program, std::FILE *errors)
    : path_(path), program_(program), host_(QSysInfo::machineHostName()), errors_(errors)
{ }

bool PassLog::append(const PassRecord &record)
{
    if (path_.isEmpty())
        return true;
    QString reason;
    if (appendLine(path_, passLogLine(record, program_, host_), reason))
        return true;
    report(reason);
    return false;
}

void PassLog::report(const QString &reason)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (reported_ || !errors_)
        return;
    reported_ = true;
    const QByteArray message = QStringLiteral("%1: cannot write the pass log %2: %3\n")
                                       .arg(program_, path_, reason)
                                       .toUtf8();
    std::fwrite(message.constData(), 1, std::size_t(message.size()), errors_);
    std::fflush(errors_);
}
