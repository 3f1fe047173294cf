// The driver's WMI face.
//
// In root\wmi, one instance per port, keyed by InstanceName (the port's
// title): NRVN_NVRAMAccess (directory, read, create, modify, install,
// options, last error), NRVN_FWTime (firmware clock), NRVN_HwDeviceAccess
// (registers) and NRVN_NVRAMPackage (the installed package's Version). In
// root\standardcimv2, MSFT_NetAdapterSriovSettingData keyed by InstanceID
// (the port's interface identifier) for ports that have an SR-IOV setting.
//
// Method parameters carry the names and CIM types the library relies on;
// outputs are delivered as WMI represents their CIM types (uint8 as VT_UI1,
// uint16 and uint32 as VT_I4, uint8 arrays as VT_ARRAY|VT_UI1).
#pragma once

#include <memory>
#include <vector>

#include "sim/driver/driver_adapters.h"
#include "sim/machine/driver_interface.h"

namespace skyfw::sim {

inline constexpr char16_t kDriverNamespace[] = u"root\\wmi";
inline constexpr char16_t kStandardCimv2Namespace[] = u"root\\standardcimv2";

// Classes of root\wmi with their 16-bit inputs declared as `sixteen_bit`.
std::vector<WmiClassDefinition> DriverWmiClasses(SixteenBitInputs sixteen_bit);
WmiClassDefinition SriovSettingClass();

std::unique_ptr<WmiProvider> MakeDriverWmiProvider(std::shared_ptr<DriverAdapters> adapters);

}  // namespace skyfw::sim
