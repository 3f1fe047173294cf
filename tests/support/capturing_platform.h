// A platform for tests: fixed process and thread ids, and every debugger
// line kept for inspection. Installed for the life of the object.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace skyfw::testing {

class CapturingSystem final : public platform::System {
 public:
  void OutputDebugString(std::string_view text) override {
    std::lock_guard<std::mutex> hold(mutex_);
    lines_.emplace_back(text);
  }
  uint32_t GetCurrentProcessId() override { return 1234; }
  uint32_t GetCurrentThreadId() override { return 5678; }

  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> hold(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

class CapturingPlatform final : public platform::Platform {
 public:
  CapturingPlatform() { platform::Install(this); }
  ~CapturingPlatform() override { platform::Install(nullptr); }
  CapturingPlatform(const CapturingPlatform&) = delete;
  CapturingPlatform& operator=(const CapturingPlatform&) = delete;

  platform::System& system() override { return system_; }
  // Everything else is the empty machine of the minimal platform.
  platform::Registry& registry() override { return platform::Minimal().registry(); }
  platform::Devices& devices() override { return platform::Minimal().devices(); }
  platform::DeviceIo& deviceIo() override { return platform::Minimal().deviceIo(); }
  platform::IpHelper& ipHelper() override { return platform::Minimal().ipHelper(); }
  platform::Services& services() override { return platform::Minimal().services(); }
  platform::Wmi& wmi() override { return platform::Minimal().wmi(); }
  platform::EventLog& eventLog() override { return platform::Minimal().eventLog(); }
  platform::Mutexes& mutexes() override { return platform::Minimal().mutexes(); }
  std::vector<std::string> debugger_lines() { return system_.lines(); }

 private:
  CapturingSystem system_;
};

}  // namespace skyfw::testing
