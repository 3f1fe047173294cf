// Owners of what the Win32 calls hand out, so that every path releases it.
#pragma once

#include <memory>
#include <utility>

#include "win32/windows_api.h"

namespace skyfw::win32 {

struct KernelHandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
// A kernel object handle (file, device, mutex): CloseHandle.
using OwnedHandle = std::unique_ptr<void, KernelHandleCloser>;

// CreateFile answers INVALID_HANDLE_VALUE, CreateMutex null: both mean none.
inline OwnedHandle Own(HANDLE handle) {
  return OwnedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct RegistryKeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using OwnedRegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegistryKeyCloser>;

struct DeviceInfoListDestroyer {
  void operator()(HDEVINFO set) const { ::SetupDiDestroyDeviceInfoList(set); }
};
using OwnedDeviceInfoList = std::unique_ptr<void, DeviceInfoListDestroyer>;

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using OwnedServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

struct LibraryFreer {
  void operator()(HMODULE module) const { ::FreeLibrary(module); }
};
using OwnedLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};
// What FormatMessage allocates.
using OwnedLocal = std::unique_ptr<void, LocalFreer>;

// One reference to a COM interface; released when destroyed.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& other) : pointer_(other.pointer_) {
    if (pointer_ != nullptr) pointer_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Takes over a reference the caller already holds.
  static ComPtr Adopt(Interface* pointer) {
    ComPtr owned;
    owned.pointer_ = pointer;
    return owned;
  }

  void Reset() {
    if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
  }
  Interface* Get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For out parameters: releases what is held first.
  Interface** Receive() {
    Reset();
    return &pointer_;
  }

 private:
  Interface* pointer_ = nullptr;
};

// A BSTR owned for one call.
class OwnedBstr {
 public:
  explicit OwnedBstr(std::wstring_view text)
      : bstr_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;
  ~OwnedBstr() { ::SysFreeString(bstr_); }
  BSTR Get() const { return bstr_; }
  explicit operator bool() const { return bstr_ != nullptr; }

 private:
  BSTR bstr_;
};

// A VARIANT cleared when it goes.
class OwnedVariant {
 public:
  OwnedVariant() { ::VariantInit(&variant_); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
  ~OwnedVariant() { ::VariantClear(&variant_); }
  VARIANT* Get() { return &variant_; }
  const VARIANT* Get() const { return &variant_; }

 private:
  VARIANT variant_;
};

}  // namespace skyfw::win32
