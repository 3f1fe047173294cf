#include "nmapi/chip_identity.h"

#include <string>

#include "base/text_conversion.h"
#include "base/fixed_text.h"
#include "nmapi/nmapi_log.h"
#include "nmapi/product_data.h"
#include "nvm/nvm_operations.h"
#include "nvm/wmi_helper.h"

namespace skyfw {

using platform::WmiObjectPtr;

namespace {

// One ReadReg32 of NRVN_HwDeviceAccess on the adapter's instance: 0 or 43.
NmapiResult ReadChipRegister(const AdapterNode& node, uint32_t offset, uint32_t& value) {
  WmiHelper wmi(u"root\\wmi");
  if (!wmi.IsConnected()) return ngNMAPI_WMI_FAILED;
  WmiObjectPtr input;
  if (!wmi.PrepareMethod(u"NRVN_HwDeviceAccess", u"ReadReg32", input) || !input) {
    return ngNMAPI_WMI_FAILED;
  }
  if (!PutInt32(input, u"offset", offset)) return ngNMAPI_WMI_FAILED;
  std::u16string instance;
  Utf8ToUtf16(TextUpToZero(node.info.title), instance);
  WmiObjectPtr output;
  if (!wmi.ExecuteMethod(u"NRVN_HwDeviceAccess", instance, u"ReadReg32", input, output) ||
      !output) {
    return ngNMAPI_WMI_FAILED;
  }
  if (!GetUInt32(output, u"value", value)) return ngNMAPI_WMI_FAILED;
  return ngNMAPI_OK;
}

// Fetches the adapter's SR-IOV settings instance: 0 or 43.
NmapiResult FetchSriovSettings(WmiHelper& wmi, const AdapterNode& node, WmiObjectPtr& instance) {
  std::u16string instanceId;
  Utf8ToUtf16(TextUpToZero(node.info.interfaceId), instanceId);
  instance.reset();
  if (!wmi.GetInstanceById(u"root\\standardcimv2", u"MSFT_NetAdapterSriovSettingData", instanceId,
                           instance) ||
      !instance) {
    return ngNMAPI_WMI_FAILED;
  }
  return ngNMAPI_OK;
}

}  // namespace

uint32_t ChipId(uint32_t number, uint32_t revision, uint32_t metal) {
  return (((number << 8) | revision) << 8) | metal;
}

void ReadBaseAddresses(AdapterNode& node) {
  std::string title(TextUpToZero(node.info.title));
  static_assert(sizeof(node.info.bar) / sizeof(node.info.bar[0]) == kBaseAddressCount);
  for (uint32_t i = 0; i < kBaseAddressCount; ++i) {
    uint32_t value = 0;
    if (velonvmReadRegister(title, kBaseAddressRegister + 4 * i, value) != 0) value = 0;
    node.info.bar[i] = value;
  }
}

NmapiResult VeloGetChipInfo(AdapterNode* node) {
  if (node == nullptr) return ngNMAPI_INVALID_PARAMETER;
  if (node->info.driverKind != kDriverKindCurrent) {
    NmapiLog(kLogWarning, "VeloGetChipInfo().Invalid nic type %d \n",
             static_cast<int>(node->info.driverKind));
    return ngNMAPI_INVALID_PARAMETER;
  }
  uint32_t number = 0;
  NmapiResult result = ReadChipRegister(*node, kChipNumberRegister, number);
  if (result != ngNMAPI_OK) {
    NmapiLog(kLogWarning, "VeloGetChipInfo(). Reading Chip number info failed \n");
    return result;
  }
  uint32_t revision = 0;
  result = ReadChipRegister(*node, kChipRevisionRegister, revision);
  if (result != ngNMAPI_OK) {
    NmapiLog(kLogWarning, "VeloGetChipInfo(). Reading Chip Revision info failed \n");
    return result;
  }
  uint32_t metal = 0;
  result = ReadChipRegister(*node, kChipMetalRegister, metal);
  if (result != ngNMAPI_OK) {
    NmapiLog(kLogWarning, "VeloGetChipInfo(). Reading Chip Metal info failed \n");
    return result;
  }
  node->info.chipId = ChipId(number, revision, metal);
  return ngNMAPI_OK;
}

NmapiResult GetSriovInfo(AdapterNode* node) {
  if (node == nullptr) {
    NmapiLog(kLogWarning, "GetSriovInfo(): Invalid parameters - pAdapter.\n");
    return ngNMAPI_INVALID_PARAMETER;
  }
  AdapterInfo& info = node->info;
  if (info.sriovState != kSriovUndetermined) return ngNMAPI_OK;
  if (IsInSriovFixedList(info.vendorId, info.deviceId)) {
    info.numVfs = 0;
    info.numAllocatedVfs = 0;
    info.sriovState = kSriovFixedList;
    return ngNMAPI_OK;
  }

  WmiHelper wmi(u"root\\standardcimv2");
  if (!wmi.IsConnected()) return ngNMAPI_WMI_FAILED;
  WmiObjectPtr instance;
  bool enabled = false;
  if (FetchSriovSettings(wmi, *node, instance) != ngNMAPI_OK ||
      !GetFlag(instance, u"Enabled", enabled)) {
    return ngNMAPI_WMI_FAILED;
  }
  if (!enabled) {
    info.numVfs = 0;
    info.numAllocatedVfs = 0;
    info.sriovState = kSriovDisabled;
    return ngNMAPI_OK;
  }
  uint32_t count = 0;
  if (FetchSriovSettings(wmi, *node, instance) != ngNMAPI_OK ||
      !GetUInt32(instance, u"NumVFs", count)) {
    return ngNMAPI_WMI_FAILED;
  }
  info.numVfs = static_cast<uint16_t>(count);
  if (FetchSriovSettings(wmi, *node, instance) != ngNMAPI_OK ||
      !GetUInt32(instance, u"NumAllocatedVFs", count)) {
    return ngNMAPI_WMI_FAILED;
  }
  info.numAllocatedVfs = static_cast<uint16_t>(count);
  info.sriovState = kSriovEnabled;
  return ngNMAPI_OK;
}

}  // namespace skyfw
