#pragma once

#include "ConfigurationRecord.h"
#include "HidPlatform.h"

#include <QApplication>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class MainWindow;
class UsbConnection;
class UsbReceiverDots;

// The single application object. It owns the state the three threads share: the report buffer
// of the programming thread, the device link state and the configuration record, each guarded
// as noted below, and the two worker threads.
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

    // Device link state. Written by the monitor thread, read by the programming thread and the
    // window; every access holds linkMutex. A report write runs outside the lock but is counted
    // in writesInFlight, and closeDevice waits for it before it closes the handles.
    std::mutex linkMutex;
    std::condition_variable linkWritesDone;
    int reportDataLength = 0;
    rcprog::HidHandle infoHandle = rcprog::kNullHandle;
    rcprog::HidHandle writeHandle = rcprog::kNullHandle;
    QString connectionState; // "receiver" while the link is open
    QString productName;
    std::uint64_t connectionSerial = 0; // counts the links opened; a pass keeps to its own
    int writesInFlight = 0;
    bool accessDenied = false; // a receiver is present but refused to be opened

    // Configuration record. Written by the loader, read by the programming thread; every access
    // holds recordMutex. programmingRequested is set after the record is complete, under the
    // same lock, and cleared by the programming thread when it takes its snapshot.
    std::mutex recordMutex;
    ConfigurationRecord record;
    std::atomic<bool> programmingRequested{false};
    std::uint64_t loadSerial = 0; // counts the loads; tells a pass whether a newer one came

    std::shared_ptr<rcprog::HidPlatform> platform;

    MainWindow *mainWindow = nullptr;
    UsbConnection *usbConnection = nullptr;
    UsbReceiverDots *usbReceiverDots = nullptr;

    static constexpr const char *kReceiverState = "receiver";

private:
    bool init();

    static std::atomic<Application *> instance_;
};
