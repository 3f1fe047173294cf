// The simulated adapter driver as the machine sees it: its WMI provider and
// its device provider (NDIS queries and direct firmware requests), sharing
// one set of adapters.
#include <memory>

#include "sim/driver/driver_adapters.h"
#include "sim/driver/driver_wmi.h"
#include "sim/driver/firmware_requests.h"
#include "sim/driver/ndis_queries.h"
#include "sim/machine/driver_interface.h"

namespace skyfw::sim {
namespace {

class DriverDeviceProvider final : public DeviceProvider {
 public:
  explicit DriverDeviceProvider(std::shared_ptr<DriverAdapters> adapters)
      : adapters_(std::move(adapters)) {}

  uint32_t DeviceIoControl(const DeviceTarget& target, uint32_t control_code,
                           std::span<const uint8_t> input, std::span<uint8_t> output,
                           uint32_t& bytes_returned) override {
    bytes_returned = 0;
    const MachineDescription& description = adapters_->description();
    if (target.adapter_index >= description.adapters.size() ||
        target.port_index >= description.adapters[target.adapter_index].ports.size()) {
      return platform::ERROR_INVALID_HANDLE;
    }
    PortRef port{target.adapter_index, target.port_index};
    switch (target.kind) {
      case DeviceKind::kNdis:
        if (control_code != platform::IOCTL_NDIS_QUERY_GLOBAL_STATS) {
          return platform::ERROR_INVALID_FUNCTION;
        }
        return AnswerNdisQuery(adapters_->port(port), input, output, bytes_returned);
      case DeviceKind::kFirmwareCommand:
        if (control_code != platform::IOCTL_NRVN_FWCMD) return platform::ERROR_INVALID_FUNCTION;
        return HandleFirmwareRequest(adapters_->driver(port.adapter), input, output,
                                     bytes_returned);
    }
    return platform::ERROR_INVALID_FUNCTION;
  }

 private:
  std::shared_ptr<DriverAdapters> adapters_;
};

}  // namespace

Driver CreateDriver(const MachineContext& machine) {
  auto adapters = std::make_shared<DriverAdapters>(machine);
  Driver driver;
  driver.wmi = MakeDriverWmiProvider(adapters);
  driver.devices = std::make_unique<DriverDeviceProvider>(adapters);
  return driver;
}

}  // namespace skyfw::sim
