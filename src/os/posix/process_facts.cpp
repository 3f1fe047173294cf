#include "os/process_facts.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace skyfw::platform {

namespace {

// A process and a thread keep their numbers for life, and asking for them is
// a system call each time (the trace asks on every line it writes). A child
// made by fork has new ones: the fork handler forgets them there, in the
// child's one thread.
std::atomic<uint32_t> known_process{0};
thread_local uint32_t known_thread = 0;

void ForgetNumbersInChild() {
  known_process.store(0, std::memory_order_relaxed);
  known_thread = 0;
}

void ForgetNumbersAtFork() {
  [[maybe_unused]] static const int registered =
      ::pthread_atfork(nullptr, nullptr, ForgetNumbersInChild);
}

}  // namespace

uint32_t OsProcessId() {
  ForgetNumbersAtFork();
  uint32_t process = known_process.load(std::memory_order_relaxed);
  if (process == 0) {
    process = static_cast<uint32_t>(::getpid());
    known_process.store(process, std::memory_order_relaxed);
  }
  return process;
}

uint32_t OsThreadId() {
  ForgetNumbersAtFork();
  if (known_thread == 0) known_thread = static_cast<uint32_t>(::syscall(SYS_gettid));
  return known_thread;
}

uint32_t OsTickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

bool OsHostName(std::string& name) {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return false;
  name = host;
  return true;
}

bool OsModuleFileName(std::string& path) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OsModuleFileName), &info) == 0 || info.dli_fname == nullptr) {
    return false;
  }
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::canonical(info.dli_fname, error);
  path = error ? std::string(info.dli_fname) : resolved.string();
  return true;
}

bool OsProgramFileName(std::string& path) {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return false;
  path = program.string();
  return true;
}

}  // namespace skyfw::platform
