// Settings of an adapter's own subkey of the network adapter class key,
// found by its NetCfgInstanceId.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "nmapi/adapter_info.h"
#include "base/nmapi_result.h"
#include "platform/registry.h"

namespace skyfw {

inline constexpr const char* kNetClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}";

// The subkey of the open class key at `classKeyPath` whose NetCfgInstanceId
// begins with `interfaceId`: 0, or 56 when there is none.
NmapiResult FindAdapterClassKey(platform::RegistryKey& classKey, std::string_view classKeyPath,
                                std::string_view interfaceId, std::string& subkeyName);

// A text value of the adapter's subkey below `classKeyPath`: 0 with the text
// and `limit` set to its length plus one; 3 when the text is longer than
// `limit`; 56 when the key or value is missing. `valueType` receives the
// value's registry type.
NmapiResult ReadAdapterClassValue(std::string_view interfaceId, std::string_view classKeyPath,
                                  std::string_view valueName, uint32_t& valueType,
                                  std::string& text, uint32_t& limit);

// The "VlanID" setting into the vlan record; the result of the read.
NmapiResult ReadVlanId(std::string_view interfaceId, AdapterVlanInfo& vlan);

// The "*WakeOnMagicPacket" setting, stored only when it could be read.
NmapiResult ReadWakeOnMagicPacket(std::string_view interfaceId, uint32_t& wakeOnMagicPacket);

}  // namespace skyfw
