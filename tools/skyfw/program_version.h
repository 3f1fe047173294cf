// skyfw --version (and skyfw version): which program, which plug-in, and
// which firmware-signing key they were built with.
#pragma once

#include "command_registry.h"

namespace skyfw::tool {

int RunVersion(const GlobalOptions& options);

}  // namespace skyfw::tool
