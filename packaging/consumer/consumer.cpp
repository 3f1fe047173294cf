// A host in C++ built against an installed skyfw.
#include <skyfw/oem.h>
#include <skyfw/version.h>

#include <cstdio>
#include <string>

static_assert(SKYFW_VERSION_MAJOR >= 1, "skyfw 1 or later expected");

int main() {
  std::string text;
  for (const char16_t* unit = oem_text_for_error_code(0); unit != nullptr && *unit != u'\r';
       ++unit) {
    if (*unit == 0) break;
    text.push_back(static_cast<char>(*unit));
  }
  std::printf("skyfw %s: %s\n", SKYFW_VERSION_STRING, text.c_str());
  return text.empty() ? 1 : 0;
}
