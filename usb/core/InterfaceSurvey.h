#pragma once

#include "HidPlatform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rcprog {

// What was learnt of one HID interface.
struct InterfaceSeen
{
    std::string path;
    bool opened = false;
    OpenError openError = OpenError::None;
    bool idsRead = false;
    bool idsPeeked = false; // read through peekAttributes after a refused open
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool lengthRead = false;
    int inputReportLength = 0;
    bool nameRead = false;
    std::string productName; // by the product-name rule
    ProductStringBuffer productString{}; // as read, when nameRead

    // Whether a search pass takes this interface for the device: it opened and the IDs read
    // through its handle are the given ones.
    bool matches(int wantedVendorId, int wantedProductId) const;
};

// Reads the input report length and the product string of an open handle into `seen`.
void readLengthAndName(HidPlatform &platform, HidHandle handle, InterfaceSeen &seen);

// Opens one interface on its own, reads everything a search pass can read through its probe
// handle (IDs, input report length, product name) and closes it again.
InterfaceSeen examineInterface(HidPlatform &platform, const std::string &path);

// One interface of a listing of all that are present.
struct SurveyedInterface
{
    // Examined on its own; for one that refused to be opened, what the platform tells of it
    // without opening it for reading and writing.
    InterfaceSeen seen;
    bool receiver = false; // its IDs, read or peeked, are the wanted ones
    bool usedByPass = false; // the one a search pass takes
};

// Every HID interface present, in the platform's order, each examined on its own, and then one
// search pass to tell which of them a pass would use.
std::vector<SurveyedInterface> surveyInterfaces(HidPlatform &platform, int vendorId, int productId);

} // namespace rcprog
