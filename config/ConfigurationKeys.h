#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// The keys of a configuration file, one row per key, in the order in which the loader reads
// them. The loader, `rcprog-cli check` and anything that writes configuration files take the
// groups, key names, kinds, defaults, destinations and value ranges from this table: a new key
// is added here and nowhere else. The names are the canonical spellings; the loader matches them
// without regard to case (ConfigurationText.h), and so can the lookups below.

// How the loader reads a value: an integer with QVariant::toInt (a value that is not a decimal
// integer reads as 0), a text with QVariant::toString.
enum class KeyKind { Integer, Text };

// Where the loader puts a value.
enum class KeyTarget {
    ProductName, // newNameOfDevice
    ProductNameFlag, // canChangeProductName
    BlockEntry, // configurationBlock[index]
    IdSplit, // read twice: entry `index` gets the value / 256, entry `index` + 1 the value % 256
    MacroImage, // flashMacro
    SwitchName, // not stored: the name block and the flash image's name record of `remoteControl`
    Rewritable, // boolRewritableFromSoftware[remoteControl - 1]; enters the flash image rewrite
    FlashData, // flashData[remoteControl - 1], then rewritten with the name and the flag
};

// The values an integer key may take for the receiver to get what the file says.
enum class KeyRule {
    None, // a text key
    Byte, // 0 ... 255: the receiver gets the low 8 bits
    Id, // 0 ... 65535: it is split into two bytes
    ProductFlag, // 0 or 1: only 1 writes the product name
    RemoteCount, // 0 ... 8: the remote controls a pass programs
    FlashBlockSize, // a byte, and a positive multiple of the payload bytes of a report
    Rewritable, // 0 ... 255: the flash image gets the first two hex digits of the value
};

struct KeyRange
{
    int low;
    int high;
};

// The range of an integer rule ({0, 0} for KeyRule::None).
KeyRange keyRange(KeyRule rule);

struct ConfigKey
{
    QString group;
    QString name;
    KeyKind kind;
    KeyTarget target;
    int index; // BlockEntry and IdSplit: the configurationBlock entry; otherwise -1
    int remoteControl; // 1 ... 8 for an rcNN key; otherwise 0
    int defaultValue; // what a missing integer key reads as
    QString defaultText; // what a missing text key reads as
    KeyRule rule;
    QString description; // one line: what the value is
};

// Every key, in reading order.
const std::vector<ConfigKey> &configurationKeys();

// The groups, in reading order.
const QStringList &configurationGroups();

// The key `name` of `group`; nullptr when there is none.
const ConfigKey *findConfigKey(QStringView group, QStringView name,
                               Qt::CaseSensitivity cs = Qt::CaseSensitive);

// The key `name` of whichever group holds it (key names are unique across groups).
const ConfigKey *findConfigKeyInAnyGroup(QStringView name,
                                         Qt::CaseSensitivity cs = Qt::CaseSensitive);

// The canonical spelling of a group name; a null string when there is no such group.
QString canonicalGroupName(QStringView group, Qt::CaseSensitivity cs = Qt::CaseSensitive);

// The key that fills configurationBlock entry `index` (for ID both its entries); nullptr for
// an entry that no key fills.
const ConfigKey *keyOfBlockEntry(int index);

// The only key with the given target (ProductName, ProductNameFlag, MacroImage); nullptr for a
// target that several keys share.
const ConfigKey *keyOfTarget(KeyTarget target);

// Names of the numbered keys: rc01maxSize ... rc08flashData, macro1 ... macro8, key00 ... key63.
QString remoteControlKey(int n, QStringView suffix);
QString macroKey(int n);
QString keyTableKey(int k);

// The suffixes of the rcNN keys (maxSize, keyNumberOfSwitchKey, ...), in reading order.
const QStringList &remoteControlKeySuffixes();
