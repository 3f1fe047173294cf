#include "platform/utf8_formatting.h"

#if !defined(_WIN32)
#include <locale.h>

#include <clocale>
#endif

namespace skyfw::platform {

#if defined(_WIN32)

void CreateUtf8Formatting() {}
void DestroyUtf8Formatting() {}
Utf8FormattingScope::Utf8FormattingScope() {}
Utf8FormattingScope::~Utf8FormattingScope() {}

#else

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

Utf8FormattingScope::Utf8FormattingScope() {
  if (utf8_locale != locale_t{}) previous_ = uselocale(utf8_locale);
}

Utf8FormattingScope::~Utf8FormattingScope() {
  if (previous_ != nullptr) uselocale(static_cast<locale_t>(previous_));
}

#endif

}  // namespace skyfw::platform
