// The process-wide state of the adapter management library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "nmapi/adapter_node.h"
#include "platform/named_mutex.h"

namespace skyfw {

// Names of the library's machine-wide objects.
inline constexpr const char* kGlobalPrefix = "Global\\";
inline constexpr const char* kLogMutexGuid = "{A9E87B9A-5DF5-456E-A7B0-541403816CE6}";
inline constexpr const char* kInstanceMutexGuid = "{FBCBECF0-D87B-11d5-A4CF-00104BCD3937}";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using LogFile = std::unique_ptr<std::FILE, FileCloser>;

struct NmapiState {
  // The adapter list in enumeration order; nodes are never moved, so a
  // pointer to one stays valid until the list is freed.
  std::vector<std::unique_ptr<AdapterNode>> adapters;
  uint32_t nextHandle = 0;
  std::string deviceNamePrefix;  // "Global\\" once the list is built
  uint32_t referenceCount = 0;   // 0: not initialized

  // The library lock. It lives as long as the process, so that a call in the
  // not-initialized state can still take it safely.
  std::recursive_mutex lock;

  std::unique_ptr<platform::NamedMutex> instanceMutex;
  std::unique_ptr<platform::NamedMutex> logMutex;
  LogFile logFile;
  uint32_t levelMask = 0;
};

NmapiState& State();

using LibraryLock = std::unique_lock<std::recursive_mutex>;
inline LibraryLock LockLibrary() { return LibraryLock(State().lock); }

// The node with that key, or nullptr. Call with the library lock held.
AdapterNode* FindNode(uint32_t handle);

}  // namespace skyfw
