// Machine-wide named mutexes (CreateMutex, WaitForSingleObject,
// ReleaseMutex, CloseHandle), shared by every process of the machine.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/win32_types.h"

namespace skyfw::platform {

// SECURITY_DESCRIPTOR as far as the system builds one: a fresh descriptor
// (InitializeSecurityDescriptor, revision 1) that may be given a present,
// null discretionary access list (SetSecurityDescriptorDacl), so that every
// account may use the object.
struct SecurityDescriptor {
  bool initialized = false;
  bool dacl_present = false;
  bool dacl_null = false;
  bool dacl_defaulted = false;
};

// SECURITY_ATTRIBUTES.
struct SecurityAttributes {
  const SecurityDescriptor* descriptor = nullptr;  // null: default security
  bool inherit_handle = false;
};

// One handle to a named mutex. Destroying it is CloseHandle: when the
// process's last handle to a mutex it owns closes, ownership is given up
// (the next waiter sees WAIT_ABANDONED); when the last handle on the machine
// closes, the mutex ceases to exist. A process that dies closes its handles.
class NamedMutex {
 public:
  virtual ~NamedMutex() = default;

  // WaitForSingleObject: WAIT_OBJECT_0 when the calling thread owns the mutex
  // (recursively, when it already did), WAIT_ABANDONED when it got it from an
  // owner that went away without releasing it, WAIT_TIMEOUT after
  // `timeout_ms` (INFINITE waits without limit), WAIT_FAILED on error.
  virtual uint32_t Wait(uint32_t timeout_ms) = 0;

  // ReleaseMutex: ERROR_SUCCESS, or ERROR_NOT_OWNER when the calling thread
  // does not own it.
  virtual uint32_t Release() = 0;
};

class Mutexes {
 public:
  virtual ~Mutexes() = default;

  // CreateMutex(security, initial_owner, name). Names are case-sensitive and
  // may carry the "Global\\" prefix. Results:
  // - ERROR_SUCCESS: created; owned by the calling thread if initial_owner.
  // - ERROR_ALREADY_EXISTS: it existed (some process holds a handle); `mutex`
  //   is still a valid handle, and initial_owner is ignored, as on Windows.
  // - another Win32 error: no handle.
  virtual uint32_t CreateMutex(const SecurityAttributes* security, bool initial_owner,
                               std::string_view name, std::unique_ptr<NamedMutex>& mutex) = 0;
};

}  // namespace skyfw::platform
