#include "win32/win32_platform.h"

#include "win32/win32_device_io.h"
#include "win32/win32_devices.h"
#include "win32/win32_event_log.h"
#include "win32/win32_ip_helper.h"
#include "win32/win32_mutexes.h"
#include "win32/win32_registry.h"
#include "win32/win32_services.h"
#include "win32/win32_system.h"
#include "win32/win32_wmi.h"

namespace skyfw::win32 {

namespace {

class Win32Platform final : public platform::Platform {
 public:
  platform::System& system() override { return system_; }
  platform::Registry& registry() override { return registry_; }
  platform::Devices& devices() override { return devices_; }
  platform::DeviceIo& deviceIo() override { return device_io_; }
  platform::IpHelper& ipHelper() override { return ip_helper_; }
  platform::Services& services() override { return services_; }
  platform::Wmi& wmi() override { return wmi_; }
  platform::EventLog& eventLog() override { return event_log_; }
  platform::Mutexes& mutexes() override { return mutexes_; }

 private:
  Win32System system_;
  Win32Registry registry_;
  Win32Devices devices_;
  Win32DeviceIo device_io_;
  Win32IpHelper ip_helper_;
  Win32Services services_;
  Win32Wmi wmi_;
  Win32EventLog event_log_;
  Win32Mutexes mutexes_;
};

}  // namespace

std::unique_ptr<platform::Platform> CreateWin32Platform() {
  return std::make_unique<Win32Platform>();
}

}  // namespace skyfw::win32
