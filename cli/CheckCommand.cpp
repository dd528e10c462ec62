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
//   warning  a known group or key name written in another case (the loader reads it in its
//            canonical spelling, which the message names; the other checks see that spelling)
//   error    unknown key in a known group; nearest known key suggested (edit distance), or the
//            two-digit form of a numbered key (rc1flashData -> rc01flashData, key5 -> key05)
//   error    a known key, in any case, in the wrong group, or outside any group (it is not
//            found there)
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
//            8-byte reports), written or missing (255), in a file that sends flash data (a
//            remote control that a pass programs gets its flash data rather than its name block)
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
// The whole pass
//   error    quantityOfBytesInFlashBlock above 255 while flash data is sent, or flash data of
//            more than 255 flash blocks (the configuration is refused and nothing is sent: the
//            receiver gets only the low 8 bits of both)
#include "CliCommon.h"
#include "Commands.h"
#include "ConfigurationKeys.h"
#include "ConfigurationLoader.h"
#include "ConfigurationText.h"
#include "IniScan.h"
#include "KeyHints.h"
#include "ProgrammingPass.h"
#include "Protocol.h"
#include "RemoteControlData.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSettings>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace cli;

namespace {

qsizetype firstNonHex(const QString &s)
{
    for (qsizetype i = 0; i < s.size(); ++i)
        if (!RemoteControlData::isHexDigit(s.at(i)))
            return i;
    return -1;
}

QString describeChar(QChar c)
{
    const QString code = QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
    return c.isPrint() ? QStringLiteral("'%1' (%2)").arg(QString(c), code) : code;
}

QString groupName(const QString &group)
{
    return group.isEmpty() ? QStringLiteral("outside any group")
                           : QStringLiteral("[%1]").arg(group);
}

// The line of the file that holds byte `offset`: "\r\n", "\n" and "\r" end a line, as for the
// scan.
int lineAt(const QByteArray &data, qsizetype offset)
{
    int line = 1;
    for (qsizetype i = 0; i < offset && i < data.size(); ++i)
        if (data.at(i) == '\n'
            || (data.at(i) == '\r' && (i + 1 >= data.size() || data.at(i + 1) != '\n')))
            ++line;
    return line;
}

class Checker
{
public:
    // `names` is the file's text with its names respelled as the loader reads them, `settings`
    // the toolkit's reader over that text.
    Checker(const QByteArray &data, const CanonicalNames &names,
            std::unique_ptr<QSettings> settings, const ConfigurationRecord &record)
        : settings_(std::move(settings)), record_(record)
    {
        scanFile(names.text, scan_, out_);
        for (const NameRespelling &r : names.respellings)
            warning(lineAt(data, r.offset),
                    r.group ? QStringLiteral("group [%1] is read as [%2]; names are matched "
                                             "without regard to case")
                                      .arg(r.written, r.canonical)
                            : QStringLiteral("'%1' is read as '%2'; names are matched without "
                                             "regard to case")
                                      .arg(r.written, r.canonical));
        for (int n = 1; n <= programmedRemoteControls(record_); ++n)
            flashSent_ = flashSent_ || flashPlan(record_, n).flash;
    }

    std::vector<Diagnostic> run()
    {
        checkGroups();
        checkKeys();
        for (const ConfigKey &k : configurationKeys())
            if (const KeyLine *line = effective(k))
                checkValue(k, *line);
        checkCrossFields();
        checkSendable();
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
    const KeyLine *effective(const ConfigKey &key) const
    {
        const KeyLine *found = nullptr;
        for (const KeyLine &k : scan_.keys)
            if (k.group == key.group && k.key == key.name)
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

    int lineOf(const ConfigKey &key) const
    {
        const KeyLine *k = effective(key);
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
            if (g.name.isEmpty() || configurationGroups().contains(g.name))
                continue;
            QString message
                    = QStringLiteral("unknown group [%1]; its keys are ignored").arg(g.name);
            if (const auto s = nearest(g.name, configurationGroups()))
                message += QStringLiteral("; did you mean [%1]?").arg(*s);
            error(g.line, message);
        }
    }

    void checkKeys()
    {
        QHash<QString, const KeyLine *> seen;
        for (const KeyLine &k : scan_.keys) {
            const bool groupKnown = configurationGroups().contains(k.group);
            if (!k.group.isEmpty() && !groupKnown)
                continue; // the group is reported
            if (groupKnown && findConfigKey(k.group, k.key)) {
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
        if (const ConfigKey *known = findConfigKeyInAnyGroup(k.key, Qt::CaseInsensitive)) {
            error(k.line, QStringLiteral("'%1' belongs in [%2]; %3 it is ignored")
                                  .arg(k.key, known->group,
                                       k.group.isEmpty() ? QStringLiteral("outside any group")
                                                         : QStringLiteral("in [%1]").arg(k.group)));
            return;
        }
        if (k.group.isEmpty()) {
            error(k.line, QStringLiteral("key '%1' outside any group is ignored").arg(k.key));
            return;
        }
        QString message = QStringLiteral("unknown key '%1' in [%2] is ignored").arg(k.key, k.group);
        QString hint = numberedKeyHint(k.key);
        if (hint.isEmpty()) {
            QStringList sameGroup, everywhere;
            for (const ConfigKey &known : configurationKeys())
                (known.group == k.group ? sameGroup : everywhere).append(known.name);
            if (const auto s = nearest(k.key, sameGroup)) {
                hint = QStringLiteral("; did you mean '%1'?").arg(*s);
            } else if (const auto t = nearest(k.key, everywhere)) {
                hint = QStringLiteral("; did you mean '%1' in [%2]?")
                               .arg(*t, findConfigKeyInAnyGroup(*t)->group);
            }
        }
        error(k.line, message + hint);
    }

    QVariant valueOf(const ConfigKey &k) const { return settings_->value(k.group + u'/' + k.name); }

    static bool isList(const QVariant &v)
    {
        return v.userType() == QMetaType::QStringList || v.userType() == QMetaType::QVariantList;
    }

    void checkValue(const ConfigKey &k, const KeyLine &line)
    {
        const QVariant v = valueOf(k);
        if (!v.isValid())
            return; // the reader did not see the key where this scan did
        if (isList(v)) {
            error(line.line,
                  QStringLiteral("'%1' holds a ',' outside quotes, so it reads as a list and %2; "
                                 "put the value in double quotes")
                          .arg(k.name, k.kind == KeyKind::Integer
                                               ? QStringLiteral("the value is 0")
                                               : QStringLiteral("the text is empty")));
            return;
        }
        if (k.kind == KeyKind::Integer)
            checkInteger(k, line, v);
        else
            checkText(k, line, v.toString());
    }

    void checkInteger(const ConfigKey &k, const KeyLine &line, const QVariant &v)
    {
        const QString text = v.toString();
        bool ok = false;
        const int value = v.toInt(&ok);
        if (text.isEmpty()) {
            error(line.line, QStringLiteral("'%1' is empty and reads as 0; only a missing key "
                                            "takes the default %2")
                                     .arg(k.name)
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
        const KeyRange range = keyRange(k.rule);
        const bool inRange = value >= range.low && value <= range.high;
        switch (k.rule) {
        case KeyRule::None:
            break;
        case KeyRule::Byte:
            checkByte(k, line, value);
            break;
        case KeyRule::Id:
            if (!inRange)
                error(line.line, QStringLiteral("%1 %2 is outside %3..%4; the receiver gets the "
                                                "bytes %5 and %6")
                                         .arg(k.name)
                                         .arg(value)
                                         .arg(range.low)
                                         .arg(range.high)
                                         .arg((value / 256) & 0xFF)
                                         .arg((value % 256) & 0xFF));
            break;
        case KeyRule::ProductFlag:
            if (!inRange)
                warning(line.line, QStringLiteral("%1 is %2; only 1 writes the product name")
                                           .arg(k.name)
                                           .arg(value));
            break;
        case KeyRule::RemoteCount:
            if (!inRange)
                error(line.line, QStringLiteral("%1 %2 is outside %3..%4")
                                         .arg(k.name)
                                         .arg(value)
                                         .arg(range.low)
                                         .arg(range.high));
            break;
        case KeyRule::FlashBlockSize:
            // The flash block size matters only where flash data is sent.
            if (flashSent_ && (value <= 0 || value % Protocol::kPayloadBytes != 0))
                error(line.line, QStringLiteral("%1 %2 is not a positive multiple of %3; flash "
                                                "blocks are sent in reports of %3 bytes")
                                         .arg(k.name)
                                         .arg(value)
                                         .arg(Protocol::kPayloadBytes));
            checkByte(k, line, value);
            break;
        case KeyRule::Rewritable:
            if (!inRange)
                error(line.line, QStringLiteral("%1 is outside %2..%3; the flash image gets the "
                                                "first two hex digits '%4'")
                                         .arg(value)
                                         .arg(range.low)
                                         .arg(range.high)
                                         .arg(RemoteControlData::twoHexDigits(value)));
            break;
        }
    }

    void checkByte(const ConfigKey &k, const KeyLine &line, int value)
    {
        const KeyRange range = keyRange(KeyRule::Byte);
        if (value < range.low || value > range.high)
            error(line.line, QStringLiteral("%1 %2 is outside %3..%4; the receiver gets only its "
                                            "low 8 bits (%5)")
                                     .arg(k.name)
                                     .arg(value)
                                     .arg(range.low)
                                     .arg(range.high)
                                     .arg(value & 0xFF));
    }

    void checkText(const ConfigKey &k, const KeyLine &line, const QString &value)
    {
        if (line.cutByComment)
            warning(line.line, QStringLiteral("';' starts a comment, so '%1' ends before it: "
                                              "'%2'")
                                       .arg(k.name, value));
        if (k.target == KeyTarget::SwitchName)
            checkSwitchName(line, value);
        else if (k.target == KeyTarget::FlashData)
            checkFlashData(k, line, value);
        // The product name and the macro: see the checks across fields.
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

    void checkFlashData(const ConfigKey &k, const KeyLine &line, const QString &image)
    {
        if (image.isEmpty())
            return;
        const qsizetype bad = firstNonHex(image);
        if (bad >= 0)
            error(line.line, QStringLiteral("flash data character %1 at position %2 is not a "
                                            "hexadecimal digit; that byte is sent as 0")
                                     .arg(describeChar(image.at(bad)))
                                     .arg(bad));
        if (image.size() < RemoteControlData::kNameRecordDigits)
            warning(line.line, QStringLiteral("flash data of %1 digits is shorter than its name "
                                              "record (%2 digits)")
                                       .arg(image.size())
                                       .arg(RemoteControlData::kNameRecordDigits));
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
                                     .arg(keyOfBlockEntry(BlockIndex::maxSize(n))->name)
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
            const int line = lineOf(*keyOfTarget(KeyTarget::ProductName));
            if (name.size() > Protocol::kProductNameLength)
                error(line, QStringLiteral("product name of %1 characters; only the first %2 are "
                                           "written")
                                    .arg(name.size())
                                    .arg(Protocol::kProductNameLength));
            for (QChar c : name) {
                if (c.unicode() > 0xFF) {
                    error(line, QStringLiteral("product name character %1 is outside Latin-1; it "
                                               "is written as 0")
                                        .arg(describeChar(c)));
                    break;
                }
            }
            if (name.isEmpty())
                warning(line, QStringLiteral("the product name is empty; the receiver gets %1 "
                                             "zero bytes")
                                      .arg(Protocol::kProductNameLength));
        }

        // The macro.
        const int haveMacro = block[BlockIndex::haveMacro];
        const KeyLine *macroLine = effective(*keyOfTarget(KeyTarget::MacroImage));
        if (haveMacro > 0) {
            const QString &macro = record_.flashMacro;
            if (!macroLine) {
                error(lineOf(*keyOfBlockEntry(BlockIndex::haveMacro)),
                      QStringLiteral("haveMacro is %1 but there is no flashMacro; no macro block "
                                     "is sent")
                              .arg(haveMacro));
            } else if (macro.size() != Protocol::kMacroDigits) {
                error(macroLine->line, QStringLiteral("flashMacro has %1 digits, not %2; no "
                                                      "macro block is sent")
                                               .arg(macro.size())
                                               .arg(Protocol::kMacroDigits));
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
        for (int n = 1; n <= ConfigurationRecord::kRemoteControls; ++n) {
            if (n <= count || count < 0 || count > ConfigurationRecord::kRemoteControls)
                continue;
            // Its maxSize and switch key are part of the configuration block, which is always
            // sent; the name, flag and flash data only go into its own block.
            const KeyLine *first = nullptr;
            for (const KeyLine &k : scan_.keys) {
                const ConfigKey *known = findConfigKey(k.group, k.key);
                if (!first && known && known->remoteControl == n
                    && known->target != KeyTarget::BlockEntry)
                    first = &k;
            }
            if (first)
                warning(first->line, QStringLiteral("remote control %1 is not programmed: "
                                                    "quantityOfRemoteControls is %2")
                                             .arg(n)
                                             .arg(count));
        }

        // The flash block size when it is missing and flash data is sent.
        const ConfigKey &sizeKey = *keyOfBlockEntry(BlockIndex::quantityOfBytesInFlashBlock);
        if (flashSent_ && !effective(sizeKey)) {
            const int q = block[BlockIndex::quantityOfBytesInFlashBlock];
            error(groupLine(sizeKey.group),
                  QStringLiteral("%1 is missing and defaults to %2, which is not a multiple of "
                                 "%3; flash data is sent in such blocks")
                          .arg(sizeKey.name)
                          .arg(q)
                          .arg(Protocol::kPayloadBytes));
        }
    }

    // The refusal that the window and the other commands give, at the line of its key.
    void checkSendable()
    {
        const std::optional<PassRefusal> refusal = passRefusal(record_);
        if (!refusal)
            return;
        const ConfigKey *key = findConfigKeyInAnyGroup(refusal->key);
        error(key ? lineOf(*key) : 0, refusalText(*refusal));
    }

    std::unique_ptr<QSettings> settings_;
    const ConfigurationRecord &record_;
    bool flashSent_ = false; // some remote control gets its flash data
    Scan scan_;
    std::vector<Diagnostic> out_;
};

// Checks one file; returns its exit status.
int checkFile(const QString &path)
{
    // The loader refuses what is not a regular file before opening it (a named pipe would
    // block the open), so it goes first.
    ConfigurationRecord record;
    if (!load(path, record))
        return kExitUsage;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        printError(loadErrorText(LoadStatus::Unreadable, path));
        return kExitUsage;
    }
    const QByteArray data = file.readAll();
    const CanonicalNames names = canonicalizeNames(data);
    std::unique_ptr<QSettings> settings = readConfigurationSettings(path, names);
    if (!settings) {
        printError(loadErrorText(LoadStatus::Unreadable, path));
        return kExitUsage;
    }

    bool errors = false;
    for (const Diagnostic &d : Checker(data, names, std::move(settings), record).run()) {
        errors = errors || d.severity == Severity::Error;
        printUtf8(stderr, QStringLiteral("%1:%2: %3: %4\n")
                                  .arg(path, QString::number(d.line),
                                       d.severity == Severity::Error ? QStringLiteral("error")
                                                                     : QStringLiteral("warning"),
                                       d.message));
    }
    return errors ? kExitErrors : kExitOk;
}

} // namespace

int commandCheck(const QStringList &args)
{
    const QStringList files = fileArguments(QStringLiteral("check"), args);
    if (files.isEmpty())
        return usage();
    int status = kExitOk;
    for (const QString &path : files)
        status = std::max(status, checkFile(path));
    return status;
}
