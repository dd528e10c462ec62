#pragma once

#include <QObject>

class DeviceLink;

// The receiver seen through the link's HID platform: one search pass per call. Used by the
// connection monitor on its own thread only.
class Device : public QObject
{
    Q_OBJECT

public:
    // `link`: where an opened receiver is published, and the platform searched.
    explicit Device(DeviceLink &link, QObject *parent = nullptr);

    // One search pass: is an interface with both IDs present? Leaves no handle open.
    bool isPresent(int vendorId, int productId);
    // One search pass that opens the first matching interface and publishes its handles, report
    // length and product name in the link. Returns false, changing nothing, when no match could
    // be opened.
    bool openDevice(int vendorId, int productId);
    // Closes the link's handles, after any report write through them has returned.
    void closeDevice();

    // Whether the last isPresent found a matching interface that refused access.
    bool lastAccessDenied() const { return accessDenied_; }

private:
    DeviceLink &link_;
    bool accessDenied_ = false;
};
