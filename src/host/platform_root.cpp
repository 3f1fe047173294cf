#include "host/platform_root.h"

#include <cstdio>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "sim/machine.h"

namespace skyfw {
namespace {

// The machine lives until UninstallProcessPlatform frees it with its holder;
// a plain pointer has no static destructor to run before the unload function.
std::unique_ptr<platform::Platform>* process_platform = nullptr;

std::unique_ptr<platform::Platform>& ProcessPlatform() {
  if (process_platform == nullptr) process_platform = new std::unique_ptr<platform::Platform>();
  return *process_platform;
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
  delete process_platform;
  process_platform = nullptr;
}

}  // namespace skyfw
