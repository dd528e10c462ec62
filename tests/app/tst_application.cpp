#include "AppHarness.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

class TestApplication : public QObject
{
    Q_OBJECT

private slots:
    void getInstanceWithoutApplication();
    void startAndShutdownOrder();
    void closingTheWindowEndsTheEventLoop();
};

void TestApplication::getInstanceWithoutApplication()
{
    // Only a plain toolkit application exists: the error box is shown (and closed here by a
    // timer standing in for the operator), the debug line written, and null returned.
    int argc = 1;
    char arg0[] = "test";
    char *argv[] = {arg0, nullptr};
    QApplication plain(argc, argv);
    QString title, text;
    int buttons = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            buttons = int(box->buttons().size());
            QVERIFY(box->defaultButton() == nullptr);
            box->button(QMessageBox::Ok)->click();
        }
    });
    closer.start(20);
    QTest::ignoreMessage(QtDebugMsg,
                         "ERROR: Application::getInstance(): qApp is null now, but you try to "
                         "access it...");
    QCOMPARE(Application::getInstance(), nullptr);
    QCOMPARE(title, QStringLiteral("Error"));
    QCOMPARE(text, QStringLiteral("Attempt to access application instance after application "
                                  "termination"));
    QCOMPARE(buttons, 1);
}

void TestApplication::startAndShutdownOrder()
{
    Application *registered = nullptr;
    {
        AppHarness h;
        registered = Application::getInstance();
        QCOMPARE(registered, h.app.get());
        QVERIFY(h.window()->isVisible());
        QVERIFY(h.app->usbConnection->isRunning());
        QVERIFY(h.app->usbReceiverDots->isRunning());
        QVERIFY(h.app->reportBuffer.size() >= 9);
        for (std::uint8_t b : h.app->reportBuffer)
            QCOMPARE(b, std::uint8_t(0));
    }
    // After the destructor nothing is registered any more (the debug line says so; no box is
    // shown without a toolkit application).
    QTest::ignoreMessage(QtDebugMsg,
                         "ERROR: Application::getInstance(): qApp is null now, but you try to "
                         "access it...");
    QCOMPARE(Application::getInstance(), nullptr);
}

void TestApplication::closingTheWindowEndsTheEventLoop()
{
    QElapsedTimer timer;
    {
        AppHarness h;
        QApplication::setQuitOnLastWindowClosed(true);
        QTimer::singleShot(300, h.window(), &QWidget::close);
        QCOMPARE(h.app->exec(), 0);
        timer.start();
    }
    // Both threads end when asked, in the middle of their sleeps, without being terminated
    // (that fallback waits 2 s first).
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
}

int main(int argc, char *argv[])
{
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_application.moc"
