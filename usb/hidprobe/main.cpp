// rcprog-hidprobe: runs one device search pass over the Windows HID backend and lists every HID
// interface the pass examined, with the process handle count before and after the pass.
//
//   rcprog-hidprobe [--ids VVVV:PPPP] [--open] [--write HEXBYTES]
//   rcprog-hidprobe --self-test
//
// --ids       searches for other IDs than the receiver's 04B4:F231 (hexadecimal)
// --open      carries out the connect steps at the match, shows what they read, closes again
// --write     as --open, then writes one report (the bytes given, padded with zeros to the
//             device's report length) through the write handle
// --self-test checks the backend's error mapping and report writes on named pipes, without
//             any HID device
//
// Exit status: 0 on success, 1 when a handle was left open, a requested write failed or found
// no device, or a self-test check failed, 2 on a usage error.

#include "DeviceSearch.h"
#include "WinHid.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using rcprog::HidHandle;
using rcprog::kNullHandle;
using rcprog::OpenError;

// What the pass saw of one interface.
struct Examined
{
    std::string path;
    bool opened = false;
    OpenError openError = OpenError::None;
    bool idsRead = false;
    bool idsPeeked = false; // read through peekAttributes after a refused open
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool lengthRead = false;
    int inputReportLength = 0;
    bool nameRead = false;
    std::string productName;
};

// Passes every call through to the real backend and records, for each interface the search pass
// examines, what can be read through its probe handle. The length and product string are read
// just before the pass closes the probe handle, so the pass itself runs unchanged.
class RecordingPlatform : public rcprog::HidPlatform
{
public:
    explicit RecordingPlatform(rcprog::HidPlatform &inner) : inner_(inner) { }

    const std::vector<Examined> &examined() const { return examined_; }

    std::vector<std::string> listInterfaces() override { return inner_.listInterfaces(); }

    HidHandle open(const std::string &path, OpenError *error = nullptr) override
    {
        OpenError why = OpenError::None;
        const HidHandle handle = inner_.open(path, &why);
        if (error)
            *error = why;
        if (indexOf(path) < 0) { // the first open of a path in the pass is its probe handle
            Examined entry;
            entry.path = path;
            entry.opened = handle != kNullHandle;
            entry.openError = why;
            examined_.push_back(entry);
            if (handle != kNullHandle)
                probeHandles_[handle] = examined_.size() - 1;
        }
        return handle;
    }

    bool attributes(HidHandle handle, std::uint16_t &vendorId, std::uint16_t &productId) override
    {
        const bool ok = inner_.attributes(handle, vendorId, productId);
        const auto probe = probeHandles_.find(handle);
        if (ok && probe != probeHandles_.end()) {
            Examined &entry = examined_[probe->second];
            entry.idsRead = true;
            entry.vendorId = vendorId;
            entry.productId = productId;
        }
        return ok;
    }

    bool inputReportLength(HidHandle handle, int &length) override
    {
        return inner_.inputReportLength(handle, length);
    }

    bool productString(HidHandle handle, rcprog::ProductStringBuffer &buffer) override
    {
        return inner_.productString(handle, buffer);
    }

    void close(HidHandle handle) override
    {
        const auto probe = probeHandles_.find(handle);
        if (probe != probeHandles_.end()) {
            Examined &entry = examined_[probe->second];
            entry.lengthRead = inner_.inputReportLength(handle, entry.inputReportLength);
            rcprog::ProductStringBuffer buffer{};
            entry.nameRead = inner_.productString(handle, buffer);
            if (entry.nameRead)
                entry.productName = rcprog::productNameFromBuffer(buffer);
            probeHandles_.erase(probe);
        }
        inner_.close(handle);
    }

    bool write(HidHandle handle, const std::uint8_t *data, std::size_t length) override
    {
        return inner_.write(handle, data, length);
    }

    bool peekAttributes(const std::string &path, std::uint16_t &vendorId,
                        std::uint16_t &productId) override
    {
        const bool ok = inner_.peekAttributes(path, vendorId, productId);
        const int index = indexOf(path);
        if (ok && index >= 0) {
            Examined &entry = examined_[std::size_t(index)];
            entry.idsPeeked = true;
            entry.vendorId = vendorId;
            entry.productId = productId;
        }
        return ok;
    }

private:
    int indexOf(const std::string &path) const
    {
        for (std::size_t i = 0; i < examined_.size(); ++i)
            if (examined_[i].path == path)
                return int(i);
        return -1;
    }

    rcprog::HidPlatform &inner_;
    std::vector<Examined> examined_;
    std::map<HidHandle, std::size_t> probeHandles_;
};

// The process's open handles, counted twice: by GetProcessHandleCount, and by the entries of
// the system handle table that belong to this process. Wine answers GetProcessHandleCount with
// 0 whatever is open, so the table count is what tells a leak there.
struct HandleCount
{
    bool processCountRead = false;
    DWORD processCount = 0;
    bool tableCountRead = false;
    unsigned long tableCount = 0;
};

// SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX and SYSTEM_HANDLE_INFORMATION_EX, which the MinGW-w64
// headers do not declare.
struct HandleTableEntry
{
    PVOID object;
    ULONG_PTR uniqueProcessId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG handleAttributes;
    ULONG reserved;
};

struct HandleTableHeader
{
    ULONG_PTR numberOfHandles;
    ULONG_PTR reserved;
};

constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr NTSTATUS kStatusInfoLengthMismatch = NTSTATUS(0xC0000004L);

bool countTableHandles(unsigned long &count)
{
    std::vector<unsigned char> buffer(1 << 16);
    NTSTATUS status = kStatusInfoLengthMismatch;
    for (int attempt = 0; attempt < 8 && status == kStatusInfoLengthMismatch; ++attempt) {
        ULONG needed = 0;
        status = NtQuerySystemInformation(
                SYSTEM_INFORMATION_CLASS(kSystemExtendedHandleInformation), buffer.data(),
                ULONG(buffer.size()), &needed);
        if (status == kStatusInfoLengthMismatch)
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, std::size_t(needed) + 4096));
    }
    if (status != 0 || buffer.size() < sizeof(HandleTableHeader))
        return false;
    HandleTableHeader header;
    std::memcpy(&header, buffer.data(), sizeof(header));
    const std::size_t room = (buffer.size() - sizeof(header)) / sizeof(HandleTableEntry);
    const std::size_t entries = std::min<std::size_t>(header.numberOfHandles, room);
    const ULONG_PTR self = GetCurrentProcessId();
    count = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        HandleTableEntry entry;
        std::memcpy(&entry, buffer.data() + sizeof(header) + i * sizeof(entry), sizeof(entry));
        if (entry.uniqueProcessId == self)
            ++count;
    }
    return true;
}

HandleCount handleCount()
{
    HandleCount result;
    result.processCountRead
            = GetProcessHandleCount(GetCurrentProcess(), &result.processCount) != FALSE;
    result.tableCountRead = countTableHandles(result.tableCount);
    return result;
}

void printHandles(const char *when, const HandleCount &count)
{
    std::printf("handles %s: process-count=", when);
    if (count.processCountRead)
        std::printf("%lu", static_cast<unsigned long>(count.processCount));
    else
        std::printf("unreadable");
    std::printf(" table-count=");
    if (count.tableCountRead)
        std::printf("%lu\n", count.tableCount);
    else
        std::printf("unreadable\n");
}

// Fails when either count grew, and when neither count can tell anything (both unreadable, or
// GetProcessHandleCount at 0 without a table count: nothing can be open with no handle at all).
bool handlesBalanced(const HandleCount &before, const HandleCount &after, std::string &detail)
{
    const bool processUsable = before.processCountRead && after.processCountRead
                               && before.processCount > 0 && after.processCount > 0;
    const bool tableUsable = before.tableCountRead && after.tableCountRead;
    if (!processUsable && !tableUsable) {
        detail = "no usable handle count";
        return false;
    }
    if (processUsable && after.processCount > before.processCount) {
        detail = std::to_string(after.processCount - before.processCount)
                 + " handles left open (GetProcessHandleCount)";
        return false;
    }
    if (tableUsable && after.tableCount > before.tableCount) {
        detail = std::to_string(after.tableCount - before.tableCount)
                 + " handles left open (system handle table)";
        return false;
    }
    if (!processUsable)
        detail = "GetProcessHandleCount reports 0 here; checked on the system handle table";
    return true;
}

// Quotes a Latin-1 or UTF-8 byte string for one output line: printable ASCII as is, everything
// else and the double quote as \xNN.
std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '"') {
            out.push_back(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", unsigned(byte));
            out += escaped;
        }
    }
    out.push_back('"');
    return out;
}

const char *openErrorName(OpenError error)
{
    switch (error) {
    case OpenError::None:
        return "none";
    case OpenError::AccessDenied:
        return "access-denied";
    case OpenError::Other:
        return "other";
    }
    return "unknown";
}

void printExamined(const Examined &entry, int vendorId, int productId)
{
    std::printf("interface:");
    if (entry.opened)
        std::printf(" open=ok");
    else
        std::printf(" open=failed(%s)", openErrorName(entry.openError));
    if (entry.idsRead || entry.idsPeeked)
        std::printf(" vid=%04X pid=%04X", unsigned(entry.vendorId), unsigned(entry.productId));
    else
        std::printf(" vid=unreadable pid=unreadable");
    if (entry.lengthRead)
        std::printf(" input-report-length=%d", entry.inputReportLength);
    else if (entry.opened)
        std::printf(" input-report-length=unreadable");
    if (entry.nameRead)
        std::printf(" product=%s", quoted(entry.productName).c_str());
    else if (entry.opened)
        std::printf(" product=unreadable");
    const bool match = entry.opened && entry.idsRead && int(entry.vendorId) == vendorId
                       && int(entry.productId) == productId;
    std::printf(" match=%s path=%s\n", match ? "yes" : "no", quoted(entry.path).c_str());
}

bool parseIds(const std::string &text, int &vendorId, int &productId)
{
    unsigned vendor = 0, product = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%x:%x%c", &vendor, &product, &rest) != 2 || vendor > 0xFFFF
        || product > 0xFFFF)
        return false;
    vendorId = int(vendor);
    productId = int(product);
    return true;
}

bool parseHex(const std::string &text, std::vector<std::uint8_t> &bytes)
{
    if (text.empty() || text.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        char rest = 0;
        const std::string pair = text.substr(i, 2);
        if (std::strspn(pair.c_str(), "0123456789abcdefABCDEF") != 2
            || std::sscanf(pair.c_str(), "%2x%c", &value, &rest) != 1)
            return false;
        bytes.push_back(std::uint8_t(value));
    }
    return true;
}

int usage()
{
    std::fprintf(stderr, "usage: rcprog-hidprobe [--ids VVVV:PPPP] [--open] [--write HEXBYTES]\n"
                         "       rcprog-hidprobe --self-test\n");
    return 2;
}

// ---- the search pass -------------------------------------------------------------------------

int probe(int vendorId, int productId, bool connect, const std::vector<std::uint8_t> *report)
{
    rcprog::WinHid backend;
    RecordingPlatform platform(backend);

    std::printf("search: %04X:%04X (%s)\n", unsigned(vendorId), unsigned(productId),
                connect ? "search pass with connect steps" : "search pass");
    const HandleCount before = handleCount();
    printHandles("before", before);

    rcprog::OpenedDevice opened;
    const rcprog::SearchResult result
            = connect ? rcprog::openPass(platform, vendorId, productId, opened)
                      : rcprog::searchPass(platform, vendorId, productId);

    for (const Examined &entry : platform.examined())
        printExamined(entry, vendorId, productId);
    std::printf("interfaces examined: %zu\n", platform.examined().size());
    std::printf("result: %s%s\n", result.matched ? "matched" : "no match",
                result.accessDenied ? " (a matching interface refused access)" : "");

    bool failed = false;
    if (connect && result.matched) {
        std::printf("opened: report-data-length=%d product=%s\n", opened.reportDataLength,
                    quoted(opened.productName).c_str());
        printHandles("while open", handleCount());
        if (report) {
            std::vector<std::uint8_t> bytes = *report;
            const std::size_t reportLength = std::size_t(opened.reportDataLength) + 1;
            if (bytes.size() > reportLength) {
                std::printf("write: refused, %zu bytes given for reports of %zu bytes\n",
                            bytes.size(), reportLength);
                failed = true;
            } else {
                bytes.resize(reportLength, 0);
                const auto start = std::chrono::steady_clock::now();
                const bool ok = platform.write(opened.writeHandle, bytes.data(), bytes.size());
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - start)
                                        .count();
                std::printf("write: %zu bytes %s after %lld ms\n", bytes.size(),
                            ok ? "ok" : "failed", static_cast<long long>(ms));
                failed = !ok;
            }
        }
        platform.close(opened.infoHandle);
        platform.close(opened.writeHandle);
    } else if (report) {
        std::printf("write: nothing written, no matching device\n");
        failed = true;
    }

    const HandleCount after = handleCount();
    printHandles("after", after);
    std::string detail;
    const bool balanced = handlesBalanced(before, after, detail);
    std::printf("handle check: %s%s%s\n", balanced ? "ok" : "FAILED", detail.empty() ? "" : " - ",
                detail.c_str());
    return failed || !balanced ? 1 : 0;
}

// ---- self-test -------------------------------------------------------------------------------

int checksFailed = 0;

void check(const char *name, bool ok, const std::string &detail = std::string())
{
    std::printf("check %s: %s%s%s\n", name, ok ? "ok" : "FAILED", detail.empty() ? "" : " - ",
                detail.c_str());
    if (!ok)
        ++checksFailed;
}

std::string pipeName(const char *purpose)
{
    return "\\\\.\\pipe\\rcprog-hidprobe-" + std::to_string(GetCurrentProcessId()) + "-" + purpose;
}

HANDLE createPipeServer(const std::string &name, DWORD inboundQuota)
{
    const std::wstring wide(name.begin(), name.end()); // the names are ASCII
    return CreateNamedPipeW(wide.c_str(), PIPE_ACCESS_DUPLEX,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, inboundQuota,
                            0, nullptr);
}

void checkOpenErrors(rcprog::WinHid &backend)
{
    OpenError error = OpenError::None;
    HidHandle handle = backend.open("\\\\?\\hid#rcprog-no-such-device#0#{00000000-0000-0000-0000-"
                                    "000000000000}",
                                    &error);
    check("open-missing-path", handle == kNullHandle && error == OpenError::Other,
          std::string("error=") + openErrorName(error));
    backend.close(handle);

    error = OpenError::None;
    handle = backend.open("\xff\xfe", &error);
    check("open-invalid-utf8", handle == kNullHandle && error == OpenError::Other,
          std::string("error=") + openErrorName(error));
    backend.close(handle);

    // A directory cannot be opened as a file: Windows answers with ERROR_ACCESS_DENIED, the
    // error it also gives for an interface that another program holds exclusively.
    wchar_t directory[MAX_PATH + 1] = {};
    char utf8[4 * MAX_PATH] = {};
    if (!GetTempPathW(MAX_PATH, directory)
        || !WideCharToMultiByte(CP_UTF8, 0, directory, -1, utf8, int(sizeof(utf8)), nullptr,
                                nullptr)) {
        check("open-access-denied", false, "no temporary directory");
        return;
    }
    error = OpenError::None;
    handle = backend.open(utf8, &error);
    check("open-access-denied", handle == kNullHandle && error == OpenError::AccessDenied,
          std::string("error=") + openErrorName(error) + " path=" + utf8);
    backend.close(handle);
}

void checkWriteCompletes(rcprog::WinHid &backend)
{
    const std::string name = pipeName("read");
    const HANDLE server = createPipeServer(name, 4096);
    if (server == INVALID_HANDLE_VALUE) {
        check("write-completes", false, "no pipe");
        return;
    }
    const HidHandle client = backend.open(name);
    const std::uint8_t report[9] = {0x00, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA5};
    const bool written = client != kNullHandle && backend.write(client, report, sizeof(report));
    std::uint8_t received[16] = {};
    DWORD count = 0;
    const bool read = written && ReadFile(server, received, sizeof(received), &count, nullptr);
    check("write-completes",
          written && read && count == sizeof(report)
                  && std::memcmp(received, report, sizeof(report)) == 0,
          "written=" + std::to_string(written) + " received=" + std::to_string(count));
    backend.close(client);
    CloseHandle(server);
}

void checkWriteTimesOut(rcprog::WinHid &backend)
{
    // Nobody reads the pipe and the write is far larger than its buffer, so it never completes
    // by itself: the backend must give up after its time-out and cancel the request.
    const std::string name = pipeName("stall");
    const HANDLE server = createPipeServer(name, 1024);
    if (server == INVALID_HANDLE_VALUE) {
        check("write-times-out", false, "no pipe");
        return;
    }
    const HidHandle client = backend.open(name);
    const std::vector<std::uint8_t> block(1 << 20, 0x5A);
    const auto start = std::chrono::steady_clock::now();
    const bool written = client != kNullHandle && backend.write(client, block.data(), block.size());
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
    const long long timeout = static_cast<long long>(backend.writeTimeoutMs());
    // Generous upper bound: a loaded machine may be slow to wake the waiting thread.
    check("write-times-out",
          client != kNullHandle && !written && ms >= timeout - 100 && ms < timeout + 20000,
          "failed after " + std::to_string(ms) + " ms, time-out " + std::to_string(timeout)
                  + " ms");
    backend.close(client);
    CloseHandle(server);
}

int selfTest()
{
    rcprog::WinHid backend;
    const HandleCount before = handleCount();
    checkOpenErrors(backend);
    checkWriteCompletes(backend);
    checkWriteTimesOut(backend);
    const HandleCount after = handleCount();
    printHandles("before", before);
    printHandles("after", after);
    std::string detail;
    check("no-handle-left", handlesBalanced(before, after, detail), detail);
    return checksFailed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    int vendorId = rcprog::kReceiverVendorId;
    int productId = rcprog::kReceiverProductId;
    bool connect = false;
    bool haveReport = false;
    std::vector<std::uint8_t> report;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--self-test" && argc == 2) {
            return selfTest();
        } else if (arg == "--ids" && i + 1 < argc) {
            if (!parseIds(argv[++i], vendorId, productId))
                return usage();
        } else if (arg == "--open") {
            connect = true;
        } else if (arg == "--write" && i + 1 < argc) {
            if (!parseHex(argv[++i], report))
                return usage();
            connect = true;
            haveReport = true;
        } else {
            return usage();
        }
    }
    const int status = probe(vendorId, productId, connect, haveReport ? &report : nullptr);
    std::fflush(stdout);
    return status;
}
