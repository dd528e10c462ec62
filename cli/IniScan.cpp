#include "IniScan.h"

#include "ConfigurationText.h"

#include <QList>
#include <QStringDecoder>
#include <QStringList>

void scanFile(const QByteArray &data, Scan &scan, std::vector<Diagnostic> &out)
{
    // Physical lines: "\r\n", "\n" and "\r" end a line, as they do for the reader.
    QList<QByteArray> lines;
    qsizetype start = data.startsWith("\xef\xbb\xbf") ? 3 : 0;
    for (qsizetype i = start; i <= data.size(); ++i) {
        if (i == data.size() || data.at(i) == '\n' || data.at(i) == '\r') {
            lines.append(data.mid(start, i - start));
            if (i + 1 < data.size() && data.at(i) == '\r' && data.at(i + 1) == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    QStringList text;
    for (int n = 0; n < lines.size(); ++n) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text.append(decoder(lines.at(n)));
        if (decoder.hasError())
            out.push_back({n + 1, Severity::Error,
                           QStringLiteral("line is not valid UTF-8; the reader does not read "
                                          "those bytes as written")});
    }

    QString group;
    for (int n = 0; n < text.size(); ++n) {
        const int lineNumber = n + 1;
        QString t = text.at(n);
        qsizetype i = 0;
        while (i < t.size() && (t.at(i) == u' ' || t.at(i) == u'\t'))
            ++i;
        if (i == t.size() || t.at(i) == u';' || t.at(i) == u'#')
            continue;

        if (t.at(i) == u'[') {
            const qsizetype close = t.indexOf(u']', i);
            if (close < 0)
                out.push_back(
                        {lineNumber, Severity::Warning, QStringLiteral("group line without ']'")});
            const QString raw = (close < 0 ? t.mid(i + 1) : t.mid(i + 1, close - i - 1)).trimmed();
            group = raw.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0
                            ? QString()
                            : decodeIniName(raw);
            scan.groups.push_back({lineNumber, group});
            continue;
        }

        // key=value: the first '=' outside quotes splits; an unquoted ';' starts a comment; a
        // line break inside quotes or after a backslash does not end the value.
        bool inQuotes = false;
        qsizetype equals = -1, end = -1;
        bool cut = false;
        const int firstLine = n;
        int quotedLines = 0;
        qsizetype j = i;
        for (;;) {
            if (j >= t.size()) {
                if (inQuotes && n + 1 < text.size()) {
                    t += u'\n' + text.at(++n);
                    ++quotedLines;
                    continue;
                }
                end = t.size();
                break;
            }
            const QChar c = t.at(j);
            if (c == u'\\') {
                if (j + 1 == t.size() && n + 1 < text.size()) {
                    out.push_back({n + 1, Severity::Warning,
                                   QStringLiteral("line ends with '\\': the next line continues "
                                                  "the value")});
                    t += u'\n' + text.at(++n);
                }
                j += 2;
                continue;
            }
            if (c == u'"') {
                inQuotes = !inQuotes;
            } else if (c == u'=' && !inQuotes && equals < 0) {
                equals = j;
            } else if (c == u';' && !inQuotes) {
                end = j;
                cut = true;
                break;
            }
            ++j;
        }
        if (inQuotes || quotedLines > 0)
            out.push_back({firstLine + 1, Severity::Error,
                           inQuotes ? QStringLiteral("'\"' is not closed: the reader takes the "
                                                     "rest of the file into this value")
                                    : QStringLiteral("'\"' is not closed on its line: the reader "
                                                     "takes the next %1 line(s) into this value")
                                              .arg(quotedLines)});
        if (equals < 0) {
            out.push_back({firstLine + 1, Severity::Error,
                           QStringLiteral("not a comment, a [group] or a key=value line; the "
                                          "reader ignores it")});
            continue;
        }
        QString rawKey = t.mid(i, equals - i);
        while (!rawKey.isEmpty() && (rawKey.endsWith(u' ') || rawKey.endsWith(u'\t')))
            rawKey.chop(1);
        scan.keys.push_back({firstLine + 1, group, decodeIniName(rawKey),
                             t.mid(equals + 1, end - equals - 1).trimmed(), cut});
    }
}
