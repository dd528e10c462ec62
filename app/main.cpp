#include "Application.h"
#include "SystemHidPlatform.h"

int main(int argc, char *argv[])
{
    Application app(argc, argv, rcprog::createSystemHidPlatform());
    QApplication::setQuitOnLastWindowClosed(true);
    return app.exec();
}
