// rcprog-sim: the window and its threads over a simulated receiver, for trying the tool
// without hardware. Every pass the receiver gets is printed on stdout, decoded, and so is every
// new text of the window's status lines.
#include "Application.h"
#include "MainWindow.h"
#include "PassDecoder.h"
#include "SimulatedHid.h"
#include "StartOptions.h"

#include <QCommandLineOption>
#include <QLabel>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <optional>

namespace {

const std::string kPath = "sim:receiver";

const char kSimHelpHead[]
        = "Usage: rcprog-sim [OPTION]...\n"
          "\n"
          "Shows the rcprog window over a simulated receiver, to try the tool without\n"
          "hardware. Started in a directory with a folder configfiles, it lists those\n"
          "files as rcprog does. The receiver is plugged in 3 s after start, and every\n"
          "pass it gets is printed on stdout, decoded: the blocks with their IDs and\n"
          "counts, their bytes, the product name and the pauses as observed. Each new\n"
          "text of the window's status lines is printed too, as \"window label: TEXT\"\n"
          "or \"window label2: TEXT\".\n"
          "\n"
          "Options:\n";

const char kSimHelpTail[]
        = "  --plug-after S      Plug the receiver in after S seconds (default 3).\n"
          "  --unplug-after S    Unplug it again S seconds after start.\n"
          "  --product NAME      The receiver's product string (default \"USB remote control\n"
          "                      receiver\").\n"
          "  -h, --help          Show this text.\n"
          "\n"
          "Exit status:\n"
          "  0                   The window was closed, or the help was shown.\n"
          "  2                   An unknown option or argument, a value that is not a number\n"
          "                      of seconds, or a --select NAME that the list does not show;\n"
          "                      the window does not open.\n";

} // namespace

int main(int argc, char *argv[])
{
    CommandLine commandLine(QStringLiteral("rcprog-sim"),
                            QString::fromUtf8(kSimHelpHead) + startOptionsHelp()
                                    + QString::fromUtf8(kSimHelpTail));
    const QCommandLineOption plugAfter(QStringLiteral("plug-after"), QString(), QStringLiteral("S"),
                                       QStringLiteral("3"));
    const QCommandLineOption unplugAfter(QStringLiteral("unplug-after"), QString(),
                                         QStringLiteral("S"));
    const QCommandLineOption product(QStringLiteral("product"), QString(), QStringLiteral("NAME"),
                                     QStringLiteral("USB remote control receiver"));
    commandLine.addOption(plugAfter);
    commandLine.addOption(unplugAfter);
    commandLine.addOption(product);
    // The help needs no display, so it is answered before the toolkit starts.
    if (commandLine.helpRequested(processArguments(argc, argv))) {
        commandLine.printHelp();
        return 0;
    }

    // All arguments are read before the window and the threads start.
    int plugMs = 0;
    std::optional<int> unplugMs;
    const auto check = [&](const QStringList &arguments) -> std::optional<StartOptions> {
        if (!commandLine.parse(arguments))
            return std::nullopt;
        const auto milliseconds = [&](const QCommandLineOption &option) -> std::optional<int> {
            bool ok = false;
            const double s = commandLine.value(option).toDouble(&ok);
            if (!ok || s < 0) {
                commandLine.printError(QStringLiteral("--%1 takes a number of seconds")
                                               .arg(option.names().constFirst()));
                return std::nullopt;
            }
            return int(s * 1000);
        };
        const std::optional<int> plug = milliseconds(plugAfter);
        if (!plug)
            return std::nullopt;
        plugMs = *plug;
        if (commandLine.isSet(unplugAfter)) {
            unplugMs = milliseconds(unplugAfter);
            if (!unplugMs)
                return std::nullopt;
        }
        return commandLine.startOptions();
    };

    auto hid = std::make_shared<rcprog::SimulatedHid>();
    Application app(argc, argv, hid, check);
    if (app.startStatus() != 0)
        return app.startStatus();
    QApplication::setQuitOnLastWindowClosed(true);

    rcprog::SimulatedHid::Interface receiver;
    receiver.path = kPath;
    receiver.productString = commandLine.value(product).toStdU16String();
    QTimer::singleShot(plugMs, &app, [hid, receiver] {
        hid->plug(receiver);
        std::printf("receiver plugged in: %s\n",
                    QString::fromStdU16String(receiver.productString).toUtf8().constData());
        std::fflush(stdout);
    });
    if (unplugMs) {
        QTimer::singleShot(*unplugMs, &app, [hid] {
            hid->unplug(kPath);
            std::printf("receiver unplugged\n");
            std::fflush(stdout);
        });
    }

    // Print what the window's two status lines show, whenever one of them shows a new text, so
    // that a run can be followed (and tested) without looking at the window.
    QString shown[2];
    QTimer statusWatch;
    QObject::connect(&statusWatch, &QTimer::timeout, &app, [&app, &shown] {
        if (!app.mainWindow)
            return;
        const QLabel *labels[2] = {app.mainWindow->label, app.mainWindow->label2};
        for (int i = 0; i < 2; ++i) {
            const QString text = labels[i]->text();
            if (text == shown[i])
                continue;
            shown[i] = text;
            if (text.isEmpty())
                continue;
            std::printf("window %s: %s\n", labels[i]->objectName().toUtf8().constData(),
                        text.toUtf8().constData());
            std::fflush(stdout);
        }
    });
    statusWatch.start(50);

    // Print each pass once it is complete (its closing report arrived, or nothing came for a
    // while after a pass that did not close).
    std::size_t printed = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [hid, &printed] {
        const auto reports = hid->reports();
        if (reports.empty())
            return;
        const auto start = reports.front().time;
        std::vector<ReceivedReport> received;
        for (const auto &r : reports)
            received.push_back(
                    {r.bytes, std::chrono::duration<double, std::milli>(r.time - start).count()});
        const auto quiet
                = std::chrono::steady_clock::now() - reports.back().time > std::chrono::seconds(2);
        const std::vector<DecodedPass> passes = decodePasses(received);
        for (std::size_t i = printed; i < passes.size(); ++i) {
            const bool complete = passes[i].closed || i + 1 < passes.size() || quiet;
            if (!complete)
                break;
            std::printf("%s\n", describePass(passes[i]).toUtf8().constData());
            std::fflush(stdout);
            printed = i + 1;
        }
    });
    watch.start(200);

    return app.exec();
}
