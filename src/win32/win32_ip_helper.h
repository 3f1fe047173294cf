// The IP helper's adapter lists.
#pragma once

#include "platform/ip_helper.h"

namespace skyfw::win32 {

class Win32IpHelper final : public platform::IpHelper {
 public:
  uint32_t GetAdaptersInfo(std::vector<platform::IpAdapterInfo>& adapters) override;
  uint32_t GetAdaptersAddresses(uint32_t family, uint32_t flags,
                                std::vector<platform::IpAdapterAddresses>& adapters) override;
};

}  // namespace skyfw::win32
