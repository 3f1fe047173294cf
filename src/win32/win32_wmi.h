// COM for the calling thread and the WMI client: locator, connection,
// class objects, method execution, object fetch.
#pragma once

#include "platform/wmi.h"

namespace skyfw::win32 {

class Win32Wmi final : public platform::Wmi {
 public:
  platform::HRESULT CoInitializeEx(uint32_t model) override;
  void CoUninitialize() override;
  platform::HRESULT CoInitializeSecurity() override;
  platform::HRESULT CoCreateLocator(std::unique_ptr<platform::WmiLocator>& locator) override;
};

}  // namespace skyfw::win32
