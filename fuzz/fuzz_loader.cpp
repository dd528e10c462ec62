// Fuzz target: configuration file text -> loadConfiguration -> record -> one programming pass.
// The loader must not crash or hang on any text. It refuses only a text with a value that the
// INI reader would decode as an object, naming one of its lines and leaving the record untouched;
// in any text it accepts, the reader gives no value that is such an object. The record must keep
// its shape: every unnamed index of the configuration block is 0, each switch name block is a
// well-formed name record of the (cut) switch name, a flash image is non-empty exactly when the
// file gave one, and loading the same text again gives the same record. A pass with R = 8 over
// the record must end with the size worked out from the record's counts.

#include "ConfigurationLoader.h"
#include "ConfigurationText.h"
#include "FuzzSupport.h"
#include "PlainValues.h"
#include "RemoteControlData.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <memory>

#include <unistd.h>

namespace {

// Writes each input to a file of its own in the temporary folder, named after the process and a
// serial number: the toolkit's INI reader caches files by name within a process, and a name not
// used before keeps a cached earlier input from being served instead. Each file is removed once
// its input has run; the file of an input that makes the target abort stays behind.
class InputFiles
{
public:
    QString write(const std::uint8_t *data, std::size_t size)
    {
        const QString file = QStringLiteral("%1/rcprog-fuzz-%2-%3.ini")
                                     .arg(QDir::tempPath())
                                     .arg(qint64(::getpid()))
                                     .arg(++serial_);
        QFile out(file);
        FUZZ_CHECK(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(out.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
        out.close();
        return file;
    }

private:
    quint64 serial_ = 0;
};

bool isUpperHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

// Indexes of the configuration block that no key fills.
bool isUnnamedIndex(int i)
{
    return i == 6 || i == 9 || (i >= 12 && i <= 14) || (i >= 17 && i <= 24) || (i >= 56 && i <= 63);
}

void checkRecord(const ConfigurationRecord &record, const QString &path)
{
    for (int i = 0; i < ConfigurationRecord::kBlockSize; ++i)
        if (isUnnamedIndex(i))
            FUZZ_CHECK_EQ(record.configurationBlock[std::size_t(i)], 0);

    // The names and images as the INI reader gives them, to compare the derivations with. Names
    // that the file spells in another case are read as their canonical spelling, as the loader
    // reads them.
    const std::unique_ptr<QSettings> settings = readConfigurationSettings(path);
    FUZZ_CHECK(settings != nullptr);
    QSettings &raw = *settings;
    raw.beginGroup(QStringLiteral("rcSettings"));
    for (int n = 1; n <= ConfigurationRecord::kRemoteControls; ++n) {
        const QString nn = QStringLiteral("rc%1").arg(n, 2, 10, QLatin1Char('0'));
        const QString name = raw.value(nn + QStringLiteral("nameOfSwitch"), QString()).toString();
        const QString image = raw.value(nn + QStringLiteral("flashData"), QString()).toString();
        const auto &block = record.switchNameBlocks[std::size_t(n - 1)];
        const int length = std::min<int>(int(name.size()), RemoteControlData::kMaxNameLength);

        FUZZ_CHECK_EQ(block[0], 0);
        FUZZ_CHECK_EQ(block[1], 1);
        FUZZ_CHECK(block[2] == 0 && block[3] == 0 && block[4] == 0);
        FUZZ_CHECK_EQ(block[6], length);
        FUZZ_CHECK(block[6] >= 0 && block[6] <= 57);
        FUZZ_CHECK_EQ(block[5], block[6] + 1);
        for (int j = 0; j < length; ++j) {
            const char16_t c = name.at(j).unicode();
            FUZZ_CHECK_EQ(block[std::size_t(7 + j)], c <= 0xFF ? c : 0);
        }
        for (int j = 7 + length; j < ConfigurationRecord::kNameBlockSize; ++j)
            FUZZ_CHECK_EQ(block[std::size_t(j)], 0);

        const QString &flash = record.flashData[std::size_t(n - 1)];
        FUZZ_CHECK(flash.isEmpty() == image.isEmpty());
        if (image.isEmpty())
            continue;
        // Kept: characters 0-1 and 4-9, as far as they exist. Inserted: the flag after the first
        // kept part, then bytes 5 and 6 and the name after the second, all as upper-case digits.
        const qsizetype head = std::min<qsizetype>(image.size(), 2);
        const qsizetype middle = std::max<qsizetype>(0, std::min<qsizetype>(image.size(), 10) - 4);
        const qsizetype inserted = head + 2 + middle;
        FUZZ_CHECK(flash.left(head) == image.left(2));
        FUZZ_CHECK(flash.mid(head + 2, middle) == image.mid(4, 6));
        FUZZ_CHECK(flash.size() >= inserted + 4 + 2 * length);
        for (qsizetype i = head; i < head + 2; ++i)
            FUZZ_CHECK(isUpperHex(flash.at(i)));
        for (qsizetype i = inserted; i < inserted + 4 + 2 * length; ++i)
            FUZZ_CHECK(isUpperHex(flash.at(i)));
    }
}

// Lines of a text: "\r\n", "\n" and "\r" each end one.
int lineCount(const std::uint8_t *data, std::size_t size)
{
    int lines = 1;
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] == '\n' || (data[i] == '\r' && !(i + 1 < size && data[i + 1] == '\n')))
            ++lines;
    return lines;
}

} // namespace

#ifdef RCPROG_LIBFUZZER
// The INI reader warns about typed values it cannot build (such as @Variant with an unknown
// type); under libFuzzer, where millions of inputs run, those warnings would bury its report.
// A fatal message still aborts after the handler.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static InputFiles files;

    const QString path = files.write(data, size);
    ConfigurationRecord record;
    LoadDetail detail;
    const LoadStatus status = loadConfiguration(path, record, &detail);
    if (status != LoadStatus::Loaded) {
        // The reader never sees such a text here either.
        FUZZ_CHECK(status == LoadStatus::Unreadable);
        FUZZ_CHECK(detail.line >= 1 && detail.line <= lineCount(data, size));
        FUZZ_CHECK(record == ConfigurationRecord());
        QFile::remove(path);
        return 0;
    }
    FUZZ_CHECK(firstDecodedKey(path).isEmpty());
    checkRecord(record, path);
    QFile::remove(path);

    // The same text under another name loads into the same record, over any earlier contents.
    const QString again = files.write(data, size);
    ConfigurationRecord second = defaultConfiguration();
    second.configurationBlock.fill(-7);
    second.flashData[0] = QStringLiteral("stale");
    FUZZ_CHECK(loadConfiguration(again, second) == LoadStatus::Loaded);
    FUZZ_CHECK(second == record);
    QFile::remove(again);

    // A pass over the record. Values such as a Q of two thousand million make passes of hundreds
    // of millions of reports; those are cut off by the sink, which the pass must obey at once.
    std::vector<std::uint8_t> buffer(9, 0);
    fuzz::checkPass(record, 8, buffer, 20'000);
    return 0;
}
