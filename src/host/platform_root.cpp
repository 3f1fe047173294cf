#include "host/platform_root.h"

#include <cstdio>
#include <memory>
#include <string>

#include "diag/never_destroyed.h"
#include "platform/platform.h"
#include "sim/machine.h"

namespace skyfw {
namespace {

// The machine lives until UninstallProcessPlatform; the holder itself is
// never destroyed, so the order of the image's static destructors and its
// unload function does not matter.
std::unique_ptr<platform::Platform>& ProcessPlatform() {
  return NeverDestroyed<std::unique_ptr<platform::Platform>>();
}

}  // namespace

void InstallProcessPlatform() {
  // On this system the machine is simulated: the one SKYFW_MACHINE names,
  // or the demo machine. A machine that cannot be opened leaves the minimal
  // platform (no adapters: every work call answers 101), with the reason on
  // standard error since no trace log is open at load.
  std::string error;
  std::unique_ptr<platform::Platform>& platform = ProcessPlatform();
  if (!sim::OpenDefaultMachine(platform, error)) {
    std::fprintf(stderr, "skyfw: no simulated machine: %s\n", error.c_str());
    platform.reset();
    return;
  }
  platform::Install(platform.get());
}

void UninstallProcessPlatform() {
  platform::Install(nullptr);
  ProcessPlatform().reset();
}

}  // namespace skyfw
