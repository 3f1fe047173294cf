// Facts of the running process that the operating system gives: kept apart
// from the seam's headers, whose Windows names the system headers would
// clash with.
#pragma once

#include <cstdint>
#include <string>

namespace skyfw::platform {

// The ids Windows gives (GetCurrentProcessId, GetCurrentThreadId); on Linux
// the process id and the kernel's thread id.
uint32_t OsProcessId();
uint32_t OsThreadId();

// Milliseconds of a monotonic clock, wrapping at 2^32 (GetTickCount).
uint32_t OsTickCount();

// The machine's host name as the system reports it; false when it cannot.
bool OsHostName(std::string& name);

// The full UTF-8 path of the module (plug-in or program) holding this code;
// false when it cannot be found.
bool OsModuleFileName(std::string& path);

// The full UTF-8 path of the running program; false when it cannot be found.
bool OsProgramFileName(std::string& path);

}  // namespace skyfw::platform
