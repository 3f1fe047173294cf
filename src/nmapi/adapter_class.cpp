#include "nmapi/adapter_class.h"

#include <memory>

#include "base/text_conversion.h"
#include "nmapi/registry_values.h"
#include "platform/platform.h"

namespace skyfw {

using namespace platform;

namespace {

constexpr size_t kSubkeyNameMax = 255;
constexpr size_t kSubkeyNameCopyMax = 260;
// Texts are read as UTF-16 into 510 bytes: 254 units and the terminator.
constexpr size_t kWideValueUnits = 255;
constexpr size_t kNarrowValueBuffer = 512;
constexpr uint32_t kVlanIdLimit = 260;
constexpr uint32_t kWakeOnMagicPacketLimit = 20;

// RegQueryValueExW of a text into 510 bytes, converted to 8-bit text.
uint32_t QueryWideText(RegistryKey& key, std::string_view name, uint32_t& type, std::string& text) {
  RegistryValue value;
  uint32_t error = key.QueryValue(name, value);
  if (error != ERROR_SUCCESS) return error;
  type = value.type;
  std::optional<std::string> stored = value.AsText();
  if (!stored) return ERROR_INVALID_DATA;
  std::u16string wide;
  Utf8ToUtf16(*stored, wide);
  if (wide.size() + 1 > kWideValueUnits) return ERROR_MORE_DATA;
  text = *stored;
  return ERROR_SUCCESS;
}

std::string SubkeyPath(std::string_view parent, std::string_view name) {
  std::string path(parent);
  path += '\\';
  path += name;
  return path;
}

}  // namespace

NmapiResult FindAdapterClassKey(RegistryKey& classKey, std::string_view classKeyPath,
                                std::string_view interfaceId, std::string& subkeyName) {
  uint32_t subkeys = 0;
  uint32_t values = 0;
  if (classKey.QueryInfoKey(subkeys, values) != ERROR_SUCCESS) return ngNMAPI_REGISTRY_NOT_FOUND;
  for (uint32_t index = 0; index < subkeys; ++index) {
    std::string name;
    if (classKey.EnumKey(index, name) != ERROR_SUCCESS || name.size() > kSubkeyNameMax) continue;
    std::unique_ptr<RegistryKey> subkey;
    if (Current().registry().OpenKey(SubkeyPath(classKeyPath, name), KEY_ALL_ACCESS, subkey) !=
        ERROR_SUCCESS) {
      return ngNMAPI_REGISTRY_NOT_FOUND;
    }
    uint32_t type = REG_NONE;
    std::string instanceId;
    if (QueryWideText(*subkey, "NetCfgInstanceId", type, instanceId) != ERROR_SUCCESS) {
      instanceId.clear();
    }
    if (instanceId.compare(0, interfaceId.size(), interfaceId) == 0) {
      subkeyName = name.substr(0, kSubkeyNameCopyMax);
      return ngNMAPI_OK;
    }
  }
  return ngNMAPI_REGISTRY_NOT_FOUND;
}

NmapiResult ReadAdapterClassValue(std::string_view interfaceId, std::string_view classKeyPath,
                                  std::string_view valueName, uint32_t& valueType,
                                  std::string& text, uint32_t& limit) {
  Registry& registry = Current().registry();
  std::unique_ptr<RegistryKey> classKey;
  if (registry.OpenKey(classKeyPath, KEY_ALL_ACCESS, classKey) != ERROR_SUCCESS) {
    return ngNMAPI_REGISTRY_NOT_FOUND;
  }
  std::string subkeyName;
  if (FindAdapterClassKey(*classKey, classKeyPath, interfaceId, subkeyName) != ngNMAPI_OK) {
    return ngNMAPI_REGISTRY_NOT_FOUND;
  }
  std::unique_ptr<RegistryKey> adapterKey;
  if (registry.OpenKey(SubkeyPath(classKeyPath, subkeyName), KEY_ALL_ACCESS, adapterKey) !=
      ERROR_SUCCESS) {
    return ngNMAPI_REGISTRY_NOT_FOUND;
  }
  std::string value;
  if (QueryWideText(*adapterKey, valueName, valueType, value) != ERROR_SUCCESS) {
    return ngNMAPI_REGISTRY_NOT_FOUND;
  }
  if (value.size() + 1 > kNarrowValueBuffer || value.size() > limit) {
    return ngNMAPI_BUFFER_TOO_SMALL;
  }
  text = value;
  limit = static_cast<uint32_t>(value.size() + 1);
  return ngNMAPI_OK;
}

NmapiResult ReadVlanId(std::string_view interfaceId, AdapterVlanInfo& vlan) {
  uint32_t type = REG_NONE;
  std::string text;
  uint32_t limit = kVlanIdLimit;
  NmapiResult result =
      ReadAdapterClassValue(interfaceId, kNetClassKey, "VlanID", type, text, limit);
  uint32_t vlanId = result == ngNMAPI_OK ? DecimalNumber(text) : 0;
  if (vlanId != 0) {
    vlan.present = 1;
    vlan.count = 1;
    vlan.entry = AdapterVlanEntry{vlanId, 1, 0, 0};
  } else {
    vlan.present = 0;
  }
  return result;
}

NmapiResult ReadWakeOnMagicPacket(std::string_view interfaceId, uint32_t& wakeOnMagicPacket) {
  uint32_t type = REG_NONE;
  std::string text;
  uint32_t limit = kWakeOnMagicPacketLimit;
  NmapiResult result =
      ReadAdapterClassValue(interfaceId, kNetClassKey, "*WakeOnMagicPacket", type, text, limit);
  if (result == ngNMAPI_OK) wakeOnMagicPacket = DecimalNumber(text);
  return result;
}

}  // namespace skyfw
