// printf formatting with wide text ("%ls", "%lc") written as UTF-8.
//
// The C runtime converts wide text through the thread's LC_CTYPE. On Linux
// the plug-in must not change the host's locale, so formatting borrows a
// UTF-8 one for its own thread only (made at load, freed at unload). Windows'
// C runtime (msvcrt) has no UTF-8 locale and would send the text through the
// ANSI code page, losing what the code page lacks; there the wide arguments
// are converted here and the rest is left to the runtime.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace skyfw::platform {

void CreateUtf8Formatting();
void DestroyUtf8Formatting();

// vsnprintf, with wide text written as UTF-8 on every platform.
int FormatUtf8(char* buffer, size_t size, const char* format, va_list arguments)
    __attribute__((format(printf, 3, 0)));

// What FormatUtf8 does on Windows: vsnprintf, but each conversion is handed
// to the runtime on its own and wide text ("%ls", "%lc") is converted here.
// "%n" and unknown conversions give -1. Built on every platform, so that it
// is tested against the runtime's own vsnprintf everywhere.
int FormatWithOwnWideText(char* buffer, size_t size, const char* format, va_list arguments)
    __attribute__((format(printf, 3, 0)));

}  // namespace skyfw::platform
