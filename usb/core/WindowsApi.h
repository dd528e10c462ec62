#pragma once

// The Windows API, included the same way everywhere: without the min and max macros, which
// break std::min and std::max, and without the rarely used parts of windows.h.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
