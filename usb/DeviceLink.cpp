#include "DeviceLink.h"

DeviceLink::DeviceLink(std::shared_ptr<rcprog::HidPlatform> platform)
    : platform_(std::move(platform))
{ }

std::uint64_t DeviceLink::publish(const rcprog::OpenedDevice &opened)
{
    QString name
            = QString::fromLatin1(opened.productName.data(), qsizetype(opened.productName.size()));
    QString path = QString::fromStdString(opened.path);
    std::lock_guard<std::mutex> lock(mutex_);
    infoHandle_ = opened.infoHandle;
    writeHandle_ = opened.writeHandle;
    reportDataLength_ = opened.reportDataLength;
    // The previous name and path, which snapshots on other threads may have shared until just
    // now, are released with `name` and `path` once the lock is left, through the strings' inline
    // reference counts (whose hand-over from those threads the thread sanitizer sees, unlike one
    // inside Qt).
    productName_.swap(name);
    devicePath_.swap(path);
    return ++connectionSerial_;
}

void DeviceLink::markConnected()
{
    std::lock_guard<std::mutex> lock(mutex_);
    connectionState_ = QLatin1String(kReceiverState);
    accessDenied_ = false;
}

void DeviceLink::markDisconnected()
{
    std::lock_guard<std::mutex> lock(mutex_);
    connectionState_.clear();
}

void DeviceLink::close()
{
    std::unique_lock<std::mutex> lock(mutex_);
    const rcprog::HidHandle info = infoHandle_;
    const rcprog::HidHandle write = writeHandle_;
    // Unpublish first so that no new write starts, then wait for the one under way.
    infoHandle_ = rcprog::kNullHandle;
    writeHandle_ = rcprog::kNullHandle;
    writesDone_.wait(lock, [this] { return writesInFlight_ == 0; });
    if (info != rcprog::kNullHandle)
        platform_->close(info);
    if (write != rcprog::kNullHandle)
        platform_->close(write);
}

DeviceLink::Snapshot DeviceLink::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    Snapshot s;
    s.connected = connectedLocked();
    if (s.connected) {
        s.reportDataLength = reportDataLength_;
        s.serial = connectionSerial_;
        s.productName = productName_;
        s.devicePath = devicePath_;
    }
    return s;
}

bool DeviceLink::write(std::uint64_t serial, const std::uint8_t *bytes, std::size_t length)
{
    rcprog::HidHandle handle = rcprog::kNullHandle;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!connectedLocked() || connectionSerial_ != serial
            || writeHandle_ == rcprog::kNullHandle)
            return false;
        handle = writeHandle_;
        ++writesInFlight_;
    }
    const bool ok = platform_->write(handle, bytes, length);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --writesInFlight_;
    }
    writesDone_.notify_all();
    return ok;
}

bool DeviceLink::alive() const
{
    rcprog::HidHandle info;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        info = infoHandle_;
    }
    // Only the thread that calls this closes the handle, so it stays open during the read.
    std::uint16_t vendorId = 0, productId = 0;
    return info != rcprog::kNullHandle && platform_->attributes(info, vendorId, productId);
}

bool DeviceLink::connected() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return connectedLocked();
}

QString DeviceLink::connectionState() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return connectionState_;
}

QString DeviceLink::productName() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return productName_;
}

int DeviceLink::reportDataLength() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reportDataLength_;
}

void DeviceLink::setAccessDenied(bool denied)
{
    std::lock_guard<std::mutex> lock(mutex_);
    accessDenied_ = denied;
}

bool DeviceLink::accessDenied() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return accessDenied_;
}

bool DeviceLink::connectedLocked() const
{
    return connectionState_ == QLatin1String(kReceiverState);
}
