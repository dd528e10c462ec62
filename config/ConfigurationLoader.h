#pragma once

#include "ConfigurationRecord.h"

#include <QString>

enum class LoadStatus {
    Loaded, // the record was filled from the file
    NotFound, // no file exists at the path
    Unreadable, // something exists at the path but cannot be read as a file, or it holds a value
                // that the INI reader would decode as an object
};

// Why a file was refused as unreadable, where one line is the reason: a value that the INI
// reader would decode as an object (see EncodedValues.h). Line 0: the file as a whole.
struct LoadDetail
{
    int line = 0;
    QString encodedForm; // "@Variant(" or "@DateTime("
};

// Folder, relative to the working directory, that holds the configuration files.
inline const QString kConfigurationFolder = QStringLiteral("configfiles");

// Path of the configuration file with the given base name: "configfiles/" + name + ".ini".
QString configurationFilePath(const QString &baseName);

// Reads the INI configuration file at `path` into `record`. Every field is rewritten from the
// file: missing keys take their defaults, integers that are not decimal read as 0. On NotFound
// and Unreadable the record is left untouched, and `detail` (when given) says which line made
// the file unreadable.
LoadStatus loadConfiguration(const QString &path, ConfigurationRecord &record,
                             LoadDetail *detail = nullptr);

// What a refused load says: "configuration file not found: " or "cannot read configuration
// file: " and the path, and for a refused line ": line N: " and why; empty for Loaded.
QString loadErrorText(LoadStatus status, const QString &path, const LoadDetail &detail = {});

// The record as a file without any of the keys would leave it.
ConfigurationRecord defaultConfiguration();
