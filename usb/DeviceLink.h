#pragma once

#include "DeviceSearch.h"
#include "HidPlatform.h"

#include <QString>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

// The link to the receiver: the HID platform it goes through, the handles of the receiver that
// is open, its report length and product name, and whether it is connected. The connection
// monitor opens and closes it; a programming pass writes through it; the window reads the
// product name. Every member is guarded by one lock inside; a report write runs outside that
// lock but is counted as in flight, and close() waits for it before it closes the handles.
class DeviceLink
{
public:
    // The value of connectionState() while the receiver is connected and open.
    static constexpr const char *kReceiverState = "receiver";

    explicit DeviceLink(std::shared_ptr<rcprog::HidPlatform> platform);
    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    // The platform the link goes through. The device search uses it directly.
    rcprog::HidPlatform &platform() const { return *platform_; }

    // Publishes a receiver that the connect steps opened: its handles, report length, product
    // name and path. It counts as a new connection, whose serial is returned; it is not yet
    // connected.
    std::uint64_t publish(const rcprog::OpenedDevice &opened);
    // connectionState becomes "receiver" (and a refusal of access is forgotten)...
    void markConnected();
    // ... or empty again.
    void markDisconnected();
    // Unpublishes the handles so that no new write starts, waits for the writes in flight, and
    // closes the handles.
    void close();

    // What a programming pass starts from: whether the link is connected, and if so the report
    // length R, the serial of the connection, the product name and the receiver's path.
    struct Snapshot
    {
        bool connected = false;
        int reportDataLength = 0;
        std::uint64_t serial = 0;
        QString productName;
        QString devicePath;
    };
    Snapshot snapshot() const;

    // Writes one report through the connection `serial`. Refused (false, nothing written) when
    // that connection is no longer the current one or its handle is gone, so that a receiver
    // plugged in meanwhile gets nothing of a pass meant for another one.
    bool write(std::uint64_t serial, const std::uint8_t *bytes, std::size_t length);

    // Whether the device behind the open handles is still there: its attributes can be read
    // through the info handle (a removed device fails that, whatever came in its place). False
    // when nothing is open. For the thread that opens and closes the link.
    bool alive() const;

    bool connected() const;
    QString connectionState() const;
    QString productName() const; // valid while connected; kept after a close
    int reportDataLength() const; // likewise

    // Whether a receiver is present that refused to be opened for lack of permission.
    void setAccessDenied(bool denied);
    bool accessDenied() const;

private:
    bool connectedLocked() const; // needs mutex_

    const std::shared_ptr<rcprog::HidPlatform> platform_;
    mutable std::mutex mutex_;
    std::condition_variable writesDone_;
    rcprog::HidHandle infoHandle_ = rcprog::kNullHandle;
    rcprog::HidHandle writeHandle_ = rcprog::kNullHandle;
    int reportDataLength_ = 0;
    QString productName_;
    QString devicePath_;
    QString connectionState_;
    std::uint64_t connectionSerial_ = 0; // counts the receivers published
    int writesInFlight_ = 0;
    bool accessDenied_ = false;
};
