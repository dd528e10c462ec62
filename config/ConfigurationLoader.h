#pragma once

#include "ConfigurationRecord.h"

#include <QString>

enum class LoadStatus {
    Loaded, // the record was filled from the file
    NotFound, // no file exists at the path
    Unreadable, // something exists at the path but cannot be read as a file, or it holds a value
                // that the INI reader would decode as an object
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

// What a load found out beside the record. Loaded: the file it read. Unreadable for one line's
// sake: that line and the reason, a value that the INI reader would decode as an object (see
// EncodedValues.h); line 0 for the file as a whole.
struct LoadDetail
{
    ConfigurationSource source; // on Loaded
    int line = 0;
    QString encodedForm; // "@Variant(" or "@DateTime("
};

// Reads the INI configuration file at `path` into `record`. Every field is rewritten from the
// file: missing keys take their defaults, integers that are not decimal read as 0. On NotFound
// and Unreadable the record is left untouched. `detail` (when given) names the file that was
// loaded, or the line that made it unreadable. The check for encoded values and the digest are
// made from one reading of the file's bytes, right before the INI reader parses it.
LoadStatus loadConfiguration(const QString &path, ConfigurationRecord &record,
                             LoadDetail *detail = nullptr);

// What a refused load says: "configuration file not found: " or "cannot read configuration
// file: " and the path, and for a refused line ": line N: " and why; empty for Loaded.
QString loadErrorText(LoadStatus status, const QString &path, const LoadDetail &detail = {});

// The record as a file without any of the keys would leave it.
ConfigurationRecord defaultConfiguration();
