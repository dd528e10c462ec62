// rcprog-config-generator DIR COUNT [SEED]: writes configuration files into DIR for the
// comparison of two builds of rcprog-cli (the Linux and the Windows one must print the same
// record and report sequence for each):
//
//   gen-NNN.ini              COUNT files of the keys of the table, each key present or not, its
//                            value from a list of odd values (beyond a byte, beyond 32 bits, not
//                            decimal, empty, lists, quoted, long and non-Latin-1 names, flash
//                            data of every length), names in any case, repeated keys, unknown
//                            keys and groups, CRLF, a BOM
//   spell-SPELLING.ini       one file in the spellings canonical, lower, upper and mixed: every
//                            spelling must give the record of the canonical one
//
// The same SEED (default 1) gives the same files on every system.
#include "ConfigurationKeys.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <random>
#include <utility>

namespace {

class Generator
{
public:
    explicit Generator(unsigned seed) : random_(seed) { }

    int below(int n) { return int(random_() % unsigned(n)); }
    bool chance(int percent) { return below(100) < percent; }

    QString hexDigits(int count)
    {
        static const char digits[] = "0123456789ABCDEFabcdef";
        QString s;
        for (int i = 0; i < count; ++i)
            s += QLatin1Char(digits[below(chance(90) ? 16 : 22)]);
        return s;
    }

    QString integerValue()
    {
        static const char *const odd[]
                = {"0",     "1",       "255",           "256",         "-1",         "-300",
                   "65535", "65536",   "4660",          "2147483647",  "2147483648", "-2147483649",
                   "0x10",  "",        "12a",           " 7 ",         "+5",         "\"9\"",
                   "1,2",   "\"3,4\"", "8 ; a comment", "99999999999", "007"};
        if (chance(50))
            return QString::number(below(chance(80) ? 256 : 70000));
        return QString::fromUtf8(odd[below(int(sizeof odd / sizeof *odd))]);
    }

    QString textValue(const ConfigKey &key)
    {
        switch (key.target) {
        case KeyTarget::FlashData:
            // Around the sizes that decide between the flash image and the name block.
            return hexDigits(chance(20) ? below(20) : 2 * 8 * below(12) + below(3) - 1);
        case KeyTarget::MacroImage:
            return hexDigits(chance(70) ? 256 : below(300));
        default:
            break;
        }
        static const char *const names[] = {"TV",
                                            "Living room",
                                            "\"Hall, left\"",
                                            "Hall, right",
                                            "Caf\xc3\xa9 \xc3\xbc",
                                            "\xce\xa9mega",
                                            "",
                                            "semi;colon",
                                            "%U0041BC",
                                            "trailing blanks   ",
                                            "A very long name that goes on well past fifty-seven "
                                            "characters of text"};
        return QString::fromUtf8(names[below(int(sizeof names / sizeof *names))]);
    }

    QString value(const ConfigKey &key)
    {
        if (key.kind == KeyKind::Text)
            return textValue(key);
        // The flash block size stays small: a block of Q bytes is Q / 8 reports, and a pass of
        // millions of reports is no comparison but a long wait.
        if (key.rule == KeyRule::FlashBlockSize) {
            static const char *const sizes[]
                    = {"8", "16", "64", "248", "255", "0", "-8", "7", "", "0x10", "1,2"};
            return QString::fromUtf8(sizes[below(int(sizeof sizes / sizeof *sizes))]);
        }
        return integerValue();
    }

    QString spelled(const QString &name)
    {
        switch (below(8)) {
        case 0:
            return name.toLower();
        case 1:
            return name.toUpper();
        case 2:
            return mixed(name);
        default:
            return name;
        }
    }

    QString mixed(const QString &name)
    {
        QString out;
        for (QChar c : name)
            out += chance(50) ? c.toUpper() : c.toLower();
        return out;
    }

    // One file of randomly chosen keys.
    QByteArray file()
    {
        const char *const eol = chance(20) ? "\r\n" : "\n";
        QStringList lines;
        if (chance(30))
            lines << QStringLiteral("; generated");
        const QStringList &groups = configurationGroups();
        for (const QString &group : groups) {
            if (chance(10))
                continue;
            lines << QLatin1Char('[') + spelled(group) + QLatin1Char(']');
            for (const ConfigKey &key : configurationKeys()) {
                if (key.group != group || !chance(45))
                    continue;
                lines << spelled(key.name) + QLatin1Char('=') + value(key);
                if (chance(5)) // the same key again, maybe in another spelling
                    lines << spelled(key.name) + QLatin1Char('=') + value(key);
            }
            if (chance(10))
                lines << QStringLiteral("unknownKey=1");
        }
        if (chance(15))
            lines << QStringLiteral("[Extras]") << spelled(QStringLiteral("shiftDelay")) + "=3";
        QByteArray out = chance(10) ? QByteArray("\xef\xbb\xbf") : QByteArray();
        for (const QString &line : lines)
            out += line.toUtf8() + eol;
        return out;
    }

    std::mt19937 random_;
};

bool write(const QDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "rcprog-config-generator: cannot write %s\n",
                     qPrintable(f.fileName()));
        return false;
    }
    return true;
}

// One key of every kind and group, to be written in several spellings.
QByteArray spellingFile(const std::function<QString(const QString &)> &spell)
{
    QByteArray out;
    for (const QString &group : configurationGroups()) {
        out += ('[' + spell(group) + "]\n").toUtf8();
        int n = 0;
        for (const ConfigKey &key : configurationKeys()) {
            if (key.group != group || n++ % 3 != 0)
                continue;
            const QString value = key.kind == KeyKind::Integer
                                          ? QString::number((key.defaultValue + 7 * n) % 251)
                                  : key.target == KeyTarget::FlashData
                                          ? QStringLiteral("000102030406054142434445EEFF")
                                          : QStringLiteral("Name %1").arg(n);
            out += (spell(key.name) + '=' + value + '\n').toUtf8();
        }
    }
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: rcprog-config-generator DIR COUNT [SEED]\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const int count = QByteArray(argv[2]).toInt();
    const unsigned seed = argc == 4 ? QByteArray(argv[3]).toUInt() : 1;
    if (!QDir().mkpath(dir.path()) || count < 0) {
        std::fprintf(stderr, "rcprog-config-generator: bad DIR or COUNT\n");
        return 2;
    }
    Generator generator(seed);
    for (int i = 1; i <= count; ++i)
        if (!write(dir, QStringLiteral("gen-%1.ini").arg(i, 3, 10, QLatin1Char('0')),
                   generator.file()))
            return 1;

    const std::pair<const char *, std::function<QString(const QString &)>> spellings[]
            = {{"canonical", [](const QString &s) { return s; }},
               {"lower", [](const QString &s) { return s.toLower(); }},
               {"upper", [](const QString &s) { return s.toUpper(); }},
               {"mixed", [&generator](const QString &s) { return generator.mixed(s); }}};
    for (const auto &[name, spell] : spellings)
        if (!write(dir, QStringLiteral("spell-%1.ini").arg(QLatin1String(name)),
                   spellingFile(spell)))
            return 1;
    return 0;
}
