#pragma once

#include "Application.h"
#include "ConfigurationLoader.h"
#include "MainWindow.h"
#include "ProgrammingPass.h"
#include "ReceiverFixtures.h"
#include "SignalCounter.h"
#include "SimulatedHid.h"
#include "UsbConnection.h"
#include "UsbReceiverDots.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

// A whole rcprog (application object, window and both threads) over a simulated receiver, in
// a scratch working directory with its own configfiles/ folder.
class AppHarness
{
public:
    static constexpr const char *kPath = "sim:receiver";

    // `files`: base name -> INI text, written to configfiles/ before the window lists them.
    // `arguments` follow the program name; `check` reads them as a program does.
    explicit AppHarness(const QMap<QString, QByteArray> &files = {},
                        const QStringList &arguments = {},
                        const Application::ArgumentCheck &check = {})
        : hid(std::make_shared<rcprog::SimulatedHid>()), oldDir_(QDir::currentPath())
    {
        QDir(dir_.path()).mkdir(QStringLiteral("configfiles"));
        for (auto it = files.begin(); it != files.end(); ++it)
            writeFile(it.key(), it.value());
        QDir::setCurrent(dir_.path());
        args_ << QByteArray("rcprog");
        for (const QString &a : arguments)
            args_ << a.toLocal8Bit();
        for (QByteArray &a : args_)
            argv_.push_back(a.data());
        argv_.push_back(nullptr);
        argc_ = int(args_.size());
        app = std::make_unique<Application>(argc_, argv_.data(), hid, check);
        // Refused start arguments start no thread, so there is nothing to count.
        if (!app->usbConnection || !app->usbReceiverDots)
            return;
        connected = std::make_unique<SignalCounter>(app->usbConnection, &UsbConnection::updateUsb1);
        disconnected
                = std::make_unique<SignalCounter>(app->usbConnection, &UsbConnection::updateUsb2);
        updated = std::make_unique<SignalCounter>(app->usbReceiverDots,
                                                  &UsbReceiverDots::updateUsb3);
        failed = std::make_unique<SignalCounter>(app->usbReceiverDots,
                                                 &UsbReceiverDots::updateUsb5);
    }

    ~AppHarness()
    {
        connected.reset();
        disconnected.reset();
        updated.reset();
        failed.reset();
        // The window outlives the application object in the program; here it goes first, so
        // that the next test starts with a new one.
        delete app->mainWindow;
        app.reset();
        QDir::setCurrent(oldDir_);
    }

    void writeFile(const QString &baseName, const QByteArray &text)
    {
        QFile f(dir_.filePath(QStringLiteral("configfiles/") + baseName + QStringLiteral(".ini")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    MainWindow *window() const { return app->mainWindow; }

    void plug(const std::u16string &name = u"Sim Receiver", int inputReportLength = 9,
              const std::string &path = kPath)
    {
        hid->plug(simulatedReceiver(path, name, inputReportLength));
    }

    void select(const QString &baseName)
    {
        const int index = window()->comboBox->findText(baseName);
        QVERIFY(index >= 0);
        window()->comboBox->setCurrentIndex(index);
    }

    // The reports of `passes` back-to-back passes of a file's record, as a receiver with R
    // payload bytes must get them (the buffer starts all zeros).
    static Reports expectedReports(const QString &path, int passes, int r = 8)
    {
        ConfigurationRecord record;
        if (loadConfiguration(path, record) != LoadStatus::Loaded)
            return {};
        return ::expectedReports(record, passes, r);
    }

    Reports received(const std::string &path = kPath) const { return receivedReports(*hid, path); }

    QString configPath(const QString &baseName) const
    {
        return dir_.filePath(QStringLiteral("configfiles/") + baseName + QStringLiteral(".ini"));
    }

    std::shared_ptr<rcprog::SimulatedHid> hid;
    std::unique_ptr<Application> app;
    std::unique_ptr<SignalCounter> connected, disconnected, updated, failed;

private:
    QTemporaryDir dir_;
    QString oldDir_;
    QByteArrayList args_;
    std::vector<char *> argv_;
    int argc_ = 0;
};

// Generous bounds: the monitor's first poll comes about 2 s after start, later ones 1 s apart;
// a loaded machine running sanitizer builds may be several times slower.
constexpr int kConnectTimeoutMs = 15000;
constexpr int kPassTimeoutMs = 15000;
