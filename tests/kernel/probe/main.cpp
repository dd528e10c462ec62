// rcprog-hidraw-probe: looks at the hidraw interfaces of a running kernel through the project's
// Linux backend and prints what the device search sees, one fact per line, for the kernel test
// to judge:
//
//   interface path=P vendor=VVVV product=PPPP inputReportLength=N name="NAME" matched=yes|no
//   fds before=N
//   search matched=yes|no accessDenied=yes|no
//   fds afterSearch=N
//   open matched=yes|no reportDataLength=N name="NAME" infoHandle=yes|no writeHandle=yes|no
//   fds whileOpen=N
//   write n=I ok=yes|no                  (only with --writes N: N opening reports, 50 ms apart)
//   fds afterClose=N
//
// The fd counts are the entries of /proc/self/fd; a search pass must leave none behind, and an
// open pass exactly two (the info and the write handle) until they are closed.

#include "DeviceSearch.h"
#include "LinuxHidraw.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>

namespace {

int openFdCount()
{
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(dir);
    return count - 1; // the directory stream's own descriptor
}

const char *yesNo(bool value)
{
    return value ? "yes" : "no";
}

bool parseId(const char *text, int &id)
{
    if (!text)
        return false;
    errno = 0;
    char *end = nullptr;
    const long value = std::strtol(text, &end, 0);
    if (errno != 0 || *end != '\0' || value < 0 || value > 0xFFFF)
        return false;
    id = int(value);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    int vendorId = rcprog::kReceiverVendorId;
    int productId = rcprog::kReceiverProductId;
    std::string sysfsRoot = "/sys";
    std::string devRoot = "/dev";
    long writes = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (arg == "--vendor")
            ok = parseId(value, vendorId), ++i;
        else if (arg == "--product")
            ok = parseId(value, productId), ++i;
        else if (arg == "--sysfs" && value)
            sysfsRoot = value, ++i;
        else if (arg == "--dev" && value)
            devRoot = value, ++i;
        else if (arg == "--writes" && value)
            writes = std::strtol(value, nullptr, 10), ++i;
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr,
                         "Usage: rcprog-hidraw-probe [--vendor ID] [--product ID] [--sysfs DIR] "
                         "[--dev DIR] [--writes N]\n");
            return 2;
        }
    }

    rcprog::LinuxHidraw platform(sysfsRoot, devRoot);

    for (const std::string &path : platform.listInterfaces()) {
        const rcprog::HidHandle handle = platform.open(path);
        if (handle == rcprog::kNullHandle) {
            std::printf("interface path=%s open=failed\n", path.c_str());
            continue;
        }
        std::uint16_t vendor = 0, product = 0;
        const bool haveIds = platform.attributes(handle, vendor, product);
        int length = -1;
        if (!platform.inputReportLength(handle, length))
            length = -1;
        rcprog::ProductStringBuffer buffer{};
        if (!platform.productString(handle, buffer))
            buffer.fill(0);
        const bool matched = haveIds && vendor == vendorId && product == productId;
        std::printf("interface path=%s vendor=%04X product=%04X inputReportLength=%d name=\"%s\" "
                    "matched=%s\n",
                    path.c_str(), unsigned(vendor), unsigned(product), length,
                    rcprog::productNameFromBuffer(buffer).c_str(), yesNo(matched));
        platform.close(handle);
    }

    std::printf("fds before=%d\n", openFdCount());
    const rcprog::SearchResult search = rcprog::searchPass(platform, vendorId, productId);
    std::printf("search matched=%s accessDenied=%s\n", yesNo(search.matched),
                yesNo(search.accessDenied));
    std::printf("fds afterSearch=%d\n", openFdCount());

    rcprog::OpenedDevice opened;
    const rcprog::SearchResult open = rcprog::openPass(platform, vendorId, productId, opened);
    std::printf("open matched=%s reportDataLength=%d name=\"%s\" infoHandle=%s writeHandle=%s\n",
                yesNo(open.matched), open.matched ? opened.reportDataLength : -1,
                opened.productName.c_str(), yesNo(opened.infoHandle != rcprog::kNullHandle),
                yesNo(opened.writeHandle != rcprog::kNullHandle));
    std::printf("fds whileOpen=%d\n", openFdCount());
    for (long i = 1; open.matched && i <= writes; ++i) {
        // The opening report of a programming pass: report ID 0, 03 01, zeros.
        std::uint8_t report[65] = {0x00, 0x03, 0x01};
        const std::size_t length = std::size_t(opened.reportDataLength) + 1;
        const bool ok
                = length <= sizeof report && platform.write(opened.writeHandle, report, length);
        std::printf("write n=%ld ok=%s\n", i, yesNo(ok));
        std::fflush(stdout);
        usleep(50 * 1000);
    }
    if (opened.infoHandle != rcprog::kNullHandle)
        platform.close(opened.infoHandle);
    if (opened.writeHandle != rcprog::kNullHandle)
        platform.close(opened.writeHandle);
    std::printf("fds afterClose=%d\n", openFdCount());
    std::fflush(stdout);
    return 0;
}
