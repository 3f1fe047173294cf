#include "plugin/platform_root.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/never_destroyed.h"
#include "platform/platform.h"
#include "sim/machine/machine.h"
#ifdef _WIN32
#include "win32/win32_platform.h"
#endif

namespace skyfw {
namespace {

// The machine lives until UninstallProcessPlatform; the holder itself is
// never destroyed, so the order of the image's static destructors and its
// unload function does not matter.
std::unique_ptr<platform::Platform>& ProcessPlatform() {
  return NeverDestroyed<std::unique_ptr<platform::Platform>>();
}

#ifdef _WIN32
// On Windows the real system serves the plug-in; naming a simulated machine
// (demos, tests) puts that one in its place.
bool SimulatedMachineNamed() {
  const char* machine = std::getenv("SKYFW_MACHINE");
  return machine != nullptr && *machine != 0;
}
#endif

}  // namespace

void InstallProcessPlatform() {
  std::unique_ptr<platform::Platform>& platform = ProcessPlatform();
#ifdef _WIN32
  if (!SimulatedMachineNamed()) {
    platform = win32::CreateWin32Platform();
    platform::Install(platform.get());
    return;
  }
#endif
  // A simulated machine: the one SKYFW_MACHINE names, or (off Windows) the
  // demo machine. A machine that cannot be opened leaves the minimal
  // platform (no adapters: every work call answers 101), with the reason on
  // standard error since no trace log is open at load.
  std::string error;
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
