#include "ConfigurationText.h"

#include "ConfigurationKeys.h"
#include "IniLines.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryFile>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// [begin, end) of `data` without the blanks at either end, as the reader trims names.
void trim(const QByteArray &data, qsizetype &begin, qsizetype &end)
{
    while (begin < end
           && (isSpace(data.at(begin)) || data.at(begin) == '\v' || data.at(begin) == '\f'))
        ++begin;
    while (end > begin
           && (isSpace(data.at(end - 1)) || data.at(end - 1) == '\v' || data.at(end - 1) == '\f'))
        --end;
}

} // namespace

QString decodeIniName(QStringView raw)
{
    QString out;
    qsizetype i = 0;
    while (i < raw.size()) {
        const QChar c = raw.at(i);
        if (c == u'\\') {
            out += u'/';
            ++i;
            continue;
        }
        if (c != u'%' || i == raw.size() - 1) {
            out += c;
            ++i;
            continue;
        }
        const bool wide = raw.at(i + 1) == u'U';
        const qsizetype first = i + (wide ? 2 : 1);
        const qsizetype digits = wide ? 4 : 2;
        bool ok = false;
        const ushort code
                = first + digits <= raw.size() ? raw.sliced(first, digits).toUShort(&ok, 16) : 0;
        if (!ok) {
            out += u'%';
            ++i;
            continue;
        }
        out += QChar(code);
        i = first + digits;
    }
    return out;
}

CanonicalNames canonicalizeNames(const QByteArray &data)
{
    CanonicalNames result;
    QByteArray &out = result.text;
    qsizetype copied = 0; // data before this offset is in `out`
    const auto replace = [&](qsizetype begin, qsizetype end, const QString &written,
                             const QString &canonical, bool group) {
        out += data.mid(copied, begin - copied);
        out += canonical.toUtf8();
        copied = end;
        result.respellings.push_back({begin, written, canonical, group});
    };

    QString group; // the current group's canonical name; empty for [General]
    qsizetype position = data.startsWith("\xef\xbb\xbf") ? 3 : 0;
    IniLine line;
    while (nextIniLine(data, position, line)) {
        const qsizetype lineStart = line.start;
        const qsizetype lineEnd = line.end;
        const qsizetype equals = line.equals;
        if (data.at(lineStart) == '[') {
            const qsizetype close = data.indexOf(']', lineStart);
            qsizetype begin = lineStart + 1;
            qsizetype end = close >= 0 && close < lineEnd ? close : lineEnd;
            trim(data, begin, end);
            const QByteArrayView raw(data.constData() + begin, end - begin);
            if (raw.compare("general", Qt::CaseInsensitive) == 0) {
                group.clear();
            } else if (raw.compare("%general", Qt::CaseInsensitive) == 0) {
                group = QString::fromLatin1(raw.sliced(1)); // a group called General
            } else {
                group = decodeIniName(QString::fromUtf8(raw));
                const QString canonical = canonicalGroupName(group, Qt::CaseInsensitive);
                if (!canonical.isNull() && canonical != group)
                    replace(begin, end, group, canonical, true);
                if (!canonical.isNull())
                    group = canonical;
            }
            continue;
        }
        if (equals < 0)
            continue;
        qsizetype begin = lineStart;
        qsizetype end = equals;
        trim(data, begin, end);
        const QString key = decodeIniName(QString::fromUtf8(data.constData() + begin, end - begin));
        // Only the keys of a group count, so Settings\shiftDelay in [General] is no known name.
        // The reader, once it has parsed [General], would give it as the group's key; the line
        // goes, leaving its line break.
        if (group.isEmpty() && key.contains(u'/')) {
            out += data.mid(copied, lineStart - copied);
            copied = lineEnd;
            continue;
        }
        const ConfigKey *known = findConfigKey(group, key, Qt::CaseInsensitive);
        if (!known || known->name == key)
            continue;
        replace(begin, end, key, known->name, false);
    }
    out += data.mid(copied);
    return result;
}

namespace {

// The reader parses the key lines of a group only when a key is first asked for, and it finds
// the group to parse by name order: a key of [rcSettings] is looked for in the last group whose
// name sorts before it, so a later [rcSettings\c] would hide rc01nameOfSwitch and every other
// key sorting after "c", which would then read as missing and take its default. Asking for all
// keys at once parses every group, so each key is found in its own group whatever other groups
// the file has and in whatever order keys are asked for.
std::unique_ptr<QSettings> parsedSettings(const QString &file)
{
    auto settings = std::make_unique<QSettings>(file, QSettings::IniFormat);
    settings->allKeys();
    return settings;
}

} // namespace

std::unique_ptr<QSettings> readConfigurationSettings(const QString &path,
                                                     const CanonicalNames &names)
{
    // The reader reads only files, and what it parses must be exactly the bytes the caller
    // checked. A file without names to respell is read where it is, and the file is read again
    // afterwards: if it changed meanwhile (an editor saving it), or the text lost a key of
    // [General], the reader takes a private copy of the text instead. The reader reads the whole
    // file when it is constructed and never again unless it is written to, so a copy can go
    // right after.
    if (names.respellings.empty()) {
        auto settings = parsedSettings(path);
        QFile again(path);
        if (again.open(QIODevice::ReadOnly) && again.readAll() == names.text
            && again.error() == QFileDevice::NoError)
            return settings;
    }
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/rcprog-XXXXXX.ini"));
    if (!copy.open() || copy.write(names.text) != names.text.size() || !copy.flush())
        return nullptr;
    copy.close();
    return parsedSettings(copy.fileName());
}

std::unique_ptr<QSettings> readConfigurationSettings(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    return readConfigurationSettings(path, canonicalizeNames(file.readAll()));
}
