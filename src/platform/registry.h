// The registry below HKEY_LOCAL_MACHINE.
//
// Paths use backslashes ("SYSTEM\\CurrentControlSet\\Services\\velond") and
// compare without regard to case, as on Windows. Results are Win32 error
// numbers. Text values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are stored as
// UTF-8 with their terminating zero(s), the form the A functions return;
// callers of the W functions convert. Callers apply their own buffer limits
// to what QueryValue returns.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace skyfw::platform {

struct RegistryValue {
  uint32_t type = REG_NONE;
  std::vector<uint8_t> data;

  static RegistryValue Text(std::string_view text, uint32_t type = REG_SZ);
  static RegistryValue Dword(uint32_t value);
  static RegistryValue Binary(std::vector<uint8_t> bytes);

  // The text of a REG_SZ or REG_EXPAND_SZ (up to its first zero byte);
  // the first string of a REG_MULTI_SZ. Nothing for other types.
  std::optional<std::string> AsText() const;
  // A REG_DWORD (or a REG_BINARY of exactly 4 bytes, as RegQueryValueEx
  // into a DWORD would read it). Nothing otherwise.
  std::optional<uint32_t> AsDword() const;
};

// An open key (HKEY); closed when destroyed (RegCloseKey).
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;

  // RegQueryValueEx: ERROR_FILE_NOT_FOUND when the value is missing.
  // The empty name is the key's default value.
  virtual uint32_t QueryValue(std::string_view name, RegistryValue& value) = 0;

  // RegSetValueEx: ERROR_ACCESS_DENIED when the key was opened without
  // KEY_SET_VALUE. The write lasts (the machine keeps it).
  virtual uint32_t SetValue(std::string_view name, const RegistryValue& value) = 0;

  // RegEnumKeyEx: the name of subkey `index` in the key's order, or
  // ERROR_NO_MORE_ITEMS past the last one.
  virtual uint32_t EnumKey(uint32_t index, std::string& name) = 0;

  // RegQueryInfoKey: the number of subkeys and values.
  virtual uint32_t QueryInfoKey(uint32_t& subkey_count, uint32_t& value_count) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyEx below HKEY_LOCAL_MACHINE with `access` (KEY_READ,
  // KEY_ALL_ACCESS ...). ERROR_FILE_NOT_FOUND for a missing key,
  // ERROR_ACCESS_DENIED when the key refuses the access asked for.
  virtual uint32_t OpenKey(std::string_view path, uint32_t access,
                           std::unique_ptr<RegistryKey>& key) = 0;

  // RegCreateKeyEx (non-volatile, default security): opens the key or
  // creates it with its missing parents; `created` (optional) tells which.
  virtual uint32_t CreateKey(std::string_view path, uint32_t access,
                             std::unique_ptr<RegistryKey>& key, bool* created) = 0;
};

}  // namespace skyfw::platform
