// COM and WMI of the machine. Namespaces, object paths, class objects,
// method signatures with their CIM typing and the per-thread COM state live
// here; classes, instances and methods come from the driver's WmiProvider.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wmi.h"
#include "sim/machine/driver_interface.h"
#include "sim/machine/machine_description.h"

namespace skyfw::sim {

// A parsed WMI object path: [\\host\namespace:]Class[.Key="value"].
// The parts but the key value are views of the parsed path: it must outlive them.
struct WmiObjectPath {
  std::u16string_view host;        // empty when the path has none
  std::u16string_view name_space;  // empty when the path has none
  std::u16string_view class_name;
  std::u16string_view key_name;  // empty for a class path
  std::u16string key_value;      // unescaped
};

// False for a malformed path.
bool ParseWmiObjectPath(std::u16string_view path, WmiObjectPath& parsed);

// Whether a VARIANT can be put into a property of a CIM type, and the value
// WMI then keeps (see WmiProvider::ExecMethod for its representation).
bool CoerceToCimType(const platform::Variant& value, platform::CimType type,
                     platform::Variant& coerced);

class MachineWmi final : public platform::Wmi {
 public:
  MachineWmi(const MachineDescription& description, WmiProvider* provider)
      : description_(description), provider_(provider) {}

  platform::HRESULT CoInitializeEx(uint32_t model) override;
  void CoUninitialize() override;
  platform::HRESULT CoInitializeSecurity() override;
  platform::HRESULT CoCreateLocator(std::unique_ptr<platform::WmiLocator>& locator) override;

  // Used by the locator: the namespace in canonical spelling ("root\\wmi"),
  // or a failure for an unknown or unreachable one.
  platform::HRESULT ResolveNamespace(std::u16string_view name_space, std::u16string& canonical);
  bool ThreadInitialized() const;
  WmiProvider* provider() { return provider_; }
  const MachineDescription& description() const { return description_; }

 private:
  const MachineDescription& description_;
  WmiProvider* provider_;
  std::atomic<bool> security_set_{false};
};

}  // namespace skyfw::sim
