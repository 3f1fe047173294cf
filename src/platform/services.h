// The service control manager, as far as the system asks it: can it be
// opened, and is its database locked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/win32_types.h"

namespace skyfw::platform {

// QUERY_SERVICE_LOCK_STATUS.
struct ServiceLockStatus {
  bool locked = false;
  std::string lock_owner;      // account holding the lock, e.g. ".\\NT Service Control Manager"
  uint32_t lock_duration = 0;  // seconds
};

// An open SCM handle; closed when destroyed (CloseServiceHandle).
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // QueryServiceLockStatus.
  virtual uint32_t QueryLockStatus(ServiceLockStatus& status) = 0;
};

class Services {
 public:
  virtual ~Services() = default;
  // OpenSCManager on the local machine: ERROR_SHUTDOWN_IN_PROGRESS while the
  // system shuts down, ERROR_ACCESS_DENIED without the rights asked for.
  virtual uint32_t OpenSCManager(uint32_t access, std::unique_ptr<ServiceManager>& manager) = 0;
};

}  // namespace skyfw::platform
