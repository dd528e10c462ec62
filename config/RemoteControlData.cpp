#include "RemoteControlData.h"

namespace RemoteControlData {

namespace {

QString cutName(const QString &name)
{
    return name.left(kMaxNameLength);
}

// The byte at characters `pos` and `pos` + 1 of a flash image: 0 unless both characters exist
// and are hexadecimal digits.
int hexPairAt(const QString &image, int pos)
{
    if (pos + 1 >= image.size() || !isHexDigit(image.at(pos)) || !isHexDigit(image.at(pos + 1)))
        return 0;
    return image.mid(pos, 2).toInt(nullptr, 16);
}

} // namespace

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

int characterCode(QChar c)
{
    return c.unicode() <= 0xFF ? c.unicode() : 0;
}

QString twoHexDigits(qint64 v)
{
    const QString digits = QString::number(qulonglong(v), 16).toUpper().left(2);
    return digits.rightJustified(2, u'0');
}

ConfigurationRecord::NameBlock buildSwitchNameBlock(const QString &name)
{
    const QString cut = cutName(name);
    const int length = int(cut.size());
    ConfigurationRecord::NameBlock block{};
    block[1] = 1;
    block[5] = length + 1;
    block[6] = length;
    for (int j = 0; j < length; ++j)
        block[kNameRecordBytes + j] = characterCode(cut.at(j));
    return block;
}

QString rewriteFlashImage(const QString &image, const QString &name, int rewritable)
{
    if (image.isEmpty())
        return image;
    const QString cut = cutName(name);
    const int length = int(cut.size());
    const int a = hexPairAt(image, 10);
    const int b = hexPairAt(image, 12);

    QString result;
    result.reserve(image.size() + 2 * length);
    result += image.left(2);
    result += twoHexDigits(rewritable);
    result += image.mid(2 + 2, 6); // characters 4 ... 9
    result += twoHexDigits(qint64(length) + a - b);
    result += twoHexDigits(length);
    for (QChar c : cut)
        result += twoHexDigits(characterCode(c));
    const qsizetype rest = kNameRecordDigits + 2 * qsizetype(b);
    if (rest < image.size())
        result += image.mid(rest);
    return result;
}

} // namespace RemoteControlData
