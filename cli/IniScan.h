#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// A configuration file read line by line the way the toolkit's INI reader splits it, with line
// numbers, for `rcprog-cli check`.

enum class Severity { Warning, Error };

// One finding: a line number (0: the file as a whole), its severity and the message.
struct Diagnostic
{
    int line;
    Severity severity;
    QString message;
};

// One key=value line of the file.
struct KeyLine
{
    int line;
    QString group; // decoded; empty outside any group
    QString key; // decoded
    QString value; // the raw value text, trimmed
    bool cutByComment; // an unquoted ';' ended the value
};

struct GroupLine
{
    int line;
    QString name; // decoded; empty for [General]
};

// The file's lines as the toolkit's INI reader splits them, with their line numbers.
struct Scan
{
    std::vector<GroupLine> groups;
    std::vector<KeyLine> keys;
};


// Splits `data` into its [group] and key=value lines. Lines the reader would not read as
// written (not valid UTF-8, neither a comment, a group nor a key=value, an unclosed quote, a
// group line without ']', a value continued with '\') are reported to `out`.
void scanFile(const QByteArray &data, Scan &scan, std::vector<Diagnostic> &out);
