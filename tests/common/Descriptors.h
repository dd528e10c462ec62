#pragma once

// Report descriptors for the parser and backend tests, written one item per string so that the
// item boundaries are known. `inputLength` is the expected input report length (longest Input
// report in bytes + 1), 0 for a descriptor without Input items and -1 for one that must fail.

#include "ReportDescriptor.h"
#include "SystemCollections.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

namespace rcprog::test {

struct DescriptorCase
{
    const char *name;
    QList<QByteArray> items; // hex, one item each
    int inputLength;

    QByteArray bytes() const;
};

inline QList<QByteArray> bootKeyboardItems()
{
    // The boot keyboard that the USB HID class defines: 8 modifier bits, a reserved byte and six
    // key codes in; five LED bits and three padding bits out.
    return {"05 01", "09 06", "A1 01", "05 07", "19 E0", "29 E7", "15 00", "25 01",
            "75 01", "95 08", "81 02", "95 01", "75 08", "81 01", "95 05", "75 01",
            "05 08", "19 01", "29 05", "91 02", "95 01", "75 03", "91 01", "95 06",
            "75 08", "15 00", "25 65", "05 07", "19 00", "29 65", "81 00", "C0"};
}

inline QByteArray bytesOf(const QList<QByteArray> &items)
{
    QByteArray all;
    for (const QByteArray &item : items)
        all += QByteArray::fromHex(item);
    return all;
}

inline QByteArray DescriptorCase::bytes() const
{
    return bytesOf(items);
}

// The receiver's configuration interface: one vendor-defined collection with an 8-byte input
// and an 8-byte output report and no report IDs (input report length 9).
inline QList<QByteArray> configurationItems()
{
    return {"06 00 FF", "09 01", "A1 01", "15 00", "26 FF 00", "75 08", "95 08",
            "09 01",    "81 02", "95 08", "09 02", "91 02",    "C0"};
}

inline QByteArray configurationDescriptor()
{
    return bytesOf(configurationItems());
}

inline QByteArray bootKeyboard()
{
    return bytesOf(bootKeyboardItems());
}

// A three-button mouse with X and Y: 3 bytes in, no report ID.
inline QList<QByteArray> mouseItems()
{
    return {"05 01", "09 02", "A1 01", "09 01", "A1 00", "05 09", "19 01", "29 03", "15 00",
            "25 01", "95 03", "75 01", "81 02", "95 01", "75 05", "81 01", "05 01", "09 30",
            "09 31", "15 81", "25 7F", "75 08", "95 02", "81 06", "C0",    "C0"};
}

// A descriptor with the usages of its top-level collections, and whether the system holds an
// interface with it.
struct CollectionCase
{
    const char *name;
    QList<QByteArray> items;
    std::vector<CollectionUsage> collections;
    bool heldBySystem;

    QByteArray bytes() const { return bytesOf(items); }
};

inline std::vector<CollectionCase> collectionCases()
{
    const auto single = [](const char *page, const char *usage) {
        return QList<QByteArray>{page,    usage,   "A1 01", "15 00", "25 01",
                                 "75 01", "95 08", "81 02", "C0"};
    };
    std::vector<CollectionCase> cases;
    cases.push_back({"boot keyboard", bootKeyboardItems(), {{0x01, 0x06}}, true});
    cases.push_back({"mouse, nested physical collection", mouseItems(), {{0x01, 0x02}}, true});
    cases.push_back({"pointer", single("05 01", "09 01"), {{0x01, 0x01}}, true});
    cases.push_back({"keypad", single("05 01", "09 07"), {{0x01, 0x07}}, true});
    cases.push_back({"external pen", single("05 0D", "09 01"), {{0x0D, 0x01}}, true});
    cases.push_back({"integrated pen", single("05 0D", "09 02"), {{0x0D, 0x02}}, true});
    cases.push_back({"touch screen", single("05 0D", "09 04"), {{0x0D, 0x04}}, true});
    cases.push_back({"touch pad", single("05 0D", "09 05"), {{0x0D, 0x05}}, true});
    cases.push_back({"keyboard and mouse",
                     bootKeyboardItems() + mouseItems(),
                     {{0x01, 0x06}, {0x01, 0x02}},
                     true});
    cases.push_back({"extended usage names its page",
                     {"05 0C", "0B 06 00 01 00", "A1 01", "75 08", "95 01", "81 02", "C0"},
                     {{0x01, 0x06}},
                     true});
    cases.push_back({"the first usage names the collection",
                     {"05 01", "09 06", "09 02", "A1 01", "75 08", "95 01", "81 02", "C0"},
                     {{0x01, 0x06}},
                     true});
    cases.push_back(
            {"usage page restored by pop",
             {"05 0D", "A4", "05 01", "B4", "09 04", "A1 01", "75 08", "95 01", "81 02", "C0"},
             {{0x0D, 0x04}},
             true});

    cases.push_back({"configuration interface", configurationItems(), {{0xFF00, 0x01}}, false});
    cases.push_back({"keyboard and vendor collection",
                     bootKeyboardItems() + configurationItems(),
                     {{0x01, 0x06}, {0xFF00, 0x01}},
                     false});
    cases.push_back({"consumer control", single("05 0C", "09 01"), {{0x0C, 0x01}}, false});
    cases.push_back({"system control", single("05 01", "09 80"), {{0x01, 0x80}}, false});
    cases.push_back({"joystick", single("05 01", "09 04"), {{0x01, 0x04}}, false});
    cases.push_back({"game pad", single("05 01", "09 05"), {{0x01, 0x05}}, false});
    cases.push_back({"digitizer", single("05 0D", "09 03"), {{0x0D, 0x03}}, false});
    cases.push_back(
            {"keyboard usage on another page", single("05 0C", "09 06"), {{0x0C, 0x06}}, false});
    cases.push_back({"collection without a usage",
                     {"05 01", "A1 01", "75 08", "95 01", "81 02", "C0"},
                     {{0x01, 0x00}},
                     false});
    cases.push_back({"no collection", {"75 08", "95 01", "81 02"}, {}, false});
    cases.push_back({"empty descriptor", {}, {}, false});
    return cases;
}

inline std::vector<DescriptorCase> descriptorCases()
{
    std::vector<DescriptorCase> cases;
    cases.push_back({"boot keyboard", bootKeyboardItems(), 9});
    cases.push_back({"mouse with report ID",
                     {// Mouse, report 2: 16 buttons, X/Y of 12 bits, wheel, AC pan = 7 bytes
                      "05 01", "09 02",    "A1 01",    "85 02", "09 01", "A1 00", "05 09",
                      "19 01", "29 10",    "15 00",    "25 01", "95 10", "75 01", "81 02",
                      "05 01", "16 01 F8", "26 FF 07", "75 0C", "95 02", "09 30", "09 31",
                      "81 06", "15 81",    "25 7F",    "75 08", "95 01", "09 38", "81 06",
                      "05 0C", "0A 38 02", "95 01",    "81 06", "C0",    "C0"},
                     8});
    cases.push_back({"three top-level collections, longest in the middle",
                     {// Keyboard, report 1: 8 bytes
                      "05 01", "09 06", "A1 01", "85 01", "05 07", "19 E0", "29 E7", "15 00",
                      "25 01", "75 01", "95 08", "81 02", "95 01", "75 08", "81 01", "95 06",
                      "75 08", "15 00", "26 FF 00", "19 00", "2A FF 00", "81 00", "C0",
                      // Vendor, report 3: 64 bytes in, 32 out
                      "06 00 FF", "09 01", "A1 01", "85 03", "15 00", "26 FF 00", "75 08", "95 40",
                      "09 01", "81 02", "95 20", "09 02", "91 02", "C0",
                      // Consumer control, report 2: 2 bytes
                      "05 0C", "09 01", "A1 01", "85 02", "15 00", "26 3C 02", "19 00", "2A 3C 02",
                      "75 10", "95 01", "81 00", "C0"},
                     65});
    cases.push_back(
            {"one report ID in two collections is one report",
             {"06 00 FF", "09 01", "A1 01", "85 01", "75 08", "95 04", "09 01", "81 02", "C0",
              "06 00 FF", "09 02", "A1 01", "85 02", "75 08", "95 06", "09 02", "81 02", "C0",
              "06 00 FF", "09 03", "A1 01", "85 01", "75 08", "95 04", "09 03", "81 02", "C0"},
             9});
    cases.push_back({"bits are summed before rounding",
                     {"06 00 FF", "09 01", "A1 01", "75 04", "95 01", "09 01", "81 02", "09 02",
                      "81 02", "75 01", "95 03", "09 03", "81 02", "C0"},
                     3});
    cases.push_back({"output and feature reports do not count",
                     {"06 00 FF", "09 01", "A1 01", "15 00", "26 FF 00", "75 08", "95 08", "09 01",
                      "81 02", "95 40", "09 02", "91 02", "96 80 00", "09 03", "B1 02", "C0"},
                     9});
    cases.push_back({"four-byte item data",
                     {"06 00 FF", "09 01", "A1 01", "77 08 00 00 00", "97 08 00 00 00", "09 01",
                      "81 02", "C0"},
                     9});
    cases.push_back({"push and pop restore size, count and report ID",
                     {"06 00 FF", "09 01", "A1 01", "85 01",
                      "75 08",    "95 06", "09 01", "81 02", // report 1: 6 bytes
                      "A4", // push
                      "85 02",    "A4",    "75 20", "B4", // nested push/pop
                      "95 02",    "09 02", "81 02", // report 2: 2 bytes
                      "75 10",    "95 08", // left behind by the pop
                      "B4", // pop: report 1, 8 x 6
                      "09 03",    "81 02", // report 1: 12 bytes
                      "C0"},
                     13});
    cases.push_back({"push stack at its limit", {}, 9});
    for (int i = 0; i < kMaxGlobalStackDepth; ++i)
        cases.back().items.append("A4");
    cases.back().items += {"75 08", "95 08", "81 02"};
    cases.push_back({"long items are skipped",
                     {"06 00 FF", "09 01", "A1 01", "75 08", "95 08", "09 01",
                      // long items whose data would read as Report Count 255 and Input
                      "FE 04 F0 95 FF 81 02", "FE 00 F1", "81 02", "C0", "FE 02 F2 95 FF"},
                     9});
    cases.push_back({"report ID 255, largest size and count, a report at the length limit",
                     {"06 00 FF", "09 01", "A1 01", "85 FF", "76 00 01", "95 01", "81 02", "75 08",
                      "96 00 30", "81 02", "96 E0 0F", "81 02", "C0"},
                     16385});
    cases.push_back(
            {"reserved and unknown items are ignored",
             {"06 00 FF", "09 01", "A1 01", "75 08", "95 02", "2C", "F4", "0D 01", "81 02", "C0"},
             3});
    cases.push_back(
            {"no input items", {"06 00 FF", "09 01", "A1 01", "75 08", "95 08", "91 02", "C0"}, 0});
    cases.push_back({"empty descriptor", {}, 0});

    // Descriptors that cannot be read.
    QList<QByteArray> truncated = bootKeyboardItems();
    truncated.back() = "81";
    truncated.removeAt(truncated.size() - 2);
    cases.push_back({"truncated one-byte item", truncated, -1});
    cases.push_back({"truncated two-byte item", {"05 01", "09 06", "A1 01", "26 FF"}, -1});
    cases.push_back({"truncated four-byte item", {"75 08", "97 08 00 00"}, -1});
    cases.push_back(
            {"truncated long item data", {"75 08", "95 01", "81 02", "FE 04 F0 95 FF"}, -1});
    cases.push_back({"truncated long item header", {"75 08", "95 01", "81 02", "FE 04"}, -1});
    cases.push_back({"long item prefix alone", {"75 08", "95 01", "81 02", "FE"}, -1});
    cases.push_back({"pop without push", {"75 08", "95 01", "A4", "B4", "B4", "81 02"}, -1});
    cases.push_back({"push stack overflow", {}, -1});
    for (int i = 0; i <= kMaxGlobalStackDepth; ++i)
        cases.back().items.append("A4");
    cases.push_back({"report ID 0", {"85 00", "75 08", "95 01", "81 02"}, -1});
    cases.push_back({"report ID above 255", {"86 00 01", "75 08", "95 01", "81 02"}, -1});
    cases.push_back({"absurd report size", {"77 00 00 00 01", "95 01", "81 02"}, -1});
    cases.push_back({"absurd report count", {"75 08", "97 FF FF FF FF", "81 02"}, -1});
    cases.push_back({"report size one above the limit", {"76 01 01", "95 01", "81 02"}, -1});
    cases.push_back({"report count one above the limit", {"75 01", "96 01 30", "81 02"}, -1});
    cases.push_back({"report longer than the limit",
                     {"75 08", "96 00 30", "81 02", "96 00 10", "81 02", "95 01", "81 02"},
                     -1});
    return cases;
}

} // namespace rcprog::test
