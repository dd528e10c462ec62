#include "Descriptors.h"
#include "ReportDescriptor.h"

#include <QtTest>

#include <optional>
#include <vector>

using rcprog::CollectionUsage;
using rcprog::test::CollectionCase;
using rcprog::test::collectionCases;
using rcprog::test::DescriptorCase;
using rcprog::test::descriptorCases;

Q_DECLARE_METATYPE(std::vector<CollectionUsage>)

namespace {

// Parses a copy in a heap block of exactly the descriptor's size, so that a read past the end
// is caught by AddressSanitizer.
std::optional<int> parse(const QByteArray &bytes)
{
    const std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
    return rcprog::inputReportLength(exact.data(), exact.size());
}

} // namespace

class TestReportDescriptor : public QObject
{
    Q_OBJECT

private slots:
    void inputReportLength_data();
    void inputReportLength();
    void everyTruncation_data();
    void everyTruncation();
    void topLevelCollections_data();
    void topLevelCollections();
    void unreadableDescriptorsHaveNoCollections_data();
    void unreadableDescriptorsHaveNoCollections();
    void heldBySystem_data();
    void heldBySystem();
};

void TestReportDescriptor::inputReportLength_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<int>("expected");
    for (const DescriptorCase &c : descriptorCases())
        QTest::newRow(c.name) << c.bytes() << c.inputLength;
}

void TestReportDescriptor::inputReportLength()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(int, expected);
    const std::optional<int> length = parse(descriptor);
    if (expected < 0) {
        QVERIFY2(!length, qPrintable(QString::number(length.value_or(0))));
    } else {
        QVERIFY(length);
        QCOMPARE(*length, expected);
    }
}

// A descriptor cut anywhere inside an item is unreadable; cut between items it is a shorter
// descriptor whose length grows with every item up to the full one.
void TestReportDescriptor::everyTruncation_data()
{
    QTest::addColumn<QList<QByteArray>>("items");
    QTest::addColumn<int>("expected");
    for (const DescriptorCase &c : descriptorCases())
        if (c.inputLength >= 0 && !c.items.isEmpty())
            QTest::newRow(c.name) << c.items << c.inputLength;
}

void TestReportDescriptor::everyTruncation()
{
    QFETCH(QList<QByteArray>, items);
    QFETCH(int, expected);
    QByteArray full;
    std::vector<int> boundaries{0};
    for (const QByteArray &item : items) {
        full += QByteArray::fromHex(item);
        boundaries.push_back(int(full.size()));
    }
    int previous = 0;
    std::size_t next = 0;
    for (int cut = 0; cut <= full.size(); ++cut) {
        const std::optional<int> length = parse(full.left(cut));
        if (cut == boundaries[next]) {
            ++next;
            QVERIFY2(length, qPrintable(QStringLiteral("cut at %1").arg(cut)));
            QVERIFY2(*length >= previous, qPrintable(QStringLiteral("cut at %1").arg(cut)));
            previous = *length;
        } else {
            QVERIFY2(!length, qPrintable(QStringLiteral("cut at %1").arg(cut)));
        }
    }
    QCOMPARE(previous, expected);
}

void TestReportDescriptor::topLevelCollections_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<std::vector<CollectionUsage>>("expected");
    for (const CollectionCase &c : collectionCases())
        QTest::newRow(c.name) << c.bytes() << c.collections;
    QTest::newRow("three top-level collections")
            << descriptorCases()[2].bytes()
            << std::vector<CollectionUsage>{{0x01, 0x06}, {0xFF00, 0x01}, {0x0C, 0x01}};
}

void TestReportDescriptor::topLevelCollections()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(std::vector<CollectionUsage>, expected);
    const std::vector<std::uint8_t> exact(descriptor.begin(), descriptor.end());
    const auto collections = rcprog::topLevelCollections(exact.data(), exact.size());
    QVERIFY(collections);
    QCOMPARE(collections->size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE((*collections)[i].usagePage, expected[i].usagePage);
        QCOMPARE((*collections)[i].usage, expected[i].usage);
    }
}

void TestReportDescriptor::unreadableDescriptorsHaveNoCollections_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    for (const DescriptorCase &c : descriptorCases())
        if (c.inputLength < 0)
            QTest::newRow(c.name) << c.bytes();
}

void TestReportDescriptor::unreadableDescriptorsHaveNoCollections()
{
    QFETCH(QByteArray, descriptor);
    const std::vector<std::uint8_t> exact(descriptor.begin(), descriptor.end());
    QVERIFY(!rcprog::topLevelCollections(exact.data(), exact.size()));
}

void TestReportDescriptor::heldBySystem_data()
{
    QTest::addColumn<std::vector<CollectionUsage>>("collections");
    QTest::addColumn<bool>("held");
    for (const CollectionCase &c : collectionCases())
        QTest::newRow(c.name) << c.collections << c.heldBySystem;
}

void TestReportDescriptor::heldBySystem()
{
    QFETCH(std::vector<CollectionUsage>, collections);
    QFETCH(bool, held);
    QCOMPARE(rcprog::heldBySystem(collections), held);
}

QTEST_GUILESS_MAIN(TestReportDescriptor)
#include "tst_reportdescriptor.moc"
