// Where the simulated machine hands over to the simulated adapter driver.
//
// The machine (src/sim) owns COM, WMI namespaces, object paths, class and
// signature objects with their CIM typing, device names, device nodes,
// opening and sharing. The driver (src/sim/driver) owns what the adapter
// does: its WMI classes and methods, its NDIS queries, its firmware-command
// requests, NVRAM and firmware. The machine routes:
//
//   WmiServices::GetObject("NRVN_NVRAMAccess")      -> WmiProvider::FindClass
//   WmiServices::GetObject("\\\\H\\root\\wmi:C.InstanceName=\"t\"")
//                                                   -> WmiProvider::GetInstance
//   WmiServices::ExecMethod("C.InstanceName=\"t\"", m, in, out)
//                                                   -> WmiProvider::ExecMethod
//   DeviceHandle::DeviceIoControl on "\\\\.\\Global\\{guid}" or on a
//   firmware-command interface path                 -> DeviceProvider::DeviceIoControl
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "sim/machine/machine_description.h"

namespace skyfw::sim {

// Device interface class of the driver's firmware-command interface, one
// interface per port; its path is
// "\\\\?\\" + instance id with '\\' replaced by '#' + "#" + this GUID in braces (lower case).
inline constexpr const char* kFirmwareCommandInterfaceClass =
    "{EBE08DCF-7D4D-427B-9897-7B2994917A86}";

// ---- WMI -------------------------------------------------------------------

struct WmiParameter {
  std::u16string name;
  platform::CimType type = platform::CIM_EMPTY;
};

struct WmiMethodDefinition {
  std::u16string name;
  std::vector<WmiParameter> inputs;   // in order; empty = the method has no input object
  std::vector<WmiParameter> outputs;  // in order (ReturnValue not included)
};

struct WmiClassDefinition {
  std::u16string name;
  std::u16string key_property;           // u"InstanceName" or u"InstanceID"
  std::vector<WmiParameter> properties;  // the key property included
  std::vector<WmiMethodDefinition> methods;
};

struct WmiNamedValue {
  std::u16string name;
  platform::Variant value;
};
using WmiValues = std::vector<WmiNamedValue>;

// The driver's WMI side, for every namespace it serves ("root\\wmi" and
// "root\\standardcimv2"; names compare without regard to case).
class WmiProvider {
 public:
  virtual ~WmiProvider() = default;

  // The class, or null when the provider has no such class in that namespace.
  // Shared rather than copied: every WMI call looks its class up.
  virtual std::shared_ptr<const WmiClassDefinition> ClassOf(std::u16string_view name_space,
                                                            std::u16string_view class_name) = 0;
  // A copy of the class, or false when there is none.
  bool FindClass(std::u16string_view name_space, std::u16string_view class_name,
                 WmiClassDefinition& definition) {
    std::shared_ptr<const WmiClassDefinition> found = ClassOf(name_space, class_name);
    if (found == nullptr) return false;
    definition = *found;
    return true;
  }

  // The instance whose key property equals `key_value` (already unescaped):
  // its property values (the key included). WBEM_E_NOT_FOUND when there is
  // none. Values are passed to the caller as given, so a provider may
  // deliberately deliver a wrong type or a missing property.
  virtual platform::HRESULT GetInstance(std::u16string_view name_space,
                                        std::u16string_view class_name,
                                        std::u16string_view key_value, WmiValues& properties) = 0;

  // Executes a method on an instance. `inputs` holds the parameters the
  // caller put, already coerced to their declared CIM type (Variant::bits
  // carries the number, zero- or sign-extended as the type says; VT as WMI
  // represents the type: CIM_UINT8 VT_UI1, CIM_SINT16 VT_I2, other integers
  // up to 32 bits VT_I4, CIM_BOOLEAN VT_BOOL, CIM_STRING VT_BSTR, uint8 arrays
  // VT_ARRAY|VT_UI1). Parameters not put are absent. `outputs` receives the
  // output parameters, passed on as given. A failing method returns a failed
  // HRESULT (WBEM_E_FAILED for a driver error that GetNvmLastError then
  // reports; WBEM_E_NOT_FOUND for an unknown instance).
  virtual platform::HRESULT ExecMethod(std::u16string_view name_space,
                                       std::u16string_view class_name,
                                       std::u16string_view key_value, std::u16string_view method,
                                       const WmiValues& inputs, WmiValues& outputs) = 0;
};

// ---- device I/O ------------------------------------------------------------

enum class DeviceKind {
  kNdis,             // "\\\\.\\Global\\{interface-guid}"
  kFirmwareCommand,  // an interface of kFirmwareCommandInterfaceClass
};

// An opened device of a port.
struct DeviceTarget {
  DeviceKind kind = DeviceKind::kNdis;
  size_t adapter_index = 0;  // MachineDescription::adapters
  size_t port_index = 0;     // that adapter's ports
};

class DeviceProvider {
 public:
  virtual ~DeviceProvider() = default;

  // One DeviceIoControl on an open device (the machine has already checked
  // the device exists, is started and was opened). ERROR_SUCCESS or a Win32
  // error; `bytes_returned` never exceeds output.size().
  virtual uint32_t DeviceIoControl(const DeviceTarget& target, uint32_t control_code,
                                   std::span<const uint8_t> input, std::span<uint8_t> output,
                                   uint32_t& bytes_returned) = 0;
};

// ---- the driver ------------------------------------------------------------

// What the driver sees of the machine it runs in. Lives as long as the
// machine's Platform.
struct MachineContext {
  std::filesystem::path directory;  // the machine directory (NVRAM files go below it)
  const MachineDescription* description = nullptr;
  platform::System* system = nullptr;  // clock, process and thread ids
};

struct Driver {
  std::unique_ptr<WmiProvider> wmi;         // may be null: no WMI classes
  std::unique_ptr<DeviceProvider> devices;  // may be null: every request fails
};

// Implemented by the simulated adapter driver (src/sim/driver). Called once
// per opened machine; creates the adapters' NVRAM files on first use.
Driver CreateDriver(const MachineContext& machine);

}  // namespace skyfw::sim
