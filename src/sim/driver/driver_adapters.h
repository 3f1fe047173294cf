// The adapters one simulated driver serves: one AdapterDriver per physical
// adapter of the machine description, with its NVRAM file under
// <machine>/nvram/<adapter id>.nvram, and the lookups from a WMI key (port
// title or interface identifier) to a port.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/driver/adapter_driver.h"
#include "sim/machine/driver_interface.h"

namespace skyfw::sim {

struct PortRef {
  size_t adapter = 0;
  size_t port = 0;
};

class DriverAdapters {
 public:
  // Creates each adapter's NVRAM file from its description when the file
  // does not exist yet. A file that cannot be created is reported on
  // standard error; calls to that adapter then fail.
  explicit DriverAdapters(const MachineContext& machine);

  const MachineDescription& description() const { return *description_; }
  AdapterDriver& driver(size_t adapter) { return drivers_[adapter]; }
  const PortDescription& port(const PortRef& ref) const {
    return description_->adapters[ref.adapter].ports[ref.port];
  }

  // Keys compare without regard to the case of ASCII letters, as WMI does.
  std::optional<PortRef> FindByTitle(std::u16string_view title) const;
  std::optional<PortRef> FindByInterfaceId(std::u16string_view interface_id) const;

  // How the driver's method signatures declare 16-bit inputs. The driver is
  // one build for the whole machine: the first adapter whose description
  // asks for another declaration decides it.
  SixteenBitInputs sixteen_bit_inputs() const;

 private:
  // Every port's title and interface id in UTF-16, made once, with the
  // title's hash: every WMI call looks its port up by one of them.
  struct PortNames {
    PortRef port;
    std::u16string title;
    std::u16string interface_id;
    size_t title_hash = 0;
  };

  const MachineDescription* description_;
  std::vector<AdapterDriver> drivers_;
  std::vector<PortNames> port_names_;
};

// Where an adapter's NVRAM file lives in a machine directory.
std::filesystem::path NvramFilePath(const std::filesystem::path& machine_directory,
                                    const AdapterDescription& adapter);

// The driver's view of an adapter's description.
AdapterDriverFacts DriverFactsOf(const AdapterDescription& adapter, std::string nvram_path);

}  // namespace skyfw::sim
