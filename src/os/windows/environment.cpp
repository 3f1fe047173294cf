#include "os/environment.h"

#include <stdlib.h>

#include "base/unicode.h"

namespace skyfw::platform {

// A name or value that is not UTF-8 is refused: with a substitute in it,
// it would read or set another variable.
std::optional<std::string> GetEnvironmentText(const char* name) {
  const std::optional<std::wstring> wide_name = ToWide(name);
  if (!wide_name) return std::nullopt;
  const wchar_t* value = _wgetenv(wide_name->c_str());
  if (value == nullptr) return std::nullopt;
  return FromWide(value);
}

bool SetEnvironmentText(const char* name, const std::string& value) {
  const std::optional<std::wstring> wide_name = ToWide(name);
  const std::optional<std::wstring> wide_value = ToWide(value);
  return wide_name && wide_value && _wputenv_s(wide_name->c_str(), wide_value->c_str()) == 0;
}

const char* LocalStateFolderVariable() { return "LOCALAPPDATA"; }

}  // namespace skyfw::platform
