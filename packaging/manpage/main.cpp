// rcprog-manpage: runs "PROGRAM --help" and writes the manual page made from its output.
#include "ManPage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "rcprog-manpage: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Writes the manual page of PROGRAM, made from its --help output."));
    parser.addHelpOption();
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("The page's file."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption name(QStringLiteral("name"),
                                  QStringLiteral("The page's name (default: PROGRAM's)."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption section(QStringLiteral("section"), QStringLiteral("Section."),
                                     QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption date(QStringLiteral("date"), QStringLiteral("Date of the page."),
                                  QStringLiteral("DATE"));
    const QCommandLineOption source(QStringLiteral("source"),
                                    QStringLiteral("Package and version, e.g. \"rcprog 1.0.0\"."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption manual(QStringLiteral("manual"),
                                    QStringLiteral("Title of the manual."), QStringLiteral("TEXT"),
                                    QStringLiteral("User Commands"));
    const QCommandLineOption seeAlso(
            QStringLiteral("see-also"),
            QStringLiteral("A reference such as \"rcprog(1)\"; repeatable."),
            QStringLiteral("REF"));
    parser.addOptions({output, name, section, date, source, manual, seeAlso});
    parser.addPositionalArgument(QStringLiteral("PROGRAM"), QStringLiteral("The program to run."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1 || !parser.isSet(output))
        return fail(QStringLiteral("usage: rcprog-manpage --output FILE [OPTION]... PROGRAM"));
    const QString program = parser.positionalArguments().constFirst();

    QProcess run;
    run.start(program, {QStringLiteral("--help")});
    if (!run.waitForFinished(60000) || run.exitStatus() != QProcess::NormalExit
        || run.exitCode() != 0)
        return fail(QStringLiteral("\"%1 --help\" did not end with status 0: %2")
                            .arg(program, QString::fromLocal8Bit(run.readAllStandardError())));

    ManPageHeader header;
    header.program = parser.isSet(name) ? parser.value(name) : QFileInfo(program).fileName();
    header.section = parser.value(section);
    header.date = parser.value(date);
    header.source = parser.value(source);
    header.manual = parser.value(manual);
    header.seeAlso = parser.values(seeAlso);
    const ManPageResult page
            = manPageFromHelp(QString::fromUtf8(run.readAllStandardOutput()), header);
    if (!page.error.isEmpty())
        return fail(QStringLiteral("%1: %2").arg(program, page.error));

    QFile file(parser.value(output));
    const QByteArray bytes = page.page.toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()
        || !file.flush())
        return fail(QStringLiteral("cannot write %1").arg(file.fileName()));
    return 0;
}
