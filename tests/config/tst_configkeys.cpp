// The table of configuration keys against what is written out independently of it: the default
// record, the entries of the configuration block that no key fills and the five groups; that
// every key of the table is read by the loader in its own group and only there; and the lookups
// by name, with and without regard to case.
#include "ConfigurationKeys.h"
#include "ConfigurationLoader.h"
#include "RecordFixtures.h"
#include "RemoteControlData.h"
#include "ScratchFiles.h"

#include <QSet>
#include <QtTest>

namespace {

// Entries of the configuration block that every load leaves 0, written out.
QSet<int> alwaysZeroEntries()
{
    QSet<int> zero{6, 9};
    for (int i = 12; i <= 14; ++i)
        zero << i;
    for (int i = 17; i <= 24; ++i)
        zero << i;
    for (int i = 56; i <= 63; ++i)
        zero << i;
    return zero;
}

// A value of the key's kind that differs from its default.
QByteArray otherValue(const ConfigKey &k)
{
    switch (k.target) {
    case KeyTarget::SwitchName:
        return "TV";
    case KeyTarget::FlashData:
        return "000102030406054142434445EEFF";
    case KeyTarget::MacroImage:
        return "ABCD";
    case KeyTarget::ProductName:
        return "Hotel Hub";
    default:
        return QByteArray::number(k.defaultValue + 7);
    }
}

QString describe(const ConfigKey &k)
{
    return QStringLiteral("[%1] %2").arg(k.group, k.name);
}

} // namespace

class TestConfigKeys : public QObject
{
    Q_OBJECT

private:
    ScratchFiles files_{QStringLiteral("keys")};

    ConfigurationRecord load(const QByteArray &ini)
    {
        ConfigurationRecord record = scribbled();
        if (loadConfiguration(files_.write(ini), record) != LoadStatus::Loaded)
            qFatal("the scratch file did not load");
        return record;
    }

private slots:
    void initTestCase() { QVERIFY(files_.isValid()); }

    void groupsInReadingOrder()
    {
        const QStringList expected{QStringLiteral("nameOfDevice"), QStringLiteral("Settings"),
                                   QStringLiteral("Macro"), QStringLiteral("rcSettings"),
                                   QStringLiteral("rcDatabaseToRemoteControlKeysTable")};
        QCOMPARE(configurationGroups(), expected);
    }

    void keyNamesAreUnique()
    {
        // A key is looked up by its name alone when it stands in the wrong group.
        QSet<QString> seen;
        for (const ConfigKey &k : configurationKeys()) {
            QVERIFY2(!seen.contains(k.name.toLower()), qPrintable(describe(k)));
            seen << k.name.toLower();
        }
    }

    void defaultsAreTheWrittenOutRecord()
    {
        const ConfigurationRecord d = writtenOutDefaults();
        for (const ConfigKey &k : configurationKeys()) {
            const std::size_t rc = std::size_t(k.remoteControl - 1);
            switch (k.target) {
            case KeyTarget::ProductName:
                QCOMPARE(k.defaultText, d.newNameOfDevice);
                break;
            case KeyTarget::ProductNameFlag:
                QCOMPARE(k.defaultValue, d.canChangeProductName);
                break;
            case KeyTarget::BlockEntry:
                QVERIFY2(k.defaultValue == d.configurationBlock[std::size_t(k.index)],
                         qPrintable(describe(k)));
                break;
            case KeyTarget::IdSplit:
                QCOMPARE(k.defaultValue / 256, d.configurationBlock[std::size_t(k.index)]);
                QCOMPARE(k.defaultValue % 256, d.configurationBlock[std::size_t(k.index) + 1]);
                break;
            case KeyTarget::MacroImage:
                QCOMPARE(k.defaultText, d.flashMacro);
                break;
            case KeyTarget::SwitchName:
                QVERIFY2(RemoteControlData::buildSwitchNameBlock(k.defaultText)
                                 == d.switchNameBlocks[rc],
                         qPrintable(describe(k)));
                break;
            case KeyTarget::Rewritable:
                QVERIFY2(k.defaultValue == d.boolRewritableFromSoftware[rc],
                         qPrintable(describe(k)));
                break;
            case KeyTarget::FlashData:
                QVERIFY2(k.defaultText == d.flashData[rc], qPrintable(describe(k)));
                break;
            }
        }
    }

    void everyEntryIsFilledByOneKeyOrAlwaysZero()
    {
        const QSet<int> zero = alwaysZeroEntries();
        QHash<int, QString> filledBy;
        for (const ConfigKey &k : configurationKeys()) {
            QList<int> entries;
            if (k.target == KeyTarget::BlockEntry)
                entries << k.index;
            else if (k.target == KeyTarget::IdSplit)
                entries << k.index << k.index + 1;
            for (int i : entries) {
                QVERIFY2(i >= 0 && i < ConfigurationRecord::kBlockSize, qPrintable(describe(k)));
                QVERIFY2(!zero.contains(i), qPrintable(describe(k)));
                QVERIFY2(!filledBy.contains(i),
                         qPrintable(QStringLiteral("entry %1: %2 and %3")
                                            .arg(i)
                                            .arg(filledBy.value(i), describe(k))));
                filledBy.insert(i, describe(k));
            }
        }
        for (int i = 0; i < ConfigurationRecord::kBlockSize; ++i) {
            QVERIFY2(zero.contains(i) || filledBy.contains(i), qPrintable(QString::number(i)));
            const ConfigKey *k = keyOfBlockEntry(i);
            QCOMPARE(k ? describe(*k) : QString(), filledBy.value(i));
        }
    }

    void everyKeyIsReadInItsGroupOnly()
    {
        const ConfigurationRecord defaults = writtenOutDefaults();
        const ConfigurationRecord empty = load(QByteArray());
        QVERIFY2(empty == defaults,
                 qPrintable(QStringLiteral("an empty file: ") + firstDifference(empty, defaults)));
        for (const ConfigKey &k : configurationKeys()) {
            const QByteArray line = k.name.toUtf8() + '=' + otherValue(k) + '\n';
            QVERIFY2(load('[' + k.group.toUtf8() + "]\n" + line) != defaults,
                     qPrintable(describe(k) + QStringLiteral(" has no effect")));
            for (const QString &other : configurationGroups()) {
                if (other == k.group)
                    continue;
                const ConfigurationRecord r = load('[' + other.toUtf8() + "]\n" + line);
                QVERIFY2(r == defaults,
                         qPrintable(describe(k) + QStringLiteral(" is read in [") + other
                                    + QStringLiteral("]: ") + firstDifference(r, defaults)));
            }
        }
    }

    void findKey_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ignoreCase");
        QTest::addColumn<QString>("found"); // "group/key" as spelt in the table; empty: none

        QTest::newRow("exact") << "Settings"
                               << "shiftDelay" << false << "Settings/shiftDelay";
        QTest::newRow("key case differs") << "Settings"
                                          << "ShiftDelay" << false << "";
        QTest::newRow("key case ignored") << "Settings"
                                          << "SHIFTDELAY" << true << "Settings/shiftDelay";
        QTest::newRow("group case ignored")
                << "RCSETTINGS"
                << "rc03flashdata" << true << "rcSettings/rc03flashData";
        QTest::newRow("group case differs") << "settings"
                                            << "shiftDelay" << false << "";
        QTest::newRow("wrong group") << "Macro"
                                     << "shiftDelay" << true << "";
        QTest::newRow("ID and its neighbour in case") << "Settings"
                                                      << "id" << true << "Settings/ID";
        QTest::newRow("numbered key of no family member") << "rcSettings"
                                                          << "rc09maxSize" << true << "";
        QTest::newRow("key00 and key63")
                << "rcDatabaseToRemoteControlKeysTable"
                << "KEY63" << true << "rcDatabaseToRemoteControlKeysTable/key63";
    }

    void findKey()
    {
        QFETCH(QString, group);
        QFETCH(QString, name);
        QFETCH(bool, ignoreCase);
        QFETCH(QString, found);
        const Qt::CaseSensitivity cs = ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
        const ConfigKey *k = findConfigKey(group, name, cs);
        QCOMPARE(k ? k->group + u'/' + k->name : QString(), found);
        // Without the group the same key is found wherever it stands.
        const ConfigKey *anywhere = findConfigKeyInAnyGroup(name, cs);
        if (k)
            QCOMPARE(anywhere, k);
    }

    void canonicalGroupName_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<bool>("ignoreCase");
        QTest::addColumn<QString>("canonical");
        QTest::newRow("exact") << "Macro" << false << "Macro";
        QTest::newRow("case differs") << "macro" << false << QString();
        QTest::newRow("case ignored") << "RCDATABASETOREMOTECONTROLKEYSTABLE" << true
                                      << "rcDatabaseToRemoteControlKeysTable";
        QTest::newRow("unknown") << "General" << true << QString();
    }

    void canonicalGroupName()
    {
        QFETCH(QString, group);
        QFETCH(bool, ignoreCase);
        QFETCH(QString, canonical);
        QCOMPARE(::canonicalGroupName(group, ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive),
                 canonical);
    }

    void keysByDestination()
    {
        QCOMPARE(keyOfTarget(KeyTarget::ProductName)->name, QStringLiteral("newNameOfDevice"));
        QCOMPARE(keyOfTarget(KeyTarget::ProductNameFlag)->name,
                 QStringLiteral("canChangeProductName"));
        QCOMPARE(keyOfTarget(KeyTarget::MacroImage)->name, QStringLiteral("flashMacro"));
        QVERIFY(!keyOfTarget(KeyTarget::FlashData)); // eight keys
        QCOMPARE(keyOfBlockEntry(27)->name, QStringLiteral("ID"));
        QCOMPARE(keyOfBlockEntry(28)->name, QStringLiteral("ID"));
        QCOMPARE(keyOfBlockEntry(37)->name, QStringLiteral("rc03maxSize"));
        QCOMPARE(keyOfBlockEntry(36)->name, QStringLiteral("rc03keyNumberOfSwitchKey"));
        QCOMPARE(keyOfBlockEntry(55)->name, QStringLiteral("macro8"));
        QCOMPARE(keyOfBlockEntry(64)->name, QStringLiteral("key00"));
    }

    void remoteControlKeySuffixes()
    {
        const QStringList expected{
                QStringLiteral("maxSize"), QStringLiteral("keyNumberOfSwitchKey"),
                QStringLiteral("nameOfSwitch"), QStringLiteral("boolRewritableFromSoftware"),
                QStringLiteral("flashData")};
        QCOMPARE(::remoteControlKeySuffixes(), expected);
        for (int n = 1; n <= ConfigurationRecord::kRemoteControls; ++n)
            for (const QString &suffix : expected)
                QVERIFY2(findConfigKey(u"rcSettings", remoteControlKey(n, suffix)),
                         qPrintable(remoteControlKey(n, suffix)));
    }
};

QTEST_GUILESS_MAIN(TestConfigKeys)
#include "tst_configkeys.moc"
