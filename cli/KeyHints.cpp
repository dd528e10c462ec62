#include "KeyHints.h"

#include "ConfigurationKeys.h"
#include "ConfigurationRecord.h"

#include <QRegularExpression>

#include <algorithm>
#include <vector>

int editDistance(const QString &a0, const QString &b0)
{
    const QString a = a0.toLower(), b = b0.toLower();
    const qsizetype n = a.size(), m = b.size();
    std::vector<std::vector<int>> d(size_t(n + 1), std::vector<int>(size_t(m + 1)));
    for (qsizetype i = 0; i <= n; ++i)
        d[size_t(i)][0] = int(i);
    for (qsizetype j = 0; j <= m; ++j)
        d[0][size_t(j)] = int(j);
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const size_t si = size_t(i), sj = size_t(j);
            const int cost = a.at(i - 1) == b.at(j - 1) ? 0 : 1;
            d[si][sj] = std::min({d[si - 1][sj] + 1, d[si][sj - 1] + 1, d[si - 1][sj - 1] + cost});
            if (i > 1 && j > 1 && a.at(i - 1) == b.at(j - 2) && a.at(i - 2) == b.at(j - 1))
                d[si][sj] = std::min(d[si][sj], d[si - 2][sj - 2] + 1);
        }
    }
    return d[size_t(n)][size_t(m)];
}

std::optional<QString> nearest(const QString &word, const QStringList &candidates)
{
    std::optional<QString> best;
    int bestDistance = std::max<int>(2, int(word.size() / 3)) + 1;
    for (const QString &c : candidates) {
        const int d = editDistance(word, c);
        if (d < bestDistance) {
            bestDistance = d;
            best = c;
        }
    }
    return best;
}

QString numberedKeyHint(const QString &key)
{
    static const QRegularExpression rc(QStringLiteral("^rc(\\d+)(.+)$"));
    static const QRegularExpression table(QStringLiteral("^key(\\d+)$"));
    static const QRegularExpression macro(QStringLiteral("^macro(\\d+)$"));
    if (auto m = rc.match(key);
        m.hasMatch() && remoteControlKeySuffixes().contains(m.captured(2))) {
        const int n = m.captured(1).toInt();
        if (n < 1 || n > ConfigurationRecord::kRemoteControls)
            return QStringLiteral("; remote controls run from %1 to %2")
                    .arg(remoteControlKey(1, QStringView()),
                         remoteControlKey(ConfigurationRecord::kRemoteControls, QStringView()));
        return QStringLiteral("; did you mean '%1'?").arg(remoteControlKey(n, m.captured(2)));
    }
    if (auto m = table.match(key); m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n >= BlockIndex::kKeyTableKeys)
            return QStringLiteral("; the key table runs from %1 to %2")
                    .arg(keyTableKey(0), keyTableKey(BlockIndex::kKeyTableKeys - 1));
        return QStringLiteral("; did you mean '%1'?").arg(keyTableKey(n));
    }
    if (auto m = macro.match(key); m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n < 1 || n > BlockIndex::kMacroKeys)
            return QStringLiteral("; macros run from %1 to %2")
                    .arg(macroKey(1), macroKey(BlockIndex::kMacroKeys));
        return QStringLiteral("; did you mean '%1'?").arg(macroKey(n));
    }
    return QString();
}
