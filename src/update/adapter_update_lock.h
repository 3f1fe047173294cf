// One update of an adapter's NVRAM at a time, across every process of the
// machine.
//
// An installation is many driver calls: the adapter's identity is read, the
// package is staged in the update area, the firmware is told to install what
// is staged, and the identity is written back. Two hosts updating one adapter
// at once would install each other's staged package (one reporting success
// for a package that is not there, the other a failure), and could write
// back an identity read in the middle of the other update, replacing the
// adapter's serial number with the package's placeholder. A backup copies
// the adapter item by item and would mix the states before and after an
// update. Both therefore hold this lock: a named mutex per adapter, waited
// for rather than refused, so that a second host simply goes after the first.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/named_mutex.h"

namespace skyfw {

// How long a host waits for another host's update of the same adapter.
inline constexpr uint32_t kAdapterUpdateWaitMs = 10 * 60 * 1000;

class AdapterUpdateLock {
 public:
  enum class State {
    kHeld,         // this thread owns the adapter until the object goes
    kBusy,         // another process kept it for the whole wait: do not touch it
    kUnavailable,  // the machine gives no named mutex; go on unguarded, as before
  };

  // Waits up to `wait_ms` for the adapter named `adapter` (its NVM name).
  explicit AdapterUpdateLock(std::string_view adapter, uint32_t wait_ms = kAdapterUpdateWaitMs);
  ~AdapterUpdateLock();
  AdapterUpdateLock(const AdapterUpdateLock&) = delete;
  AdapterUpdateLock& operator=(const AdapterUpdateLock&) = delete;

  State state() const { return state_; }
  bool busy() const { return state_ == State::kBusy; }

 private:
  std::unique_ptr<platform::NamedMutex> mutex_;
  State state_ = State::kUnavailable;
};

// The mutex name for an adapter: a fixed GUID and the CRC-32 of its NVM name
// (names may be long and hold any character; mutex names may not).
std::string AdapterUpdateLockName(std::string_view adapter);

}  // namespace skyfw
