#pragma once

#include <QString>
#include <QStringList>

// A manual page made from a program's --help text, so that the page says what the program
// says and cannot drift from it.
//
// The help text is read by these rules:
// - It starts with the usage line "Usage: PROGRAM ARGS" ("usage:" as well). An indented line
//   right after it that starts with the program's name is a further form of the call (also
//   after "or:"); another indented line continues the ARGS of the line above. Together they
//   are the SYNOPSIS.
// - Blocks are separated by blank lines. A block whose first line is a heading, a capitalised
//   word or words and a colon at the start of the line ("Options:", "Exit status:"), starts
//   the section of that name (OPTIONS, EXIT STATUS); text after the colon is the section's
//   first paragraph. Everything before the first heading is the DESCRIPTION, whose first
//   sentence also makes the NAME line.
// - Within a section, lines at the start of the line are paragraphs; an indented line with a
//   tag, two or more spaces and a text ("  --select NAME  Select ...") is a tagged entry whose
//   text goes on in the more deeply indented lines below it (a tag alone on its line takes the
//   indented lines below as its text); other indented lines are an indented paragraph.
// In tags and in the synopsis, options and command words are set in bold and upper-case
// placeholders (FILE, NAME) in italics.

// What the page takes from outside the help text: its title line and its cross references.
struct ManPageHeader
{
    QString program; // the page's name, e.g. "rcprog-cli"
    QString section = QStringLiteral("1");
    QString date; // e.g. "2026-12-10"
    QString source; // e.g. "rcprog 1.0.0"
    QString manual; // e.g. "User Commands"
    QStringList seeAlso; // e.g. "rcprog(1)"
};

struct ManPageResult
{
    QString page; // the page in the man macros of roff; empty on error
    QString error; // what the help text lacks; empty on success
};

ManPageResult manPageFromHelp(const QString &helpText, const ManPageHeader &header);

// `text` as roff text: backslashes and hyphens escaped, a leading '.' or '\'' protected.
QString roffEscape(const QString &text);
