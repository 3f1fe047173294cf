// Machine-wide named mutexes.
#pragma once

#include "platform/named_mutex.h"

namespace skyfw::win32 {

class Win32Mutexes final : public platform::Mutexes {
 public:
  uint32_t CreateMutex(const platform::SecurityAttributes* security, bool initial_owner,
                       std::string_view name,
                       std::unique_ptr<platform::NamedMutex>& mutex) override;
};

}  // namespace skyfw::win32
