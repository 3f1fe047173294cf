#include "win32/win32_services.h"

#include <vector>

#include "win32/owned_handles.h"
#include "win32/wide_text.h"
#include "win32/windows_api.h"

namespace skyfw::win32 {

namespace {

class Win32ServiceManager final : public platform::ServiceManager {
 public:
  explicit Win32ServiceManager(OwnedServiceHandle manager) : manager_(std::move(manager)) {}

  uint32_t QueryLockStatus(platform::ServiceLockStatus& status) override {
    // The record and the owner's name it points at share one buffer.
    std::vector<uint64_t> buffer(64);
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD capacity = static_cast<DWORD>(buffer.size() * sizeof(uint64_t));
      DWORD needed = 0;
      auto* record = reinterpret_cast<QUERY_SERVICE_LOCK_STATUSW*>(buffer.data());
      if (::QueryServiceLockStatusW(manager_.get(), record, capacity, &needed)) {
        status.locked = record->fIsLocked != 0;
        status.lock_owner = record->lpLockOwner != nullptr ? Narrow(record->lpLockOwner) : "";
        status.lock_duration = record->dwLockDuration;
        return ERROR_SUCCESS;
      }
      DWORD error = ::GetLastError();
      // A failure without an error (a stub) must not read as success.
      if (error == ERROR_SUCCESS) return ERROR_NOT_SUPPORTED;
      if (error != ERROR_INSUFFICIENT_BUFFER) return error;
      buffer.assign(needed / sizeof(uint64_t) + 1, 0);
    }
    return ERROR_INSUFFICIENT_BUFFER;
  }

 private:
  OwnedServiceHandle manager_;
};

}  // namespace

uint32_t Win32Services::OpenSCManager(uint32_t access,
                                      std::unique_ptr<platform::ServiceManager>& manager) {
  SC_HANDLE handle = ::OpenSCManagerW(nullptr, nullptr, access);
  if (handle == nullptr) return ::GetLastError();
  manager = std::make_unique<Win32ServiceManager>(OwnedServiceHandle(handle));
  return ERROR_SUCCESS;
}

}  // namespace skyfw::win32
