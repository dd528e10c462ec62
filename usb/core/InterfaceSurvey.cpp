#include "InterfaceSurvey.h"

#include "DeviceSearch.h"

namespace rcprog {

bool InterfaceSeen::matches(int wantedVendorId, int wantedProductId) const
{
    return opened && idsRead && int(vendorId) == wantedVendorId
           && int(productId) == wantedProductId;
}

void readLengthAndName(HidPlatform &platform, HidHandle handle, InterfaceSeen &seen)
{
    seen.lengthRead = platform.inputReportLength(handle, seen.inputReportLength);
    ProductStringBuffer buffer{};
    seen.nameRead = platform.productString(handle, buffer);
    if (seen.nameRead) {
        seen.productName = productNameFromBuffer(buffer);
        seen.productString = buffer;
    }
}

InterfaceSeen examineInterface(HidPlatform &platform, const std::string &path)
{
    InterfaceSeen seen;
    seen.path = path;
    const HidHandle handle = platform.open(path, &seen.openError);
    seen.opened = handle != kNullHandle;
    if (!seen.opened)
        return seen;
    seen.idsRead = platform.attributes(handle, seen.vendorId, seen.productId);
    readLengthAndName(platform, handle, seen);
    platform.close(handle);
    return seen;
}

std::vector<SurveyedInterface> surveyInterfaces(HidPlatform &platform, int vendorId, int productId)
{
    std::vector<SurveyedInterface> survey;
    for (const std::string &path : platform.listInterfaces()) {
        SurveyedInterface entry;
        InterfaceSeen &seen = entry.seen;
        seen = examineInterface(platform, path);
        if (!seen.opened) {
            seen.idsPeeked = platform.peekAttributes(path, seen.vendorId, seen.productId);
            seen.lengthRead = platform.peekReportLength(path, seen.inputReportLength);
            seen.nameRead = platform.peekProductString(path, seen.productString);
            if (seen.nameRead)
                seen.productName = productNameFromBuffer(seen.productString);
        }
        entry.receiver = (seen.idsRead || seen.idsPeeked) && int(seen.vendorId) == vendorId
                         && int(seen.productId) == productId;
        survey.push_back(entry);
    }
    const SearchResult pass = searchPass(platform, vendorId, productId);
    for (SurveyedInterface &entry : survey)
        entry.usedByPass = pass.matched && entry.seen.path == pass.path;
    return survey;
}

} // namespace rcprog
