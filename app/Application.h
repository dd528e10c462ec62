#pragma once

#include "DeviceLink.h"
#include "HidPlatform.h"
#include "PassLog.h"
#include "RecordHandOver.h"
#include "StartOptions.h"

#include <QApplication>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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
    // Reads the program's arguments once the toolkit has taken its own (-platform, -style,
    // ...): the start options, or nothing after it has said on stderr what is wrong.
    using ArgumentCheck = std::function<std::optional<StartOptions>(const QStringList &)>;

    // `platform` is the HID platform the device link uses: the operating system's, or a
    // simulated receiver. Without `check` the window starts as without options. Arguments
    // that `check` refuses, or a --select name the window's list does not show, start neither
    // the window nor a thread, and startStatus() tells. `timeDivisor` divides the threads' poll
    // and check intervals and the pauses of a pass: the program always runs with 1, the real
    // timing; only the soak benchmark and tests run faster.
    Application(int &argc, char **argv, std::shared_ptr<rcprog::HidPlatform> platform,
                const ArgumentCheck &check = {}, int timeDivisor = 1);
    ~Application() override;

    // The registered application object. Without one it reports the error (debug line and,
    // on the user-interface thread, the "Error" box) and returns null.
    static Application *getInstance();

    // 0 once the window is shown and the threads run; kExitBadArguments when the start
    // arguments were refused.
    int startStatus() const { return startStatus_; }

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
    bool init(const StartOptions &options);
    void stopThreads();

    const int timeDivisor_;

    DeviceLink deviceLink_;
    RecordHandOver recordHandOver_;
    int startStatus_ = 0;
    PassLog passLog_;

    static std::atomic<Application *> instance_;
};
