#include "SystemHidPlatform.h"

#if defined(_WIN32)
#include "WinHid.h"
#elif defined(__linux__)
#include "LinuxHidraw.h"
#endif

namespace rcprog {

std::shared_ptr<HidPlatform> createSystemHidPlatform()
{
#if defined(_WIN32)
    return std::make_shared<WinHid>();
#elif defined(__linux__)
    return std::make_shared<LinuxHidraw>();
#else
#error "no HID platform for this operating system"
#endif
}

} // namespace rcprog
