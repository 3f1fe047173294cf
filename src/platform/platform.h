// The operating-system seam.
//
// Everything the system needs from Windows and from the adapter's driver
// reaches it through the interfaces collected by Platform. Exactly one
// Platform serves the process; the plug-in's composition root picks it at
// load and tests install their own.
//
// Conventions of every interface here: results are the Windows codes of the
// call they stand for (Win32 error numbers, CONFIGRET, HRESULT, WAIT_*), so
// what Windows leaves in GetLastError comes back as the result; handles are
// objects owned by the caller and closed when destroyed. The thread's last
// error (System::GetLastError) changes only through System::SetLastError.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/device_io.h"
#include "platform/devices.h"
#include "platform/event_log.h"
#include "platform/ip_helper.h"
#include "platform/named_mutex.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/win32_types.h"
#include "platform/wmi.h"

namespace skyfw::platform {

// Process, thread and machine facts, debugger output, security descriptors.
class System {
 public:
  virtual ~System() = default;

  // OutputDebugStringA: one call per trace line.
  virtual void OutputDebugString(std::string_view text) = 0;
  virtual uint32_t GetCurrentProcessId() = 0;
  virtual uint32_t GetCurrentThreadId() = 0;

  // GetTickCount: milliseconds since the system started, wrapping at 2^32.
  virtual uint32_t GetTickCount();
  // Sleep.
  virtual void Sleep(uint32_t milliseconds);
  // Calendar time now (seconds since 1970, UTC), for firmware clocks and logs.
  virtual std::time_t CurrentTime();

  // GetComputerName: the NetBIOS name (at most 15 characters).
  virtual uint32_t GetComputerName(std::string& name);
  // SHGetFolderPath(CSIDL_COMMON_APPDATA): the all-users application data
  // folder, as a path of this platform (no trailing separator).
  virtual uint32_t GetCommonAppDataFolder(std::string& path);
  // GetSystemDirectory, as a path of this platform.
  virtual uint32_t GetSystemDirectory(std::string& path);
  // LoadLibraryEx(library_path) + GetProcAddress(function) + FreeLibrary:
  // ERROR_SUCCESS when the library loads and exports the function,
  // ERROR_MOD_NOT_FOUND when it does not load, ERROR_PROC_NOT_FOUND when the
  // function is missing.
  virtual uint32_t LibraryExportsFunction(std::string_view library_path, std::string_view function);
  // GetModuleHandleEx(from an address inside the plug-in) + GetModuleFileName:
  // the full path of the plug-in's own file (or of the program it is linked
  // into).
  virtual uint32_t GetModuleFileName(std::string& path);

  // The calling thread's last error (GetLastError / SetLastError).
  virtual uint32_t GetLastError();
  virtual void SetLastError(uint32_t error);
  // FormatMessage(FROM_SYSTEM | IGNORE_INSERTS, code, language 0x0400): the
  // system's text for a Win32 error, ending in "\r\n". False when the code
  // has no text.
  virtual bool FormatMessage(uint32_t code, std::string& text);

  // InitializeSecurityDescriptor(revision 1) and SetSecurityDescriptorDacl:
  // false (with the last error set) when the call fails.
  virtual bool InitializeSecurityDescriptor(SecurityDescriptor& descriptor);
  virtual bool SetSecurityDescriptorDacl(SecurityDescriptor& descriptor, bool present,
                                         bool null_dacl, bool defaulted);
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual System& system() = 0;
  virtual Registry& registry() = 0;
  virtual Devices& devices() = 0;
  virtual DeviceIo& deviceIo() = 0;
  virtual IpHelper& ipHelper() = 0;
  virtual Services& services() = 0;
  virtual Wmi& wmi() = 0;
  virtual EventLog& eventLog() = 0;
  virtual Mutexes& mutexes() = 0;
};

// The platform serving this process. Before any is installed, a minimal one
// answers: real process and thread ids, tick count, sleep and clock; an empty
// machine otherwise (no registry keys, no devices, no adapters, WMI
// namespaces unreachable, named mutexes refused). Its debugger output
// is dropped, or written to standard error when SKYFW_DEBUG_OUTPUT=stderr.
Platform& Current();

// Installs a platform for the process; nullptr restores the minimal one.
// The caller keeps ownership and must outlive its use.
void Install(Platform* platform);

// The minimal platform itself, for tests that want an empty machine.
Platform& Minimal();

}  // namespace skyfw::platform
