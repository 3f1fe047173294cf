#include "os/utf8_formatting.h"

#include <locale.h>

#include <clocale>
#include <cstdio>

namespace skyfw::platform {

namespace {

locale_t utf8_locale{};

}  // namespace

void CreateUtf8Formatting() {
  if (utf8_locale == locale_t{}) utf8_locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
}

void DestroyUtf8Formatting() {
  if (utf8_locale != locale_t{}) {
    freelocale(utf8_locale);
    utf8_locale = locale_t{};
  }
}

int FormatUtf8(char* buffer, size_t size, const char* format, va_list arguments) {
  locale_t previous = utf8_locale != locale_t{} ? uselocale(utf8_locale) : locale_t{};
  int length = std::vsnprintf(buffer, size, format, arguments);
  if (previous != locale_t{}) uselocale(previous);
  return length;
}

}  // namespace skyfw::platform
