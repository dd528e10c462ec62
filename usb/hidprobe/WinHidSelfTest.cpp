// rcprog-winhid-selftest: checks of the Windows backend that need no HID device. Named pipes
// stand in for a device: the open errors the backend reports, a report write that completes and
// one that never does (the time-out), and that none of it leaves a handle open. One line per
// check, "check NAME: ok" or "check NAME: FAILED - DETAIL".
//
// Exit status: 0 when every check passed, 1 otherwise, 2 when given arguments.

#include "HandleCount.h"
#include "ProbeOutput.h"
#include "WinHid.h"

#include "WindowsApi.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using rcprog::HidHandle;
using rcprog::kNullHandle;
using rcprog::OpenError;
using rcprog::probe::openErrorName;

const rcprog::probe::LineSink output = rcprog::probe::standardOutput();
int checksFailed = 0;

void check(const char *name, bool ok, const std::string &detail = std::string())
{
    output(rcprog::probe::verdictLine(std::string("check ") + name, ok, detail));
    if (!ok)
        ++checksFailed;
}

std::string pipeName(const char *purpose)
{
    return "\\\\.\\pipe\\rcprog-winhid-selftest-" + std::to_string(GetCurrentProcessId()) + "-"
           + purpose;
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

} // namespace

int main(int argc, char **)
{
    using namespace rcprog::probe;

    if (argc > 1) {
        std::fprintf(stderr, "usage: rcprog-winhid-selftest\n");
        return 2;
    }

    rcprog::WinHid backend;
    const HandleCount before = countHandles();
    checkOpenErrors(backend);
    checkWriteCompletes(backend);
    checkWriteTimesOut(backend);
    const HandleCount after = countHandles();
    output(handlesLine("before", before));
    output(handlesLine("after", after));
    std::string detail;
    check("no-handle-left", handlesBalanced(before, after, detail), detail);
    return checksFailed == 0 ? 0 : 1;
}
