#include "os/environment.h"

#include <cstdlib>

namespace skyfw::platform {

std::optional<std::string> GetEnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool SetEnvironmentText(const char* name, const std::string& value) {
  if (value.empty()) return unsetenv(name) == 0;
  return setenv(name, value.c_str(), 1) == 0;
}

const char* LocalStateFolderVariable() { return nullptr; }

}  // namespace skyfw::platform
