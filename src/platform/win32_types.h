// The Windows vocabulary of the seam: error numbers, HRESULTs, registry
// types, device properties, configuration-manager codes, access flags.
//
// Values are the ones Windows uses, so code above the seam reads like the
// system's own and a Windows implementation can pass them through unchanged.
// Names follow Windows exactly; they live in skyfw::platform, so they never
// meet the Windows headers' macros in the same scope.
//
// Beside <windows.h>: the Windows headers define most of these names (and
// the A/W method names CreateFile, CreateMutex, FormatMessage,
// GetComputerName, GetModuleFileName, GetObject, GetSystemDirectory,
// OpenSCManager, OutputDebugString, RegisterEventSource, ReportEvent) as
// macros, so no source includes both in the wrong order. Only the Win32
// platform (src/win32) includes Windows headers, always through
// win32/windows_api.h: it includes the seam first, then Windows, undefines
// the eleven A/W names, and proves at compile time that every name both
// define has the same value; after it, such a name means Windows' macro
// and a seam-only name is written platform::NAME. Nothing above the seam
// includes a Windows header.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace skyfw::platform {

using HRESULT = int32_t;

// Win32 error numbers (GetLastError, registry and SetupAPI results).
inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t ERROR_INVALID_DATA = 13;
inline constexpr uint32_t ERROR_NOT_READY = 21;
inline constexpr uint32_t ERROR_BAD_LENGTH = 24;
inline constexpr uint32_t ERROR_GEN_FAILURE = 31;
inline constexpr uint32_t ERROR_SHARING_VIOLATION = 32;
inline constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr uint32_t ERROR_FILE_EXISTS = 80;
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERROR_BUFFER_OVERFLOW = 111;
inline constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr uint32_t ERROR_INVALID_NAME = 123;
inline constexpr uint32_t ERROR_MOD_NOT_FOUND = 126;
inline constexpr uint32_t ERROR_PROC_NOT_FOUND = 127;
inline constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr uint32_t ERROR_NO_DATA = 232;
inline constexpr uint32_t ERROR_MORE_DATA = 234;
inline constexpr uint32_t WAIT_TIMEOUT = 258;
inline constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr uint32_t ERROR_NOT_OWNER = 288;
inline constexpr uint32_t ERROR_SERVICE_DATABASE_LOCKED = 1055;
inline constexpr uint32_t ERROR_SHUTDOWN_IN_PROGRESS = 1115;
inline constexpr uint32_t ERROR_DEVICE_NOT_CONNECTED = 1167;
inline constexpr uint32_t ERROR_NOT_FOUND = 1168;
inline constexpr uint32_t ERROR_TIMEOUT = 1460;

// Results of a wait on a mutex.
inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_ABANDONED = 0x80;
inline constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;
inline constexpr uint32_t INFINITE = 0xFFFFFFFF;

// HRESULTs of COM and WMI.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
inline constexpr HRESULT RPC_E_TOO_LATE = static_cast<HRESULT>(0x80010119);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
inline constexpr HRESULT WBEM_E_FAILED = static_cast<HRESULT>(0x80041001);
inline constexpr HRESULT WBEM_E_NOT_FOUND = static_cast<HRESULT>(0x80041002);
inline constexpr HRESULT WBEM_E_ACCESS_DENIED = static_cast<HRESULT>(0x80041003);
inline constexpr HRESULT WBEM_E_PROVIDER_FAILURE = static_cast<HRESULT>(0x80041004);
inline constexpr HRESULT WBEM_E_TYPE_MISMATCH = static_cast<HRESULT>(0x80041005);
inline constexpr HRESULT WBEM_E_INVALID_PARAMETER = static_cast<HRESULT>(0x80041008);
inline constexpr HRESULT WBEM_E_NOT_SUPPORTED = static_cast<HRESULT>(0x8004100C);
inline constexpr HRESULT WBEM_E_INVALID_NAMESPACE = static_cast<HRESULT>(0x8004100E);
inline constexpr HRESULT WBEM_E_INVALID_CLASS = static_cast<HRESULT>(0x80041010);
inline constexpr HRESULT WBEM_E_INVALID_METHOD = static_cast<HRESULT>(0x8004102E);
inline constexpr HRESULT WBEM_E_INVALID_METHOD_PARAMETERS = static_cast<HRESULT>(0x8004102F);
inline constexpr HRESULT WBEM_E_INVALID_OBJECT_PATH = static_cast<HRESULT>(0x8004103A);
inline constexpr HRESULT WBEM_E_TRANSPORT_FAILURE = static_cast<HRESULT>(0x80041015);

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// CoInitializeEx apartment models.
inline constexpr uint32_t COINIT_MULTITHREADED = 0x0;
inline constexpr uint32_t COINIT_APARTMENTTHREADED = 0x2;

// IWbemLocator::ConnectServer flag used by the system.
inline constexpr int32_t WBEM_FLAG_CONNECT_USE_MAX_WAIT = 0x80;

// Registry value types.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;
inline constexpr uint32_t REG_MULTI_SZ = 7;
inline constexpr uint32_t REG_QWORD = 11;

// Registry access rights. Any right outside KEY_READ counts as a write.
inline constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr uint32_t KEY_READ = 0x20019;
inline constexpr uint32_t KEY_WRITE = 0x20006;
inline constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

// Generic access and sharing for CreateFile on devices.
inline constexpr uint32_t GENERIC_READ = 0x80000000;
inline constexpr uint32_t GENERIC_WRITE = 0x40000000;
inline constexpr uint32_t FILE_SHARE_READ = 0x1;
inline constexpr uint32_t FILE_SHARE_WRITE = 0x2;

// Service control manager access.
inline constexpr uint32_t SC_MANAGER_ALL_ACCESS = 0xF003F;
inline constexpr uint32_t SC_MANAGER_QUERY_LOCK_STATUS = 0x0010;

// Event log entry types.
inline constexpr uint16_t EVENTLOG_SUCCESS = 0x0000;
inline constexpr uint16_t EVENTLOG_ERROR_TYPE = 0x0001;
inline constexpr uint16_t EVENTLOG_WARNING_TYPE = 0x0002;
inline constexpr uint16_t EVENTLOG_INFORMATION_TYPE = 0x0004;

// SetupDiGetClassDevs flags.
inline constexpr uint32_t DIGCF_PRESENT = 0x2;
inline constexpr uint32_t DIGCF_DEVICEINTERFACE = 0x10;

// SetupDiGetDeviceRegistryProperty properties.
inline constexpr uint32_t SPDRP_DEVICEDESC = 0x00;
inline constexpr uint32_t SPDRP_HARDWAREID = 0x01;
inline constexpr uint32_t SPDRP_SERVICE = 0x04;
inline constexpr uint32_t SPDRP_CLASS = 0x07;
inline constexpr uint32_t SPDRP_CLASSGUID = 0x08;
inline constexpr uint32_t SPDRP_DRIVER = 0x09;
inline constexpr uint32_t SPDRP_MFG = 0x0B;
inline constexpr uint32_t SPDRP_FRIENDLYNAME = 0x0C;
inline constexpr uint32_t SPDRP_LOCATION_INFORMATION = 0x0D;
inline constexpr uint32_t SPDRP_BUSTYPEGUID = 0x13;
inline constexpr uint32_t SPDRP_LEGACYBUSTYPE = 0x14;
inline constexpr uint32_t SPDRP_BUSNUMBER = 0x15;
inline constexpr uint32_t SPDRP_ADDRESS = 0x1C;

// INTERFACE_TYPE values of SPDRP_LEGACYBUSTYPE.
inline constexpr uint32_t LEGACY_BUS_PCI = 5;
inline constexpr uint32_t LEGACY_BUS_PCMCIA = 8;

// Configuration manager results (CONFIGRET).
inline constexpr uint32_t CR_SUCCESS = 0x00;
inline constexpr uint32_t CR_OUT_OF_MEMORY = 0x02;
inline constexpr uint32_t CR_INVALID_POINTER = 0x03;
inline constexpr uint32_t CR_INVALID_FLAG = 0x04;
inline constexpr uint32_t CR_INVALID_DEVNODE = 0x05;
inline constexpr uint32_t CR_NO_SUCH_DEVNODE = 0x0D;
inline constexpr uint32_t CR_FAILURE = 0x13;
inline constexpr uint32_t CR_BUFFER_SMALL = 0x1A;
inline constexpr uint32_t CR_INVALID_DEVICE_ID = 0x1E;
inline constexpr uint32_t CR_NO_SUCH_VALUE = 0x25;
inline constexpr uint32_t CR_ACCESS_DENIED = 0x33;
inline constexpr uint32_t CR_NO_SUCH_DEVICE_INTERFACE = 0x37;

// CM_Locate_DevNode flags.
inline constexpr uint32_t CM_LOCATE_DEVNODE_NORMAL = 0x0;
inline constexpr uint32_t CM_LOCATE_DEVNODE_PHANTOM = 0x1;

// CM_Get_Device_Interface_List flags.
inline constexpr uint32_t CM_GET_DEVICE_INTERFACE_LIST_PRESENT = 0x0;
inline constexpr uint32_t CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES = 0x1;

// Device node status bits and problem numbers.
inline constexpr uint32_t DN_DRIVER_LOADED = 0x00000002;
inline constexpr uint32_t DN_STARTED = 0x00000008;
inline constexpr uint32_t DN_DISABLEABLE = 0x00002000;
inline constexpr uint32_t DN_HAS_PROBLEM = 0x00000400;
inline constexpr uint32_t CM_PROB_NOT_CONFIGURED = 1;
inline constexpr uint32_t CM_PROB_FAILED_START = 10;
inline constexpr uint32_t CM_PROB_DISABLED = 22;

// Device property types (DEVPROPTYPE).
inline constexpr uint32_t DEVPROP_TYPE_EMPTY = 0x00;
inline constexpr uint32_t DEVPROP_TYPE_UINT32 = 0x07;
inline constexpr uint32_t DEVPROP_TYPE_GUID = 0x0D;
inline constexpr uint32_t DEVPROP_TYPE_STRING = 0x12;

// A GUID with Windows' field layout. ToBytes gives the 16-byte in-memory
// form (first three fields little-endian), which SPDRP_BUSTYPEGUID returns.
struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};

  friend bool operator==(const Guid&, const Guid&) = default;

  std::array<uint8_t, 16> ToBytes() const;
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
  std::string ToString() const;
  // Accepts the braced form (either case, braces optional); nothing on a malformed text.
  static std::optional<Guid> Parse(std::string_view text);
};

// Device property key (DEVPROPKEY).
struct DevPropKey {
  Guid fmtid;
  uint32_t pid = 0;
  friend bool operator==(const DevPropKey&, const DevPropKey&) = default;
};

// Well-known GUIDs and property keys.
// Network adapter setup class {4D36E972-E325-11CE-BFC1-08002BE10318}.
extern const Guid GUID_DEVCLASS_NET;
extern const Guid GUID_BUS_TYPE_PCI;
extern const Guid GUID_BUS_TYPE_PCMCIA;
extern const Guid GUID_BUS_TYPE_1394;
extern const Guid GUID_BUS_TYPE_USB;
extern const DevPropKey DEVPKEY_Device_DeviceDesc;  // {A45C254E-...}, 2
extern const DevPropKey DEVPKEY_Device_InstanceId;  // {78C34FC8-...}, 256

}  // namespace skyfw::platform
