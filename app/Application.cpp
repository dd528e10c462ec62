#include "Application.h"

#include "MainWindow.h"
#include "ProgrammingPass.h"
#include "UsbConnection.h"
#include "UsbReceiverDots.h"

#include <QDebug>
#include <QMessageBox>
#include <QProcessEnvironment>
#include <QThread>

std::atomic<Application *> Application::instance_{nullptr};

namespace {

// How long a worker thread gets to end by itself once asked; only a thread stuck in a write
// that never returns is then terminated.
constexpr unsigned long kStopWaitMs = 2000;

template<typename Worker>
void stopThread(Worker *&worker)
{
    if (!worker)
        return;
    worker->requestStop();
    if (!worker->wait(kStopWaitMs)) {
        worker->terminate();
        worker->wait();
    }
    (void)worker->runFinished(); // joins the worker's last step, for ThreadSanitizer's sake
    delete worker;
    worker = nullptr;
}

} // namespace

Application::Application(int &argc, char **argv, std::shared_ptr<rcprog::HidPlatform> hidPlatform)
    : QApplication(argc, argv), reportBuffer(reportBufferSize(8), 0),
      deviceLink_(std::move(hidPlatform)),
      passLog_(passLogPath(QProcessEnvironment::systemEnvironment()), applicationName())
{
    if (!init())
        QCoreApplication::exit(-1);
}

Application::~Application()
{
    stopThread(usbConnection);
    stopThread(usbReceiverDots);
    mainWindow = nullptr;
    instance_.store(nullptr);
}

Application *Application::getInstance()
{
    if (Application *app = instance_.load())
        return app;
    qDebug("ERROR: Application::getInstance(): qApp is null now, but you try to access it...");
    // A message box needs a living toolkit application and its own thread.
    if (qApp && QThread::currentThread() == qApp->thread()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"),
                        QStringLiteral("Attempt to access application instance after application "
                                       "termination"),
                        QMessageBox::Ok);
        box.exec();
    }
    return nullptr;
}

bool Application::init()
{
    instance_.store(this);
    try {
        mainWindow = MainWindow::getInstance();
        mainWindow->show();
        if (mainWindow->thread() != thread())
            return false;
        // The threads reach the window only through these queued connections, so every change
        // of a widget happens on this thread.
        usbConnection = new UsbConnection(deviceLink_, this);
        connect(usbConnection, &UsbConnection::updateUsb1, mainWindow, &MainWindow::updateForm1,
                Qt::QueuedConnection);
        connect(usbConnection, &UsbConnection::updateUsb2, mainWindow, &MainWindow::updateForm2,
                Qt::QueuedConnection);
        connect(usbConnection, &UsbConnection::updateUsb4, mainWindow, &MainWindow::updateForm4,
                Qt::QueuedConnection);
        usbConnection->start(QThread::NormalPriority);
        usbReceiverDots = new UsbReceiverDots(deviceLink_, recordHandOver_, reportBuffer,
                                              bytesWritten, this);
        usbReceiverDots->setPassLog(&passLog_);
        connect(usbReceiverDots, &UsbReceiverDots::updateUsb3, mainWindow, &MainWindow::updateForm3,
                Qt::QueuedConnection);
        usbReceiverDots->start(QThread::NormalPriority);
    } catch (...) {
        return false;
    }
    return true;
}
