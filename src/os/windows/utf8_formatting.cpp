#include "os/utf8_formatting.h"

namespace skyfw::platform {

void CreateUtf8Formatting() {}
void DestroyUtf8Formatting() {}

int FormatUtf8(char* buffer, size_t size, const char* format, va_list arguments) {
  return FormatWithOwnWideText(buffer, size, format, arguments);
}

}  // namespace skyfw::platform
