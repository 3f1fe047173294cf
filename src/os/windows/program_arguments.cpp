#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "base/unicode.h"
#include "os/environment.h"

namespace skyfw::platform {

// Apart from the environment: only programs need it, and it takes a library
// the plug-in should not import.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (wide == nullptr) {
    for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
  }
  for (int i = 0; i < count; ++i) arguments.push_back(FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

}  // namespace skyfw::platform
