#include "win32/win32_registry.h"

#include <algorithm>
#include <vector>

#include "win32/owned_handles.h"
#include "win32/registry_text.h"
#include "win32/wide_text.h"
#include "win32/windows_api.h"

namespace skyfw::win32 {

namespace {

class Win32RegistryKey final : public platform::RegistryKey {
 public:
  explicit Win32RegistryKey(OwnedRegistryKey key) : key_(std::move(key)) {}

  uint32_t QueryValue(std::string_view name, platform::RegistryValue& value) override {
    const std::optional<std::wstring> wide_name = platform::ToWide(name);
    if (!wide_name) return ERROR_NO_UNICODE_TRANSLATION;
    std::vector<uint8_t> bytes(256);
    DWORD type = REG_NONE;
    for (;;) {
      DWORD size = static_cast<DWORD>(bytes.size());
      LSTATUS status =
          ::RegQueryValueExW(key_.get(), wide_name->c_str(), nullptr, &type, bytes.data(), &size);
      if (status == ERROR_MORE_DATA) {
        // The value may grow between the calls: ask again with what it said.
        bytes.resize(std::max<size_t>(size, bytes.size() * 2));
        continue;
      }
      if (status != ERROR_SUCCESS) return static_cast<uint32_t>(status);
      bytes.resize(size);
      break;
    }
    value.type = type;
    value.data = IsRegistryTextType(type) ? RegistryTextToUtf8(type, bytes) : std::move(bytes);
    return ERROR_SUCCESS;
  }

  uint32_t SetValue(std::string_view name, const platform::RegistryValue& value) override {
    const std::optional<std::wstring> wide_name = platform::ToWide(name);
    if (!wide_name) return ERROR_NO_UNICODE_TRANSLATION;
    std::vector<uint8_t> bytes =
        IsRegistryTextType(value.type) ? Utf8ToRegistryText(value.data) : value.data;
    return static_cast<uint32_t>(::RegSetValueExW(key_.get(), wide_name->c_str(), 0, value.type,
                                                  bytes.empty() ? nullptr : bytes.data(),
                                                  static_cast<DWORD>(bytes.size())));
  }

  uint32_t EnumKey(uint32_t index, std::string& name) override {
    wchar_t buffer[256] = {};  // key names are at most 255 units
    DWORD size = 256;
    LSTATUS status =
        ::RegEnumKeyExW(key_.get(), index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return static_cast<uint32_t>(status);
    name = Narrow(std::wstring_view(buffer, size));
    return ERROR_SUCCESS;
  }

  uint32_t QueryInfoKey(uint32_t& subkey_count, uint32_t& value_count) override {
    DWORD subkeys = 0;
    DWORD values = 0;
    LSTATUS status = ::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                        nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return static_cast<uint32_t>(status);
    subkey_count = subkeys;
    value_count = values;
    return ERROR_SUCCESS;
  }

 private:
  OwnedRegistryKey key_;
};

}  // namespace

uint32_t Win32Registry::OpenKey(std::string_view path, uint32_t access,
                                std::unique_ptr<platform::RegistryKey>& key) {
  const std::optional<std::wstring> wide_path = platform::ToWide(path);
  if (!wide_path) return ERROR_NO_UNICODE_TRANSLATION;
  HKEY opened = nullptr;
  LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide_path->c_str(), 0, access, &opened);
  if (status != ERROR_SUCCESS) return static_cast<uint32_t>(status);
  key = std::make_unique<Win32RegistryKey>(OwnedRegistryKey(opened));
  return ERROR_SUCCESS;
}

uint32_t Win32Registry::CreateKey(std::string_view path, uint32_t access,
                                  std::unique_ptr<platform::RegistryKey>& key, bool* created) {
  const std::optional<std::wstring> wide_path = platform::ToWide(path);
  if (!wide_path) return ERROR_NO_UNICODE_TRANSLATION;
  HKEY opened = nullptr;
  DWORD disposition = 0;
  LSTATUS status =
      ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide_path->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        access, nullptr, &opened, &disposition);
  if (status != ERROR_SUCCESS) return static_cast<uint32_t>(status);
  key = std::make_unique<Win32RegistryKey>(OwnedRegistryKey(opened));
  if (created != nullptr) *created = disposition == REG_CREATED_NEW_KEY;
  return ERROR_SUCCESS;
}

}  // namespace skyfw::win32
