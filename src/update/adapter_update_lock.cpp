#include "update/adapter_update_lock.h"

#include <cstdio>
#include <string>

#include "integrity/crc32.h"
#include "platform/platform.h"

namespace skyfw {

std::string AdapterUpdateLockName(std::string_view adapter) {
  const uint32_t crc =
      Crc32(kCrc32Seed, ByteView(reinterpret_cast<const uint8_t*>(adapter.data()), adapter.size()));
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08X", crc);
  return std::string("Global\\{0B6D2E1A-93C4-4F57-8A1E-6C25D7F4B930}") + suffix;
}

AdapterUpdateLock::AdapterUpdateLock(std::string_view adapter, uint32_t wait_ms) {
  platform::Platform& machine = platform::Current();
  // Every account may open it, as every other named object of the library;
  // without that descriptor, default security still serves this process.
  platform::SecurityDescriptor descriptor;
  platform::SecurityAttributes attributes;
  if (machine.system().InitializeSecurityDescriptor(descriptor) &&
      machine.system().SetSecurityDescriptorDacl(descriptor, true, true, false)) {
    attributes.descriptor = &descriptor;
  }
  std::unique_ptr<platform::NamedMutex> mutex;
  uint32_t created =
      machine.mutexes().CreateMutex(&attributes, false, AdapterUpdateLockName(adapter), mutex);
  if ((created != platform::ERROR_SUCCESS && created != platform::ERROR_ALREADY_EXISTS) || !mutex) {
    return;
  }
  switch (mutex->Wait(wait_ms)) {
    case platform::WAIT_OBJECT_0:
    case platform::WAIT_ABANDONED:  // its owner went away; the adapter is ours now
      state_ = State::kHeld;
      mutex_ = std::move(mutex);
      break;
    case platform::WAIT_TIMEOUT:
      state_ = State::kBusy;
      break;
    default:
      break;
  }
}

AdapterUpdateLock::~AdapterUpdateLock() {
  if (mutex_) mutex_->Release();
}

}  // namespace skyfw
