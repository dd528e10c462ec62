// rcprog-sim: the window and its threads over a simulated receiver, for trying the tool
// without hardware. Every pass the receiver gets is printed on stdout, decoded.
#include "Application.h"
#include "PassDecoder.h"
#include "SimulatedHid.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <optional>

namespace {

const std::string kPath = "sim:receiver";

struct Options
{
    int plugAfterMs = 3000;
    std::optional<int> unplugAfterMs;
    QString product;
};

// Parses the options before any window or thread exists, with a core application of its own
// that is gone again afterwards: --help and a bad option end the program here, with nothing
// running. Returns the exit status for such an end, or nothing to go on.
std::optional<int> parseOptions(int argc, char *argv[], Options &options)
{
    QCoreApplication parsing(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("The rcprog window over a simulated receiver. Every pass the receiver "
                           "gets is printed on stdout, decoded."));
    parser.addHelpOption();
    const QCommandLineOption plugAfter(QStringLiteral("plug-after"),
                                       QStringLiteral("Plug the receiver in after S seconds "
                                                      "(default 3)."),
                                       QStringLiteral("S"), QStringLiteral("3"));
    const QCommandLineOption unplugAfter(QStringLiteral("unplug-after"),
                                         QStringLiteral("Unplug it again S seconds after start."),
                                         QStringLiteral("S"));
    const QCommandLineOption product(
            QStringLiteral("product"), QStringLiteral("Product string of the receiver."),
            QStringLiteral("NAME"), QStringLiteral("USB remote control receiver"));
    parser.addOptions({plugAfter, unplugAfter, product});
    parser.process(parsing); // --help and errors end the process, before anything started

    const auto milliseconds = [&](const QCommandLineOption &option) -> std::optional<int> {
        bool ok = false;
        const double s = parser.value(option).toDouble(&ok);
        if (!ok || s < 0) {
            std::fprintf(stderr, "rcprog-sim: --%s takes a number of seconds\n",
                         qPrintable(option.names().constFirst()));
            return std::nullopt;
        }
        return int(s * 1000);
    };
    const std::optional<int> plug = milliseconds(plugAfter);
    if (!plug)
        return 2;
    options.plugAfterMs = *plug;
    if (parser.isSet(unplugAfter)) {
        options.unplugAfterMs = milliseconds(unplugAfter);
        if (!options.unplugAfterMs)
            return 2;
    }
    options.product = parser.value(product);
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    Options options;
    if (const std::optional<int> status = parseOptions(argc, argv, options))
        return *status;

    auto hid = std::make_shared<rcprog::SimulatedHid>();
    Application app(argc, argv, hid);
    QApplication::setQuitOnLastWindowClosed(true);

    rcprog::SimulatedHid::Interface receiver;
    receiver.path = kPath;
    receiver.productString = options.product.toStdU16String();
    QTimer::singleShot(options.plugAfterMs, &app, [hid, receiver] {
        hid->plug(receiver);
        std::printf("receiver plugged in: %s\n",
                    QString::fromStdU16String(receiver.productString).toUtf8().constData());
        std::fflush(stdout);
    });
    if (options.unplugAfterMs) {
        QTimer::singleShot(*options.unplugAfterMs, &app, [hid] {
            hid->unplug(kPath);
            std::printf("receiver unplugged\n");
            std::fflush(stdout);
        });
    }

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
