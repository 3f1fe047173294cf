#include "win32/win32_mutexes.h"

#include "win32/owned_handles.h"
#include "win32/wide_text.h"
#include "win32/windows_api.h"

namespace skyfw::win32 {

namespace {

// The seam gives ownership up when the handle that took it closes; Windows
// keeps it with the thread until the thread ends. So a handle remembers what
// its thread took through it and releases that before closing.
class Win32NamedMutex final : public platform::NamedMutex {
 public:
  Win32NamedMutex(OwnedHandle mutex, bool owned) : mutex_(std::move(mutex)) {
    if (owned) Took();
  }
  Win32NamedMutex(const Win32NamedMutex&) = delete;
  Win32NamedMutex& operator=(const Win32NamedMutex&) = delete;
  ~Win32NamedMutex() override {
    if (owner_thread_ != ::GetCurrentThreadId()) return;
    for (; taken_ > 0; --taken_) ::ReleaseMutex(mutex_.get());
  }

  uint32_t Wait(uint32_t timeout_ms) override {
    DWORD result = ::WaitForSingleObject(mutex_.get(), timeout_ms);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) Took();
    return result;
  }

  uint32_t Release() override {
    if (!::ReleaseMutex(mutex_.get())) return ::GetLastError();
    if (taken_ > 0 && owner_thread_ == ::GetCurrentThreadId()) --taken_;
    return ERROR_SUCCESS;
  }

 private:
  void Took() {
    DWORD thread = ::GetCurrentThreadId();
    // Another thread of this process took it through this handle after the
    // first one gave it up: count for the new owner.
    if (taken_ == 0) owner_thread_ = thread;
    if (owner_thread_ == thread) ++taken_;
  }

  OwnedHandle mutex_;
  DWORD owner_thread_ = 0;
  uint32_t taken_ = 0;
};

// The seam's descriptor as a real one. Only a null DACL carries content; a
// present DACL the seam cannot describe is left to the default.
uint32_t BuildDescriptor(const platform::SecurityDescriptor& seam, SECURITY_DESCRIPTOR& real) {
  if (!seam.initialized) return ERROR_INVALID_SECURITY_DESCR;
  if (!::InitializeSecurityDescriptor(&real, SECURITY_DESCRIPTOR_REVISION)) {
    return ::GetLastError();
  }
  if (seam.dacl_present && seam.dacl_null &&
      !::SetSecurityDescriptorDacl(&real, TRUE, nullptr, seam.dacl_defaulted)) {
    return ::GetLastError();
  }
  return ERROR_SUCCESS;
}

}  // namespace

uint32_t Win32Mutexes::CreateMutex(const platform::SecurityAttributes* security, bool initial_owner,
                                   std::string_view name,
                                   std::unique_ptr<platform::NamedMutex>& mutex) {
  SECURITY_DESCRIPTOR descriptor{};
  SECURITY_ATTRIBUTES attributes{};
  SECURITY_ATTRIBUTES* attributes_used = nullptr;
  if (security != nullptr) {
    attributes.nLength = sizeof attributes;
    attributes.bInheritHandle = security->inherit_handle ? TRUE : FALSE;
    if (security->descriptor != nullptr) {
      uint32_t error = BuildDescriptor(*security->descriptor, descriptor);
      if (error != ERROR_SUCCESS) return error;
      attributes.lpSecurityDescriptor = &descriptor;
    }
    attributes_used = &attributes;
  }
  const std::optional<std::wstring> wide_name = platform::ToWide(name);
  if (!wide_name) return ERROR_NO_UNICODE_TRANSLATION;
  OwnedHandle handle(::CreateMutexW(attributes_used, initial_owner ? TRUE : FALSE,
                                    wide_name->empty() ? nullptr : wide_name->c_str()));
  // Read before anything else can change it.
  DWORD error = ::GetLastError();
  if (!handle) return error;
  // initial_owner is ignored when the mutex existed, as on Windows.
  bool owned = initial_owner && error != ERROR_ALREADY_EXISTS;
  mutex = std::make_unique<Win32NamedMutex>(std::move(handle), owned);
  return error == ERROR_ALREADY_EXISTS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
}

}  // namespace skyfw::win32
