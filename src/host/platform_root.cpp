#include "host/platform_root.h"

namespace skyfw {

void InstallProcessPlatform() {
  // The process keeps the minimal platform until the simulated machine is
  // wired in here.
}

}  // namespace skyfw
