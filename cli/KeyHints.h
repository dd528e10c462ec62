#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Suggestions for misspelt group and key names.

// Edit distance with adjacent transpositions counted as one edit, ignoring case.
int editDistance(const QString &a, const QString &b);

// The candidate nearest to `word`, if it is near enough to be a likely misspelling; the first
// of several equally near ones.
std::optional<QString> nearest(const QString &word, const QStringList &candidates);

// For a numbered key written with the wrong number of digits or a number out of range, the
// message tail that says so; empty when `key` is not of a numbered family.
QString numberedKeyHint(const QString &key);
