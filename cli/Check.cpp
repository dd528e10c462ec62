// rcprog-cli check FILE...: a linter for configuration files.
//
// The loader is silent by design: a misspelt key takes its default, a value that is not a
// decimal integer reads as 0, and a flash image that does not fit is replaced by the switch name
// block, all without a word. `check` reads the file text line by line to say where such things
// happen, and asks the toolkit's INI reader and the loader for the values they really produce,
// so that what it reports is what a load does.
//
// Diagnostics, as FILE:LINE: SEVERITY: MESSAGE on stderr, sorted by line. An error is something
// that makes the receiver get something other than what the file appears to say; a warning is
// odd but does what it says. Line 0 means the file as a whole.
//
// Structure of the file
//   error    a line that is neither a comment, a [group] nor key=value (the reader skips it)
//   error    a quoted value whose closing '"' is missing (the reader takes the following lines
//            into the value)
//   error    a line that is not valid UTF-8 (the reader does not read those bytes as written)
//   error    unknown group (all its keys are ignored); nearest known group suggested
//   error    unknown key in a known group; nearest known key suggested (edit distance), or the
//            two-digit form of a numbered key (rc1flashData -> rc01flashData, key5 -> key05)
//   error    a known key in the wrong group, or outside any group (it is not found there)
//   error    a key set again in a group with another value (the last one counts)
//   warning  a key set again with the same value
//   warning  a group that appears twice (the reader merges both)
//   warning  a group line without its closing ']'
//   warning  a line that ends in '\' (the value continues on the next line)
// Integer values
//   error    a value that is not a decimal integer, or is empty (it reads as 0, not the default)
//   error    a value that does not fit into 32 bits (the toolkit wraps it)
//   error    a value that contains an unquoted ',' (the toolkit reads a list: 0)
//   error    a byte value outside 0..255 (the receiver gets only its low 8 bits)
//   error    ID outside 0..65535 (it is split into two bytes)
//   error    rcNNboolRewritableFromSoftware outside 0..255 (the flash image gets the first two
//            hex digits of the value)
//   error    quantityOfRemoteControls outside 0..8
//   error    quantityOfBytesInFlashBlock not a positive multiple of 8 (a flash block is sent in
//            8-byte reports), also when it is missing (255) while flash data is sent
//   warning  canChangeProductName other than 0 and 1 (only 1 writes the name)
// Text values
//   error    a value that contains an unquoted ',' (the toolkit reads a list: empty text)
//   warning  an unquoted ';' inside a text value (it starts a comment; the value ends there)
//   error    a switch name longer than 57 characters (it is cut to 57)
//   error    a switch-name character above U+00FF (it is sent as 0)
//   warning  a non-ASCII Latin-1 switch-name character (it is sent as its Latin-1 code)
//   error    with canChangeProductName 1: a product name longer than 24 characters (cut to 24)
//            or with a character above U+00FF (written as 0)
//   warning  with canChangeProductName 1: an empty product name
//   error    flash data with a character that is not a hexadecimal digit (that byte goes as 0)
//   error    flash data with an odd number of digits
//   error    flash data, as the loader rewrites it, longer than 2 x Q x M digits (Q the flash
//            block size, M its rcNNmaxSize): the switch name block is sent instead
//   warning  flash data shorter than the 14 digits of its name record
//   warning  a switch name, rewritable flag or flash data of a remote control beyond
//            quantityOfRemoteControls (its block is never sent)
//   error    haveMacro at least 1 while flashMacro is missing, is not 256 digits long or holds
//            a character that is not a hexadecimal digit (no macro block, or zeros, is sent)
//   warning  a flashMacro while haveMacro is 0 or less (it is not sent)
#include "Check.h"

#include "ConfigurationLoader.h"
#include "RemoteControlData.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSettings>
#include <QStringDecoder>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitErrors = 1;
constexpr int kExitFileProblem = 2;

constexpr int kMaxProductName = 24; // characters the receiver takes
constexpr int kReportPayload = 8; // payload bytes of one report
constexpr int kNameRecordDigits = 14; // bytes 0 ... 6 of a flash image
constexpr int kMacroDigits = 256;

enum class Severity { Warning, Error };

struct Diagnostic
{
    int line;
    Severity severity;
    QString message;
};

enum class Kind { Integer, Text };

// What an integer key's value must satisfy.
enum class Rule {
    None, // a text key
    Byte, // 0 ... 255
    Id, // 0 ... 65535
    ProductFlag, // 0 or 1
    RemoteCount, // 0 ... 8
    FlashBlockSize, // a positive multiple of 8, and a byte
    Rewritable, // 0 ... 255, written as two hex digits
};

struct KnownKey
{
    QString group;
    QString key;
    Kind kind;
    Rule rule;
    int defaultValue; // integers only
    int remoteControl; // 1 ... 8 for an rcNN key, else 0
};

const QString kNameOfDevice = QStringLiteral("nameOfDevice");
const QString kSettings = QStringLiteral("Settings");
const QString kMacro = QStringLiteral("Macro");
const QString kRcSettings = QStringLiteral("rcSettings");
const QString kKeysTable = QStringLiteral("rcDatabaseToRemoteControlKeysTable");

const QStringList &knownGroups()
{
    static const QStringList groups = {kNameOfDevice, kSettings, kMacro, kRcSettings, kKeysTable};
    return groups;
}

const QStringList &rcSuffixes()
{
    static const QStringList suffixes
            = {QStringLiteral("maxSize"), QStringLiteral("keyNumberOfSwitchKey"),
               QStringLiteral("nameOfSwitch"), QStringLiteral("boolRewritableFromSoftware"),
               QStringLiteral("flashData")};
    return suffixes;
}

QString rcKey(int n, const QString &suffix)
{
    return QStringLiteral("rc%1").arg(n, 2, 10, QLatin1Char('0')) + suffix;
}

// Every key the loader reads, in reading order.
const std::vector<KnownKey> &knownKeys()
{
    static const std::vector<KnownKey> keys = [] {
        std::vector<KnownKey> k;
        auto integer = [&k](const QString &group, const char *key, int def, Rule rule = Rule::Byte,
                            int rc = 0) {
            k.push_back({group, QLatin1String(key), Kind::Integer, rule, def, rc});
        };
        auto text = [&k](const QString &group, const QString &key, int rc = 0) {
            k.push_back({group, key, Kind::Text, Rule::None, 0, rc});
        };
        text(kNameOfDevice, QStringLiteral("newNameOfDevice"));
        integer(kNameOfDevice, "canChangeProductName", 0, Rule::ProductFlag);
        integer(kSettings, "frequencyTrim", 128);
        integer(kSettings, "keyNumberOfShiftKey", 255);
        integer(kSettings, "shiftDelay", 255);
        integer(kSettings, "quantityOfBytesInFlashBlock", 255, Rule::FlashBlockSize);
        integer(kSettings, "boolReceiveInfraredSignel", 0);
        integer(kSettings, "boolVirtualRemoteControl", 0);
        integer(kSettings, "idNumberOfVarnoLtddeveloping", 0);
        integer(kSettings, "idNumberOfVarnoLtdRcDatabase", 255);
        integer(kSettings, "IdNumberofPlastickForm", 255);
        integer(kSettings, "customerId", 255);
        integer(kSettings, "delayAfterKeyPress", 48);
        integer(kSettings, "scaningKeyboardDelay", 48);
        integer(kSettings, "rcKeyNumberOfLoopKey", 63);
        integer(kSettings, "quantityOfRemoteControls", 0, Rule::RemoteCount);
        integer(kSettings, "ID", 0, Rule::Id);
        integer(kSettings, "miniTVRemoteControlNumber", 0);
        integer(kSettings, "receivingADCthreshold", 160);
        integer(kMacro, "haveMacro", 0);
        for (int n = 1; n <= 8; ++n)
            k.push_back(
                    {kMacro, QStringLiteral("macro%1").arg(n), Kind::Integer, Rule::Byte, 0, 0});
        text(kMacro, QStringLiteral("flashMacro"));
        for (int n = 1; n <= ConfigurationRecord::kRemoteControls; ++n) {
            k.push_back({kRcSettings, rcKey(n, rcSuffixes()[0]), Kind::Integer, Rule::Byte, 0, n});
            k.push_back(
                    {kRcSettings, rcKey(n, rcSuffixes()[1]), Kind::Integer, Rule::Byte, 255, n});
            text(kRcSettings, rcKey(n, rcSuffixes()[2]), n);
            k.push_back({kRcSettings, rcKey(n, rcSuffixes()[3]), Kind::Integer, Rule::Rewritable, 1,
                         n});
            text(kRcSettings, rcKey(n, rcSuffixes()[4]), n);
        }
        for (int i = 0; i < 64; ++i)
            k.push_back({kKeysTable, QStringLiteral("key%1").arg(i, 2, 10, QLatin1Char('0')),
                         Kind::Integer, Rule::Byte, 63, 0});
        return k;
    }();
    return keys;
}

const KnownKey *findKnown(const QString &group, const QString &key)
{
    for (const KnownKey &k : knownKeys())
        if (k.group == group && k.key == key)
            return &k;
    return nullptr;
}

// Edit distance with adjacent transpositions counted as one edit, ignoring case.
int editDistance(const QString &a0, const QString &b0)
{
    const QString a = a0.toLower(), b = b0.toLower();
    const qsizetype n = a.size(), m = b.size();
    std::vector<std::vector<int>> d(size_t(n + 1), std::vector<int>(size_t(m + 1)));
    for (qsizetype i = 0; i <= n; ++i)
        d[size_t(i)][0] = int(i);
    for (qsizetype j = 0; j <= m; ++j)
        d[0][size_t(j)] = int(j);
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const size_t si = size_t(i), sj = size_t(j);
            const int cost = a.at(i - 1) == b.at(j - 1) ? 0 : 1;
            d[si][sj] = std::min({d[si - 1][sj] + 1, d[si][sj - 1] + 1, d[si - 1][sj - 1] + cost});
            if (i > 1 && j > 1 && a.at(i - 1) == b.at(j - 2) && a.at(i - 2) == b.at(j - 1))
                d[si][sj] = std::min(d[si][sj], d[si - 2][sj - 2] + 1);
        }
    }
    return d[size_t(n)][size_t(m)];
}

// The candidate nearest to `word`, if it is near enough to be a likely misspelling.
std::optional<QString> nearest(const QString &word, const QStringList &candidates)
{
    std::optional<QString> best;
    int bestDistance = std::max<int>(2, int(word.size() / 3)) + 1;
    for (const QString &c : candidates) {
        const int d = editDistance(word, c);
        if (d < bestDistance) {
            bestDistance = d;
            best = c;
        }
    }
    return best;
}

// For a numbered key written with the wrong number of digits or a number out of range, the
// message tail that says so; empty when `key` is not of a numbered family.
QString numberedKeyHint(const QString &key)
{
    static const QRegularExpression rc(QStringLiteral("^rc(\\d+)(.+)$"));
    static const QRegularExpression table(QStringLiteral("^key(\\d+)$"));
    static const QRegularExpression macro(QStringLiteral("^macro(\\d+)$"));
    if (auto m = rc.match(key); m.hasMatch() && rcSuffixes().contains(m.captured(2))) {
        const int n = m.captured(1).toInt();
        if (n < 1 || n > ConfigurationRecord::kRemoteControls)
            return QStringLiteral("; remote controls run from rc01 to rc08");
        return QStringLiteral("; did you mean '%1'?").arg(rcKey(n, m.captured(2)));
    }
    if (auto m = table.match(key); m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n > 63)
            return QStringLiteral("; the key table runs from key00 to key63");
        return QStringLiteral("; did you mean 'key%1'?").arg(n, 2, 10, QLatin1Char('0'));
    }
    if (auto m = macro.match(key); m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n < 1 || n > 8)
            return QStringLiteral("; macros run from macro1 to macro8");
        return QStringLiteral("; did you mean 'macro%1'?").arg(n);
    }
    return QString();
}

// Group and key names as the toolkit's INI reader decodes them: %XX and %UXXXX are characters,
// a backslash is the separator '/'.
QString decodeName(const QString &raw)
{
    QString out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == u'\\') {
            out += u'/';
            continue;
        }
        if (c == u'%' && i + 1 < raw.size()) {
            const bool wide = raw.at(i + 1) == u'U';
            const qsizetype first = i + (wide ? 2 : 1);
            const qsizetype digits = wide ? 4 : 2;
            bool ok = false;
            const uint code
                    = first + digits <= raw.size() ? raw.mid(first, digits).toUInt(&ok, 16) : 0;
            if (ok) {
                out += QChar(char16_t(code));
                i = first + digits - 1;
                continue;
            }
        }
        out += c;
    }
    return out;
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

qsizetype firstNonHex(const QString &s)
{
    for (qsizetype i = 0; i < s.size(); ++i)
        if (!isHexDigit(s.at(i)))
            return i;
    return -1;
}

QString describeChar(QChar c)
{
    const QString code = QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
    return c.isPrint() ? QStringLiteral("'%1' (%2)").arg(QString(c), code) : code;
}

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
                            : decodeName(raw);
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
        scan.keys.push_back({firstLine + 1, group, decodeName(rawKey),
                             t.mid(equals + 1, end - equals - 1).trimmed(), cut});
    }
}

QString groupName(const QString &group)
{
    return group.isEmpty() ? QStringLiteral("outside any group")
                           : QStringLiteral("[%1]").arg(group);
}

class Checker
{
public:
    Checker(const QString &path, const QByteArray &data, const ConfigurationRecord &record)
        : settings_(path, QSettings::IniFormat), record_(record)
    {
        scanFile(data, scan_, out_);
    }

    std::vector<Diagnostic> run()
    {
        checkGroups();
        checkKeys();
        for (const KnownKey &k : knownKeys())
            if (const KeyLine *line = effective(k.group, k.key))
                checkValue(k, *line);
        checkCrossFields();
        std::stable_sort(out_.begin(), out_.end(),
                         [](const Diagnostic &a, const Diagnostic &b) { return a.line < b.line; });
        return out_;
    }

private:
    void error(int line, const QString &message)
    {
        out_.push_back({line, Severity::Error, message});
    }
    void warning(int line, const QString &message)
    {
        out_.push_back({line, Severity::Warning, message});
    }

    // The line whose value the reader keeps for a key: the last one.
    const KeyLine *effective(const QString &group, const QString &key) const
    {
        const KeyLine *found = nullptr;
        for (const KeyLine &k : scan_.keys)
            if (k.group == group && k.key == key)
                found = &k;
        return found;
    }

    int groupLine(const QString &group) const
    {
        for (const GroupLine &g : scan_.groups)
            if (g.name == group)
                return g.line;
        return 0;
    }

    int lineOf(const QString &group, const QString &key) const
    {
        const KeyLine *k = effective(group, key);
        return k ? k->line : 0;
    }

    void checkGroups()
    {
        QHash<QString, int> seen;
        for (const GroupLine &g : scan_.groups) {
            if (seen.contains(g.name)) {
                warning(g.line,
                        QStringLiteral("group %1 appears again (first at line %2); the "
                                       "reader merges both")
                                .arg(groupName(g.name), QString::number(seen.value(g.name))));
                continue;
            }
            seen.insert(g.name, g.line);
            if (g.name.isEmpty() || knownGroups().contains(g.name))
                continue;
            QString message
                    = QStringLiteral("unknown group [%1]; its keys are ignored").arg(g.name);
            if (const auto s = nearest(g.name, knownGroups()))
                message += QStringLiteral("; did you mean [%1]?").arg(*s);
            error(g.line, message);
        }
    }

    void checkKeys()
    {
        QHash<QString, const KeyLine *> seen;
        for (const KeyLine &k : scan_.keys) {
            const bool groupKnown = knownGroups().contains(k.group);
            if (!k.group.isEmpty() && !groupKnown)
                continue; // the group is reported
            if (groupKnown && findKnown(k.group, k.key)) {
                const QString id = k.group + u'/' + k.key;
                if (const KeyLine *before = seen.value(id)) {
                    if (before->value == k.value)
                        warning(k.line, QStringLiteral("'%1' is set again to the same value "
                                                       "(before at line %2)")
                                                .arg(k.key)
                                                .arg(before->line));
                    else
                        error(k.line, QStringLiteral("'%1' is set again (before at line %2); the "
                                                     "reader keeps only the last value")
                                              .arg(k.key)
                                              .arg(before->line));
                }
                seen.insert(id, &k);
                continue;
            }
            reportUnknownKey(k);
        }
    }

    void reportUnknownKey(const KeyLine &k)
    {
        if (k.key.isEmpty()) {
            error(k.line, QStringLiteral("empty key; the line is ignored"));
            return;
        }
        // A right key in the wrong place.
        for (const KnownKey &known : knownKeys()) {
            if (known.key == k.key) {
                error(k.line,
                      QStringLiteral("'%1' belongs in [%2]; %3 it is ignored")
                              .arg(k.key, known.group,
                                   k.group.isEmpty() ? QStringLiteral("outside any group")
                                                     : QStringLiteral("in [%1]").arg(k.group)));
                return;
            }
        }
        if (k.group.isEmpty()) {
            error(k.line, QStringLiteral("key '%1' outside any group is ignored").arg(k.key));
            return;
        }
        QString message = QStringLiteral("unknown key '%1' in [%2] is ignored").arg(k.key, k.group);
        QString hint = numberedKeyHint(k.key);
        if (hint.isEmpty()) {
            QStringList sameGroup, everywhere;
            for (const KnownKey &known : knownKeys()) {
                (known.group == k.group ? sameGroup : everywhere).append(known.key);
            }
            if (const auto s = nearest(k.key, sameGroup)) {
                hint = s->compare(k.key, Qt::CaseInsensitive) == 0
                               ? QStringLiteral("; key names are case-sensitive: '%1'").arg(*s)
                               : QStringLiteral("; did you mean '%1'?").arg(*s);
            } else if (const auto t = nearest(k.key, everywhere)) {
                hint = QStringLiteral("; did you mean '%1' in [%2]?").arg(*t, knownGroupOf(*t));
            }
        }
        error(k.line, message + hint);
    }

    static QString knownGroupOf(const QString &key)
    {
        for (const KnownKey &known : knownKeys())
            if (known.key == key)
                return known.group;
        return QString();
    }

    QVariant valueOf(const KnownKey &k) const { return settings_.value(k.group + u'/' + k.key); }

    static bool isList(const QVariant &v)
    {
        return v.userType() == QMetaType::QStringList || v.userType() == QMetaType::QVariantList;
    }

    void checkValue(const KnownKey &k, const KeyLine &line)
    {
        const QVariant v = valueOf(k);
        if (!v.isValid())
            return; // the reader did not see the key where this scan did
        if (isList(v)) {
            error(line.line,
                  QStringLiteral("'%1' holds a ',' outside quotes, so it reads as a list and %2; "
                                 "put the value in double quotes")
                          .arg(k.key, k.kind == Kind::Integer
                                              ? QStringLiteral("the value is 0")
                                              : QStringLiteral("the text is empty")));
            return;
        }
        if (k.kind == Kind::Integer)
            checkInteger(k, line, v);
        else
            checkText(k, line, v.toString());
    }

    void checkInteger(const KnownKey &k, const KeyLine &line, const QVariant &v)
    {
        const QString text = v.toString();
        bool ok = false;
        const int value = v.toInt(&ok);
        if (text.isEmpty()) {
            error(line.line, QStringLiteral("'%1' is empty and reads as 0; only a missing key "
                                            "takes the default %2")
                                     .arg(k.key)
                                     .arg(k.defaultValue));
            return;
        }
        static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
        if (!decimal.match(text).hasMatch()) {
            error(line.line,
                  QStringLiteral("'%1' is not a decimal integer and reads as 0").arg(text));
            return;
        }
        bool wide = false;
        const qlonglong exact = text.toLongLong(&wide);
        if (!ok || !wide || exact != value) {
            error(line.line, QStringLiteral("%1 does not fit into 32 bits; it reads as %2")
                                     .arg(text)
                                     .arg(ok ? value : 0));
            return;
        }
        switch (k.rule) {
        case Rule::None:
            break;
        case Rule::Byte:
            checkByte(k, line, value);
            break;
        case Rule::Id:
            if (value < 0 || value > 65535)
                error(line.line, QStringLiteral("ID %1 is outside 0..65535; the receiver gets "
                                                "the bytes %2 and %3")
                                         .arg(value)
                                         .arg((value / 256) & 0xFF)
                                         .arg((value % 256) & 0xFF));
            break;
        case Rule::ProductFlag:
            if (value != 0 && value != 1)
                warning(line.line, QStringLiteral("canChangeProductName is %1; only 1 writes the "
                                                  "product name")
                                           .arg(value));
            break;
        case Rule::RemoteCount:
            if (value < 0 || value > ConfigurationRecord::kRemoteControls)
                error(line.line,
                      QStringLiteral("quantityOfRemoteControls %1 is outside 0..8").arg(value));
            break;
        case Rule::FlashBlockSize:
            if (value <= 0 || value % kReportPayload != 0)
                error(line.line, QStringLiteral("quantityOfBytesInFlashBlock %1 is not a "
                                                "positive multiple of 8; flash blocks are sent "
                                                "in reports of 8 bytes")
                                         .arg(value));
            checkByte(k, line, value);
            break;
        case Rule::Rewritable:
            if (value < 0 || value > 255)
                error(line.line, QStringLiteral("%1 is outside 0..255; the flash image gets the "
                                                "first two hex digits '%2'")
                                         .arg(value)
                                         .arg(RemoteControlData::twoHexDigits(value)));
            break;
        }
    }

    void checkByte(const KnownKey &k, const KeyLine &line, int value)
    {
        if (value < 0 || value > 255)
            error(line.line, QStringLiteral("%1 %2 is outside 0..255; the receiver gets only its "
                                            "low 8 bits (%3)")
                                     .arg(k.key)
                                     .arg(value)
                                     .arg(value & 0xFF));
    }

    void checkText(const KnownKey &k, const KeyLine &line, const QString &value)
    {
        if (line.cutByComment)
            warning(line.line, QStringLiteral("';' starts a comment, so '%1' ends before it: "
                                              "'%2'")
                                       .arg(k.key, value));
        if (k.remoteControl == 0)
            return; // product name and macro: cross-field checks
        const QString &suffix = rcSuffixes()[2];
        if (k.key.endsWith(suffix))
            checkSwitchName(line, value);
        else
            checkFlashData(k, line, value);
    }

    void checkSwitchName(const KeyLine &line, const QString &name)
    {
        if (name.size() > RemoteControlData::kMaxNameLength)
            error(line.line, QStringLiteral("switch name of %1 characters; only the first %2 are "
                                            "sent")
                                     .arg(name.size())
                                     .arg(RemoteControlData::kMaxNameLength));
        for (QChar c : name) {
            if (c.unicode() > 0xFF) {
                error(line.line, QStringLiteral("switch name character %1 is outside Latin-1; it "
                                                "is sent as 0")
                                         .arg(describeChar(c)));
                break;
            }
        }
        for (QChar c : name) {
            if (c.unicode() >= 0x80 && c.unicode() <= 0xFF) {
                warning(line.line, QStringLiteral("switch name character %1 is not ASCII; it is "
                                                  "sent as its Latin-1 code %2")
                                           .arg(describeChar(c))
                                           .arg(c.unicode()));
                break;
            }
        }
    }

    void checkFlashData(const KnownKey &k, const KeyLine &line, const QString &image)
    {
        if (image.isEmpty())
            return;
        const qsizetype bad = firstNonHex(image);
        if (bad >= 0)
            error(line.line, QStringLiteral("flash data character %1 at position %2 is not a "
                                            "hexadecimal digit; that byte is sent as 0")
                                     .arg(describeChar(image.at(bad)))
                                     .arg(bad));
        if (image.size() < kNameRecordDigits)
            warning(line.line, QStringLiteral("flash data of %1 digits is shorter than its name "
                                              "record (%2 digits)")
                                       .arg(image.size())
                                       .arg(kNameRecordDigits));
        // Length checks on the text the loader makes of it.
        const int n = k.remoteControl;
        const QString &sent = record_.flashData[size_t(n - 1)];
        if (sent.size() % 2 != 0)
            error(line.line,
                  QStringLiteral("flash data has an odd number of digits (%1)").arg(sent.size()));
        const int count = record_.configurationBlock[BlockIndex::quantityOfRemoteControls];
        if (n > count)
            return; // reported as not programmed
        const qint64 q = record_.configurationBlock[BlockIndex::quantityOfBytesInFlashBlock];
        const qint64 m = record_.configurationBlock[size_t(BlockIndex::maxSize(n))];
        if (qint64(sent.size()) > 2 * q * m)
            error(line.line, QStringLiteral("flash data of %1 digits does not fit into %2 (%3) "
                                            "flash blocks of %4 bytes (%5 digits); the switch "
                                            "name block is sent instead")
                                     .arg(sent.size())
                                     .arg(rcKey(n, rcSuffixes()[0]))
                                     .arg(m)
                                     .arg(q)
                                     .arg(std::max<qint64>(0, 2 * q * m)));
    }

    void checkCrossFields()
    {
        const auto &block = record_.configurationBlock;

        // The product name, when it is written.
        if (record_.canChangeProductName == 1) {
            const QString &name = record_.newNameOfDevice;
            const int line = lineOf(kNameOfDevice, QStringLiteral("newNameOfDevice"));
            if (name.size() > kMaxProductName)
                error(line, QStringLiteral("product name of %1 characters; only the first %2 are "
                                           "written")
                                    .arg(name.size())
                                    .arg(kMaxProductName));
            for (QChar c : name) {
                if (c.unicode() > 0xFF) {
                    error(line, QStringLiteral("product name character %1 is outside Latin-1; it "
                                               "is written as 0")
                                        .arg(describeChar(c)));
                    break;
                }
            }
            if (name.isEmpty())
                warning(line, QStringLiteral("the product name is empty; the receiver gets 24 "
                                             "zero bytes"));
        }

        // The macro.
        const int haveMacro = block[BlockIndex::haveMacro];
        const QString macroKey = QStringLiteral("flashMacro");
        const KeyLine *macroLine = effective(kMacro, macroKey);
        if (haveMacro > 0) {
            const QString &macro = record_.flashMacro;
            if (!macroLine) {
                error(lineOf(kMacro, QStringLiteral("haveMacro")),
                      QStringLiteral("haveMacro is %1 but there is no flashMacro; no macro block "
                                     "is sent")
                              .arg(haveMacro));
            } else if (macro.size() != kMacroDigits) {
                error(macroLine->line, QStringLiteral("flashMacro has %1 digits, not %2; no "
                                                      "macro block is sent")
                                               .arg(macro.size())
                                               .arg(kMacroDigits));
            } else if (const qsizetype bad = firstNonHex(macro); bad >= 0) {
                error(macroLine->line, QStringLiteral("flashMacro character %1 at position %2 "
                                                      "is not a hexadecimal digit; that byte is "
                                                      "sent as 0")
                                               .arg(describeChar(macro.at(bad)))
                                               .arg(bad));
            }
        } else if (macroLine && !record_.flashMacro.isEmpty()) {
            warning(macroLine->line,
                    QStringLiteral("flashMacro is not sent: haveMacro is %1").arg(haveMacro));
        }

        // Remote controls.
        const int count = block[BlockIndex::quantityOfRemoteControls];
        bool flashSent = false;
        for (int n = 1; n <= ConfigurationRecord::kRemoteControls; ++n) {
            if (n <= count && !record_.flashData[size_t(n - 1)].isEmpty())
                flashSent = true;
            if (n <= count || count < 0 || count > ConfigurationRecord::kRemoteControls)
                continue;
            // Its maxSize and switch key are part of the configuration block, which is always
            // sent; the name, flag and flash data only go into its own block.
            const KeyLine *first = nullptr;
            for (const KeyLine &k : scan_.keys)
                if (k.group == kRcSettings && !first)
                    for (const QString &suffix : rcSuffixes().mid(2))
                        if (k.key == rcKey(n, suffix))
                            first = &k;
            if (first)
                warning(first->line, QStringLiteral("remote control %1 is not programmed: "
                                                    "quantityOfRemoteControls is %2")
                                             .arg(n)
                                             .arg(count));
        }

        // The flash block size when it is missing and flash data is sent.
        const QString sizeKey = QStringLiteral("quantityOfBytesInFlashBlock");
        if (flashSent && !effective(kSettings, sizeKey)) {
            const int q = block[BlockIndex::quantityOfBytesInFlashBlock];
            error(groupLine(kSettings),
                  QStringLiteral("quantityOfBytesInFlashBlock is missing and defaults to %1, "
                                 "which is not a multiple of 8; flash data is sent in such "
                                 "blocks")
                          .arg(q));
        }
    }

    QSettings settings_;
    const ConfigurationRecord &record_;
    Scan scan_;
    std::vector<Diagnostic> out_;
};

void printLine(const QString &line)
{
    const QByteArray bytes = (line + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

// Checks one file; returns its exit status.
int checkFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        printLine(QStringLiteral("rcprog-cli: configuration file not found: %1").arg(path));
        return kExitFileProblem;
    }
    QFile file(path);
    ConfigurationRecord record;
    // The loader refuses what is not a regular file before opening it (a named pipe would
    // block the open), so it goes first.
    if (loadConfiguration(path, record) != LoadStatus::Loaded || !file.open(QIODevice::ReadOnly)) {
        printLine(QStringLiteral("rcprog-cli: cannot read configuration file: %1").arg(path));
        return kExitFileProblem;
    }
    const QByteArray data = file.readAll();

    bool errors = false;
    for (const Diagnostic &d : Checker(path, data, record).run()) {
        errors = errors || d.severity == Severity::Error;
        printLine(QStringLiteral("%1:%2: %3: %4")
                          .arg(path, QString::number(d.line),
                               d.severity == Severity::Error ? QStringLiteral("error")
                                                             : QStringLiteral("warning"),
                               d.message));
    }
    return errors ? kExitErrors : kExitOk;
}

} // namespace

int runCheck(const QStringList &files)
{
    int status = kExitOk;
    for (const QString &path : files)
        status = std::max(status, checkFile(path));
    return status;
}
