#pragma once

#include "HidPlatform.h"

#include <memory>

namespace rcprog {

// The HID platform of the operating system the program was built for.
std::shared_ptr<HidPlatform> createSystemHidPlatform();

} // namespace rcprog
