#include "os/environment.h"

namespace skyfw::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace skyfw::platform
