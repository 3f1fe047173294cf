// The Windows headers, for the Win32 platform's sources only.
//
// The seam speaks Windows' own vocabulary (ERROR_*, S_OK, REG_*, KEY_*,
// CR_*, ...) as constants in skyfw::platform, and names some methods after
// the Windows calls they stand for. The Windows headers define most of those
// names as macros, so the two cannot meet in any order: this header includes
// the seam first, then the Windows headers, and from then on
// - a name both define is Windows' macro: Win32 sources spell it unqualified
//   and get Windows' value, which the checks below prove equal to the seam's;
// - a seam constant Windows lacks (IOCTL_NRVN_FWCMD ...) is spelled
//   `platform::NAME`;
// - the A/W macros that are also seam method names are undefined here, so
//   the seam's methods keep their names; the sources call the W (or A)
//   function by its explicit name;
// - UNICODE is on, NOGDI and NOMINMAX keep GetObject, ERROR, min and max out.
// Nothing above the seam includes this header.
#pragma once

#include "platform/platform.h"

// Seam values of names Windows also defines, captured before its macros exist.
#define SKYFW_NAMES_WINDOWS_ALSO_DEFINES(X)   \
  X(ERROR_SUCCESS)                            \
  X(ERROR_INVALID_FUNCTION)                   \
  X(ERROR_FILE_NOT_FOUND)                     \
  X(ERROR_PATH_NOT_FOUND)                     \
  X(ERROR_ACCESS_DENIED)                      \
  X(ERROR_INVALID_HANDLE)                     \
  X(ERROR_NOT_ENOUGH_MEMORY)                  \
  X(ERROR_INVALID_DATA)                       \
  X(ERROR_NOT_READY)                          \
  X(ERROR_GEN_FAILURE)                        \
  X(ERROR_SHARING_VIOLATION)                  \
  X(ERROR_NOT_SUPPORTED)                      \
  X(ERROR_INVALID_PARAMETER)                  \
  X(ERROR_BUFFER_OVERFLOW)                    \
  X(ERROR_INSUFFICIENT_BUFFER)                \
  X(ERROR_MOD_NOT_FOUND)                      \
  X(ERROR_PROC_NOT_FOUND)                     \
  X(ERROR_ALREADY_EXISTS)                     \
  X(ERROR_NO_DATA)                            \
  X(ERROR_MORE_DATA)                          \
  X(WAIT_TIMEOUT)                             \
  X(ERROR_NO_MORE_ITEMS)                      \
  X(ERROR_NOT_OWNER)                          \
  X(ERROR_SERVICE_DATABASE_LOCKED)            \
  X(ERROR_SHUTDOWN_IN_PROGRESS)               \
  X(ERROR_NOT_FOUND)                          \
  X(WAIT_OBJECT_0)                            \
  X(WAIT_ABANDONED)                           \
  X(WAIT_FAILED)                              \
  X(INFINITE)                                 \
  X(S_OK)                                     \
  X(S_FALSE)                                  \
  X(E_FAIL)                                   \
  X(E_INVALIDARG)                             \
  X(E_OUTOFMEMORY)                            \
  X(REGDB_E_CLASSNOTREG)                      \
  X(RPC_E_CHANGED_MODE)                       \
  X(RPC_E_TOO_LATE)                           \
  X(CO_E_NOTINITIALIZED)                      \
  X(WBEM_E_NOT_FOUND)                         \
  X(WBEM_E_TYPE_MISMATCH)                     \
  X(WBEM_E_INVALID_NAMESPACE)                 \
  X(WBEM_FLAG_CONNECT_USE_MAX_WAIT)           \
  X(COINIT_MULTITHREADED)                     \
  X(COINIT_APARTMENTTHREADED)                 \
  X(REG_NONE)                                 \
  X(REG_SZ)                                   \
  X(REG_EXPAND_SZ)                            \
  X(REG_BINARY)                               \
  X(REG_DWORD)                                \
  X(REG_MULTI_SZ)                             \
  X(REG_QWORD)                                \
  X(KEY_QUERY_VALUE)                          \
  X(KEY_SET_VALUE)                            \
  X(KEY_READ)                                 \
  X(KEY_WRITE)                                \
  X(KEY_ALL_ACCESS)                           \
  X(GENERIC_READ)                             \
  X(GENERIC_WRITE)                            \
  X(FILE_SHARE_READ)                          \
  X(FILE_SHARE_WRITE)                         \
  X(SC_MANAGER_ALL_ACCESS)                    \
  X(SC_MANAGER_QUERY_LOCK_STATUS)             \
  X(EVENTLOG_SUCCESS)                         \
  X(EVENTLOG_ERROR_TYPE)                      \
  X(EVENTLOG_INFORMATION_TYPE)                \
  X(DIGCF_PRESENT)                            \
  X(DIGCF_DEVICEINTERFACE)                    \
  X(SPDRP_DEVICEDESC)                         \
  X(SPDRP_HARDWAREID)                         \
  X(SPDRP_FRIENDLYNAME)                       \
  X(SPDRP_BUSTYPEGUID)                        \
  X(SPDRP_LEGACYBUSTYPE)                      \
  X(SPDRP_BUSNUMBER)                          \
  X(SPDRP_ADDRESS)                            \
  X(CR_SUCCESS)                               \
  X(CR_FAILURE)                               \
  X(CR_BUFFER_SMALL)                          \
  X(CR_NO_SUCH_DEVNODE)                       \
  X(CR_NO_SUCH_VALUE)                         \
  X(CR_NO_SUCH_DEVICE_INTERFACE)              \
  X(CM_LOCATE_DEVNODE_NORMAL)                 \
  X(CM_LOCATE_DEVNODE_PHANTOM)                \
  X(CM_GET_DEVICE_INTERFACE_LIST_PRESENT)     \
  X(CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES) \
  X(DN_DRIVER_LOADED)                         \
  X(DN_STARTED)                               \
  X(DN_HAS_PROBLEM)                           \
  X(CM_PROB_DISABLED)                         \
  X(DEVPROP_TYPE_UINT32)                      \
  X(DEVPROP_TYPE_GUID)                        \
  X(DEVPROP_TYPE_STRING)                      \
  X(MIB_IF_TYPE_ETHERNET)                     \
  X(GAA_FLAG_INCLUDE_PREFIX)                  \
  X(GAA_FLAG_INCLUDE_GATEWAYS)                \
  X(GAA_FLAG_INCLUDE_ALL_INTERFACES)          \
  X(VT_EMPTY)                                 \
  X(VT_NULL)                                  \
  X(VT_I2)                                    \
  X(VT_I4)                                    \
  X(VT_BSTR)                                  \
  X(VT_BOOL)                                  \
  X(VT_I1)                                    \
  X(VT_UI1)                                   \
  X(VT_UI2)                                   \
  X(VT_UI4)                                   \
  X(VT_I8)                                    \
  X(VT_UI8)                                   \
  X(VT_ARRAY)                                 \
  X(VARIANT_TRUE)                             \
  X(CIM_SINT32)                               \
  X(CIM_UINT8)                                \
  X(CIM_UINT16)                               \
  X(CIM_UINT32)                               \
  X(CIM_STRING)                               \
  X(CIM_BOOLEAN)                              \
  X(CIM_FLAG_ARRAY)

namespace skyfw::win32::seam_value {
#define SKYFW_CAPTURE_SEAM_VALUE(name) inline constexpr auto name##_ = ::skyfw::platform::name;
SKYFW_NAMES_WINDOWS_ALSO_DEFINES(SKYFW_CAPTURE_SEAM_VALUE)
#undef SKYFW_CAPTURE_SEAM_VALUE
}  // namespace skyfw::win32::seam_value

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef NOGDI
#define NOGDI
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

// clang-format off
#include <winsock2.h>  // before windows.h, for the IP helper's types
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <shlobj.h>
// clang-format on

// A/W macros that are seam method names.
#undef CreateFile
#undef CreateMutex
#undef FormatMessage
#undef GetComputerName
#undef GetModuleFileName
#undef GetObject
#undef GetSystemDirectory
#undef OpenSCManager
#undef OutputDebugString
#undef RegisterEventSource
#undef ReportEvent

namespace skyfw::win32::seam_value {
// Compared as 32-bit patterns: an HRESULT is a signed LONG here, an enum there.
#define SKYFW_CHECK_SEAM_VALUE(name)                                           \
  static_assert(static_cast<uint32_t>(name##_) == static_cast<uint32_t>(name), \
                "seam value differs from Windows: " #name);
SKYFW_NAMES_WINDOWS_ALSO_DEFINES(SKYFW_CHECK_SEAM_VALUE)
#undef SKYFW_CHECK_SEAM_VALUE
}  // namespace skyfw::win32::seam_value

#undef SKYFW_NAMES_WINDOWS_ALSO_DEFINES
