#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The toolkit's INI reader decodes a value written as @Variant(...) or @DateTime(...) from a data
// stream into whatever type the process has registered (in the window, with the GUI library
// loaded, images among them), and it does so while it parses the file. No hand-written
// configuration holds such a value, so the loader refuses a file with one before the reader sees
// it. This finds such values in the raw text, reading it as the reader does: its lines (quoted
// line breaks and a backslash at the end of a line continue a value, an unquoted ';' ends it),
// the blanks it skips, its quotes and backslash escapes ("\x40" and "\100" are '@', a backslash
// before any other character drops it) and its comma-separated lists, whose elements it decodes
// one by one.

struct EncodedValue
{
    int line = 0; // 1-based line of the key whose value it is
    QString form; // "@Variant(" or "@DateTime("
};

// The first value (or element of a comma list) of the INI text `data` that the reader would
// decode from a data stream; nothing when there is none. Bytes that are not ASCII are left out
// before the test, so that no way of decoding them can hide a value: a text such as "é@Variant("
// is refused too, which no configuration holds either.
std::optional<EncodedValue> findEncodedValue(const QByteArray &data);
