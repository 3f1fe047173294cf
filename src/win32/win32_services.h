// The service control manager's lock status.
#pragma once

#include "platform/services.h"

namespace skyfw::win32 {

class Win32Services final : public platform::Services {
 public:
  uint32_t OpenSCManager(uint32_t access,
                         std::unique_ptr<platform::ServiceManager>& manager) override;
};

}  // namespace skyfw::win32
