#pragma once

#include <QStringList>

// rcprog-cli check FILE...: reports problems in configuration files on stderr as
// "FILE:LINE: error|warning: message"; returns the exit status (1 when any error was found,
// 2 when a file is missing or unreadable, 0 otherwise).
int runCheck(const QStringList &files);
