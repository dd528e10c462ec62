#include "EncodedValues.h"

#include "IniLines.h"

#include <QStringList>

namespace {

const char *const kForms[] = {"@Variant(", "@DateTime("};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLineBreak(char c)
{
    return c == '\n' || c == '\r';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int octValue(char c)
{
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

// The beginnings of the texts a value reads as (one, or the elements of a comma list), as long
// as the longest form. Escapes give their character; a byte that is not ASCII is left out (see
// the header).
QStringList valueTexts(const QByteArray &data, qsizetype from, qsizetype to)
{
    constexpr qsizetype kKept = 10; // "@DateTime("
    QStringList texts;
    QString text;
    const auto add = [&text](QChar c) {
        if (text.size() < kKept)
            text += c;
    };
    bool inQuotes = false;
    qsizetype i = from;
    const auto skipBlanks = [&] {
        while (i < to && isBlank(data[i]))
            ++i;
    };
    skipBlanks();
    while (i < to) {
        const char c = data[i];
        if (c == '\\') {
            if (++i >= to)
                break;
            const char e = data[i++];
            switch (e) {
            case 'a':
                add(u'\a');
                continue;
            case 'b':
                add(u'\b');
                continue;
            case 'f':
                add(u'\f');
                continue;
            case 'n':
                add(u'\n');
                continue;
            case 'r':
                add(u'\r');
                continue;
            case 't':
                add(u'\t');
                continue;
            case 'v':
                add(u'\v');
                continue;
            case '"':
            case '?':
            case '\'':
            case '\\':
                add(QLatin1Char(e));
                continue;
            default:
                break;
            }
            // \x and \0 ... \7 take as many digits as follow; the value keeps its low 16 bits.
            const bool hex = e == 'x';
            if (hex || octValue(e) >= 0) {
                if (hex && (i >= to || hexValue(data[i]) < 0))
                    continue; // "\x" without a digit gives nothing
                char16_t value = hex ? 0 : char16_t(octValue(e));
                for (int d; i < to && (d = hex ? hexValue(data[i]) : octValue(data[i])) >= 0; ++i)
                    value = char16_t(value * (hex ? 16 : 8) + d);
                add(QChar(value));
            } else if (isLineBreak(e) && i < to && isLineBreak(data[i]) && data[i] != e) {
                ++i; // a continued line; nothing of the break is kept
            }
            // Any other character after a backslash is dropped.
            continue;
        }
        if (c == '"') {
            ++i;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
            continue;
        }
        if (c == ',' && !inQuotes) {
            texts.append(text);
            text.clear();
            ++i;
            skipBlanks();
            continue;
        }
        if (uchar(c) < 0x80)
            add(QLatin1Char(c));
        ++i;
    }
    texts.append(text);
    return texts;
}

int lineNumberAt(const QByteArray &data, qsizetype pos)
{
    int line = 1;
    for (qsizetype i = 0; i < pos; ++i) {
        if (data[i] == '\n' || (data[i] == '\r' && !(i + 1 < data.size() && data[i + 1] == '\n')))
            ++line;
    }
    return line;
}

} // namespace

std::optional<EncodedValue> findEncodedValue(const QByteArray &data)
{
    // The reader skips a UTF-8 byte order mark; the line numbers still count from the file's
    // first byte.
    const qsizetype start = data.startsWith("\xef\xbb\xbf") ? 3 : 0;
    qsizetype pos = start;
    IniLine line;
    while (nextIniLine(data, pos, line)) {
        if (data[line.start] == '[' || line.equals < 0)
            continue;
        for (const QString &text : valueTexts(data, line.equals + 1, line.end)) {
            for (const char *form : kForms) {
                if (text.startsWith(QLatin1String(form)))
                    return EncodedValue{lineNumberAt(data, line.start), QLatin1String(form)};
            }
        }
    }
    return std::nullopt;
}
