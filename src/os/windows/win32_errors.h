// Win32 error codes as the errno-style reasons file code reports.
#pragma once

#include <windows.h>

namespace skyfw::platform {

int ErrnoFromWin32(DWORD error);

}  // namespace skyfw::platform
