// rcprog-kernel-station: the connection monitor and the programming thread on the system's HID
// platform, headless, in automatic mode: every receiver that connects is programmed with FILE,
// loaded afresh on each connect exactly as the window's "automatic programm" loads it.
//
//   rcprog-kernel-station FILE [--passes N] [--seconds S]
//
// Prints one line per signal of the threads, as the window would react to it:
//
//   connected name="NAME"      updateUsb1, with the product name the link holds
//   disconnected               updateUsb2
//   updated                    updateUsb3: a pass in which every write succeeded
//   access denied              updateUsb4
//   timeout                    S seconds passed before N passes were updated
//
// Exits 0 once N passes (default 1) were updated, 1 on the time-out (default 60 s), 2 for bad
// arguments or a file that cannot be loaded.
#include "ConfigurationLoader.h"
#include "DeviceLink.h"
#include "ProgrammingPass.h"
#include "RecordHandOver.h"
#include "SystemHidPlatform.h"
#include "UsbConnection.h"
#include "UsbReceiverDots.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString file;
    int passes = 1;
    int seconds = 60;
    for (int i = 0; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == QLatin1String("--passes") && i + 1 < args.size())
            passes = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = args[++i].toInt(&ok);
        else if (file.isEmpty() && !args[i].startsWith(QLatin1Char('-')))
            file = args[i];
        else
            ok = false;
        if (!ok || passes < 1 || seconds < 1) {
            std::fputs("usage: rcprog-kernel-station FILE [--passes N] [--seconds S]\n", stderr);
            return 2;
        }
    }
    ConfigurationRecord probe;
    if (file.isEmpty() || loadConfiguration(file, probe) != LoadStatus::Loaded) {
        std::fputs("rcprog-kernel-station: no configuration file to load\n", stderr);
        return 2;
    }

    DeviceLink link(rcprog::createSystemHidPlatform());
    RecordHandOver handOver;
    std::vector<std::uint8_t> reportBuffer(reportBufferSize(8), 0);
    std::uint32_t bytesWritten = 0;
    UsbConnection connection(link);
    UsbReceiverDots dots(link, handOver, reportBuffer, bytesWritten);

    int updated = 0;
    QObject::connect(
            &connection, &UsbConnection::updateUsb1, &app,
            [&] {
                say(QStringLiteral("connected name=\"%1\"").arg(link.productName()));
                ConfigurationRecord record;
                if (loadConfiguration(file, record) == LoadStatus::Loaded)
                    handOver.publish(std::move(record));
            },
            Qt::QueuedConnection);
    QObject::connect(
            &connection, &UsbConnection::updateUsb2, &app,
            [] { say(QStringLiteral("disconnected")); }, Qt::QueuedConnection);
    QObject::connect(
            &connection, &UsbConnection::updateUsb4, &app,
            [] { say(QStringLiteral("access denied")); }, Qt::QueuedConnection);
    QObject::connect(
            &dots, &UsbReceiverDots::updateUsb3, &app,
            [&] {
                say(QStringLiteral("updated"));
                if (++updated == passes)
                    app.exit(0);
            },
            Qt::QueuedConnection);
    QTimer::singleShot(seconds * 1000, &app, [&] {
        say(QStringLiteral("timeout"));
        app.exit(1);
    });

    connection.start();
    dots.start();
    const int status = app.exec();
    connection.requestStop();
    dots.requestStop();
    connection.wait();
    dots.wait();
    return status;
}
