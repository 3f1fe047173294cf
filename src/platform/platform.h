// The operating-system seam.
//
// Everything the system needs from Windows and from the adapter's driver
// reaches it through the interfaces collected by Platform. Exactly one
// Platform serves the process; the plug-in's composition root picks it at
// load and tests install their own.
#pragma once

#include <cstdint>
#include <string_view>

namespace skyfw::platform {

// Process and thread facts, debugger output.
class System {
 public:
  virtual ~System() = default;

  // OutputDebugStringA: one call per trace line.
  virtual void OutputDebugString(std::string_view text) = 0;
  virtual uint32_t GetCurrentProcessId() = 0;
  virtual uint32_t GetCurrentThreadId() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual System& system() = 0;
};

// The platform serving this process. Before any is installed, a minimal one
// answers with the real process and thread ids and drops debugger output
// (or writes it to standard error when SKYFW_DEBUG_OUTPUT=stderr).
Platform& Current();

// Installs a platform for the process; nullptr restores the minimal one.
// The caller keeps ownership and must outlive its use.
void Install(Platform* platform);

}  // namespace skyfw::platform
