#include "LinuxHidraw.h"

#include "ReportDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace rcprog {

namespace {

constexpr char kNodePrefix[] = "hidraw";
constexpr std::size_t kNodePrefixLength = sizeof(kNodePrefix) - 1;
// Sysfs attributes are at most a page; a report descriptor read from sysfs is bounded by the
// kernel's descriptor limit, with room to spare.
constexpr std::size_t kMaxAttributeBytes = 4096;
constexpr std::size_t kMaxDescriptorBytes = 65536;

// The number of a node name "hidrawN", or -1 for any other name.
long nodeNumber(const char *name)
{
    if (std::strncmp(name, kNodePrefix, kNodePrefixLength) != 0)
        return -1;
    const char *digits = name + kNodePrefixLength;
    long number = 0;
    int count = 0;
    for (; *digits; ++digits, ++count) {
        if (*digits < '0' || *digits > '9' || count == 9)
            return -1;
        number = number * 10 + (*digits - '0');
    }
    return count == 0 ? -1 : number;
}

// Reads a whole file of at most maxBytes; false if it cannot be read or is longer.
bool readFile(const std::string &path, std::string &content, std::size_t maxBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    content.clear();
    char chunk[4096];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        if (content.size() + std::size_t(n) > maxBytes) {
            ok = false;
            break;
        }
        content.append(chunk, std::size_t(n));
    }
    ::close(fd);
    return ok;
}

// Reads a sysfs text attribute. The kernel hands an attribute (at most a page) over whole in the
// first read when the buffer is larger than a page, so a single read suffices: the search pass
// reads one uevent per interface and saves the read that would only find the end.
bool readAttribute(const std::string &path, std::string &content)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[kMaxAttributeBytes + 1];
    ssize_t n;
    do
        n = ::read(fd, buffer, sizeof buffer);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n < 0 || std::size_t(n) > kMaxAttributeBytes)
        return false;
    content.assign(buffer, std::size_t(n));
    return true;
}

// The value of the line "key=value" of a uevent file, without its newline.
bool ueventValue(const std::string &uevent, const char *key, std::string &value)
{
    const std::size_t keyLength = std::strlen(key);
    std::size_t line = 0;
    while (line < uevent.size()) {
        std::size_t end = uevent.find('\n', line);
        if (end == std::string::npos)
            end = uevent.size();
        if (end - line > keyLength && uevent.compare(line, keyLength, key) == 0
            && uevent[line + keyLength] == '=') {
            value.assign(uevent, line + keyLength + 1, end - line - keyLength - 1);
            return true;
        }
        line = end + 1;
    }
    return false;
}

// Parses hexadecimal digits from text[pos] up to `stop` (or the end); at least one, at most 8.
bool parseHex(const std::string &text, std::size_t &pos, char stop, std::uint32_t &value)
{
    value = 0;
    int digits = 0;
    for (; pos < text.size() && text[pos] != stop; ++pos, ++digits) {
        const char c = text[pos];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        if (digits == 8)
            return false;
        value = (value << 4) | std::uint32_t(digit);
    }
    return digits > 0;
}

// ioctl errors that mean "this node does not speak hidraw" (a FIFO in a fake tree, an old kernel)
// rather than "the device failed".
bool ioctlUnsupported(int error)
{
    return error == ENOTTY || error == EINVAL;
}

// The report descriptor of a node's HID device as sysfs holds it.
bool descriptorFromSysfs(const std::string &folder, std::string &descriptor)
{
    return !folder.empty()
           && readFile(folder + "/device/report_descriptor", descriptor, kMaxDescriptorBytes);
}

enum class NodeRead { Ok, Unsupported, Failed };

// The report descriptor through the node's ioctls. Unsupported: the node does not speak hidraw
// (a FIFO in a fake tree, an old kernel), or the descriptor is larger than the kernel hands over
// through the ioctl (at most HID_MAX_DESCRIPTOR_SIZE - 1 bytes); sysfs has it whole then.
NodeRead descriptorFromNode(int fd, std::string &descriptor)
{
    int size = 0;
    if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) != 0)
        return ioctlUnsupported(errno) ? NodeRead::Unsupported : NodeRead::Failed;
    if (size < 0)
        return NodeRead::Failed;
    if (size >= HID_MAX_DESCRIPTOR_SIZE)
        return NodeRead::Unsupported;
    hidraw_report_descriptor raw{};
    raw.size = std::uint32_t(size);
    if (::ioctl(fd, HIDIOCGRDESC, &raw) != 0)
        return NodeRead::Failed;
    descriptor.assign(reinterpret_cast<const char *>(raw.value), raw.size);
    return NodeRead::Ok;
}

const std::uint8_t *bytesOf(const std::string &descriptor)
{
    return reinterpret_cast<const std::uint8_t *>(descriptor.data());
}

// The input report length of a descriptor; false for one that cannot be read.
bool lengthOf(const std::string &descriptor, int &length)
{
    const std::optional<int> result
            = rcprog::inputReportLength(bytesOf(descriptor), descriptor.size());
    if (!result)
        return false;
    length = *result;
    return true;
}

// Whether a descriptor is one of an interface the system holds; false for one that cannot be
// read, which is opened as any other.
bool systemHolds(const std::string &descriptor)
{
    const std::optional<std::vector<CollectionUsage>> collections
            = topLevelCollections(bytesOf(descriptor), descriptor.size());
    return collections && heldBySystem(*collections);
}

HidHandle handleFor(int fd)
{
    return HidHandle(fd) + 1; // fd 0 is a valid descriptor, handle 0 means none
}

int fdFor(HidHandle handle)
{
    return int(handle - 1);
}

} // namespace

// A use of an open handle: counted from construction to destruction. False (no descriptor) for a
// handle that is not open or is already closed.
class LinuxHidraw::Use
{
public:
    Use(LinuxHidraw &hid, HidHandle handle) : hid_(hid), handle_(handle)
    {
        std::lock_guard<std::mutex> lock(hid_.mutex_);
        const auto it = hid_.open_.find(handle);
        if (it == hid_.open_.end() || it->second.closed)
            return;
        ++it->second.uses;
        fd_ = fdFor(handle);
        folder_ = it->second.folder;
    }
    ~Use()
    {
        if (fd_ < 0)
            return;
        bool closeNow = false;
        {
            std::lock_guard<std::mutex> lock(hid_.mutex_);
            const auto it = hid_.open_.find(handle_);
            if (--it->second.uses == 0 && it->second.closed) {
                hid_.open_.erase(it);
                closeNow = true;
            }
        }
        if (closeNow)
            ::close(fd_);
    }
    Use(const Use &) = delete;
    Use &operator=(const Use &) = delete;

    explicit operator bool() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string &folder() const { return folder_; }

private:
    LinuxHidraw &hid_;
    const HidHandle handle_;
    int fd_ = -1;
    std::string folder_;
};

LinuxHidraw::LinuxHidraw(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot))
{ }

LinuxHidraw::~LinuxHidraw()
{
    for (const auto &entry : open_)
        ::close(fdFor(entry.first));
}

std::vector<std::string> LinuxHidraw::listInterfaces()
{
    std::vector<std::pair<long, std::string>> nodes;
    const std::string classFolder = sysfsRoot_ + "/class/hidraw";
    if (DIR *dir = ::opendir(classFolder.c_str())) {
        while (const dirent *entry = ::readdir(dir)) {
            const long number = nodeNumber(entry->d_name);
            if (number >= 0)
                nodes.emplace_back(number, entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> paths;
    paths.reserve(nodes.size());
    for (const auto &node : nodes)
        paths.push_back(devRoot_ + '/' + node.second);
    return paths;
}

OpenError LinuxHidraw::openErrorFor(int errnoValue)
{
    return errnoValue == EACCES || errnoValue == EPERM ? OpenError::AccessDenied : OpenError::Other;
}

HidHandle LinuxHidraw::open(const std::string &path, OpenError *error)
{
    const auto fail = [error](OpenError why) {
        if (error)
            *error = why;
        return kNullHandle;
    };
    // An interface the system holds is not opened at all where sysfs tells what it is: opening
    // a hidraw node starts the device's input.
    const std::string folder = sysfsFolderFor(path);
    std::string descriptor;
    const bool sysfsTells = descriptorFromSysfs(folder, descriptor);
    if (sysfsTells && systemHolds(descriptor))
        return fail(OpenError::SystemDevice);
    int fd;
    do
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail(openErrorFor(errno));
    if (!sysfsTells && descriptorFromNode(fd, descriptor) == NodeRead::Ok
        && systemHolds(descriptor)) {
        ::close(fd);
        return fail(OpenError::SystemDevice);
    }
    const HidHandle handle = handleFor(fd);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_[handle] = OpenNode{folder};
    }
    if (error)
        *error = OpenError::None;
    return handle;
}

void LinuxHidraw::close(HidHandle handle)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = open_.find(handle);
        if (it == open_.end() || it->second.closed)
            return;
        if (it->second.uses > 0) {
            it->second.closed = true; // the last use closes the descriptor
            return;
        }
        open_.erase(it);
    }
    ::close(fdFor(handle));
}

bool LinuxHidraw::attributes(HidHandle handle, std::uint16_t &vendorId, std::uint16_t &productId)
{
    const Use use(*this, handle);
    if (!use)
        return false;
    hidraw_devinfo info{};
    if (::ioctl(use.fd(), HIDIOCGRAWINFO, &info) == 0) {
        // The kernel hands vendor and product over as signed 16-bit values.
        vendorId = std::uint16_t(info.vendor);
        productId = std::uint16_t(info.product);
        return true;
    }
    return ioctlUnsupported(errno) && idsFromUevent(use.folder(), vendorId, productId);
}

bool LinuxHidraw::peekAttributes(const std::string &path, std::uint16_t &vendorId,
                                 std::uint16_t &productId)
{
    const std::string folder = sysfsFolderFor(path);
    return !folder.empty() && idsFromUevent(folder, vendorId, productId);
}

bool LinuxHidraw::inputReportLength(HidHandle handle, int &length)
{
    const Use use(*this, handle);
    if (!use)
        return false;
    std::string descriptor;
    switch (descriptorFromNode(use.fd(), descriptor)) {
    case NodeRead::Ok:
        break;
    case NodeRead::Unsupported:
        if (!descriptorFromSysfs(use.folder(), descriptor))
            return false;
        break;
    case NodeRead::Failed:
        return false;
    }
    return lengthOf(descriptor, length);
}

bool LinuxHidraw::peekReportLength(const std::string &path, int &length)
{
    std::string descriptor;
    return descriptorFromSysfs(sysfsFolderFor(path), descriptor) && lengthOf(descriptor, length);
}

bool LinuxHidraw::productString(HidHandle handle, ProductStringBuffer &buffer)
{
    const Use use(*this, handle);
    return use && productStringFromFolder(use.folder(), buffer);
}

bool LinuxHidraw::peekProductString(const std::string &path, ProductStringBuffer &buffer)
{
    return productStringFromFolder(sysfsFolderFor(path), buffer);
}

bool LinuxHidraw::productStringFromFolder(const std::string &folder, ProductStringBuffer &buffer)
{
    if (folder.empty())
        return false;
    // The USB device above the HID interface holds the product string descriptor; a HID device
    // without one (Bluetooth, virtual, or a USB device without a product string) has its name
    // in the uevent of the HID device.
    std::string text;
    if (!readAttribute(folder + "/device/../../product", text)) {
        std::string uevent;
        if (!readAttribute(folder + "/device/uevent", uevent)
            || !ueventValue(uevent, "HID_NAME", text))
            return false;
    }
    encodeProductString(text, buffer);
    return true;
}

bool LinuxHidraw::write(HidHandle handle, const std::uint8_t *data, std::size_t length)
{
    const Use use(*this, handle);
    if (!use || length == 0)
        return false;
    // A report goes out in one write(2): a partial write is a failure, never continued, since
    // the rest would arrive as a report of its own.
    ssize_t written;
    do
        written = ::write(use.fd(), data, length);
    while (written < 0 && errno == EINTR);
    return written >= 0 && std::size_t(written) == length;
}

void LinuxHidraw::encodeProductString(const std::string &utf8, ProductStringBuffer &buffer)
{
    buffer.fill(0);
    std::size_t end = utf8.size();
    if (end > 0 && utf8[end - 1] == '\n')
        --end;

    constexpr std::size_t kUnits = std::tuple_size<ProductStringBuffer>::value / 2;
    std::size_t units = 0;
    // Appends one code point; false once it does not fit whole.
    auto put = [&](std::uint32_t codePoint) {
        auto putUnit = [&](std::uint32_t unit) {
            buffer[2 * units] = std::uint8_t(unit & 0xFF);
            buffer[2 * units + 1] = std::uint8_t(unit >> 8);
            ++units;
        };
        if (codePoint < 0x10000) {
            if (units + 1 > kUnits)
                return false;
            putUnit(codePoint);
        } else {
            if (units + 2 > kUnits)
                return false;
            codePoint -= 0x10000;
            putUnit(0xD800 + (codePoint >> 10));
            putUnit(0xDC00 + (codePoint & 0x3FF));
        }
        return true;
    };

    // UTF-8 decoding with one U+FFFD per maximal invalid subpart (the WHATWG decoder).
    constexpr std::uint32_t kReplacement = 0xFFFD;
    std::uint32_t codePoint = 0;
    int needed = 0, seen = 0;
    std::uint8_t lower = 0x80, upper = 0xBF;
    for (std::size_t i = 0; i < end; ++i) {
        const std::uint8_t byte = std::uint8_t(utf8[i]);
        if (needed == 0) {
            bool ok = true;
            if (byte <= 0x7F) {
                ok = put(byte);
            } else if (byte >= 0xC2 && byte <= 0xDF) {
                needed = 1;
                codePoint = byte & 0x1F;
            } else if (byte >= 0xE0 && byte <= 0xEF) {
                lower = byte == 0xE0 ? 0xA0 : 0x80;
                upper = byte == 0xED ? 0x9F : 0xBF;
                needed = 2;
                codePoint = byte & 0x0F;
            } else if (byte >= 0xF0 && byte <= 0xF4) {
                lower = byte == 0xF0 ? 0x90 : 0x80;
                upper = byte == 0xF4 ? 0x8F : 0xBF;
                needed = 3;
                codePoint = byte & 0x07;
            } else {
                ok = put(kReplacement);
            }
            if (!ok)
                return;
            continue;
        }
        if (byte < lower || byte > upper) {
            needed = seen = 0;
            lower = 0x80;
            upper = 0xBF;
            if (!put(kReplacement))
                return;
            --i; // the byte starts anew
            continue;
        }
        lower = 0x80;
        upper = 0xBF;
        codePoint = (codePoint << 6) | (byte & 0x3F);
        if (++seen == needed) {
            needed = seen = 0;
            if (!put(codePoint))
                return;
        }
    }
    if (needed != 0)
        put(kReplacement);
}

std::string LinuxHidraw::sysfsFolderFor(const std::string &path) const
{
    const std::size_t slash = path.rfind('/');
    const char *name = path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
    if (nodeNumber(name) < 0)
        return std::string();
    return sysfsRoot_ + "/class/hidraw/" + name;
}

bool LinuxHidraw::idsFromUevent(const std::string &folder, std::uint16_t &vendorId,
                                std::uint16_t &productId)
{
    // HID_ID=bus:vendor:product, e.g. HID_ID=0003:000004B4:0000F231
    std::string uevent, id;
    if (folder.empty() || !readAttribute(folder + "/device/uevent", uevent)
        || !ueventValue(uevent, "HID_ID", id))
        return false;
    std::size_t pos = 0;
    std::uint32_t bus, vendor, product;
    if (!parseHex(id, pos, ':', bus) || pos++ == id.size() || !parseHex(id, pos, ':', vendor)
        || pos++ == id.size() || !parseHex(id, pos, '\0', product) || pos != id.size()
        || vendor > 0xFFFF || product > 0xFFFF)
        return false;
    vendorId = std::uint16_t(vendor);
    productId = std::uint16_t(product);
    return true;
}

} // namespace rcprog
