#include "ConfigurationLoader.h"
#include "PassDecoder.h"
#include "ProgrammingPass.h"

#include <QtTest>

namespace {

// The reports of a pass with arrival times as the pauses would space them: back to back
// (1 ms apart) within a group, the pause between groups.
std::vector<ReceivedReport> timeline(const std::vector<PassStep> &steps, double start = 0)
{
    std::vector<ReceivedReport> out;
    double t = start;
    for (const PassStep &s : steps) {
        if (s.kind == PassStep::Kind::Pause) {
            t += s.ms;
        } else {
            t += 1;
            out.push_back({s.bytes, t});
        }
    }
    return out;
}

ConfigurationRecord fullRecord()
{
    ConfigurationRecord r = defaultConfiguration();
    auto &b = r.configurationBlock;
    b[BlockIndex::quantityOfBytesInFlashBlock] = 64;
    b[BlockIndex::quantityOfRemoteControls] = 3;
    b[BlockIndex::maxSize(1)] = 4;
    b[BlockIndex::maxSize(2)] = 4;
    b[BlockIndex::haveMacro] = 1;
    r.flashData[0] = QString(300, u'A'); // 3 flash blocks
    r.flashData[1] = QString(128, u'B'); // 1 flash block
    r.flashMacro = QString(256, u'C');
    r.canChangeProductName = 1;
    r.newNameOfDevice = QStringLiteral("Hub");
    return r;
}

} // namespace

class TestPassDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodesEveryBlock();
    void splitsPassesAndKeepsAnUnclosedOne();
};

void TestPassDecoder::decodesEveryBlock()
{
    std::vector<std::uint8_t> buffer(9, 0);
    const std::vector<PassStep> steps = collectPassSteps(fullRecord(), 8, buffer);
    const std::vector<DecodedPass> passes = decodePasses(timeline(steps));
    QCOMPARE(passes.size(), std::size_t(1));
    const DecodedPass &p = passes[0];
    QVERIFY(p.closed);
    QCOMPARE(p.reports, 19 + (1 + 24) + (1 + 8) + 9 + 17 + 4);
    QCOMPARE(p.productName, QStringLiteral("Hub"));
    QCOMPARE(p.blocks.size(), std::size_t(6));
    QCOMPARE(p.blocks[0].id, 0x80);
    QCOMPARE(p.blocks[0].reports, 16);
    QCOMPARE(p.blocks[1].kind, DecodedBlock::Kind::RemoteControl);
    QCOMPARE(p.blocks[1].count, 3);
    QCOMPARE(p.blocks[1].reports, 24);
    QCOMPARE(p.blocks[1].payload.front(), std::uint8_t(0xAA));
    QCOMPARE(p.blocks[2].count, 1);
    QCOMPARE(p.blocks[2].reports, 8);
    QCOMPARE(p.blocks[3].id, 2);
    QCOMPARE(p.blocks[3].reports, 8); // switch name block
    QCOMPARE(p.blocks[4].kind, DecodedBlock::Kind::Macro);
    QCOMPARE(p.blocks[4].reports, 16);
    QCOMPARE(p.blocks[5].kind, DecodedBlock::Kind::Name);
    // 20 + 20 + 50 + 50 (config) + 3 x 50 + 50 + 50 + 2 x 50 (macro)
    QCOMPARE(p.pausesMs.size(), std::size_t(10));
    QVERIFY(describePass(p).contains(QStringLiteral("remote control 1 (block 0x00, count 3)")));
}

void TestPassDecoder::splitsPassesAndKeepsAnUnclosedOne()
{
    std::vector<std::uint8_t> buffer(9, 0);
    const ConfigurationRecord r = defaultConfiguration();
    std::vector<ReceivedReport> reports = timeline(collectPassSteps(r, 8, buffer));
    std::vector<ReceivedReport> second = timeline(collectPassSteps(r, 8, buffer), 1000);
    second.resize(7); // unplugged during the configuration block
    reports.insert(reports.end(), second.begin(), second.end());
    const std::vector<DecodedPass> passes = decodePasses(reports);
    QCOMPARE(passes.size(), std::size_t(2));
    QVERIFY(passes[0].closed);
    QCOMPARE(passes[0].reports, 19);
    QVERIFY(!passes[1].closed);
    QCOMPARE(passes[1].reports, 7);
    QVERIFY(describePass(passes[1]).contains(QStringLiteral("NOT CLOSED")));
}

QTEST_APPLESS_MAIN(TestPassDecoder)
#include "tst_passdecoder.moc"
