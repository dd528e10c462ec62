#pragma once

#include <optional>
#include <string>

namespace rcprog::probe {

// How many handles (Windows) or file descriptors (Linux) the process holds, by each way the
// system has of counting them; a way that gave no answer is empty.
struct HandleCount
{
    // The process's own count: GetProcessHandleCount on Windows, the entries of /proc/self/fd
    // (less the one that reads the folder) on Linux.
    std::optional<unsigned long> process;
    // Windows only: the process's entries in the system handle table (NtQuerySystemInformation).
    // Wine answers GetProcessHandleCount with 0 whatever is open, so this is what tells a leak
    // there.
    std::optional<unsigned long> table;
};

// Counts now, by every way the system the program was built for offers.
HandleCount countHandles();

// Whether no handle was left open between two counts. Fails when either count grew, and when
// neither can tell anything (both unread, or a process count of 0 without a table count:
// nothing can be open with no handle at all). `detail` says why, or how it was checked when
// only the table count could be used; it is left empty otherwise.
bool handlesBalanced(const HandleCount &before, const HandleCount &after, std::string &detail);

} // namespace rcprog::probe
