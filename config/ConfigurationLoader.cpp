#include "ConfigurationLoader.h"

#include "ConfigurationKeys.h"
#include "ConfigurationText.h"
#include "EncodedValues.h"
#include "RemoteControlData.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace {

// Reads the INI groups of one file through the toolkit's INI reader, so that quoting, escapes
// and comma-separated lists behave as the toolkit defines them.
// Without a reader every key reads as missing.
class Reader
{
public:
    Reader() = default;
    explicit Reader(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) { }

    void group(const QString &name)
    {
        if (!settings_)
            return;
        if (!settings_->group().isEmpty())
            settings_->endGroup();
        settings_->beginGroup(name);
    }
    int integer(const QString &key, int defaultValue)
    {
        return settings_ ? settings_->value(key, defaultValue).toInt() : defaultValue;
    }
    QString text(const QString &key, const QString &defaultValue)
    {
        return settings_ ? settings_->value(key, defaultValue).toString() : defaultValue;
    }

private:
    std::unique_ptr<QSettings> settings_;
};

// Reads every key of the table in its order into its destination. The switch names are kept
// aside: the name blocks are built from them once the last name is read (before the rewritable
// flags), and the flash images are rewritten with them once the last image is read.
void fill(Reader &reader, ConfigurationRecord &record)
{
    constexpr int rcs = ConfigurationRecord::kRemoteControls;
    auto &block = record.configurationBlock;
    block.fill(0);
    std::array<QString, rcs> names;

    const QString *group = nullptr;
    for (const ConfigKey &k : configurationKeys()) {
        if (!group || *group != k.group) {
            group = &k.group;
            reader.group(k.group);
        }
        const std::size_t rc = std::size_t(k.remoteControl - 1);
        switch (k.target) {
        case KeyTarget::ProductName:
            record.newNameOfDevice = reader.text(k.name, k.defaultText);
            break;
        case KeyTarget::ProductNameFlag:
            record.canChangeProductName = reader.integer(k.name, k.defaultValue);
            break;
        case KeyTarget::BlockEntry:
            block[std::size_t(k.index)] = reader.integer(k.name, k.defaultValue);
            break;
        case KeyTarget::IdSplit:
            // Integer division and remainder truncate toward zero: -300 gives -1 and -44.
            block[std::size_t(k.index)] = reader.integer(k.name, k.defaultValue) / 256;
            block[std::size_t(k.index) + 1] = reader.integer(k.name, k.defaultValue) % 256;
            break;
        case KeyTarget::MacroImage:
            record.flashMacro = reader.text(k.name, k.defaultText);
            break;
        case KeyTarget::SwitchName:
            names[rc] = reader.text(k.name, k.defaultText);
            if (k.remoteControl == rcs)
                for (std::size_t n = 0; n < rcs; ++n)
                    record.switchNameBlocks[n] = RemoteControlData::buildSwitchNameBlock(names[n]);
            break;
        case KeyTarget::Rewritable:
            record.boolRewritableFromSoftware[rc] = reader.integer(k.name, k.defaultValue);
            break;
        case KeyTarget::FlashData:
            record.flashData[rc] = reader.text(k.name, k.defaultText);
            if (k.remoteControl == rcs)
                for (std::size_t n = 0; n < rcs; ++n)
                    record.flashData[n] = RemoteControlData::rewriteFlashImage(
                            record.flashData[n], names[n], record.boolRewritableFromSoftware[n]);
            break;
        }
    }
}

} // namespace

QString configurationFilePath(const QString &baseName)
{
    return kConfigurationFolder + QLatin1Char('/') + baseName + QStringLiteral(".ini");
}

LoadStatus loadConfiguration(const QString &path, ConfigurationRecord &record, LoadDetail *detail)
{
    if (detail)
        *detail = LoadDetail();
    const QFileInfo info(path);
    if (!info.exists())
        return LoadStatus::NotFound;
    // The INI reader would silently treat a folder or a file it cannot open as empty, and every
    // key would take its default: refuse instead, so that such a file is never sent. Only
    // regular files are read: opening a named pipe would wait for a writer for ever, and a
    // device file is no configuration.
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return LoadStatus::Unreadable;
    // The reader decodes @Variant(...) values while it parses, so the text is checked first.
    // The reader then parses exactly these bytes (never the file a second time, which may have
    // changed meanwhile), and the same bytes give the digest of the load.
    const QByteArray text = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    if (readFailed)
        return LoadStatus::Unreadable;
    if (const std::optional<EncodedValue> encoded = findEncodedValue(text)) {
        if (detail) {
            detail->line = encoded->line;
            detail->encodedForm = encoded->form;
        }
        return LoadStatus::Unreadable;
    }
    // Group and key names are matched without regard to case, as the reader does on Windows.
    std::unique_ptr<QSettings> settings = readConfigurationSettings(path, canonicalizeNames(text));
    if (!settings)
        return LoadStatus::Unreadable; // the copy the reader reads could not be written

    ConfigurationRecord loaded;
    Reader reader(std::move(settings));
    fill(reader, loaded);
    record = std::move(loaded);
    if (detail)
        detail->source
                = {info.absoluteFilePath(),
                   QString::fromLatin1(
                           QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex())};
    return LoadStatus::Loaded;
}

ConfigurationRecord defaultConfiguration()
{
    ConfigurationRecord record;
    Reader reader;
    fill(reader, record);
    return record;
}

QString loadErrorText(LoadStatus status, const QString &path, const LoadDetail &detail)
{
    switch (status) {
    case LoadStatus::Loaded:
        break;
    case LoadStatus::NotFound:
        return QStringLiteral("configuration file not found: ") + path;
    case LoadStatus::Unreadable:
        if (detail.line > 0)
            return QStringLiteral("cannot read configuration file: %1: line %2: a value of the "
                                  "form %3...) is refused")
                    .arg(path)
                    .arg(detail.line)
                    .arg(detail.encodedForm);
        return QStringLiteral("cannot read configuration file: ") + path;
    }
    return QString();
}
