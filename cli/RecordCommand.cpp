// rcprog-cli record FILE
#include "CliCommon.h"
#include "Commands.h"
#include "JsonString.h"

using namespace cli;

namespace {

template<typename Ints>
QString jsonInts(const Ints &values)
{
    QStringList parts;
    for (int v : values)
        parts << QString::number(v);
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

} // namespace

int commandRecord(const QStringList &args)
{
    const QStringList files = fileArguments(QStringLiteral("record"), args);
    if (files.size() != 1)
        return usage();
    ConfigurationRecord r;
    if (!load(files.at(0), r))
        return kExitUsage;
    QStringList blocks, flash;
    for (const auto &block : r.switchNameBlocks)
        blocks << jsonInts(block);
    for (const QString &f : r.flashData)
        flash << jsonString(f);
    QString out = QStringLiteral("{\n");
    out += QStringLiteral("  \"newNameOfDevice\": %1,\n").arg(jsonString(r.newNameOfDevice));
    out += QStringLiteral("  \"canChangeProductName\": %1,\n").arg(r.canChangeProductName);
    out += QStringLiteral("  \"configurationBlock\": %1,\n").arg(jsonInts(r.configurationBlock));
    out += QStringLiteral("  \"switchNameBlocks\": [\n    %1\n  ],\n")
                   .arg(blocks.join(QStringLiteral(",\n    ")));
    out += QStringLiteral("  \"boolRewritableFromSoftware\": %1,\n")
                   .arg(jsonInts(r.boolRewritableFromSoftware));
    out += QStringLiteral("  \"flashData\": [%1],\n").arg(flash.join(QStringLiteral(", ")));
    out += QStringLiteral("  \"flashMacro\": %1\n}\n").arg(jsonString(r.flashMacro));
    printUtf8(stdout, out);
    return kExitOk;
}
