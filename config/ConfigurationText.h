#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

class QSettings;

// The text of a configuration file as the loader reads it.
//
// The toolkit's INI reader matches group and key names without regard to case on Windows and
// with regard to case elsewhere, and files written for the Windows tool may spell [settings] or
// shiftdelay. So before the reader sees a file, every known group and key name (the table of
// ConfigurationKeys.h) that is written in another case, or through %XX escapes that spell
// another case, is replaced by its canonical spelling; then the reader's own rules decide as
// they do for names spelt alike: repeated keys, the last one wins; repeated groups are merged.
// Only the keys written in a group count: a key outside any group whose name holds a group
// (Settings\shiftDelay in [General]) is taken out of the text. Everything else stays byte for
// byte: unknown names, values, comments, line ends, so line numbers do not change.

// A known name that the file spells in another case.
struct NameRespelling
{
    qsizetype offset; // where the name starts in the file's bytes
    QString written; // the name as the reader decodes it
    QString canonical; // the spelling it is read as
    bool group; // a [group] line; otherwise a key
};

struct CanonicalNames
{
    QByteArray text; // the file with the respelled names, without keys of groups in [General]
    std::vector<NameRespelling> respellings; // in file order
};

// A group or key name as the toolkit's INI reader decodes it: %XX and %UXXXX are characters,
// a backslash is the separator '/'; a '%' without hexadecimal digits after it stays.
QString decodeIniName(QStringView raw);

// Replaces the known names that `data` spells in another case by their canonical spelling and
// takes out the keys of [General] that name a group. The lines, groups and keys are found as
// the toolkit's INI reader finds them (line continuation inside quotes and after a backslash,
// ';' comments, a UTF-8 BOM, [General], %XX and %UXXXX escapes and '\' as the separator in
// names).
CanonicalNames canonicalizeNames(const QByteArray &data);

// The toolkit's INI reader over a configuration file's text with canonical names, with every
// group parsed, so that no other group can hide a group's keys: over the file itself when that
// text is the file's own and the file still holds the same bytes after the reader has read it,
// otherwise over a temporary copy of the text, which is removed once the reader has read it. So
// what the reader parses is exactly the text the caller checked. Null when the file cannot be
// opened or the copy cannot be written.
std::unique_ptr<QSettings> readConfigurationSettings(const QString &path);

// The same for a file whose bytes the caller has already read (and `path` names).
std::unique_ptr<QSettings> readConfigurationSettings(const QString &path,
                                                     const CanonicalNames &names);
