#include "ConfigurationKeys.h"

#include "ConfigurationRecord.h"

namespace {

// Builds the table row by row, in reading order.
class TableBuilder
{
public:
    void group(const char *name) { group_ = QLatin1String(name); }

    // An integer key that fills one entry of the configuration block.
    void entry(const QString &name, int index, int defaultValue, const char *description,
               KeyRule rule = KeyRule::Byte, int remoteControl = 0)
    {
        add(name, KeyKind::Integer, KeyTarget::BlockEntry, index, remoteControl, defaultValue,
            QString(), rule, description);
    }
    void integer(const QString &name, KeyTarget target, int defaultValue, KeyRule rule,
                 const char *description, int index = -1, int remoteControl = 0)
    {
        add(name, KeyKind::Integer, target, index, remoteControl, defaultValue, QString(), rule,
            description);
    }
    void text(const QString &name, KeyTarget target, const QString &defaultText,
              const char *description, int remoteControl = 0)
    {
        add(name, KeyKind::Text, target, -1, remoteControl, 0, defaultText, KeyRule::None,
            description);
    }

    std::vector<ConfigKey> rows;

private:
    void add(const QString &name, KeyKind kind, KeyTarget target, int index, int remoteControl,
             int defaultValue, const QString &defaultText, KeyRule rule, const char *description)
    {
        rows.push_back({group_, name, kind, target, index, remoteControl, defaultValue, defaultText,
                        rule, QString::fromUtf8(description)});
    }

    QString group_;
};

std::vector<ConfigKey> buildTable()
{
    constexpr int rcs = ConfigurationRecord::kRemoteControls;
    auto l1 = [](const char *name) { return QString(QLatin1String(name)); };
    TableBuilder t;

    t.group("nameOfDevice");
    t.text(l1("newNameOfDevice"), KeyTarget::ProductName, l1("VARNO LTD USB changer"),
           "the receiver's new product name");
    t.integer(l1("canChangeProductName"), KeyTarget::ProductNameFlag, 0, KeyRule::ProductFlag,
              "1: a pass also writes newNameOfDevice into the receiver; anything else: it does "
              "not");

    // ID sits between the other keys of the group, where it is read.
    t.group("Settings");
    t.entry(l1("frequencyTrim"), 0, 128, "frequency trim");
    t.entry(l1("keyNumberOfShiftKey"), 1, 255, "key number of the shift key");
    t.entry(l1("shiftDelay"), 2, 255, "shift delay");
    t.entry(l1("quantityOfBytesInFlashBlock"), BlockIndex::quantityOfBytesInFlashBlock, 255,
            "bytes in one flash block; flash data is sent in blocks of this size",
            KeyRule::FlashBlockSize);
    t.entry(l1("boolReceiveInfraredSignel"), 4, 0, "1: the receiver takes infrared signals");
    t.entry(l1("boolVirtualRemoteControl"), 5, 0, "1: virtual remote control");
    t.entry(l1("idNumberOfVarnoLtddeveloping"), 7, 0, "development ID number");
    t.entry(l1("idNumberOfVarnoLtdRcDatabase"), 8, 255, "ID number of the remote-control database");
    t.entry(l1("IdNumberofPlastickForm"), 10, 255, "ID number of the housing");
    t.entry(l1("customerId"), 11, 255, "customer ID");
    t.entry(l1("delayAfterKeyPress"), 15, 48, "delay after a key press");
    t.entry(l1("scaningKeyboardDelay"), 16, 48, "keyboard scanning delay");
    t.entry(l1("rcKeyNumberOfLoopKey"), 30, 63, "key number of the loop key");
    t.entry(l1("quantityOfRemoteControls"), BlockIndex::quantityOfRemoteControls, 0,
            "how many of the remote controls rc01 ... rc08 a pass programs", KeyRule::RemoteCount);
    t.integer(l1("ID"), KeyTarget::IdSplit, 0, KeyRule::Id,
              "receiver ID, sent as two bytes: ID / 256 and ID % 256", BlockIndex::idHigh);
    t.entry(l1("miniTVRemoteControlNumber"), 26, 0, "mini TV remote control number");
    t.entry(l1("receivingADCthreshold"), 25, 160, "ADC threshold for receiving");

    t.group("Macro");
    t.entry(l1("haveMacro"), BlockIndex::haveMacro, 0,
            "above 0 with a flashMacro of 256 hex digits: the macro block is sent");
    for (int n = 1; n <= BlockIndex::kMacroKeys; ++n)
        t.entry(macroKey(n), BlockIndex::macro(n), 0, "key number that starts the macro");
    t.text(l1("flashMacro"), KeyTarget::MacroImage, QString(),
           "the macro block: 128 bytes as 256 hex digits");

    // Four runs over the remote controls: the names are read before the rewritable flags, and
    // the name blocks are built between the two.
    t.group("rcSettings");
    for (int n = 1; n <= rcs; ++n) {
        t.entry(remoteControlKey(n, u"maxSize"), BlockIndex::maxSize(n), 0,
                "the most flash blocks the remote control's flash data may fill", KeyRule::Byte, n);
        t.entry(remoteControlKey(n, u"keyNumberOfSwitchKey"), BlockIndex::keyNumberOfSwitchKey(n),
                255, "key number of the remote control's switch key", KeyRule::Byte, n);
    }
    for (int n = 1; n <= rcs; ++n)
        t.text(remoteControlKey(n, u"nameOfSwitch"), KeyTarget::SwitchName, QString(),
               "switch name of the remote control, in its name block and its flash data", n);
    for (int n = 1; n <= rcs; ++n)
        t.integer(remoteControlKey(n, u"boolRewritableFromSoftware"), KeyTarget::Rewritable, 1,
                  KeyRule::Rewritable, "byte 1 of the remote control's flash data", -1, n);
    for (int n = 1; n <= rcs; ++n)
        t.text(remoteControlKey(n, u"flashData"), KeyTarget::FlashData, QString(),
               "flash data of the remote control in hex digits; empty: the switch name block "
               "is sent",
               n);

    t.group("rcDatabaseToRemoteControlKeysTable");
    for (int k = 0; k < BlockIndex::kKeyTableKeys; ++k)
        t.entry(keyTableKey(k), BlockIndex::keyTable(k), 63, "key map entry; 63: no key");
    return std::move(t.rows);
}

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

KeyRange keyRange(KeyRule rule)
{
    switch (rule) {
    case KeyRule::None:
        break;
    case KeyRule::Byte:
    case KeyRule::FlashBlockSize:
    case KeyRule::Rewritable:
        return {0, 255};
    case KeyRule::Id:
        return {0, 65535};
    case KeyRule::ProductFlag:
        return {0, 1};
    case KeyRule::RemoteCount:
        return {0, ConfigurationRecord::kRemoteControls};
    }
    return {0, 0};
}

const std::vector<ConfigKey> &configurationKeys()
{
    static const std::vector<ConfigKey> keys = buildTable();
    return keys;
}

const QStringList &configurationGroups()
{
    static const QStringList groups = [] {
        QStringList g;
        for (const ConfigKey &k : configurationKeys())
            if (!g.contains(k.group))
                g << k.group;
        return g;
    }();
    return groups;
}

const ConfigKey *findConfigKey(QStringView group, QStringView name, Qt::CaseSensitivity cs)
{
    for (const ConfigKey &k : configurationKeys())
        if (k.name.compare(name, cs) == 0 && k.group.compare(group, cs) == 0)
            return &k;
    return nullptr;
}

const ConfigKey *findConfigKeyInAnyGroup(QStringView name, Qt::CaseSensitivity cs)
{
    for (const ConfigKey &k : configurationKeys())
        if (k.name.compare(name, cs) == 0)
            return &k;
    return nullptr;
}

QString canonicalGroupName(QStringView group, Qt::CaseSensitivity cs)
{
    for (const QString &g : configurationGroups())
        if (g.compare(group, cs) == 0)
            return g;
    return QString();
}

const ConfigKey *keyOfBlockEntry(int index)
{
    for (const ConfigKey &k : configurationKeys()) {
        if (k.target == KeyTarget::BlockEntry && k.index == index)
            return &k;
        if (k.target == KeyTarget::IdSplit && (k.index == index || k.index + 1 == index))
            return &k;
    }
    return nullptr;
}

const ConfigKey *keyOfTarget(KeyTarget target)
{
    const ConfigKey *found = nullptr;
    for (const ConfigKey &k : configurationKeys()) {
        if (k.target != target)
            continue;
        if (found)
            return nullptr;
        found = &k;
    }
    return found;
}

QString remoteControlKey(int n, QStringView suffix)
{
    QString key = QStringLiteral("rc") + twoDigits(n);
    key += suffix;
    return key;
}

QString macroKey(int n)
{
    return QStringLiteral("macro%1").arg(n);
}

QString keyTableKey(int k)
{
    return QStringLiteral("key") + twoDigits(k);
}

const QStringList &remoteControlKeySuffixes()
{
    static const QStringList suffixes = [] {
        const qsizetype prefix = remoteControlKey(1, QStringView()).size();
        QStringList s;
        for (const ConfigKey &k : configurationKeys())
            if (k.remoteControl == 1)
                s << k.name.mid(prefix);
        return s;
    }();
    return suffixes;
}
