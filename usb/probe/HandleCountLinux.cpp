// Linux: the process's file descriptors are the entries of /proc/self/fd.

#include "HandleCount.h"

#include <dirent.h>

namespace rcprog::probe {

HandleCount countHandles()
{
    HandleCount result;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return result;
    unsigned long count = 0;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(dir);
    // The directory stream's own descriptor is one of the entries.
    result.process = count > 0 ? count - 1 : 0;
    return result;
}

} // namespace rcprog::probe
