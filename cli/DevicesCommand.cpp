// rcprog-cli devices [--json]
#include "CliCommon.h"
#include "Commands.h"
#include "DeviceSearch.h"
#include "InterfaceSurvey.h"
#include "JsonString.h"

#include <QCommandLineParser>

using namespace cli;

namespace {

// "ok", "access denied", "system device" or "error".
QString openStatus(const rcprog::InterfaceSeen &seen)
{
    if (seen.opened)
        return QStringLiteral("ok");
    switch (seen.openError) {
    case rcprog::OpenError::AccessDenied:
        return QStringLiteral("access denied");
    case rcprog::OpenError::SystemDevice:
        return QStringLiteral("system device");
    case rcprog::OpenError::None:
    case rcprog::OpenError::Other:
        break;
    }
    return QStringLiteral("error");
}

// The product string as the interface gives it: UTF-16LE up to its NUL or the buffer's end.
QString productText(const rcprog::ProductStringBuffer &buffer)
{
    QString text;
    for (std::size_t unit = 0; unit + 1 < buffer.size(); unit += 2) {
        const char16_t c = char16_t(buffer[unit] | (buffer[unit + 1] << 8));
        if (c == 0)
            break;
        text += QChar(c);
    }
    return text;
}

// One interface's values, as text; null where it is unknown.
struct Row
{
    QString path;
    QString id; // "vvvv:pppp"
    QString length;
    QString product; // quoted
    QString status;
    bool receiver = false;
    bool usedByPass = false;
};

Row rowOf(const rcprog::SurveyedInterface &entry)
{
    const rcprog::InterfaceSeen &seen = entry.seen;
    Row row;
    row.path = QString::fromStdString(seen.path);
    if (seen.idsRead || seen.idsPeeked)
        row.id = QStringLiteral("%1:%2")
                         .arg(seen.vendorId, 4, 16, QLatin1Char('0'))
                         .arg(seen.productId, 4, 16, QLatin1Char('0'));
    if (seen.lengthRead)
        row.length = QString::number(seen.inputReportLength);
    if (seen.nameRead)
        row.product = jsonString(productText(seen.productString));
    row.status = openStatus(seen);
    row.receiver = entry.receiver;
    row.usedByPass = entry.usedByPass;
    return row;
}

QString orDash(const QString &value)
{
    return value.isNull() ? QStringLiteral("-") : value;
}

QString orNull(const QString &value)
{
    return value.isNull() ? QStringLiteral("null") : value;
}

QString jsonBool(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

int commandDevices(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption jsonOption(QStringLiteral("json"));
    const PlatformOptions platformOptions;
    parser.addOption(jsonOption);
    platformOptions.addTo(parser);
    if (!parser.parse(QStringList{QStringLiteral("devices")} + args)
        || !parser.positionalArguments().isEmpty())
        return usage();
    const std::shared_ptr<rcprog::HidPlatform> platform = platformOptions.create(parser);
    const std::vector<rcprog::SurveyedInterface> survey = rcprog::surveyInterfaces(
            *platform, rcprog::kReceiverVendorId, rcprog::kReceiverProductId);

    QString out;
    if (parser.isSet(jsonOption)) {
        QStringList objects;
        for (const rcprog::SurveyedInterface &entry : survey) {
            const Row row = rowOf(entry);
            objects << QStringLiteral("  {\"path\": %1, \"id\": %2, \"inputReportLength\": %3, "
                                      "\"product\": %4, \"open\": %5, \"receiver\": %6, "
                                      "\"usedByPass\": %7}")
                               .arg(jsonString(row.path),
                                    row.id.isNull() ? QStringLiteral("null") : jsonString(row.id),
                                    orNull(row.length), orNull(row.product), jsonString(row.status),
                                    jsonBool(row.receiver), jsonBool(row.usedByPass));
        }
        out = objects.isEmpty()
                      ? QStringLiteral("[]\n")
                      : QStringLiteral("[\n%1\n]\n").arg(objects.join(QStringLiteral(",\n")));
    } else {
        for (const rcprog::SurveyedInterface &entry : survey) {
            const Row row = rowOf(entry);
            QStringList fields{row.path, orDash(row.id), orDash(row.length), orDash(row.product),
                               row.status};
            if (row.usedByPass)
                fields << QStringLiteral("receiver, used by a pass");
            else if (row.receiver)
                fields << QStringLiteral("receiver");
            out += fields.join(QStringLiteral("  ")) + QLatin1Char('\n');
        }
        if (survey.empty())
            printError(QStringLiteral("no HID interface present"));
    }
    printUtf8(stdout, out);
    return kExitOk;
}
