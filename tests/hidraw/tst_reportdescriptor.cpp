#include "Descriptors.h"
#include "ReportDescriptor.h"

#include <QtTest>

#include <optional>
#include <vector>

using rcprog::test::DescriptorCase;
using rcprog::test::descriptorCases;

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

QTEST_GUILESS_MAIN(TestReportDescriptor)
#include "tst_reportdescriptor.moc"
