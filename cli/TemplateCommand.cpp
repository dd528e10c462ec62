// rcprog-cli template: a complete configuration file to start from, generated from the table of
// configuration keys: every group and key with its default, each key after a comment that says
// what it sets and which values the receiver takes as written.
#include "CliCommon.h"
#include "Commands.h"
#include "ConfigurationKeys.h"
#include "Protocol.h"
#include "RemoteControlData.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

using namespace cli;

namespace {

constexpr int kLineLength = 100;

// The values the receiver takes as written, as a sentence.
QString rangeText(const ConfigKey &k)
{
    const KeyRange range = keyRange(k.rule);
    const QString span = QStringLiteral("Values %1 ... %2.").arg(range.low).arg(range.high);
    switch (k.rule) {
    case KeyRule::Byte:
    case KeyRule::Id:
    case KeyRule::RemoteCount:
    case KeyRule::Rewritable:
        return span;
    case KeyRule::ProductFlag:
        return QStringLiteral("Values %1 or %2.").arg(range.low).arg(range.high);
    case KeyRule::FlashBlockSize:
        return QStringLiteral("Values %1 ... %2 in steps of %1 when flash data is sent; "
                              "otherwise %3 ... %4.")
                .arg(Protocol::kPayloadBytes)
                .arg(range.high / Protocol::kPayloadBytes * Protocol::kPayloadBytes)
                .arg(range.low)
                .arg(range.high);
    case KeyRule::None:
        break;
    }
    switch (k.target) {
    case KeyTarget::ProductName:
        return QStringLiteral("At most %1 characters, Latin-1.").arg(Protocol::kProductNameLength);
    case KeyTarget::SwitchName:
        return QStringLiteral("At most %1 characters, Latin-1.")
                .arg(RemoteControlData::kMaxNameLength);
    case KeyTarget::FlashData:
        return QStringLiteral("Hex digits, two per byte; at most 2 x %1 x %2 digits.")
                .arg(keyOfBlockEntry(BlockIndex::quantityOfBytesInFlashBlock)->name,
                     keyOfBlockEntry(BlockIndex::maxSize(k.remoteControl))->name);
    case KeyTarget::MacroImage:
        return QStringLiteral("Exactly %1 hex digits.").arg(Protocol::kMacroDigits);
    default:
        break;
    }
    return QString();
}

// A value as the INI reader reads it back unchanged: in double quotes, with '"' and '\'
// escaped, where it holds a character the reader would take otherwise.
QString iniValue(const ConfigKey &k)
{
    if (k.kind == KeyKind::Integer)
        return QString::number(k.defaultValue);
    static const QRegularExpression special(QStringLiteral("[,;\"\\\\=]|^\\s|\\s$"));
    if (!special.match(k.defaultText).hasMatch())
        return k.defaultText;
    QString quoted = k.defaultText;
    quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

int commandTemplate(const QStringList &args)
{
    if (!args.isEmpty())
        return usage();
    QString out = QStringLiteral(
            "; A configuration file with every key at its default: it loads into the same\n"
            "; configuration as an empty file. Each key follows a comment that says what it\n"
            "; sets and which values the receiver takes as written; `rcprog-cli check FILE`\n"
            "; reports anything else.\n");
    for (const QString &group : configurationGroups()) {
        std::vector<const ConfigKey *> keys;
        for (const ConfigKey &k : configurationKeys())
            if (k.group == group)
                keys.push_back(&k);
        // The keys of one remote control together, in reading order.
        std::stable_sort(keys.begin(), keys.end(), [](const ConfigKey *a, const ConfigKey *b) {
            return a->remoteControl < b->remoteControl;
        });
        out += QStringLiteral("\n[%1]\n").arg(group);
        int remoteControl = 0;
        for (const ConfigKey *k : keys) {
            if (k->remoteControl != remoteControl && remoteControl != 0)
                out += QLatin1Char('\n');
            remoteControl = k->remoteControl;
            // What the key sets and its values, on a second line where one would be long.
            const QString what = QStringLiteral("; %1.").arg(k->description);
            const QString values = rangeText(*k);
            out += what
                   + (what.size() + 1 + values.size() <= kLineLength ? QStringLiteral(" ")
                                                                     : QStringLiteral("\n; "));
            out += values + QStringLiteral("\n%1=%2\n").arg(k->name, iniValue(*k));
        }
    }
    printUtf8(stdout, out);
    return kExitOk;
}
