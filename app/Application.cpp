#include "Application.h"

#include "MainWindow.h"
#include "ProgrammingPass.h"
#include "UsbConnection.h"
#include "UsbReceiverDots.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QMessageBox>
#include <QProcessEnvironment>
#include <QThread>

#include <cstdio>

std::atomic<Application *> Application::instance_{nullptr};

namespace {

// How long the worker threads get to end by themselves once asked; only a thread stuck in a
// write that never returns is then terminated.
constexpr unsigned long kStopWaitMs = 2000;

// The last step of stopping a worker: terminated if it did not end in time, then deleted.
template<typename Worker>
void finishThread(Worker *&worker, bool ended)
{
    if (!worker)
        return;
    if (!ended) {
        worker->terminate();
        worker->wait();
    }
    (void)worker->runFinished(); // joins the worker's last step, for ThreadSanitizer's sake
    delete worker;
    worker = nullptr;
}

} // namespace

Application::Application(int &argc, char **argv, std::shared_ptr<rcprog::HidPlatform> hidPlatform,
                         const ArgumentCheck &check, int timeDivisor)
    : QApplication(argc, argv), reportBuffer(reportBufferSize(8), 0), timeDivisor_(timeDivisor),
      deviceLink_(std::move(hidPlatform)),
      passLog_(passLogPath(QProcessEnvironment::systemEnvironment()), applicationName())
{
    const std::optional<StartOptions> options = check ? check(arguments()) : StartOptions();
    if (!options) {
        startStatus_ = kExitBadArguments;
        return;
    }
    if (!init(*options))
        QCoreApplication::exit(-1);
}

Application::~Application()
{
    stopThreads();
    mainWindow = nullptr;
    instance_.store(nullptr);
}

void Application::stopThreads()
{
    // Both threads are asked first and then waited for against one deadline: with a write that
    // hangs, the programming thread is stuck in it and the monitor may be waiting for it to
    // return before it closes the receiver, and the two grace periods must not add up.
    if (usbConnection)
        usbConnection->requestStop();
    if (usbReceiverDots)
        usbReceiverDots->requestStop();
    const QDeadlineTimer deadline(kStopWaitMs);
    const bool connectionEnded = !usbConnection || usbConnection->wait(deadline);
    const bool dotsEnded = !usbReceiverDots || usbReceiverDots->wait(deadline);
    finishThread(usbConnection, connectionEnded);
    finishThread(usbReceiverDots, dotsEnded);
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

bool Application::init(const StartOptions &options)
{
    instance_.store(this);
    try {
        mainWindow = MainWindow::getInstance();
        // The window has filled its list; the options apply before it is shown and before the
        // monitor starts, so that with "automatic programm" the first receiver is served too.
        if (!mainWindow->applyStartOptions(options)) {
            QStringList listed;
            for (int i = 0; i < mainWindow->comboBox->count(); ++i)
                listed << mainWindow->comboBox->itemText(i);
            const QByteArray message = (applicationName() + QStringLiteral(": ")
                                        + unknownSelectionText(*options.select, listed) + u'\n')
                                               .toUtf8();
            std::fputs(message.constData(), stderr);
            startStatus_ = kExitBadArguments;
            return true; // refused, not failed: nothing was shown or started
        }
        mainWindow->show();
        if (mainWindow->thread() != thread())
            return false;
        // The threads reach the window only through these queued connections, so every change
        // of a widget happens on this thread.
        usbConnection = new UsbConnection(deviceLink_, this, timeDivisor_);
        connect(usbConnection, &UsbConnection::updateUsb1, mainWindow, &MainWindow::updateForm1,
                Qt::QueuedConnection);
        connect(usbConnection, &UsbConnection::updateUsb2, mainWindow, &MainWindow::updateForm2,
                Qt::QueuedConnection);
        connect(usbConnection, &UsbConnection::updateUsb4, mainWindow, &MainWindow::updateForm4,
                Qt::QueuedConnection);
        usbConnection->start(QThread::NormalPriority);
        usbReceiverDots = new UsbReceiverDots(deviceLink_, recordHandOver_, reportBuffer,
                                              bytesWritten, this, timeDivisor_);
        usbReceiverDots->setPassLog(&passLog_);
        connect(usbReceiverDots, &UsbReceiverDots::updateUsb3, mainWindow, &MainWindow::updateForm3,
                Qt::QueuedConnection);
        connect(usbReceiverDots, &UsbReceiverDots::updateUsb5, mainWindow, &MainWindow::updateForm5,
                Qt::QueuedConnection);
        usbReceiverDots->start(QThread::NormalPriority);
    } catch (...) {
        return false;
    }
    return true;
}
