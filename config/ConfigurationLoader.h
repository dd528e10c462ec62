#pragma once

#include "ConfigurationRecord.h"

#include <QString>

enum class LoadStatus {
    Loaded, // the record was filled from the file
    NotFound, // no file exists at the path
    Unreadable, // something exists at the path but cannot be read as a file
};

// Folder, relative to the working directory, that holds the configuration files.
inline const QString kConfigurationFolder = QStringLiteral("configfiles");

// Path of the configuration file with the given base name: "configfiles/" + name + ".ini".
QString configurationFilePath(const QString &baseName);

// The file a record was loaded from: its absolute path, and the SHA-256 of its bytes as the load
// read them (64 lower-case hex digits). Empty for a record that no file gave.
struct ConfigurationSource
{
    QString path;
    QString sha256;
};

// Reads the INI configuration file at `path` into `record`. Every field is rewritten from the
// file: missing keys take their defaults, integers that are not decimal read as 0. On NotFound
// and Unreadable the record is left untouched. On Loaded, *source (when given) names the file.
LoadStatus loadConfiguration(const QString &path, ConfigurationRecord &record,
                             ConfigurationSource *source = nullptr);

// What a refused load says: "configuration file not found: " or "cannot read configuration
// file: " and the path; empty for Loaded.
QString loadErrorText(LoadStatus status, const QString &path);

// The record as a file without any of the keys would leave it.
ConfigurationRecord defaultConfiguration();
