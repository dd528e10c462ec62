#include "Application.h"
#include "StartOptions.h"
#include "SystemHidPlatform.h"

int main(int argc, char *argv[])
{
    CommandLine commandLine(QStringLiteral("rcprog"), windowHelp());
    // The help needs no display, so it is answered before the toolkit starts.
    if (commandLine.helpRequested(processArguments(argc, argv))) {
        commandLine.printHelp();
        return 0;
    }
    Application app(argc, argv, rcprog::createSystemHidPlatform(),
                    [&commandLine](const QStringList &arguments) {
                        return commandLine.startOptionsFrom(arguments);
                    });
    if (app.startStatus() != 0)
        return app.startStatus();
    QApplication::setQuitOnLastWindowClosed(true);
    return app.exec();
}
