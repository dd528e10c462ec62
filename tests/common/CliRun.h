#pragma once

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtTest>

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

inline CliRun runCli(const QStringList &args, int timeoutMs = 120000)
{
    QProcess p;
    p.start(cliPath(), args);
    CliRun r;
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}
