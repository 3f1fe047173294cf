// skyfw pkg inspect: a readable (or JSON) account of a package file.
#pragma once

#include <string>

#include "command_registry.h"

namespace skyfw::tool {

struct InspectArguments {
  std::string file;
  bool json = false;
};

int RunInspect(const GlobalOptions& options, const InspectArguments& arguments);

}  // namespace skyfw::tool
