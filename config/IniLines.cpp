#include "IniLines.h"

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLineBreak(char c)
{
    return c == '\n' || c == '\r';
}

} // namespace

bool nextIniLine(const QByteArray &data, qsizetype &pos, IniLine &line)
{
    const qsizetype size = data.size();
    bool inQuotes = false;
    line.equals = -1;
    line.start = pos;
    while (line.start < size && (isBlank(data[line.start]) || isLineBreak(data[line.start])))
        ++line.start;
    qsizetype i = line.start;
    while (i < size) {
        const char c = data[i++];
        if (c == '=') {
            if (!inQuotes && line.equals < 0)
                line.equals = i - 1;
        } else if (isLineBreak(c)) {
            if (i == line.start + 1) {
                ++line.start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (c == '\\') {
            // Whatever follows a backslash belongs to the line, a line break too (with its
            // partner of a two-character line break).
            if (i < size) {
                const char next = data[i++];
                if (i < size && isLineBreak(next) && isLineBreak(data[i]) && data[i] != next)
                    ++i;
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == ';') {
            if (i == line.start + 1) {
                while (i < size && !isLineBreak(data[i]))
                    ++i;
                while (i < size && (isBlank(data[i]) || isLineBreak(data[i])))
                    ++i;
                line.start = i;
            } else if (!inQuotes) {
                --i;
                break;
            }
        }
    }
    pos = i;
    line.end = i;
    return line.end > line.start;
}
