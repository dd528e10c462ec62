#pragma once

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <functional>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

// Paths of the source tree and of the built rcprog-cli: from the environment that CTest sets,
// or, for a test run by hand, from the paths the build compiled in.
inline QString testSourceDir()
{
    return qEnvironmentVariable("RCPROG_SOURCE_DIR", QStringLiteral(RCPROG_TEST_SOURCE_DIR));
}

inline QString cliPath()
{
    return qEnvironmentVariable("RCPROG_BINARY_DIR", QStringLiteral(RCPROG_TEST_BINARY_DIR))
           + QStringLiteral("/cli/rcprog-cli");
}

// The bundled example configuration files, by absolute path, in name order.
inline QStringList bundledExampleFiles()
{
    QStringList files;
    const QDir dir(testSourceDir() + QStringLiteral("/configfiles"));
    for (const QString &name : dir.entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name))
        files << dir.filePath(name);
    return files;
}

// Data rows "path", one per bundled example; a row that fails when there are none.
inline void addBundledExampleRows()
{
    QTest::addColumn<QString>("path");
    const QStringList files = bundledExampleFiles();
    if (files.isEmpty())
        QTest::newRow("no examples found") << testSourceDir() + QStringLiteral("/configfiles");
    for (const QString &file : files)
        QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
}

// The outcome of one run of rcprog-cli. exitCode stays -1 if it did not end by itself.
struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QStringList errLines() const { return QString::fromUtf8(err).split(u'\n', Qt::SkipEmptyParts); }
};

// Exit status of a child whose set-up before exec failed.
constexpr int kExitChildSetupFailed = 97;

// A set-up for a child process that runs it as the user nobody, for tests of refused access
// that run as root (for whom permissions deny nothing); none when not root. A child that cannot
// switch exits with kExitChildSetupFailed.
inline std::function<void()> asUserNobodyWhenRoot()
{
    if (::geteuid() != 0)
        return {};
    const passwd *nobody = ::getpwnam("nobody");
    const uid_t uid = nobody ? nobody->pw_uid : 65534;
    const gid_t gid = nobody ? nobody->pw_gid : 65534;
    return [uid, gid] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(kExitChildSetupFailed);
    };
}

inline CliRun runCli(const QStringList &args, int timeoutMs = 120000,
                     const std::function<void()> &childSetup = {})
{
    QProcess p;
    if (childSetup)
        p.setChildProcessModifier(childSetup);
    p.start(cliPath(), args);
    CliRun r;
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}
