#include "Check.h"

#include <cstdio>

int runCheck(const QStringList &files)
{
    (void)files;
    std::fputs("rcprog-cli: check is not implemented yet\n", stderr);
    return 2;
}
