#include "platform/platform.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace skyfw::platform {
namespace {

class ProcessOnlySystem final : public System {
 public:
  void OutputDebugString(std::string_view text) override {
    const char* sink = std::getenv("SKYFW_DEBUG_OUTPUT");
    if (sink != nullptr && std::strcmp(sink, "stderr") == 0) {
      std::fwrite(text.data(), 1, text.size(), stderr);
    }
  }
  uint32_t GetCurrentProcessId() override { return static_cast<uint32_t>(::getpid()); }
  uint32_t GetCurrentThreadId() override { return static_cast<uint32_t>(::syscall(SYS_gettid)); }
};

class ProcessOnlyPlatform final : public Platform {
 public:
  System& system() override { return system_; }

 private:
  ProcessOnlySystem system_;
};

ProcessOnlyPlatform& Fallback() {
  static ProcessOnlyPlatform fallback;
  return fallback;
}

std::atomic<Platform*> installed{nullptr};

}  // namespace

Platform& Current() {
  Platform* platform = installed.load(std::memory_order_acquire);
  return platform != nullptr ? *platform : Fallback();
}

void Install(Platform* platform) { installed.store(platform, std::memory_order_release); }

}  // namespace skyfw::platform
