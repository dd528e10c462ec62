#include "CountingPlatform.h"
#include "Descriptors.h"
#include "DeviceSearch.h"
#include "FakeSysfs.h"
#include "LinuxHidraw.h"

#include <QtTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <grp.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using rcprog::HidHandle;
using rcprog::kNullHandle;
using rcprog::LinuxHidraw;
using rcprog::OpenError;
using rcprog::ProductStringBuffer;
using rcprog::test::configurationDescriptor;
using rcprog::test::FakeHidraw;
using rcprog::test::FakeSysfs;

Q_DECLARE_METATYPE(std::optional<QByteArray>)
Q_DECLARE_METATYPE(rcprog::OpenError)
Q_DECLARE_METATYPE(QList<FakeHidraw>)

namespace {

constexpr quint16 kVendor = 0x04B4;
constexpr quint16 kProduct = 0xF231;

int openDescriptorCount()
{
    int count = 0;
    if (DIR *dir = ::opendir("/proc/self/fd")) {
        while (const dirent *entry = ::readdir(dir))
            count += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    return count;
}

QByteArray bufferBytes(const ProductStringBuffer &buffer)
{
    return QByteArray(reinterpret_cast<const char *>(buffer.data()), int(buffer.size()));
}

// The 100-byte buffer the product string rule expects for a text: UTF-16LE units, zeros after.
QByteArray expectedBuffer(const QString &text)
{
    QByteArray bytes(100, '\0');
    for (int i = 0; i < text.size(); ++i) {
        bytes[2 * i] = char(text.at(i).unicode() & 0xFF);
        bytes[2 * i + 1] = char(text.at(i).unicode() >> 8);
    }
    return bytes;
}

// Tells which device nodes of a fake tree were opened since its creation, through inotify: what
// the process really opened, whatever the backend reports. (inotify merges repeated events, so
// it tells whether a node was opened, not how often.)
class OpenWatch
{
public:
    explicit OpenWatch(const FakeSysfs &fake)
    {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0 && ::inotify_add_watch(fd_, fake.devRoot().c_str(), IN_OPEN) < 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~OpenWatch()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OpenWatch(const OpenWatch &) = delete;
    OpenWatch &operator=(const OpenWatch &) = delete;

    bool isValid() const { return fd_ >= 0; }

    // The numbers of the nodes opened since the last call.
    std::set<int> opened()
    {
        std::set<int> numbers;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                const QByteArray name(event->len ? event->name : "");
                if (name.startsWith("hidraw"))
                    numbers.insert(name.mid(6).toInt());
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return numbers;
    }

private:
    int fd_ = -1;
};

FakeHidraw interfaceWith(int number, const QByteArray &descriptor, quint16 vendor = kVendor,
                         quint16 product = kProduct)
{
    FakeHidraw interface;
    interface.number = number;
    interface.vendorId = vendor;
    interface.productId = product;
    interface.descriptor = descriptor;
    // Interfaces of one USB device share it, as a composite receiver's do.
    interface.usbDevice = QStringLiteral("1-%1").arg(vendor == kVendor ? 1 : number + 2);
    interface.interfaceNumber = number;
    return interface;
}

// Runs `body` without the rights of root: directly when the test is not root, otherwise in a
// child process that switches to the user "nobody". Returns the body's result, or 77 when the
// switch is not possible.
int runUnprivileged(const std::function<int()> &body)
{
    if (::geteuid() != 0)
        return body();
    const pid_t child = ::fork();
    if (child < 0)
        return 77;
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(77);
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

} // namespace

class TestLinuxHidraw : public QObject
{
    Q_OBJECT

private slots:
    void listsNodesInNaturalOrder();
    void listsNothingWithoutHidrawClass();
    void attributesFromUevent_data();
    void attributesFromUevent();
    void malformedUeventFails_data();
    void malformedUeventFails();
    void inputReportLength_data();
    void inputReportLength();
    void productString_data();
    void productString();
    void productStringWithoutSysfsFails();
    void writesReachTheNodeExactly();
    void writeFailures();
    void writeErrorOfTheNodeFails();
    void unplugged();
    void openErrors_data();
    void openErrors();
    void accessDeniedIsToldFromAbsent();
    void openPassTakesFirstMatchInNaturalOrder();
    void searchPassIgnoresOtherProducts();
    void openPassProductNameFromHidName();
    void openPassRejectsDeviceWithoutInputReport();
    void writesWhileSearching();
    void closeDuringAWriteKeepsItsDescriptor();
    void noDescriptorLeaks();
    void systemDevicesAreNotOpened_data();
    void systemDevicesAreNotOpened();
    void compositeReceiver_data();
    void compositeReceiver();
    void otherDevicesAreLeftAlone_data();
    void otherDevicesAreLeftAlone();
};

void TestLinuxHidraw::listsNodesInNaturalOrder()
{
    FakeSysfs fake;
    QVERIFY(fake.isValid());
    for (const int number : {10, 2, 0, 9, 1})
        QVERIFY(fake.add(number, kVendor, kProduct, configurationDescriptor(), QByteArray("R")));
    // Entries that are not hidraw nodes are not interfaces.
    QVERIFY(QDir().mkpath(fake.root() + "/sys/class/hidraw/hidrawx"));
    QVERIFY(QDir().mkpath(fake.root() + "/sys/class/hidraw/hidraw"));
    QVERIFY(QDir().mkpath(fake.root() + "/sys/class/hidraw/other3"));

    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const std::vector<std::string> expected{fake.devicePath(0), fake.devicePath(1),
                                            fake.devicePath(2), fake.devicePath(9),
                                            fake.devicePath(10)};
    QCOMPARE(hid.listInterfaces(), expected);
    QCOMPARE(expected.back(), fake.devRoot() + "/hidraw10");
}

void TestLinuxHidraw::listsNothingWithoutHidrawClass()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    LinuxHidraw hid(QFile::encodeName(empty.path()).toStdString(), "/nonexistent");
    QVERIFY(hid.listInterfaces().empty());
}

void TestLinuxHidraw::attributesFromUevent_data()
{
    QTest::addColumn<int>("vendor");
    QTest::addColumn<int>("product");
    QTest::addColumn<bool>("usbParent");
    QTest::newRow("receiver") << 0x04B4 << 0xF231 << true;
    QTest::newRow("high bits set") << 0xFFFF << 0x8000 << true;
    QTest::newRow("small IDs") << 0x0001 << 0x0000 << true;
    QTest::newRow("without USB parent") << 0x046D << 0xB33A << false;
}

void TestLinuxHidraw::attributesFromUevent()
{
    QFETCH(int, vendor);
    QFETCH(int, product);
    QFETCH(bool, usbParent);
    FakeSysfs fake;
    QVERIFY(fake.add(3, quint16(vendor), quint16(product), configurationDescriptor(),
                     QByteArray("Name"), usbParent));
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());

    std::uint16_t v = 0, p = 0;
    QVERIFY(hid.peekAttributes(fake.devicePath(3), v, p));
    QCOMPARE(int(v), vendor);
    QCOMPARE(int(p), product);

    OpenError error = OpenError::Other;
    const HidHandle handle = hid.open(fake.devicePath(3), &error);
    QVERIFY(handle != kNullHandle);
    QCOMPARE(error, OpenError::None);
    v = p = 0;
    QVERIFY(hid.attributes(handle, v, p));
    QCOMPARE(int(v), vendor);
    QCOMPARE(int(p), product);
    hid.close(handle);

    QVERIFY(!hid.attributes(handle, v, p)); // closed
    QVERIFY(!hid.peekAttributes(fake.devicePath(4), v, p));
    QVERIFY(!hid.peekAttributes(fake.root().toStdString() + "/dev/notanode", v, p));
}

void TestLinuxHidraw::malformedUeventFails_data()
{
    QTest::addColumn<QByteArray>("uevent");
    QTest::newRow("no HID_ID") << QByteArray("DRIVER=hid-generic\nHID_NAME=x\n");
    QTest::newRow("product missing") << QByteArray("HID_ID=0003:000004B4\n");
    QTest::newRow("product empty") << QByteArray("HID_ID=0003:000004B4:\n");
    QTest::newRow("vendor above 16 bits") << QByteArray("HID_ID=0003:000104B4:0000F231\n");
    QTest::newRow("nine digits") << QByteArray("HID_ID=0003:0000004B4:0000F231\n");
    QTest::newRow("not hexadecimal") << QByteArray("HID_ID=0003:0000X4B4:0000F231\n");
    QTest::newRow("trailing field") << QByteArray("HID_ID=0003:000004B4:0000F231:1\n");
    QTest::newRow("key is a prefix") << QByteArray("HID_IDX=0003:000004B4:0000F231\n");
    QTest::newRow("empty file") << QByteArray();
}

void TestLinuxHidraw::malformedUeventFails()
{
    QFETCH(QByteArray, uevent);
    FakeSysfs fake;
    QVERIFY(fake.add(0, kVendor, kProduct, configurationDescriptor(), QByteArray("R")));
    QFile file(fake.hidDeviceFolder(0) + "/uevent");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(uevent), uevent.size());
    file.close();

    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    std::uint16_t v = 0, p = 0;
    QVERIFY(!hid.peekAttributes(fake.devicePath(0), v, p));
    const HidHandle handle = hid.open(fake.devicePath(0));
    QVERIFY(handle != kNullHandle);
    QVERIFY(!hid.attributes(handle, v, p));
    hid.close(handle);
}

void TestLinuxHidraw::inputReportLength_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<int>("expected");
    for (const rcprog::test::DescriptorCase &c : rcprog::test::descriptorCases())
        QTest::newRow(c.name) << c.bytes() << c.inputLength;
}

void TestLinuxHidraw::inputReportLength()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(int, expected);
    FakeSysfs fake;
    QVERIFY(fake.add(5, kVendor, kProduct, descriptor, QByteArray("R")));
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    // Read through a handle, and from sysfs without opening (the only way for an interface the
    // system holds, which is not opened).
    int peeked = -2;
    const bool peekOk = hid.peekReportLength(fake.devicePath(5), peeked);
    OpenError error = OpenError::None;
    const HidHandle handle = hid.open(fake.devicePath(5), &error);
    const std::vector<std::uint8_t> bytes(descriptor.begin(), descriptor.end());
    const auto collections = rcprog::topLevelCollections(bytes.data(), bytes.size());
    if (collections && rcprog::heldBySystem(*collections)) {
        QCOMPARE(handle, kNullHandle);
        QCOMPARE(error, OpenError::SystemDevice);
    } else {
        QVERIFY(handle != kNullHandle);
        int length = -2;
        const bool ok = hid.inputReportLength(handle, length);
        hid.close(handle);
        QCOMPARE(ok, expected >= 0);
        QCOMPARE(length, expected < 0 ? -2 : expected); // untouched on failure
    }
    QCOMPARE(peekOk, expected >= 0);
    QCOMPARE(peeked, expected < 0 ? -2 : expected);
}

void TestLinuxHidraw::productString_data()
{
    QTest::addColumn<bool>("usbParent");
    QTest::addColumn<std::optional<QByteArray>>("productName");
    QTest::addColumn<QByteArray>("usbHidName");
    QTest::addColumn<QString>("expected");

    const std::optional<QByteArray> none;
    QTest::newRow("USB product, not HID_NAME")
            << true << std::optional<QByteArray>("RC Receiver") << QByteArray("Maker RC Receiver")
            << QStringLiteral("RC Receiver");
    QTest::newRow("USB product, non-ASCII")
            << true
            << std::optional<QByteArray>("Empf\xC3\xA4nger \xC5\x81\xC3\xB3"
                                         "d\xC5\xBA")
            << QByteArray("x") << QString::fromUtf16(u"Empf\u00E4nger \u0141\u00F3d\u017A");
    QTest::newRow("USB device without product string: HID_NAME")
            << true << none << QByteArray("Maker Receiver") << QStringLiteral("Maker Receiver");
    QTest::newRow("no USB parent: HID_NAME, non-ASCII")
            << false
            << std::optional<QByteArray>("T\xC3\xA9l\xC3\xA9"
                                         "commande \xCE\xA9")
            << QByteArray() << QString::fromUtf16(u"T\u00E9l\u00E9commande \u03A9");
    QTest::newRow("no USB parent, empty HID_NAME") << false << none << QByteArray() << QString();
    QTest::newRow("empty USB product")
            << true << std::optional<QByteArray>("") << QByteArray("x") << QString();
    QTest::newRow("outside the BMP: surrogate pair")
            << true << std::optional<QByteArray>("Pad \xF0\x9F\x8E\xAE!") << QByteArray("x")
            << QString::fromUtf16(u"Pad \U0001F3AE!");
    QTest::newRow("50 units fill the buffer without NUL")
            << true << std::optional<QByteArray>(QByteArray(50, 'A')) << QByteArray("x")
            << QString(50, 'A');
    QTest::newRow("longer than 50 units is cut")
            << true << std::optional<QByteArray>(QByteArray(40, 'A') + QByteArray(30, 'B'))
            << QByteArray("x") << QString(40, 'A') + QString(10, 'B');
    QTest::newRow("a pair that does not fit whole is left out")
            << true << std::optional<QByteArray>(QByteArray(49, 'A') + "\xF0\x9F\x8E\xAE")
            << QByteArray("x") << QString(49, 'A');
    QTest::newRow("invalid UTF-8 becomes U+FFFD")
            << true
            << std::optional<QByteArray>("A\xFF\xC3"
                                         "B\xED\xA0\x80"
                                         "C")
            << QByteArray("x") << QString::fromUtf16(u"A\uFFFD\uFFFDB\uFFFD\uFFFD\uFFFDC");
    QTest::newRow("sequence cut at the end") << true << std::optional<QByteArray>("AB\xE2\x82")
                                             << QByteArray("x") << QString::fromUtf16(u"AB\uFFFD");
    QTest::newRow("overlong encoding") << true
                                       << std::optional<QByteArray>("\xC0\xAF"
                                                                    "x")
                                       << QByteArray("x") << QString::fromUtf16(u"\uFFFD\uFFFDx");
}

void TestLinuxHidraw::productString()
{
    QFETCH(bool, usbParent);
    QFETCH(std::optional<QByteArray>, productName);
    QFETCH(QByteArray, usbHidName);
    QFETCH(QString, expected);

    FakeSysfs fake;
    FakeHidraw interface;
    interface.number = 7;
    interface.descriptor = configurationDescriptor();
    interface.productName = productName;
    interface.usbParent = usbParent;
    interface.usbHidName = usbHidName;
    QVERIFY(fake.add(interface));

    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const HidHandle handle = hid.open(fake.devicePath(7));
    QVERIFY(handle != kNullHandle);
    ProductStringBuffer buffer;
    buffer.fill(0xCC); // every byte must be written
    QVERIFY(hid.productString(handle, buffer));
    hid.close(handle);
    QCOMPARE(bufferBytes(buffer), expectedBuffer(expected));
}

void TestLinuxHidraw::productStringWithoutSysfsFails()
{
    FakeSysfs fake;
    QVERIFY(fake.add(1, kVendor, kProduct, configurationDescriptor(), std::nullopt));
    // No product file and no HID_NAME line: there is no product string to give.
    QFile file(fake.hidDeviceFolder(1) + "/uevent");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("HID_ID=0003:000004B4:0000F231\n");
    file.close();

    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const HidHandle handle = hid.open(fake.devicePath(1));
    QVERIFY(handle != kNullHandle);
    ProductStringBuffer buffer{};
    QVERIFY(!hid.productString(handle, buffer));
    hid.close(handle);
    QVERIFY(!hid.productString(handle, buffer));
}

void TestLinuxHidraw::writesReachTheNodeExactly()
{
    FakeSysfs fake;
    QVERIFY(fake.add(2, kVendor, kProduct, configurationDescriptor(), QByteArray("R")));
    QVERIFY(fake.add(3, kVendor, kProduct, configurationDescriptor(), QByteArray("R")));
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const HidHandle handle = hid.open(fake.devicePath(2));
    QVERIFY(handle != kNullHandle);

    const std::uint8_t first[9] = {0x00, 0x55, 0xAA, 0x00, 0xFF, 0x01, 0x02, 0x03, 0x04};
    std::vector<std::uint8_t> second(65);
    for (std::size_t i = 0; i < second.size(); ++i)
        second[i] = std::uint8_t(i * 7);
    QVERIFY(hid.write(handle, first, sizeof first));
    QVERIFY(hid.write(handle, second.data(), second.size()));

    QByteArray expected(reinterpret_cast<const char *>(first), sizeof first);
    expected.append(reinterpret_cast<const char *>(second.data()), int(second.size()));
    QCOMPARE(fake.written(2), expected);
    QCOMPARE(fake.written(2), QByteArray());
    QCOMPARE(fake.written(3), QByteArray());
    hid.close(handle);
}

void TestLinuxHidraw::writeFailures()
{
    FakeSysfs fake;
    QVERIFY(fake.add(0, kVendor, kProduct, configurationDescriptor(), QByteArray("R")));
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const std::uint8_t report[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};

    QVERIFY(!hid.write(kNullHandle, report, sizeof report));
    const HidHandle handle = hid.open(fake.devicePath(0));
    QVERIFY(handle != kNullHandle);
    QVERIFY(!hid.write(handle + 1000, report, sizeof report)); // never opened
    QVERIFY(!hid.write(handle, report, 0));
    hid.close(handle);
    QVERIFY(!hid.write(handle, report, sizeof report)); // closed
    QCOMPARE(fake.written(0), QByteArray());
}

void TestLinuxHidraw::writeErrorOfTheNodeFails()
{
    // A node whose writes fail: /dev/full answers every write with ENOSPC.
    if (::access("/dev/full", W_OK) != 0)
        QSKIP("/dev/full is not available");
    FakeSysfs fake;
    QVERIFY(fake.add(0, kVendor, kProduct, configurationDescriptor(), QByteArray("R")));
    const QString node = QString::fromStdString(fake.devicePath(0));
    QVERIFY(QFile::remove(node));
    QVERIFY(QFile::link("/dev/full", node));

    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const HidHandle handle = hid.open(fake.devicePath(0));
    QVERIFY(handle != kNullHandle);
    const std::uint8_t report[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    QVERIFY(!hid.write(handle, report, sizeof report));
    hid.close(handle);
}

void TestLinuxHidraw::unplugged()
{
    FakeSysfs fake;
    QVERIFY(fake.add(4, kVendor, kProduct, configurationDescriptor(), QByteArray("Receiver")));
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const HidHandle handle = hid.open(fake.devicePath(4));
    QVERIFY(handle != kNullHandle);
    const std::uint8_t report[3] = {0, 1, 2};
    QVERIFY(hid.write(handle, report, sizeof report));

    QVERIFY(fake.remove(4));
    QVERIFY(hid.listInterfaces().empty());
    OpenError error = OpenError::None;
    QCOMPARE(hid.open(fake.devicePath(4), &error), kNullHandle);
    QCOMPARE(error, OpenError::Other);
    std::uint16_t v = 0, p = 0;
    QVERIFY(!hid.attributes(handle, v, p));
    QVERIFY(!hid.peekAttributes(fake.devicePath(4), v, p));
    int length = 0;
    QVERIFY(!hid.inputReportLength(handle, length));
    ProductStringBuffer buffer{};
    QVERIFY(!hid.productString(handle, buffer));
    hid.close(handle);
    QVERIFY(!rcprog::searchPass(hid, kVendor, kProduct).matched);
    QCOMPARE(fake.written(4), QByteArray("\x00\x01\x02", 3));

    // Plugged in again, it is found again.
    QVERIFY(fake.add(4, kVendor, kProduct, configurationDescriptor(), QByteArray("Receiver")));
    QVERIFY(rcprog::searchPass(hid, kVendor, kProduct).matched);
}

void TestLinuxHidraw::openErrors_data()
{
    QTest::addColumn<int>("errnoValue");
    QTest::addColumn<OpenError>("expected");
    QTest::newRow("EACCES") << EACCES << OpenError::AccessDenied;
    QTest::newRow("EPERM") << EPERM << OpenError::AccessDenied;
    QTest::newRow("ENOENT") << ENOENT << OpenError::Other;
    QTest::newRow("ENODEV") << ENODEV << OpenError::Other;
    QTest::newRow("EBUSY") << EBUSY << OpenError::Other;
}

void TestLinuxHidraw::openErrors()
{
    QFETCH(int, errnoValue);
    QFETCH(OpenError, expected);
    QCOMPARE(LinuxHidraw::openErrorFor(errnoValue), expected);
}

// A receiver whose node refuses access is reported as "access denied", not as absent, and an
// interface that cannot be opened is skipped for the next one.
void TestLinuxHidraw::accessDeniedIsToldFromAbsent()
{
    FakeSysfs fake;
    QVERIFY(fake.add(0, kVendor, kProduct, configurationDescriptor(), QByteArray("Locked")));
    QVERIFY(fake.add(1, 0x046D, 0xC52B, configurationDescriptor(), QByteArray("Other")));
    // Everything readable by others except the node itself (mode 0600, owned by the test).
    QVERIFY(::chmod(QFile::encodeName(fake.root()).constData(), 0755) == 0);
    QVERIFY(::chmod(fake.devicePath(0).c_str(), 0600) == 0);
    QVERIFY(::chmod(fake.devicePath(1).c_str(), 0666) == 0);

    const std::string sysfs = fake.sysfsRoot(), dev = fake.devRoot(), locked = fake.devicePath(0),
                      other = fake.devicePath(1);
    const int result = runUnprivileged([&] {
        LinuxHidraw hid(sysfs, dev);
        OpenError error = OpenError::None;
        if (hid.open(locked, &error) != kNullHandle)
            return 1;
        if (error != OpenError::AccessDenied)
            return 2;
        const HidHandle handle = hid.open(other, &error);
        if (handle == kNullHandle || error != OpenError::None)
            return 3;
        hid.close(handle);
        const rcprog::SearchResult found = rcprog::searchPass(hid, kVendor, kProduct);
        if (found.matched || !found.accessDenied)
            return 4;
        const rcprog::SearchResult otherFound = rcprog::searchPass(hid, 0x046D, 0xC52B);
        if (!otherFound.matched || otherFound.accessDenied)
            return 5;
        return 0;
    });
    if (result == 77)
        QSKIP("cannot drop root rights here");
    QCOMPARE(result, 0);
}

void TestLinuxHidraw::openPassTakesFirstMatchInNaturalOrder()
{
    FakeSysfs fake;
    const QByteArray threeCollections = rcprog::test::descriptorCases()[2].bytes(); // 65 bytes
    QVERIFY(fake.add(1, 0x046D, 0xC52B, configurationDescriptor(), QByteArray("Other maker")));
    QVERIFY(fake.add(2, kVendor, 0xF232, configurationDescriptor(), QByteArray("Wrong product")));
    QVERIFY(fake.add(10, kVendor, kProduct, configurationDescriptor(), QByteArray("Second")));
    QVERIFY(fake.add(9, kVendor, kProduct, threeCollections, QByteArray("First \xC3\xA4")));

    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const int before = openDescriptorCount();
    rcprog::OpenedDevice opened;
    const rcprog::SearchResult result = rcprog::openPass(hid, kVendor, kProduct, opened);
    QVERIFY(result.matched);
    QVERIFY(!result.accessDenied);
    QCOMPARE(opened.reportDataLength, 64);
    QCOMPARE(opened.productName, std::string("First \xE4"));
    QVERIFY(opened.infoHandle != kNullHandle);
    QVERIFY(opened.writeHandle != kNullHandle);
    QVERIFY(opened.infoHandle != opened.writeHandle);
    QCOMPARE(openDescriptorCount(), before + 2); // info and write handle, nothing else

    std::vector<std::uint8_t> report(std::size_t(opened.reportDataLength) + 1);
    for (std::size_t i = 0; i < report.size(); ++i)
        report[i] = std::uint8_t(0xF0 ^ i);
    QVERIFY(hid.write(opened.writeHandle, report.data(), report.size()));
    QCOMPARE(fake.written(9),
             QByteArray(reinterpret_cast<const char *>(report.data()), int(report.size())));
    QCOMPARE(fake.written(10), QByteArray());
    QCOMPARE(fake.written(2), QByteArray());

    hid.close(opened.infoHandle);
    hid.close(opened.writeHandle);
    QCOMPARE(openDescriptorCount(), before);
}

void TestLinuxHidraw::searchPassIgnoresOtherProducts()
{
    FakeSysfs fake;
    QVERIFY(fake.add(0, kVendor, 0xF232, configurationDescriptor(), QByteArray("Wrong product")));
    QVERIFY(fake.add(1, 0x04B5, kProduct, configurationDescriptor(), QByteArray("Wrong vendor")));
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const rcprog::SearchResult result = rcprog::searchPass(hid, kVendor, kProduct);
    QVERIFY(!result.matched);
    QVERIFY(!result.accessDenied);
    rcprog::OpenedDevice opened;
    QVERIFY(!rcprog::openPass(hid, kVendor, kProduct, opened).matched);
    QCOMPARE(opened.infoHandle, kNullHandle);
    QVERIFY(rcprog::searchPass(hid, kVendor, 0xF232).matched);

    QVERIFY(fake.add(11, kVendor, kProduct, configurationDescriptor(), QByteArray("Receiver")));
    QVERIFY(rcprog::searchPass(hid, kVendor, kProduct).matched);
}

void TestLinuxHidraw::openPassProductNameFromHidName()
{
    FakeSysfs fake;
    // A receiver behind a Bluetooth-like transport, without a USB parent; a character above
    // U+00FF contributes its low byte, as the product-name rule says.
    QVERIFY(fake.add(3, kVendor, kProduct, configurationDescriptor(),
                     QByteArray("\xC5\x81\xC3\xB3"
                                "dz receiver"),
                     false));
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    rcprog::OpenedDevice opened;
    QVERIFY(rcprog::openPass(hid, kVendor, kProduct, opened).matched);
    QCOMPARE(opened.productName, std::string("A\xF3"
                                             "dz receiver"));
    QCOMPARE(opened.reportDataLength, 8);
    hid.close(opened.infoHandle);
    hid.close(opened.writeHandle);
}

void TestLinuxHidraw::openPassRejectsDeviceWithoutInputReport()
{
    FakeSysfs fake;
    QVERIFY(fake.add(0, kVendor, kProduct, QByteArray::fromHex("0600FF0901A101750895089102C0"),
                     QByteArray("Output only")));
    QVERIFY(fake.add(1, kVendor, kProduct, QByteArray::fromHex("750895"), QByteArray("Broken")));
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const int before = openDescriptorCount();
    rcprog::OpenedDevice opened;
    // The first match cannot be opened completely, so nothing is opened.
    QVERIFY(!rcprog::openPass(hid, kVendor, kProduct, opened).matched);
    QCOMPARE(opened.infoHandle, kNullHandle);
    QCOMPARE(openDescriptorCount(), before);
    QVERIFY(fake.remove(0));
    QVERIFY(!rcprog::openPass(hid, kVendor, kProduct, opened).matched);
    QCOMPARE(openDescriptorCount(), before);
}

// The programming thread writes through its handle while the monitor thread searches, opening
// and closing handles of its own.
void TestLinuxHidraw::writesWhileSearching()
{
    FakeSysfs fake;
    for (int number = 0; number < 8; ++number)
        QVERIFY(fake.add(number, number == 5 ? kVendor : quint16(0x1000 + number), kProduct,
                         configurationDescriptor(), QByteArray("R")));
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const HidHandle handle = hid.open(fake.devicePath(5));
    QVERIFY(handle != kNullHandle);

    constexpr int kReports = 300;
    int failedWrites = 0;
    std::thread writer([&] {
        for (int i = 0; i < kReports; ++i) {
            const std::uint8_t report[9]
                    = {0, std::uint8_t(i), std::uint8_t(i >> 8), 3, 4, 5, 6, 7, 8};
            failedWrites += !hid.write(handle, report, sizeof report);
        }
    });
    int matches = 0;
    for (int pass = 0; pass < 40; ++pass)
        matches += rcprog::searchPass(hid, kVendor, kProduct).matched;
    writer.join();
    hid.close(handle);

    QCOMPARE(matches, 40);
    QCOMPARE(failedWrites, 0);
    QByteArray expected;
    for (int i = 0; i < kReports; ++i)
        expected += QByteArray::fromRawData("\0", 1) + char(i & 0xFF) + char(i >> 8)
                    + QByteArray("\x03\x04\x05\x06\x07\x08");
    QCOMPARE(fake.written(5), expected);
}

// A handle closed while a write through it is under way: the handle is gone at once, but its
// descriptor stays open until the write has returned, so the system cannot give its number to
// a node opened meanwhile (a report meant for the receiver could go to another device).
void TestLinuxHidraw::closeDuringAWriteKeepsItsDescriptor()
{
    FakeSysfs fake;
    QVERIFY(fake.add(0, kVendor, kProduct, configurationDescriptor(), QByteArray("R")));
    QVERIFY(fake.add(1, 0x046D, 0xC52B, configurationDescriptor(), QByteArray("Other")));
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const HidHandle handle = hid.open(fake.devicePath(0));
    QVERIFY(handle != kNullHandle);

    // Fill node 0's pipe, so that the next write through the handle blocks in write(2).
    const int filler = ::open(fake.devicePath(0).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(filler >= 0);
    qint64 filled = 0;
    for (const std::size_t chunk : {std::size_t(4096), std::size_t(1)}) {
        const std::vector<char> bytes(chunk, 'f');
        ssize_t n;
        while ((n = ::write(filler, bytes.data(), chunk)) > 0)
            filled += n;
    }
    ::close(filler);

    const int open = openDescriptorCount();
    const std::uint8_t report[9] = {0, 9, 8, 7, 6, 5, 4, 3, 2};
    std::atomic<long> writerThread{0};
    bool written = false;
    std::thread writer([&] {
        writerThread = ::syscall(SYS_gettid);
        written = hid.write(handle, report, sizeof report);
    });
    // Should a check fail early, the writer is let go before it is joined.
    struct Release
    {
        FakeSysfs &fake;
        std::thread &writer;
        ~Release()
        {
            if (writer.joinable()) {
                fake.written(0);
                writer.join();
            }
        }
    } release{fake, writer};
    // Wait until the writer is blocked in write(2).
    const auto blocked = [&] {
        QFile file(QStringLiteral("/proc/self/task/%1/syscall").arg(writerThread.load()));
        return writerThread != 0 && file.open(QIODevice::ReadOnly)
               && file.readAll().startsWith(QByteArray::number(SYS_write) + ' ');
    };
    QTRY_VERIFY_WITH_TIMEOUT(blocked(), 10000);

    hid.close(handle);
    QVERIFY(!hid.write(handle, report, sizeof report)); // the handle is gone...
    QCOMPARE(openDescriptorCount(), open); // ...its descriptor is not
    const HidHandle other = hid.open(fake.devicePath(1));
    QVERIFY(other != kNullHandle);
    QVERIFY(other != handle);

    // Node 0 reads again: the write ends there, and then its descriptor is closed.
    QByteArray arrived = fake.written(0);
    writer.join();
    QVERIFY(written);
    arrived += fake.written(0);
    QCOMPARE(arrived.size(), filled + qint64(sizeof report));
    QVERIFY(arrived.endsWith(QByteArray(reinterpret_cast<const char *>(report), sizeof report)));
    QCOMPARE(fake.written(1), QByteArray());
    QCOMPARE(openDescriptorCount(), open); // node 1's open, node 0's closed
    hid.close(other);
    QCOMPARE(openDescriptorCount(), open - 1);
}

void TestLinuxHidraw::noDescriptorLeaks()
{
    FakeSysfs fake;
    QVERIFY(fake.add(0, 0x046D, 0xC52B, configurationDescriptor(), QByteArray("Other")));
    QVERIFY(fake.add(1, kVendor, 0xF232, QByteArray::fromHex("7508"), QByteArray("Broken")));
    QVERIFY(fake.add(2, kVendor, kProduct, configurationDescriptor(), QByteArray("Receiver"),
                     false));
    QVERIFY(fake.add(3, kVendor, kProduct, configurationDescriptor(), std::nullopt));
    const int before = openDescriptorCount();
    {
        LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
        for (int round = 0; round < 5; ++round) {
            QVERIFY(rcprog::searchPass(hid, kVendor, kProduct).matched);
            QVERIFY(!rcprog::searchPass(hid, 0x1234, 0x5678).matched);
            rcprog::OpenedDevice opened;
            QVERIFY(rcprog::openPass(hid, kVendor, kProduct, opened).matched);
            hid.close(opened.infoHandle);
            hid.close(opened.writeHandle);
            QVERIFY(!rcprog::openPass(hid, kVendor, 0xF232, opened).matched);
            for (int number = 0; number < 4; ++number) {
                const HidHandle handle = hid.open(fake.devicePath(number));
                QVERIFY(handle != kNullHandle);
                std::uint16_t v = 0, p = 0;
                int length = 0;
                ProductStringBuffer buffer{};
                hid.attributes(handle, v, p);
                hid.inputReportLength(handle, length);
                hid.productString(handle, buffer);
                hid.peekAttributes(fake.devicePath(number), v, p);
                hid.close(handle);
            }
            QCOMPARE(hid.open(fake.devicePath(9)), kNullHandle);
        }
        QCOMPARE(openDescriptorCount(), before);
        // Handles still open when the backend goes are closed with it.
        QVERIFY(hid.open(fake.devicePath(0)) != kNullHandle);
        QVERIFY(hid.open(fake.devicePath(3)) != kNullHandle);
        QCOMPARE(openDescriptorCount(), before + 2);
    }
    QCOMPARE(openDescriptorCount(), before);
}

void TestLinuxHidraw::systemDevicesAreNotOpened_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<bool>("heldBySystem");
    for (const rcprog::test::CollectionCase &c : rcprog::test::collectionCases())
        QTest::newRow(c.name) << c.bytes() << c.heldBySystem;
}

// An interface whose collections the system holds is refused before its node is opened, as
// "system device", not as "access denied"; its IDs, report length and name can still be read
// from sysfs.
void TestLinuxHidraw::systemDevicesAreNotOpened()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(bool, heldBySystem);
    FakeSysfs fake;
    QVERIFY(fake.add(2, kVendor, kProduct, descriptor, QByteArray("Composite")));
    OpenWatch watch(fake);
    QVERIFY(watch.isValid());
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    OpenError error = OpenError::Other;
    const HidHandle handle = hid.open(fake.devicePath(2), &error);
    if (heldBySystem) {
        QCOMPARE(handle, kNullHandle);
        QCOMPARE(error, OpenError::SystemDevice);
        QVERIFY(watch.opened().empty());
    } else {
        QVERIFY(handle != kNullHandle);
        QCOMPARE(error, OpenError::None);
        hid.close(handle);
        QCOMPARE(watch.opened(), std::set<int>{2});
    }
    const rcprog::SearchResult found = rcprog::searchPass(hid, kVendor, kProduct);
    QCOMPARE(found.matched, !heldBySystem);
    QVERIFY(!found.accessDenied);
    std::uint16_t v = 0, p = 0;
    QVERIFY(hid.peekAttributes(fake.devicePath(2), v, p));
    QCOMPARE(v, kVendor);
    ProductStringBuffer buffer{};
    QVERIFY(hid.peekProductString(fake.devicePath(2), buffer));
    QCOMPARE(bufferBytes(buffer), expectedBuffer(QStringLiteral("Composite")));
}

void TestLinuxHidraw::compositeReceiver_data()
{
    using rcprog::test::bootKeyboard;
    using rcprog::test::bytesOf;
    QTest::addColumn<QList<FakeHidraw>>("interfaces"); // in enumeration order
    QTest::addColumn<int>("opened"); // the node a pass programs; -1: no receiver found
    const QByteArray keyboard = bootKeyboard();
    const QByteArray mouse = bytesOf(rcprog::test::mouseItems());
    const QByteArray configuration = configurationDescriptor();
    QTest::newRow("keyboard + configuration")
            << QList<FakeHidraw>{interfaceWith(0, keyboard), interfaceWith(1, configuration)} << 1;
    QTest::newRow("configuration + keyboard")
            << QList<FakeHidraw>{interfaceWith(0, configuration), interfaceWith(1, keyboard)} << 0;
    QTest::newRow("mouse + configuration")
            << QList<FakeHidraw>{interfaceWith(0, mouse), interfaceWith(1, configuration)} << 1;
    QTest::newRow("keyboard only: no receiver found")
            << QList<FakeHidraw>{interfaceWith(0, keyboard)} << -1;
    QTest::newRow("keyboard and vendor collection in one descriptor: a candidate")
            << QList<FakeHidraw>{interfaceWith(0, keyboard + configuration),
                                 interfaceWith(1, configuration)}
            << 0;
}

// A receiver that is a composite device: a keyboard interface with the receiver's IDs beside
// the configuration interface. The pass goes to the configuration interface whatever the order,
// and never opens the keyboard.
void TestLinuxHidraw::compositeReceiver()
{
    QFETCH(QList<FakeHidraw>, interfaces);
    QFETCH(int, opened);
    FakeSysfs fake;
    for (const FakeHidraw &interface : interfaces)
        QVERIFY(fake.add(interface));
    OpenWatch watch(fake);
    QVERIFY(watch.isValid());
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    const int before = openDescriptorCount();

    rcprog::OpenedDevice device;
    const rcprog::SearchResult result = rcprog::openPass(hid, kVendor, kProduct, device);
    QCOMPARE(result.matched, opened >= 0);
    QVERIFY(!result.accessDenied); // a keyboard is not a receiver that refuses access
    std::set<int> expectedOpened;
    if (opened >= 0) {
        QCOMPARE(result.path, fake.devicePath(opened));
        const std::uint8_t report[9] = {0x00, 0x03, 0x01};
        QVERIFY(hid.write(device.writeHandle, report, sizeof report));
        hid.close(device.infoHandle);
        hid.close(device.writeHandle);
        expectedOpened.insert(opened);
    }
    QCOMPARE(openDescriptorCount(), before);
    QCOMPARE(watch.opened(), expectedOpened);
    for (const FakeHidraw &interface : interfaces)
        QCOMPARE(fake.written(interface.number).size(), interface.number == opened ? 9 : 0);
}

void TestLinuxHidraw::otherDevicesAreLeftAlone_data()
{
    QTest::addColumn<bool>("receiver"); // a receiver after the other devices
    QTest::addColumn<bool>("hideIds"); // the others' uevent cannot be read
    QTest::newRow("eight other devices and the receiver") << true << false;
    QTest::newRow("eight other devices, no receiver") << false << false;
    QTest::newRow("sysfs cannot tell: opened as before") << true << true;
}

// Polling opens only interfaces with the receiver's IDs: sysfs tells the others' IDs without
// opening them (which would start their input and keep them awake).
void TestLinuxHidraw::otherDevicesAreLeftAlone()
{
    QFETCH(bool, receiver);
    QFETCH(bool, hideIds);
    FakeSysfs fake;
    for (int number = 0; number < 8; ++number) {
        QVERIFY(fake.add(interfaceWith(number, configurationDescriptor(), quint16(0x1000 + number),
                                       kProduct)));
        if (hideIds) {
            QFile uevent(fake.hidDeviceFolder(number) + "/uevent");
            QVERIFY(uevent.remove());
        }
    }
    if (receiver)
        QVERIFY(fake.add(interfaceWith(8, configurationDescriptor())));
    OpenWatch watch(fake);
    QVERIFY(watch.isValid());
    LinuxHidraw hid(fake.sysfsRoot(), fake.devRoot());
    CountingPlatform counting(hid);

    QCOMPARE(rcprog::searchPass(counting, kVendor, kProduct).matched, receiver);
    std::set<int> expected;
    for (int number = 0; number < 8 && hideIds; ++number)
        expected.insert(number);
    if (receiver)
        expected.insert(8);
    QCOMPARE(watch.opened(), expected);
    QCOMPARE(counting.opens(), int(expected.size()));
}

QTEST_GUILESS_MAIN(TestLinuxHidraw)
#include "tst_linuxhidraw.moc"
