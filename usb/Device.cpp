#include "Device.h"

#include "DeviceLink.h"
#include "DeviceSearch.h"

Device::Device(DeviceLink &link, QObject *parent) : QObject(parent), link_(link) { }

bool Device::isPresent(int vendorId, int productId)
{
    const rcprog::SearchResult result = rcprog::searchPass(link_.platform(), vendorId, productId);
    accessDenied_ = result.accessDenied;
    return result.matched;
}

bool Device::openDevice(int vendorId, int productId)
{
    rcprog::OpenedDevice opened;
    if (!rcprog::openPass(link_.platform(), vendorId, productId, opened).matched)
        return false;
    link_.publish(opened);
    return true;
}

void Device::closeDevice()
{
    link_.close();
}
