#include "ManPage.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <vector>

namespace {

struct Entry
{
    enum class Kind { Paragraph, Tagged, Indented };
    Kind kind;
    QString tag; // Tagged only
    QStringList lines; // without their indentation
};

struct Section
{
    QString name;
    std::vector<Entry> entries;
};

struct Synopsis
{
    QString program;
    QString arguments;
};

int indentOf(const QString &line)
{
    int n = 0;
    while (n < line.size() && line.at(n).isSpace())
        ++n;
    return n;
}

bool isBlank(const QString &line)
{
    return line.trimmed().isEmpty();
}

QString protectLineStart(const QString &line)
{
    if (line.startsWith(u'.') || line.startsWith(u'\''))
        return QStringLiteral("\\&") + line;
    return line;
}

// Roff text without the protection of the line start, for pieces that are put together first.
QString escapePiece(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        if (c == u'\\')
            out += QStringLiteral("\\e");
        else if (c == u'-')
            out += QStringLiteral("\\-");
        else
            out += c;
    }
    return out;
}

// A tag or a synopsis: options and command words bold, upper-case placeholders italic, the
// rest ([, ], |, ..., digits) roman.
QString formatWords(const QString &text)
{
    static const QRegularExpression token(QStringLiteral(R"(-{1,2}[A-Za-z0-9][\w-]*|\w[\w-]*|.)"),
                                          QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression placeholder(QStringLiteral(R"(^[A-Z0-9_]*[A-Z][A-Z0-9_]*$)"));
    static const QRegularExpression word(QStringLiteral(R"([a-z])"));
    QString out;
    auto it = token.globalMatch(text);
    while (it.hasNext()) {
        const QString t = it.next().captured(0);
        if (t.startsWith(u'-') && t.size() > 1) {
            // "--passes=N": the option bold, its value a placeholder.
            const int eq = t.indexOf(u'=');
            if (eq > 0)
                out += QStringLiteral("\\fB%1\\fR=\\fI%2\\fR")
                               .arg(escapePiece(t.left(eq)), escapePiece(t.mid(eq + 1)));
            else
                out += QStringLiteral("\\fB%1\\fR").arg(escapePiece(t));
        } else if (placeholder.match(t).hasMatch()) {
            out += QStringLiteral("\\fI%1\\fR").arg(escapePiece(t));
        } else if (t.contains(word)) {
            out += QStringLiteral("\\fB%1\\fR").arg(escapePiece(t));
        } else {
            out += escapePiece(t);
        }
    }
    return out;
}

// A macro argument in double quotes.
QString quoted(const QString &text)
{
    QString escaped = escapePiece(text);
    escaped.replace(u'"', QStringLiteral("\\(dq"));
    return u'"' + escaped + u'"';
}

QString programName(const QString &word)
{
    return QFileInfo(word).fileName();
}

// The first sentence of a paragraph, without its full stop; a first word that is merely
// capitalised ("Writes", not "USB") starts in lower case, as NAME lines do.
QString summaryOf(const Entry &paragraph)
{
    const QString text = paragraph.lines.join(u' ');
    static const QRegularExpression sentenceEnd(QStringLiteral(R"(\.(\s|$))"));
    const QRegularExpressionMatch m = sentenceEnd.match(text);
    QString summary = m.hasMatch() ? text.left(m.capturedStart()) : text;
    if (summary.size() > 1 && summary.at(0).isUpper() && summary.at(1).isLower())
        summary[0] = summary.at(0).toLower();
    return summary;
}

void parseBlock(const QStringList &block, Section &section)
{
    int i = 0;
    while (i < block.size()) {
        const QString &line = block.at(i);
        const int indent = indentOf(line);
        if (indent == 0) {
            Entry e{Entry::Kind::Paragraph, {}, {}};
            while (i < block.size() && indentOf(block.at(i)) == 0)
                e.lines << block.at(i++).trimmed();
            section.entries.push_back(e);
            continue;
        }
        static const QRegularExpression tagged(
                QStringLiteral(R"(^\s+(\S(?:.*?\S)?)\s{2,}(\S.*)$)"));
        const QRegularExpressionMatch m = tagged.match(line);
        ++i;
        const bool tagAlone = !m.hasMatch() && i < block.size() && indentOf(block.at(i)) > indent;
        Entry e{m.hasMatch() || tagAlone ? Entry::Kind::Tagged : Entry::Kind::Indented, {}, {}};
        if (m.hasMatch()) {
            e.tag = m.captured(1);
            e.lines << m.captured(2).trimmed();
        } else if (tagAlone) {
            e.tag = line.trimmed();
        } else {
            e.lines << line.trimmed();
        }
        // A tagged entry's text goes on in deeper lines; an indented paragraph also in lines
        // of its own depth that are not tagged entries themselves.
        const auto continues = [&](const QString &next) {
            const int depth = indentOf(next);
            return depth > indent
                   || (e.kind == Entry::Kind::Indented && depth == indent
                       && !tagged.match(next).hasMatch());
        };
        while (i < block.size() && continues(block.at(i)))
            e.lines << block.at(i++).trimmed();
        section.entries.push_back(e);
    }
}

void renderSection(const Section &section, QString &out)
{
    if (section.entries.empty())
        return;
    const QString name = section.name.contains(u' ') ? quoted(section.name) : section.name;
    out += QStringLiteral(".SH ") + name + u'\n';
    bool first = true;
    for (const Entry &e : section.entries) {
        switch (e.kind) {
        case Entry::Kind::Paragraph:
            if (!first)
                out += QStringLiteral(".PP\n");
            break;
        case Entry::Kind::Tagged:
            out += QStringLiteral(".TP\n") + protectLineStart(formatWords(e.tag)) + u'\n';
            break;
        case Entry::Kind::Indented:
            out += QStringLiteral(".IP\n");
            break;
        }
        for (const QString &line : e.lines)
            out += roffEscape(line) + u'\n';
        first = false;
    }
}

} // namespace

QString roffEscape(const QString &text)
{
    return protectLineStart(escapePiece(text));
}

ManPageResult manPageFromHelp(const QString &helpText, const ManPageHeader &header)
{
    QStringList lines;
    for (QString line : helpText.split(u'\n')) {
        while (!line.isEmpty() && line.back().isSpace())
            line.chop(1);
        lines << line;
    }
    int i = 0;
    while (i < lines.size() && isBlank(lines.at(i)))
        ++i;

    static const QRegularExpression usage(QStringLiteral(R"(^usage:\s+(\S+)\s*(.*)$)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch u
            = i < lines.size() ? usage.match(lines.at(i)) : QRegularExpressionMatch();
    if (!u.hasMatch())
        return {{},
                QStringLiteral("the help text does not start with a line \"Usage: PROGRAM "
                               "...\"")};
    std::vector<Synopsis> synopsis{{programName(u.captured(1)), u.captured(2)}};
    ++i;
    static const QRegularExpression orPrefix(QStringLiteral(R"(^or:\s+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    while (i < lines.size() && !isBlank(lines.at(i)) && indentOf(lines.at(i)) > 0) {
        QString form = lines.at(i++).trimmed();
        const bool alternative = form.contains(orPrefix);
        form.remove(orPrefix);
        const QString first = form.section(u' ', 0, 0);
        if (alternative || programName(first) == synopsis.front().program)
            synopsis.push_back({programName(first), form.section(u' ', 1).trimmed()});
        else
            synopsis.back().arguments += u' ' + form;
    }

    // The blocks after the usage; lines right below it, without a blank line, are a block too.
    std::vector<Section> sections{{QStringLiteral("DESCRIPTION"), {}}};
    static const QRegularExpression heading(
            QStringLiteral(R"(^([A-Z][A-Za-z]*(?: [A-Za-z]+)*):(?:\s+(\S.*))?$)"));
    while (i < lines.size()) {
        if (isBlank(lines.at(i))) {
            ++i;
            continue;
        }
        QStringList block;
        while (i < lines.size() && !isBlank(lines.at(i)))
            block << lines.at(i++);
        const QRegularExpressionMatch h = heading.match(block.front());
        if (h.hasMatch()) {
            const QString name = h.captured(1).toUpper();
            if (h.captured(2).isEmpty())
                block.removeFirst();
            else
                block.front() = h.captured(2);
            if (name != sections.back().name)
                sections.push_back({name, {}});
        }
        parseBlock(block, sections.back());
    }

    const auto &description = sections.front().entries;
    if (description.empty() || description.front().kind != Entry::Kind::Paragraph)
        return {{}, QStringLiteral("the help text has no description paragraph after its usage")};

    QString out;
    out += QStringLiteral(".\\\" Made from the output of \"%1 --help\"; change the help text, not "
                          "this page.\n")
                   .arg(header.program);
    out += QStringLiteral(".TH %1 %2 %3 %4 %5\n")
                   .arg(quoted(header.program.toUpper()), quoted(header.section),
                        quoted(header.date), quoted(header.source), quoted(header.manual));
    out += QStringLiteral(".SH NAME\n") + escapePiece(header.program) + QStringLiteral(" \\- ")
           + escapePiece(summaryOf(description.front())) + u'\n';
    out += QStringLiteral(".SH SYNOPSIS\n");
    for (std::size_t k = 0; k < synopsis.size(); ++k) {
        if (k > 0)
            out += QStringLiteral(".br\n");
        out += QStringLiteral(".B ") + escapePiece(synopsis[k].program) + u'\n';
        if (!synopsis[k].arguments.isEmpty())
            out += protectLineStart(formatWords(synopsis[k].arguments)) + u'\n';
    }
    for (const Section &section : sections)
        renderSection(section, out);

    if (!header.seeAlso.isEmpty()) {
        out += QStringLiteral(".SH \"SEE ALSO\"\n");
        static const QRegularExpression reference(QStringLiteral(R"(^(\S+)\((\w+)\)$)"));
        for (int k = 0; k < header.seeAlso.size(); ++k) {
            const QString comma = k + 1 < header.seeAlso.size() ? QStringLiteral(",") : QString();
            const QRegularExpressionMatch r = reference.match(header.seeAlso.at(k));
            if (r.hasMatch())
                out += QStringLiteral(".BR %1 (%2)%3\n")
                               .arg(escapePiece(r.captured(1)), r.captured(2), comma);
            else
                out += roffEscape(header.seeAlso.at(k) + comma) + u'\n';
        }
    }
    return {out, {}};
}
