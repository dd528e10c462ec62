#pragma once

#include <QByteArray>

// A configuration file's logical lines, split as the toolkit's INI reader splits them: leading
// blanks, empty lines and lines that start with ';' (comments) are skipped; a line break inside
// double quotes, or right after a backslash (with the partner of a two-character line break),
// does not end the line; an unquoted ';' ends it.
struct IniLine
{
    qsizetype start = 0; // [start, end) of the line in the data
    qsizetype end = 0;
    qsizetype equals = -1; // the first '=' outside quotes; -1: none
};

// The next logical line from `pos` on, which it moves past the line. False at the end of the data.
bool nextIniLine(const QByteArray &data, qsizetype &pos, IniLine &line);
