#include "win32/win32_device_io.h"

#include <algorithm>

#include "win32/owned_handles.h"
#include "win32/wide_text.h"
#include "win32/windows_api.h"

namespace skyfw::win32 {

namespace {

class Win32DeviceHandle final : public platform::DeviceHandle {
 public:
  explicit Win32DeviceHandle(OwnedHandle device) : device_(std::move(device)) {}

  uint32_t DeviceIoControl(uint32_t control_code, std::span<const uint8_t> input,
                           std::span<uint8_t> output, uint32_t& bytes_returned) override {
    DWORD returned = 0;
    // The call takes a non-const input pointer; it does not write through it.
    BOOL done = ::DeviceIoControl(
        device_.get(), control_code, input.empty() ? nullptr : const_cast<uint8_t*>(input.data()),
        static_cast<DWORD>(input.size()), output.empty() ? nullptr : output.data(),
        static_cast<DWORD>(output.size()), &returned, nullptr);
    uint32_t error = done ? ERROR_SUCCESS : ::GetLastError();
    // Never more than the caller's buffer, whatever the driver claims.
    bytes_returned = std::min<uint32_t>(returned, static_cast<uint32_t>(output.size()));
    return error;
  }

 private:
  OwnedHandle device_;
};

}  // namespace

uint32_t Win32DeviceIo::CreateFile(std::string_view name, uint32_t desired_access,
                                   uint32_t share_mode,
                                   std::unique_ptr<platform::DeviceHandle>& handle) {
  const std::optional<std::wstring> wide_name = platform::ToWide(name);
  if (!wide_name) return ERROR_NO_UNICODE_TRANSLATION;
  OwnedHandle device = Own(::CreateFileW(wide_name->c_str(), desired_access, share_mode, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!device) return ::GetLastError();
  handle = std::make_unique<Win32DeviceHandle>(std::move(device));
  return ERROR_SUCCESS;
}

}  // namespace skyfw::win32
