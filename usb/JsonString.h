#pragma once

#include <QString>

// `s` as a JSON string, quotes included: quotes, backslashes, control characters and UTF-16
// surrogates escaped, so that the text stays valid JSON in any encoding of it. `rcprog-cli
// record` and the pass log write their strings through here.
QString jsonString(const QString &s);
