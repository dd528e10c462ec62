#include "ConfigurationLoader.h"

#include "RemoteControlData.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace {

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

QString rcKey(int n, const char *suffix)
{
    return QStringLiteral("rc") + twoDigits(n) + QLatin1String(suffix);
}

// Reads the INI groups of one file through the toolkit's INI reader, so that quoting, escapes
// and comma-separated lists behave as the toolkit defines them.
// Without a path every key reads as missing.
class Reader
{
public:
    Reader() = default;
    explicit Reader(const QString &path)
        : settings_(std::make_unique<QSettings>(path, QSettings::IniFormat))
    { }

    void group(const char *name)
    {
        if (!settings_)
            return;
        if (!settings_->group().isEmpty())
            settings_->endGroup();
        settings_->beginGroup(QLatin1String(name));
    }
    int integer(const QString &key, int defaultValue)
    {
        return settings_ ? settings_->value(key, defaultValue).toInt() : defaultValue;
    }
    int integer(const char *key, int defaultValue)
    {
        return integer(QLatin1String(key), defaultValue);
    }
    QString text(const QString &key, const QString &defaultValue)
    {
        return settings_ ? settings_->value(key, defaultValue).toString() : defaultValue;
    }
    QString text(const char *key, const QString &defaultValue)
    {
        return text(QLatin1String(key), defaultValue);
    }

private:
    std::unique_ptr<QSettings> settings_;
};

struct SettingsKey
{
    const char *key;
    int index;
    int defaultValue;
};

// Group Settings, in reading order (ID is read separately, between these).
constexpr SettingsKey kSettingsBeforeId[] = {
        {"frequencyTrim", 0, 128},
        {"keyNumberOfShiftKey", 1, 255},
        {"shiftDelay", 2, 255},
        {"quantityOfBytesInFlashBlock", 3, 255},
        {"boolReceiveInfraredSignel", 4, 0},
        {"boolVirtualRemoteControl", 5, 0},
        {"idNumberOfVarnoLtddeveloping", 7, 0},
        {"idNumberOfVarnoLtdRcDatabase", 8, 255},
        {"IdNumberofPlastickForm", 10, 255},
        {"customerId", 11, 255},
        {"delayAfterKeyPress", 15, 48},
        {"scaningKeyboardDelay", 16, 48},
        {"rcKeyNumberOfLoopKey", 30, 63},
        {"quantityOfRemoteControls", 31, 0},
};
constexpr SettingsKey kSettingsAfterId[] = {
        {"miniTVRemoteControlNumber", 26, 0},
        {"receivingADCthreshold", 25, 160},
};

void fill(Reader &reader, ConfigurationRecord &record)
{
    const int rcs = ConfigurationRecord::kRemoteControls;

    reader.group("nameOfDevice");
    record.newNameOfDevice
            = reader.text("newNameOfDevice", QStringLiteral("VARNO LTD USB changer"));
    record.canChangeProductName = reader.integer("canChangeProductName", 0);

    auto &block = record.configurationBlock;
    block.fill(0);

    reader.group("Settings");
    for (const SettingsKey &k : kSettingsBeforeId)
        block[k.index] = reader.integer(k.key, k.defaultValue);
    // Integer division and remainder truncate toward zero: -300 gives -1 and -44.
    block[27] = reader.integer("ID", 0) / 256;
    block[28] = reader.integer("ID", 0) % 256;
    for (const SettingsKey &k : kSettingsAfterId)
        block[k.index] = reader.integer(k.key, k.defaultValue);

    reader.group("Macro");
    block[BlockIndex::haveMacro] = reader.integer("haveMacro", 0);
    for (int n = 1; n <= 8; ++n)
        block[47 + n] = reader.integer(QStringLiteral("macro%1").arg(n), 0);
    record.flashMacro = reader.text("flashMacro", QString());

    reader.group("rcSettings");
    for (int n = 1; n <= rcs; ++n) {
        block[BlockIndex::maxSize(n)] = reader.integer(rcKey(n, "maxSize"), 0);
        block[BlockIndex::keyNumberOfSwitchKey(n)]
                = reader.integer(rcKey(n, "keyNumberOfSwitchKey"), 255);
    }
    std::array<QString, ConfigurationRecord::kRemoteControls> names;
    for (int n = 1; n <= rcs; ++n)
        names[n - 1] = reader.text(rcKey(n, "nameOfSwitch"), QString());
    for (int n = 1; n <= rcs; ++n)
        record.switchNameBlocks[n - 1] = RemoteControlData::buildSwitchNameBlock(names[n - 1]);
    for (int n = 1; n <= rcs; ++n)
        record.boolRewritableFromSoftware[n - 1]
                = reader.integer(rcKey(n, "boolRewritableFromSoftware"), 1);
    for (int n = 1; n <= rcs; ++n)
        record.flashData[n - 1] = reader.text(rcKey(n, "flashData"), QString());
    for (int n = 1; n <= rcs; ++n)
        record.flashData[n - 1] = RemoteControlData::rewriteFlashImage(
                record.flashData[n - 1], names[n - 1], record.boolRewritableFromSoftware[n - 1]);

    reader.group("rcDatabaseToRemoteControlKeysTable");
    for (int k = 0; k < 64; ++k)
        block[64 + k] = reader.integer(QStringLiteral("key") + twoDigits(k), 63);
}

} // namespace

QString configurationFilePath(const QString &baseName)
{
    return kConfigurationFolder + QLatin1Char('/') + baseName + QStringLiteral(".ini");
}

LoadStatus loadConfiguration(const QString &path, ConfigurationRecord &record)
{
    const QFileInfo info(path);
    if (!info.exists())
        return LoadStatus::NotFound;
    // The INI reader would silently treat a folder or a file it cannot open as empty, and every
    // key would take its default: refuse instead, so that such a file is never sent. Only
    // regular files are read: opening a named pipe would wait for a writer for ever, and a
    // device file is no configuration.
    QFile probe(path);
    if (!info.isFile() || !probe.open(QIODevice::ReadOnly))
        return LoadStatus::Unreadable;
    probe.close();

    ConfigurationRecord loaded;
    Reader reader(path);
    fill(reader, loaded);
    record = std::move(loaded);
    return LoadStatus::Loaded;
}

ConfigurationRecord defaultConfiguration()
{
    ConfigurationRecord record;
    Reader reader;
    fill(reader, record);
    return record;
}
