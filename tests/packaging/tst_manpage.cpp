#include "ManPage.h"

#include <QtTest>

namespace {

ManPageHeader header(const QStringList &seeAlso = {})
{
    ManPageHeader h;
    h.program = QStringLiteral("tool");
    h.date = QStringLiteral("2026-01-02");
    h.source = QStringLiteral("pkg 1.0");
    h.manual = QStringLiteral("User Commands");
    h.seeAlso = seeAlso;
    return h;
}

const QString kTitle = QStringLiteral(
        ".\\\" Made from the output of \"tool --help\"; change the help text, not this page.\n"
        ".TH \"TOOL\" \"1\" \"2026\\-01\\-02\" \"pkg 1.0\" \"User Commands\"\n");

// The line after ".SH NAME".
QString nameLine(const QString &page)
{
    const QStringList lines = page.split(u'\n');
    const int at = int(lines.indexOf(QStringLiteral(".SH NAME")));
    return at >= 0 && at + 1 < lines.size() ? lines.at(at + 1) : QString();
}

} // namespace

// The manual pages are made from the programs' --help texts: how a help text becomes a page.
class TestManPage : public QObject
{
    Q_OBJECT

private slots:
    void page_data();
    void page();
    void nameLine_data();
    void nameLine();
    void refused_data();
    void refused();
};

void TestManPage::page_data()
{
    QTest::addColumn<QString>("help");
    QTest::addColumn<QStringList>("seeAlso");
    QTest::addColumn<QString>("expected"); // after the comment and the title line

    QTest::newRow("options, description right below the usage")
            << QStringLiteral("Usage: /usr/bin/tool [options] FILE\n"
                              "Does things to FILE. More text here.\n"
                              "\n"
                              "Options:\n"
                              "  -h, --help     Displays help.\n"
                              "  --level <N>    Sets the level\n"
                              "                 to N.\n")
            << QStringList()
            << QStringLiteral(".SH NAME\n"
                              "tool \\- does things to FILE\n"
                              ".SH SYNOPSIS\n"
                              ".B tool\n"
                              "[\\fBoptions\\fR] \\fIFILE\\fR\n"
                              ".SH DESCRIPTION\n"
                              "Does things to FILE. More text here.\n"
                              ".SH OPTIONS\n"
                              ".TP\n"
                              "\\fB\\-h\\fR, \\fB\\-\\-help\\fR\n"
                              "Displays help.\n"
                              ".TP\n"
                              "\\fB\\-\\-level\\fR <\\fIN\\fR>\n"
                              "Sets the level\n"
                              "to N.\n");

    QTest::newRow("forms, paragraphs, a heading with its text, tags alone")
            << QStringLiteral("usage: tool run FILE [--fast]\n"
                              "                     [--slow]\n"
                              "       tool --help\n"
                              "   or: tool --passes=N\n"
                              "\n"
                              "Runs FILE.\n"
                              "\n"
                              "It stops at the end.\n"
                              "\n"
                              "Exit status: 0 done; 2 bad\n"
                              "arguments.\n"
                              "\n"
                              "Examples:\n"
                              "  tool run FILE\n"
                              "      Runs FILE once.\n"
                              "\n"
                              "  A note that is indented\n"
                              "  over two lines.\n"
                              "  --tagged  After it.\n"
                              "Back at the margin.\n")
            << QStringList()
            << QStringLiteral(".SH NAME\n"
                              "tool \\- runs FILE\n"
                              ".SH SYNOPSIS\n"
                              ".B tool\n"
                              "\\fBrun\\fR \\fIFILE\\fR [\\fB\\-\\-fast\\fR] [\\fB\\-\\-slow\\fR]\n"
                              ".br\n"
                              ".B tool\n"
                              "\\fB\\-\\-help\\fR\n"
                              ".br\n"
                              ".B tool\n"
                              "\\fB\\-\\-passes\\fR=\\fIN\\fR\n"
                              ".SH DESCRIPTION\n"
                              "Runs FILE.\n"
                              ".PP\n"
                              "It stops at the end.\n"
                              ".SH \"EXIT STATUS\"\n"
                              "0 done; 2 bad\n"
                              "arguments.\n"
                              ".SH EXAMPLES\n"
                              ".TP\n"
                              "\\fBtool\\fR \\fBrun\\fR \\fIFILE\\fR\n"
                              "Runs FILE once.\n"
                              ".IP\n"
                              "A note that is indented\n"
                              "over two lines.\n"
                              ".TP\n"
                              "\\fB\\-\\-tagged\\fR\n"
                              "After it.\n"
                              ".PP\n"
                              "Back at the margin.\n");

    QTest::newRow("escapes and protected line starts")
            << QStringLiteral("Usage: tool\n"
                              "\n"
                              "Reads C:\\dir and -x.\n"
                              ".hidden files are skipped.\n"
                              "'quoted' names too.\n"
                              "\n"
                              "Options:\n"
                              "  .x  A tag that starts with a dot.\n")
            << QStringList()
            << QStringLiteral(".SH NAME\n"
                              "tool \\- reads C:\\edir and \\-x\n"
                              ".SH SYNOPSIS\n"
                              ".B tool\n"
                              ".SH DESCRIPTION\n"
                              "Reads C:\\edir and \\-x.\n"
                              "\\&.hidden files are skipped.\n"
                              "\\&'quoted' names too.\n"
                              ".SH OPTIONS\n"
                              ".TP\n"
                              "\\&.\\fBx\\fR\n"
                              "A tag that starts with a dot.\n");

    QTest::newRow("see also") << QStringLiteral("Usage: tool\n\nDoes it.\n")
                              << QStringList{QStringLiteral("a(1)"), QStringLiteral("b-c(8)"),
                                             QStringLiteral("plain text")}
                              << QStringLiteral(".SH NAME\n"
                                                "tool \\- does it\n"
                                                ".SH SYNOPSIS\n"
                                                ".B tool\n"
                                                ".SH DESCRIPTION\n"
                                                "Does it.\n"
                                                ".SH \"SEE ALSO\"\n"
                                                ".BR a (1),\n"
                                                ".BR b\\-c (8),\n"
                                                "plain text\n");
}

void TestManPage::page()
{
    QFETCH(QString, help);
    QFETCH(QStringList, seeAlso);
    QFETCH(QString, expected);
    const ManPageResult result = manPageFromHelp(help, header(seeAlso));
    QCOMPARE(result.error, QString());
    QCOMPARE(result.page, kTitle + expected);
}

void TestManPage::nameLine_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("name");

    QTest::newRow("first sentence") << "Writes files. Then ends."
                                    << "tool \\- writes files";
    QTest::newRow("over two lines") << "Writes files into\nreceivers. Then ends."
                                    << "tool \\- writes files into receivers";
    QTest::newRow("no full stop") << "Writes files"
                                  << "tool \\- writes files";
    QTest::newRow("a dot inside a word") << "Reads x.ini files. More."
                                         << "tool \\- reads x.ini files";
    QTest::newRow("an acronym first") << "USB receivers are written."
                                      << "tool \\- USB receivers are written";
    QTest::newRow("one letter") << "A. B."
                                << "tool \\- A";
}

void TestManPage::nameLine()
{
    QFETCH(QString, description);
    QFETCH(QString, name);
    const ManPageResult result
            = manPageFromHelp(QStringLiteral("Usage: tool\n\n") + description + u'\n', header());
    QCOMPARE(result.error, QString());
    QCOMPARE(::nameLine(result.page), name);
}

void TestManPage::refused_data()
{
    QTest::addColumn<QString>("help");
    QTest::addColumn<QString>("error");

    const QString noUsage
            = QStringLiteral("the help text does not start with a line \"Usage: PROGRAM ...\"");
    const QString noDescription
            = QStringLiteral("the help text has no description paragraph after its usage");
    QTest::newRow("empty") << QString() << noUsage;
    QTest::newRow("no usage line") << QStringLiteral("Tool does things.\n") << noUsage;
    QTest::newRow("usage not first") << QStringLiteral("Tool.\nUsage: tool\n") << noUsage;
    QTest::newRow("usage alone") << QStringLiteral("Usage: tool\n") << noDescription;
    QTest::newRow("options right away")
            << QStringLiteral("Usage: tool\n\nOptions:\n  -h  Help.\n") << noDescription;
    QTest::newRow("indented first")
            << QStringLiteral("Usage: tool\n\n  -h  Help.\n") << noDescription;
}

void TestManPage::refused()
{
    QFETCH(QString, help);
    QFETCH(QString, error);
    const ManPageResult result = manPageFromHelp(help, header());
    QCOMPARE(result.error, error);
    QCOMPARE(result.page, QString());
}

QTEST_GUILESS_MAIN(TestManPage)
#include "tst_manpage.moc"
