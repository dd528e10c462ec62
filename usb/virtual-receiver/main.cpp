// rcprog-virtual-receiver: a virtual receiver on Linux, made through /dev/uhid.
//
// It creates a USB HID device with the receiver's IDs (or others given on the command line) and a
// vendor-defined report descriptor with one input and one output report of N bytes and no report
// IDs. The kernel's HID core binds it (hid-generic) and hidraw gives it a /dev/hidrawN node, so
// programs see it exactly as they would see a plugged-in receiver. Every output report written to
// it is printed on stdout as one line of upper-case hex bytes, report-ID byte first.
//
// With --with-keyboard it first creates a keyboard device with the same IDs, as a real receiver
// presents a keyboard interface beside the one that takes the configuration. Each time a program
// opens or closes a device's node, and each output report the keyboard gets, is told on stderr.
//
// Needs root (or write access to /dev/uhid) and a kernel with uhid, hid-generic and hidraw.

#include <linux/hid.h>
#include <linux/uhid.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned kDefaultVendor = 0x04B4;
constexpr unsigned kDefaultProduct = 0xF231;
constexpr long kMaxReportLength = 1024;

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int)
{
    stopRequested = 1;
}

struct Options
{
    std::string name = "Virtual USB receiver";
    long reportLength = 8;
    long unplugAfter = -1; // destroy the device after this many output reports
    long failAfter = -1; // stop reading /dev/uhid after this many output reports
    long replugAfter = -1; // destroy and at once create the device again after this many
    std::string replugName; // the name of the device created again (empty: the same)
    bool withKeyboard = false;
    long descriptorSize = 0; // pad the report descriptor to this many bytes (0: as it is)
    unsigned vendor = kDefaultVendor;
    unsigned product = kDefaultProduct;
};

void usage(std::FILE *out)
{
    std::fprintf(
            out,
            "Usage: rcprog-virtual-receiver [options]\n"
            "Creates a virtual USB HID receiver through /dev/uhid and prints every output\n"
            "report it receives as one line of hex bytes (report-ID byte first).\n"
            "\n"
            "  --name NAME           device name, which is also its product string\n"
            "  --report-length N     payload bytes of the input and output report (default 8)\n"
            "  --unplug-after N      remove the device after N output reports and exit\n"
            "  --fail-after N        stop reading after N output reports (the device stays)\n"
            "  --replug-after N      after N output reports remove the device and create it\n"
            "                        again at once, as a new device (a receiver that\n"
            "                        re-enumerates, or one swapped faster than a poll)\n"
            "  --replug-name NAME    the name of the device created again (default: the same)\n"
            "  --with-keyboard       first create a keyboard device with the same IDs, as the\n"
            "                        keyboard interface of a composite receiver\n"
            "  --descriptor-size N   pad the report descriptor to N bytes (at most 4096)\n"
            "  --vendor ID           vendor ID (default 0x04B4)\n"
            "  --product ID          product ID (default 0xF231)\n"
            "  --help                show this text\n"
            "\n"
            "Ends on SIGINT or SIGTERM, removing the device first.\n");
}

bool parseNumber(const char *text, long min, long max, long &value)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char *end = nullptr;
    const long v = std::strtol(text, &end, 0);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    value = v;
    return true;
}

// Returns 0 when parsed, 1 for --help, 2 for a usage error (reported on stderr).
int parseArguments(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return 1;
        if (arg == "--with-keyboard") {
            options.withKeyboard = true;
            continue;
        }
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        long number = 0;
        bool ok = value != nullptr;
        if (arg == "--name") {
            ok = ok && std::strlen(value) < sizeof(uhid_create2_req::name);
            if (ok)
                options.name = value;
        } else if (arg == "--report-length") {
            ok = ok && parseNumber(value, 1, kMaxReportLength, options.reportLength);
        } else if (arg == "--unplug-after") {
            ok = ok && parseNumber(value, 0, 1000000000L, options.unplugAfter);
        } else if (arg == "--fail-after") {
            ok = ok && parseNumber(value, 0, 1000000000L, options.failAfter);
        } else if (arg == "--replug-after") {
            ok = ok && parseNumber(value, 1, 1000000000L, options.replugAfter);
        } else if (arg == "--replug-name") {
            ok = ok && std::strlen(value) < sizeof(uhid_create2_req::name);
            if (ok)
                options.replugName = value;
        } else if (arg == "--descriptor-size") {
            ok = ok && parseNumber(value, 1, HID_MAX_DESCRIPTOR_SIZE, options.descriptorSize);
        } else if (arg == "--vendor" || arg == "--product") {
            ok = ok && parseNumber(value, 0, 0xFFFF, number);
            if (ok)
                (arg == "--vendor" ? options.vendor : options.product) = unsigned(number);
        } else {
            std::fprintf(stderr, "rcprog-virtual-receiver: unknown option %s\n", arg.c_str());
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "rcprog-virtual-receiver: missing or invalid value for %s\n",
                         arg.c_str());
            return 2;
        }
        ++i;
    }
    return 0;
}

// A vendor-defined application collection with one input and one output report of `length`
// bytes each (8-bit fields, values 0..255) and no report IDs.
std::vector<unsigned char> reportDescriptor(long length)
{
    std::vector<unsigned char> d = {
            0x06, 0x00, 0xFF, // Usage Page (Vendor Defined 0xFF00)
            0x09, 0x01, // Usage (0x01)
            0xA1, 0x01, // Collection (Application)
    };
    const auto field = [&d, length](unsigned char usage, unsigned char mainItem) {
        const unsigned char fieldItems[] = {
                0x09,
                usage, // Usage
                0x15,
                0x00, // Logical Minimum (0)
                0x26,
                0xFF,
                0x00, // Logical Maximum (255)
                0x75,
                0x08, // Report Size (8)
                0x96,
                static_cast<unsigned char>(length & 0xFF),
                static_cast<unsigned char>((length >> 8) & 0xFF), // Report Count (length)
                mainItem,
                0x02, // Input or Output (Data, Variable, Absolute)
        };
        d.insert(d.end(), std::begin(fieldItems), std::end(fieldItems));
    };
    field(0x02, 0x81); // Input
    field(0x03, 0x91); // Output
    d.push_back(0xC0); // End Collection
    return d;
}

// The boot keyboard of the USB HID class: modifiers, a reserved byte and six key codes in,
// five LEDs out.
std::vector<unsigned char> keyboardDescriptor()
{
    return {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, // Generic Desktop, Keyboard, Application
            0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01,
            0x95, 0x08, 0x81, 0x02, // modifiers
            0x95, 0x01, 0x75, 0x08, 0x81, 0x01, // reserved
            0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, // LEDs
            0x95, 0x01, 0x75, 0x03, 0x91, 0x01, // LED padding
            0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00,
            0x29, 0x65, 0x81, 0x00, // key codes
            0xC0};
}

// Pads a descriptor in front to `size` bytes with Usage Page items, which only set a global
// value that the descriptor sets again itself. False when `size` cannot be reached that way
// (smaller than the descriptor, or one byte more).
bool padDescriptor(std::vector<unsigned char> &d, long size)
{
    long pad = size - long(d.size());
    if (pad < 0 || pad == 1)
        return false;
    std::vector<unsigned char> front;
    if (pad % 2 != 0) {
        front = {0x06, 0x00, 0xFF}; // Usage Page (Vendor Defined 0xFF00)
        pad -= 3;
    }
    for (; pad > 0; pad -= 2)
        front.insert(front.end(), {0x05, 0xFF}); // Usage Page (0xFF)
    d.insert(d.begin(), front.begin(), front.end());
    return true;
}

bool writeEvent(int fd, const uhid_event &event)
{
    for (;;) {
        const ssize_t n = write(fd, &event, sizeof event);
        if (n == static_cast<ssize_t>(sizeof event))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        std::fprintf(stderr, "rcprog-virtual-receiver: write to /dev/uhid failed: %s\n",
                     n < 0 ? std::strerror(errno) : "short write");
        return false;
    }
}

void destroyDevice(int fd)
{
    uhid_event event{};
    event.type = UHID_DESTROY;
    writeEvent(fd, event);
}

void printReport(std::FILE *out, const char *prefix, const unsigned char *data, unsigned size)
{
    std::string line;
    line.reserve(size * 3);
    static const char digits[] = "0123456789ABCDEF";
    for (unsigned i = 0; i < size; ++i) {
        if (i > 0)
            line.push_back(' ');
        line.push_back(digits[data[i] >> 4]);
        line.push_back(digits[data[i] & 0x0F]);
    }
    std::fprintf(out, "%s%s\n", prefix, line.c_str());
    std::fflush(out);
}

std::string readSmallFile(const std::string &path)
{
    std::string text;
    if (std::FILE *f = std::fopen(path.c_str(), "r")) {
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

// The hidraw node of the device whose HID_UNIQ is `uniq`, or "" while it has none. uhid devices
// sit under the uhid misc device in sysfs.
std::string findHidrawNode(const std::string &uniq)
{
    const std::string base = "/sys/devices/virtual/misc/uhid";
    std::string node;
    DIR *dir = opendir(base.c_str());
    if (!dir)
        return node;
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string deviceDir = base + "/" + entry->d_name;
        const std::string uevent = readSmallFile(deviceDir + "/uevent");
        if (uevent.find("HID_UNIQ=" + uniq + "\n") == std::string::npos)
            continue;
        if (DIR *hidraw = opendir((deviceDir + "/hidraw").c_str())) {
            while (dirent *h = readdir(hidraw)) {
                if (std::strncmp(h->d_name, "hidraw", 6) == 0)
                    node = std::string("/dev/") + h->d_name;
            }
            closedir(hidraw);
        }
        break;
    }
    closedir(dir);
    return node;
}

int openUhid()
{
    const int fd = open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        std::fprintf(stderr,
                     "rcprog-virtual-receiver: cannot open /dev/uhid: %s\n"
                     "(needs root and the uhid module: modprobe uhid)\n",
                     std::strerror(errno));
    return fd;
}

// Creates a USB HID device with the IDs and report length of the options. `uniq` tags it, so
// that its hidraw node can be found in sysfs.
bool createDevice(int fd, const Options &options, const std::string &name, const std::string &uniq,
                  const std::vector<unsigned char> &descriptor)
{
    uhid_event create{};
    create.type = UHID_CREATE2;
    std::snprintf(reinterpret_cast<char *>(create.u.create2.name), sizeof create.u.create2.name,
                  "%s", name.c_str());
    std::snprintf(reinterpret_cast<char *>(create.u.create2.phys), sizeof create.u.create2.phys,
                  "rcprog-virtual-receiver");
    std::snprintf(reinterpret_cast<char *>(create.u.create2.uniq), sizeof create.u.create2.uniq,
                  "%s", uniq.c_str());
    create.u.create2.rd_size = static_cast<__u16>(descriptor.size());
    create.u.create2.bus = BUS_USB;
    create.u.create2.vendor = options.vendor;
    create.u.create2.product = options.product;
    create.u.create2.version = 0x0100;
    create.u.create2.country = 0;
    std::memcpy(create.u.create2.rd_data, descriptor.data(), descriptor.size());
    return writeEvent(fd, create);
}

bool readEvent(int fd, uhid_event &event)
{
    for (;;) {
        const ssize_t n = read(fd, &event, sizeof event);
        if (n > 0)
            return true;
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        std::fprintf(stderr, "rcprog-virtual-receiver: read from /dev/uhid failed: %s\n",
                     n < 0 ? std::strerror(errno) : "end of file");
        return false;
    }
}

// Answers a request for an input report: zeros of `length` bytes for report 0, EIO otherwise.
void answerGetReport(int fd, const uhid_event &event, long length)
{
    uhid_event reply{};
    reply.type = UHID_GET_REPORT_REPLY;
    reply.u.get_report_reply.id = event.u.get_report.id;
    if (event.u.get_report.rtype == UHID_INPUT_REPORT && event.u.get_report.rnum == 0) {
        reply.u.get_report_reply.err = 0;
        reply.u.get_report_reply.size = static_cast<__u16>(length);
    } else {
        reply.u.get_report_reply.err = EIO;
    }
    writeEvent(fd, reply);
}

// Answers a report sent over the control pipe; an output report is printed like any other.
// Returns whether it was one.
bool answerSetReport(int fd, const uhid_event &event, std::FILE *out, const char *prefix)
{
    uhid_event reply{};
    reply.type = UHID_SET_REPORT_REPLY;
    reply.u.set_report_reply.id = event.u.set_report.id;
    const bool output = event.u.set_report.rtype == UHID_OUTPUT_REPORT;
    if (output) {
        reply.u.set_report_reply.err = 0;
        const unsigned size
                = event.u.set_report.size <= UHID_DATA_MAX ? event.u.set_report.size : 0;
        printReport(out, prefix, event.u.set_report.data, size);
    } else {
        reply.u.set_report_reply.err = EIO;
    }
    writeEvent(fd, reply);
    return output;
}

// Where a device tells what happens to it: the configuration device prints its output reports
// on stdout as they are; the keyboard device prints them on stderr, marked.
struct Voice
{
    const char *name; // "" or "keyboard ", in front of "opened" and "closed"
    std::FILE *reports;
    const char *reportPrefix;
    long inputReportLength;
};

const Voice kConfigurationVoice{"", stdout, "", 0};
const Voice kKeyboardVoice{"keyboard ", stderr,
                           "rcprog-virtual-receiver: keyboard output report: ", 9};

// Serves one event of a device: answers the kernel's report requests and tells of the opens,
// closes and output reports. Returns whether the event was an output report; *started is set
// at the device's start.
bool serveEvent(int fd, const uhid_event &event, const Voice &voice, bool *started)
{
    switch (event.type) {
    case UHID_START:
        if (started)
            *started = true;
        return false;
    case UHID_OPEN:
        std::fprintf(stderr, "rcprog-virtual-receiver: %sopened\n", voice.name);
        return false;
    case UHID_CLOSE:
        std::fprintf(stderr, "rcprog-virtual-receiver: %sclosed\n", voice.name);
        return false;
    case UHID_OUTPUT: {
        const unsigned size = event.u.output.size <= UHID_DATA_MAX ? event.u.output.size : 0;
        printReport(voice.reports, voice.reportPrefix, event.u.output.data, size);
        return true;
    }
    case UHID_GET_REPORT:
        // Input reports read back as zeros; the device has no feature reports.
        answerGetReport(fd, event, voice.inputReportLength);
        return false;
    case UHID_SET_REPORT:
        // An output report sent over the control pipe counts like any other output report.
        return answerSetReport(fd, event, voice.reports, voice.reportPrefix);
    default:
        return false;
    }
}

// Serves the keyboard's events until it has started and its hidraw node is there (at most 5 s);
// returns the node, or "unknown".
std::string awaitNode(int fd, const std::string &uniq)
{
    bool started = false;
    for (int tick = 0; tick < 250 && !stopRequested; ++tick) {
        if (started) {
            const std::string node = findHidrawNode(uniq);
            if (!node.empty())
                return node;
        }
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 20) <= 0)
            continue;
        uhid_event event{};
        if (read(fd, &event, sizeof event) > 0)
            serveEvent(fd, event, kKeyboardVoice, &started);
    }
    return "unknown";
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    switch (parseArguments(argc, argv, options)) {
    case 1:
        usage(stdout);
        return 0;
    case 2:
        usage(stderr);
        return 2;
    default:
        break;
    }

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const std::string tag = "rcprog-vr-" + std::to_string(getpid());
    std::vector<unsigned char> descriptor = reportDescriptor(options.reportLength);
    if (options.descriptorSize > 0 && !padDescriptor(descriptor, options.descriptorSize)) {
        std::fprintf(stderr,
                     "rcprog-virtual-receiver: --descriptor-size %ld: the descriptor has %zu "
                     "bytes already\n",
                     options.descriptorSize, descriptor.size());
        return 2;
    }

    // The keyboard interface first, so that it comes first in the order of the nodes, as it
    // usually does with a real receiver.
    int keyboard = -1;
    std::string keyboardNode;
    if (options.withKeyboard) {
        keyboard = openUhid();
        if (keyboard < 0)
            return 1;
        if (!createDevice(keyboard, options, options.name, tag + "-keyboard",
                          keyboardDescriptor())) {
            close(keyboard);
            return 1;
        }
        keyboardNode = awaitNode(keyboard, tag + "-keyboard");
    }

    const int fd = openUhid();
    if (fd < 0 || !createDevice(fd, options, options.name, tag, descriptor)) {
        if (fd >= 0)
            close(fd);
        if (keyboard >= 0) {
            destroyDevice(keyboard);
            close(keyboard);
        }
        return 1;
    }

    Voice configurationVoice = kConfigurationVoice;
    configurationVoice.inputReportLength = options.reportLength + 1;
    std::string uniq = tag; // of the configuration device now present
    std::string name = options.name;
    long reports = 0;
    bool started = false;
    bool announced = false;
    bool replugged = false;
    int waitForNodeTicks = 250; // 250 x 20 ms: give hidraw 5 s to show the node
    int status = 0;

    while (!stopRequested) {
        if (options.failAfter >= 0 && reports >= options.failAfter) {
            // Stop reading: the kernel's queue fills up, the device stays.
            std::fprintf(stderr, "rcprog-virtual-receiver: stopped reading after %ld reports\n",
                         reports);
            while (!stopRequested)
                poll(nullptr, 0, 200); // a signal that comes just before this is seen in 200 ms
            break;
        }
        if (options.unplugAfter >= 0 && reports >= options.unplugAfter) {
            std::fprintf(stderr, "rcprog-virtual-receiver: unplugged after %ld reports\n", reports);
            break;
        }
        if (options.replugAfter >= 0 && reports >= options.replugAfter && !replugged) {
            // Gone and back within microseconds: far faster than anything polls.
            replugged = true;
            destroyDevice(fd);
            uniq = tag + "-again";
            if (!options.replugName.empty())
                name = options.replugName;
            if (!createDevice(fd, options, name, uniq, descriptor)) {
                status = 1;
                break;
            }
            started = announced = false;
            waitForNodeTicks = 250;
            std::fprintf(stderr, "rcprog-virtual-receiver: replugged after %ld reports\n", reports);
        }
        if (started && !announced) {
            const std::string node = findHidrawNode(uniq);
            if (!node.empty() || --waitForNodeTicks <= 0) {
                const std::string keyboardPart = options.withKeyboard && !replugged
                                                         ? "keyboard node " + keyboardNode + ", "
                                                         : std::string();
                std::fprintf(stderr,
                             "rcprog-virtual-receiver: %s: %04X:%04X \"%s\", %ld-byte reports, "
                             "%snode %s\n",
                             replugged ? "again" : "ready", options.vendor, options.product,
                             name.c_str(), options.reportLength, keyboardPart.c_str(),
                             node.empty() ? "unknown" : node.c_str());
                announced = true;
            }
        }

        pollfd pfds[2] = {{fd, POLLIN, 0}, {keyboard, POLLIN, 0}};
        const int ready = poll(pfds, keyboard >= 0 ? 2 : 1, announced ? 500 : 20);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "rcprog-virtual-receiver: poll failed: %s\n",
                         std::strerror(errno));
            status = 1;
            break;
        }
        uhid_event event{};
        if (keyboard >= 0 && (pfds[1].revents & POLLIN)) {
            if (!readEvent(keyboard, event)) {
                status = 1;
                break;
            }
            serveEvent(keyboard, event, kKeyboardVoice, nullptr);
        }
        if (!(pfds[0].revents & POLLIN))
            continue;
        if (!readEvent(fd, event)) {
            status = 1;
            break;
        }
        if (serveEvent(fd, event, configurationVoice, &started))
            ++reports;
    }

    destroyDevice(fd);
    close(fd);
    if (keyboard >= 0) {
        destroyDevice(keyboard);
        close(keyboard);
    }
    return status;
}
