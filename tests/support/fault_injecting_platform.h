// A platform around another one that counts every call made through it,
// handles included (registry keys, device sets and handles, WMI connections
// and objects, event sources, named mutexes), and can make one of them fail.
//
// Calls are numbered from 1 in the order they are made, counting only the
// calls Windows can fail; the chosen one is not passed on and answers with
// the failure a real call of its kind gives: an HRESULT (E_OUTOFMEMORY,
// REGDB_E_CLASSNOTREG, WBEM_E_TRANSPORT_FAILURE, WBEM_E_FAILED) for COM and
// WMI, a Win32 error for the registry (ERROR_ACCESS_DENIED), SetupAPI and
// the IP helper (ERROR_NOT_ENOUGH_MEMORY), device I/O (ERROR_ACCESS_DENIED
// on open, ERROR_GEN_FAILURE on a request), the service manager and the
// event log, CR_FAILURE for the configuration manager, WAIT_FAILED for a
// wait, false with the last error set for the calls answering true/false.
// Calls that cannot fail (process and thread ids, tick count, sleep, clock,
// last error, debugger output, CoUninitialize, property names) are counted
// apart and always passed on.
//
// The simulated driver is reached through WMI and device I/O, so its calls
// are counted and failed here as well.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace skyfw::testing {

class FaultInjectingPlatform final : public platform::Platform {
 public:
  // `inner` answers every call that is not failed; it must outlive this
  // object and every handle obtained through it.
  explicit FaultInjectingPlatform(platform::Platform& inner);
  ~FaultInjectingPlatform() override;
  FaultInjectingPlatform(const FaultInjectingPlatform&) = delete;
  FaultInjectingPlatform& operator=(const FaultInjectingPlatform&) = delete;

  // Fails the failable call with this number (from 1); 0 fails none.
  void FailCall(uint64_t number);
  // Whether the chosen call has been made (and failed).
  bool FailureInjected() const;

  // Failable calls made so far: the numbers FailCall takes.
  uint64_t FailableCalls() const;
  // Calls that cannot fail, made so far.
  uint64_t OtherCalls() const;
  // The names of the failable calls in order ("Registry.OpenKey",
  // "WmiServices.ExecMethod" ...): CallNames()[n - 1] is call n.
  std::vector<std::string> CallNames() const;

  // Handles given out and not yet closed (registry keys, device sets and
  // handles, service manager, WMI locators, connections and objects, event
  // sources, named mutexes).
  int64_t OpenHandles() const;
  // Successful CoInitializeEx calls not yet balanced by CoUninitialize.
  int64_t ComInitializations() const;

  // Answers System::CurrentTime with this time from now on, so that what a
  // run stamps (firmware clock, package log, backup) is the same every run.
  void FixClock(std::time_t now);

  platform::System& system() override;
  platform::Registry& registry() override;
  platform::Devices& devices() override;
  platform::DeviceIo& deviceIo() override;
  platform::IpHelper& ipHelper() override;
  platform::Services& services() override;
  platform::Wmi& wmi() override;
  platform::EventLog& eventLog() override;
  platform::Mutexes& mutexes() override;

  // Shared by the platform and every handle it gave out, so a handle that
  // outlives the platform still counts.
  class Calls;

 private:
  struct Parts;
  std::shared_ptr<Calls> calls_;
  std::unique_ptr<Parts> parts_;
};

}  // namespace skyfw::testing
