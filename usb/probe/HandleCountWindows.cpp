// Windows: the process's open handles, counted twice: by GetProcessHandleCount, and by the
// entries of the system handle table that belong to this process.

#include "HandleCount.h"

#include "WindowsApi.h"
#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace rcprog::probe {

namespace {

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

std::optional<unsigned long> countTableHandles()
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
        return std::nullopt;
    HandleTableHeader header;
    std::memcpy(&header, buffer.data(), sizeof(header));
    const std::size_t room = (buffer.size() - sizeof(header)) / sizeof(HandleTableEntry);
    const std::size_t entries = std::min<std::size_t>(header.numberOfHandles, room);
    const ULONG_PTR self = GetCurrentProcessId();
    unsigned long count = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        HandleTableEntry entry;
        std::memcpy(&entry, buffer.data() + sizeof(header) + i * sizeof(entry), sizeof(entry));
        if (entry.uniqueProcessId == self)
            ++count;
    }
    return count;
}

} // namespace

HandleCount countHandles()
{
    HandleCount result;
    DWORD processCount = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &processCount) != FALSE)
        result.process = processCount;
    result.table = countTableHandles();
    return result;
}

} // namespace rcprog::probe
