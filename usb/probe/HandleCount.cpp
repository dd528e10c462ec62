#include "HandleCount.h"

namespace rcprog::probe {

bool handlesBalanced(const HandleCount &before, const HandleCount &after, std::string &detail)
{
    const bool processUsable
            = before.process && after.process && *before.process > 0 && *after.process > 0;
    const bool tableUsable = before.table && after.table;
    if (!processUsable && !tableUsable) {
        detail = "no usable handle count";
        return false;
    }
    if (processUsable && *after.process > *before.process) {
        detail = std::to_string(*after.process - *before.process)
                 + " handles left open (GetProcessHandleCount)";
        return false;
    }
    if (tableUsable && *after.table > *before.table) {
        detail = std::to_string(*after.table - *before.table)
                 + " handles left open (system handle table)";
        return false;
    }
    if (!processUsable)
        detail = "GetProcessHandleCount reports 0 here; checked on the system handle table";
    return true;
}

} // namespace rcprog::probe
