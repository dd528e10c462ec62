// Runs every input of a fuzz target's seed and regression corpora (and, for the loader, the
// malformed files of tests/data/bad) through the target's LLVMFuzzerTestOneInput. The target
// checks its invariants itself and aborts with the failed check on stderr.
#include <QDir>
#include <QFile>
#include <QtTest>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

class FuzzReplay : public QObject
{
    Q_OBJECT

private:
    static QString root() { return qEnvironmentVariable("RCPROG_SOURCE_DIR"); }

    static QStringList folders()
    {
        const QString target = QStringLiteral(RCPROG_FUZZ_TARGET);
        QStringList list = {root() + QStringLiteral("/fuzz/corpus/") + target,
                            root() + QStringLiteral("/fuzz/regression/") + target};
        if (target == QLatin1String("fuzz_loader"))
            list << root() + QStringLiteral("/tests/data/bad");
        return list;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("RCPROG_SOURCE_DIR"), "RCPROG_SOURCE_DIR is not set");
        const QString seeds = folders().first();
        QVERIFY2(!QDir(seeds).entryList(QDir::Files).isEmpty(),
                 qPrintable(QStringLiteral("no seed inputs in ") + seeds));
    }

    void replay_data()
    {
        QTest::addColumn<QString>("path");
        for (const QString &folder : folders()) {
            const QDir dir(folder);
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
                QTest::newRow(qPrintable(QDir(root()).relativeFilePath(dir.filePath(name))))
                        << dir.filePath(name);
        }
    }

    void replay()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        const QByteArray bytes = file.readAll();
        QCOMPARE(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                        std::size_t(bytes.size())),
                 0);
    }
};

QTEST_GUILESS_MAIN(FuzzReplay)
#include "tst_fuzzreplay.moc"
