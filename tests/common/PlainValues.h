#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

// What the toolkit's INI reader gives for the values of a file the loader accepts: text, a list
// of texts, or one of the few types it builds from their own spelling (@ByteArray(...),
// @Invalid(), @Rect(...), @Size(...), @Point(...)); never an object read from a data stream
// (@Variant(...), @DateTime(...)).
inline bool isPlainIniValue(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::UnknownType:
    case QMetaType::QString:
    case QMetaType::QStringList:
    case QMetaType::QByteArray:
    case QMetaType::QRect:
    case QMetaType::QSize:
    case QMetaType::QPoint:
        return true;
    case QMetaType::QVariantList:
        for (const QVariant &element : value.toList())
            if (!isPlainIniValue(element))
                return false;
        return true;
    default:
        return false;
    }
}

// The first key of the INI file at `path` whose value the reader decodes into anything else;
// empty when there is none. Reads the file with the reader: only for files the loader accepted,
// or made by a test.
inline QString firstDecodedKey(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    for (const QString &key : settings.allKeys()) {
        // An empty key name cannot be asked for.
        if (!key.isEmpty() && !key.endsWith(u'/') && !isPlainIniValue(settings.value(key)))
            return key;
    }
    return QString();
}
