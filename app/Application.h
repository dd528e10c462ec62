#pragma once

#include "DeviceLink.h"
#include "HidPlatform.h"
#include "PassLog.h"
#include "RecordHandOver.h"

#include <QApplication>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class MainWindow;
class UsbConnection;
class UsbReceiverDots;

// The single application object. It owns the state the three threads share (the report buffer
// of the programming thread, the device link and the hand-over of the configuration record)
// and the two worker threads, and wires the threads' signals to the window.
class Application : public QApplication
{
    Q_OBJECT

public:
    // `platform` is the HID platform the device link uses: the operating system's, or a
    // simulated receiver.
    Application(int &argc, char **argv, std::shared_ptr<rcprog::HidPlatform> platform);
    ~Application() override;

    // The registered application object. Without one it reports the error (debug line and,
    // on the user-interface thread, the "Error" box) and returns null.
    static Application *getInstance();

    // Report buffer: used by the programming thread alone.
    std::vector<std::uint8_t> reportBuffer;
    std::uint32_t bytesWritten = 0;

    // Device link state: written by the monitor thread, written through by the programming
    // thread, read by the window.
    DeviceLink &deviceLink() { return deviceLink_; }
    // Configuration record and programmingRequested: published by the loader, taken by the
    // programming thread.
    RecordHandOver &recordHandOver() { return recordHandOver_; }
    // The record of every pass: where the environment says (RCPROG_LOG, XDG_STATE_HOME), under
    // the program's name. Written by the programming thread after each pass.
    PassLog &passLog() { return passLog_; }

    MainWindow *mainWindow = nullptr;
    UsbConnection *usbConnection = nullptr;
    UsbReceiverDots *usbReceiverDots = nullptr;

private:
    bool init();

    DeviceLink deviceLink_;
    RecordHandOver recordHandOver_;
    PassLog passLog_;

    static std::atomic<Application *> instance_;
};
