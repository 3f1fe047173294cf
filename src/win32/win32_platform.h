// The real Windows platform: every seam interface served by the Win32 API.
// This header is all the composition root sees; it names no Windows type.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace skyfw::win32 {

std::unique_ptr<platform::Platform> CreateWin32Platform();

}  // namespace skyfw::win32
