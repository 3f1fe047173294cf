#include "platform/environment.h"

#include <cstdlib>

#if defined(_WIN32)
#include <stdlib.h>

#include "platform/unicode.h"
#endif

namespace skyfw::platform {

#if defined(_WIN32)

namespace {

std::wstring Wide(const std::string& text) {
  std::u16string units = Utf8ToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(const wchar_t* text) {
  std::wstring_view wide(text);
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace

std::optional<std::string> GetEnvironmentText(const char* name) {
  const wchar_t* value = _wgetenv(Wide(name).c_str());
  if (value == nullptr) return std::nullopt;
  return Narrow(value);
}

bool SetEnvironmentText(const char* name, const std::string& value) {
  return _wputenv_s(Wide(name).c_str(), Wide(value).c_str()) == 0;
}

#else

std::optional<std::string> GetEnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool SetEnvironmentText(const char* name, const std::string& value) {
  if (value.empty()) return unsetenv(name) == 0;
  return setenv(name, value.c_str(), 1) == 0;
}

#endif

}  // namespace skyfw::platform
