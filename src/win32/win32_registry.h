// The registry below HKEY_LOCAL_MACHINE, through the W functions: names and
// text values travel as UTF-8 on the seam side.
#pragma once

#include "platform/registry.h"

namespace skyfw::win32 {

class Win32Registry final : public platform::Registry {
 public:
  uint32_t OpenKey(std::string_view path, uint32_t access,
                   std::unique_ptr<platform::RegistryKey>& key) override;
  uint32_t CreateKey(std::string_view path, uint32_t access,
                     std::unique_ptr<platform::RegistryKey>& key, bool* created) override;
};

}  // namespace skyfw::win32
