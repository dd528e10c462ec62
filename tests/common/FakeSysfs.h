#pragma once

// A fake sysfs and /dev tree for the Linux hidraw backend, shaped like the kernel's:
//
//   sys/class/hidraw/hidrawN -> ../../devices/.../<hid device>/hidraw/hidrawN
//   sys/devices/.../usb1/1-2/                        USB device: idVendor, idProduct, product
//   sys/devices/.../usb1/1-2/1-2:1.0/                USB interface: bInterfaceNumber
//   sys/devices/.../usb1/1-2/1-2:1.0/0003:04B4:F231.0001/   HID device: uevent, report_descriptor
//   .../0003:04B4:F231.0001/hidraw/hidrawN/device -> ../../../0003:04B4:F231.0001
//   dev/hidrawN                                       a FIFO standing in for the device node
//
// A HID device without a USB parent lives under sys/devices/virtual/misc/uhid with bus 0005.
// The read end of each FIFO is opened non-blocking when the interface is added, so whatever the
// backend writes to the node can be read back exactly. Removing an interface deletes its entries,
// which is what unplugging does to the real tree.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rcprog::test {

struct FakeHidraw
{
    int number = 0; // the node is hidraw<number>
    quint16 vendorId = 0x04B4;
    quint16 productId = 0xF231;
    QByteArray descriptor; // contents of report_descriptor
    // UTF-8. With a USB parent: the USB device's `product` attribute (none: no such file).
    // Without: the HID_NAME of the HID device.
    std::optional<QByteArray> productName = QByteArray("USB Receiver");
    bool usbParent = true;
    // HID_NAME with a USB parent (the kernel puts the manufacturer in front of the product);
    // empty: "FakeMaker " + productName.
    QByteArray usbHidName;
    // Name of the USB device folder; empty: "1-<number + 2>". Interfaces that share one name
    // are interfaces of one USB device.
    QString usbDevice;
    int interfaceNumber = 0;
};

class FakeSysfs
{
public:
    FakeSysfs()
    {
        if (dir_.isValid()) {
            QDir root(dir_.path());
            valid_ = root.mkpath(QStringLiteral("sys/class/hidraw"))
                     && root.mkpath(QStringLiteral("sys/devices/virtual/misc/uhid"))
                     && root.mkpath(QStringLiteral("dev"));
        }
    }
    ~FakeSysfs()
    {
        for (const auto &entry : nodes_)
            ::close(entry.second.readEnd);
        for (const auto &entry : removed_)
            for (const int fd : entry.second)
                ::close(fd);
    }
    FakeSysfs(const FakeSysfs &) = delete;
    FakeSysfs &operator=(const FakeSysfs &) = delete;

    bool isValid() const { return valid_; }
    QString root() const { return dir_.path(); }
    std::string sysfsRoot() const { return QFile::encodeName(root() + "/sys").toStdString(); }
    std::string devRoot() const { return QFile::encodeName(root() + "/dev").toStdString(); }
    std::string devicePath(int number) const
    {
        return QFile::encodeName(nodePath(number)).toStdString();
    }
    // The HID device folder of a present interface (for tests that rewrite its files).
    QString hidDeviceFolder(int number) const
    {
        const auto it = nodes_.find(number);
        return it == nodes_.end() ? QString() : it->second.hidFolder;
    }

    // Convenience form of add().
    bool add(int number, quint16 vendorId, quint16 productId, const QByteArray &descriptor,
             const std::optional<QByteArray> &productName, bool usbParent = true)
    {
        FakeHidraw interface;
        interface.number = number;
        interface.vendorId = vendorId;
        interface.productId = productId;
        interface.descriptor = descriptor;
        interface.productName = productName;
        interface.usbParent = usbParent;
        return add(interface);
    }

    // Adds (plugs in) an interface; an interface with the same number is removed first.
    bool add(const FakeHidraw &interface)
    {
        if (!valid_)
            return false;
        remove(interface.number);
        const int serial = nextSerial_++;
        const QString name = QStringLiteral("hidraw%1").arg(interface.number);
        const int bus = interface.usbParent ? 0x0003 : 0x0005;
        const QString hidName = QString::asprintf("%04X:%04X:%04X.%04X", bus, interface.vendorId,
                                                  interface.productId, serial);
        Node node;
        QString parent;
        QByteArray hidNameLine;
        if (interface.usbParent) {
            const QString usbDevice = interface.usbDevice.isEmpty()
                                              ? QStringLiteral("1-%1").arg(interface.number + 2)
                                              : interface.usbDevice;
            node.usbDeviceFolder = root()
                                   + QStringLiteral("/sys/devices/pci0000:00/0000:00:14.0/usb1/")
                                   + usbDevice;
            parent = node.usbDeviceFolder + '/' + usbDevice
                     + QStringLiteral(":1.%1").arg(interface.interfaceNumber);
            if (!QDir().mkpath(parent)
                || !writeFile(node.usbDeviceFolder + QStringLiteral("/idVendor"),
                              QByteArray::number(interface.vendorId, 16).rightJustified(4, '0')
                                      + '\n')
                || !writeFile(node.usbDeviceFolder + QStringLiteral("/idProduct"),
                              QByteArray::number(interface.productId, 16).rightJustified(4, '0')
                                      + '\n')
                || !writeFile(parent + QStringLiteral("/bInterfaceNumber"),
                              QByteArray::number(interface.interfaceNumber).rightJustified(2, '0')
                                      + '\n')
                || !writeFile(parent + QStringLiteral("/bInterfaceClass"), "03\n"))
                return false;
            if (interface.productName
                && !writeFile(node.usbDeviceFolder + QStringLiteral("/product"),
                              *interface.productName + '\n'))
                return false;
            hidNameLine
                    = interface.usbHidName.isEmpty()
                              ? "FakeMaker " + interface.productName.value_or(QByteArray("Device"))
                              : interface.usbHidName;
        } else {
            parent = root() + QStringLiteral("/sys/devices/virtual/misc/uhid");
            hidNameLine = interface.productName.value_or(QByteArray());
        }
        node.hidFolder = parent + '/' + hidName;
        const QString nodeFolder = node.hidFolder + QStringLiteral("/hidraw/") + name;
        const QByteArray uevent = "DRIVER=hid-generic\n"
                                  + QString::asprintf("HID_ID=%04X:%08X:%08X\n", bus,
                                                      interface.vendorId, interface.productId)
                                            .toLatin1()
                                  + "HID_NAME=" + hidNameLine
                                  + "\nHID_PHYS=usb-0000:00:14.0-1/input0\nHID_UNIQ=\n"
                                  + QString::asprintf("MODALIAS=hid:b%04Xg0001v%08Xp%08X\n", bus,
                                                      interface.vendorId, interface.productId)
                                            .toLatin1();
        if (!QDir().mkpath(nodeFolder)
            || !writeFile(node.hidFolder + QStringLiteral("/uevent"), uevent)
            || !writeFile(node.hidFolder + QStringLiteral("/report_descriptor"),
                          interface.descriptor)
            || !writeFile(nodeFolder + QStringLiteral("/dev"),
                          "244:" + QByteArray::number(interface.number) + '\n')
            || !writeFile(nodeFolder + QStringLiteral("/uevent"),
                          "MAJOR=244\nMINOR=" + QByteArray::number(interface.number)
                                  + "\nDEVNAME=" + name.toLatin1() + '\n')
            || !symlinkTo("../../../" + QFile::encodeName(hidName),
                          nodeFolder + QStringLiteral("/device")))
            return false;
        const QString classEntry = root() + QStringLiteral("/sys/class/hidraw/") + name;
        if (!symlinkTo(QFile::encodeName(QDir(root() + QStringLiteral("/sys/class/hidraw"))
                                                 .relativeFilePath(nodeFolder)),
                       classEntry))
            return false;
        const QByteArray fifo = QFile::encodeName(nodePath(interface.number));
        if (::mkfifo(fifo.constData(), 0600) != 0)
            return false;
        node.readEnd = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (node.readEnd < 0)
            return false;
        nodes_[interface.number] = node;
        return true;
    }

    // Removes (unplugs) an interface: its class entry, device folders and node. What was written
    // to its node before stays readable through written().
    bool remove(int number)
    {
        const auto it = nodes_.find(number);
        if (it == nodes_.end())
            return false;
        Node node = it->second;
        nodes_.erase(it);
        bool ok = QFile::remove(root() + QStringLiteral("/sys/class/hidraw/hidraw%1").arg(number))
                  && QFile::remove(nodePath(number)) && QDir(node.hidFolder).removeRecursively();
        if (!node.usbDeviceFolder.isEmpty()) {
            bool shared = false;
            for (const auto &other : nodes_)
                shared = shared || other.second.usbDeviceFolder == node.usbDeviceFolder;
            if (!shared)
                ok = QDir(node.usbDeviceFolder).removeRecursively() && ok;
        }
        removed_[number].push_back(node.readEnd);
        return ok;
    }

    // The numbers of the nodes present and of those removed, in order.
    std::vector<int> numbers() const
    {
        std::vector<int> all;
        for (const auto &entry : nodes_)
            all.push_back(entry.first);
        for (const auto &entry : removed_)
            if (nodes_.find(entry.first) == nodes_.end())
                all.push_back(entry.first);
        std::sort(all.begin(), all.end());
        return all;
    }

    // The bytes written to hidraw<number> since the last call (also after removal).
    QByteArray written(int number)
    {
        QByteArray bytes;
        const auto it = nodes_.find(number);
        if (it != nodes_.end())
            drain(it->second.readEnd, bytes);
        const auto gone = removed_.find(number);
        if (gone != removed_.end()) {
            QByteArray old;
            for (const int fd : gone->second)
                drain(fd, old);
            bytes.prepend(old);
        }
        return bytes;
    }

private:
    struct Node
    {
        QString hidFolder;
        QString usbDeviceFolder; // empty without a USB parent
        int readEnd = -1;
    };

    QString nodePath(int number) const
    {
        return root() + QStringLiteral("/dev/hidraw%1").arg(number);
    }

    static bool writeFile(const QString &path, const QByteArray &contents)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
               && file.write(contents) == contents.size();
    }

    static bool symlinkTo(const QByteArray &target, const QString &link)
    {
        return ::symlink(target.constData(), QFile::encodeName(link).constData()) == 0;
    }

    static void drain(int fd, QByteArray &bytes)
    {
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0)
                bytes.append(chunk, n);
            else if (n < 0 && errno == EINTR)
                continue;
            else
                break;
        }
    }

    QTemporaryDir dir_;
    bool valid_ = false;
    int nextSerial_ = 1;
    std::map<int, Node> nodes_;
    std::map<int, std::vector<int>> removed_; // read ends of removed nodes, oldest first
};

} // namespace rcprog::test
