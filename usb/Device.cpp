#include "Device.h"

#include "Application.h"
#include "DeviceSearch.h"

Device::Device(QObject *parent) : QObject(parent) { }

bool Device::isPresent(int vendorId, int productId)
{
    Application *app = Application::getInstance();
    const rcprog::SearchResult result = rcprog::searchPass(*app->platform, vendorId, productId);
    accessDenied_ = result.accessDenied;
    return result.matched;
}

bool Device::openDevice(int vendorId, int productId)
{
    Application *app = Application::getInstance();
    rcprog::OpenedDevice opened;
    if (!rcprog::openPass(*app->platform, vendorId, productId, opened).matched)
        return false;
    std::lock_guard<std::mutex> lock(app->linkMutex);
    app->infoHandle = opened.infoHandle;
    app->writeHandle = opened.writeHandle;
    app->reportDataLength = opened.reportDataLength;
    app->productName
            = QString::fromLatin1(opened.productName.data(), qsizetype(opened.productName.size()));
    ++app->connectionSerial;
    return true;
}

void Device::closeDevice()
{
    Application *app = Application::getInstance();
    std::unique_lock<std::mutex> lock(app->linkMutex);
    const rcprog::HidHandle info = app->infoHandle;
    const rcprog::HidHandle write = app->writeHandle;
    // Unpublish first so that no new write starts, then wait for the one under way.
    app->infoHandle = rcprog::kNullHandle;
    app->writeHandle = rcprog::kNullHandle;
    app->linkWritesDone.wait(lock, [app] { return app->writesInFlight == 0; });
    if (info != rcprog::kNullHandle)
        app->platform->close(info);
    if (write != rcprog::kNullHandle)
        app->platform->close(write);
}
