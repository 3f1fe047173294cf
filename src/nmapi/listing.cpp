// Handing out the adapter records: ngNmapiGetNumPhyNic, ngNmapiGetAllPhyNic
// and ngNmapiGetPhyNic.
#include "nmapi/adapter_class.h"
#include "nmapi/chip_identity.h"
#include "nmapi/driver_info.h"
#include "base/fixed_text.h"
#include "nmapi/library_state.h"
#include "nmapi/nmapi.h"
#include "nmapi/nmapi_log.h"
#include "nmapi/product_data.h"
#include "nmapi/tcpip_info.h"

namespace skyfw {

NmapiResult ngNmapiGetNumPhyNic(uint32_t* count) {
  NmapiLog(kLogInformation, "Enter ngNmapiGetNumPhyNic()");
  LibraryLock guard = LockLibrary();
  NmapiState& state = State();
  if (state.referenceCount == 0) {
    guard.unlock();
    NmapiLog(kLogInformation, "ngNmapiGetNumPhyNic() return ngNMAPI_ngNMAPI_NOT_INITIALIZED");
    return ngNMAPI_NOT_INITIALIZED;
  }
  uint32_t adapters = static_cast<uint32_t>(state.adapters.size());
  guard.unlock();
  // A missing count pointer gets nothing written, rather than a crash.
  if (count == nullptr) return ngNMAPI_INVALID_PARAMETER;
  *count = adapters;
  NmapiLog(kLogInformation, "ngNmapiGetNumPhyNic() return ngNMAPI_OK");
  return ngNMAPI_OK;
}

NmapiResult ngNmapiGetAllPhyNic(AdapterInfo* array, uint32_t count) {
  NmapiLog(kLogInformation, "Enter ngNmapiGetAllPhyNic()\r\n");
  if (count == 0) {
    NmapiLog(kLogError, "ngNmapiGetAllPhyNic() is called with zero NICs\n");
    return ngNMAPI_INVALID_PARAMETER;
  }
  if (array == nullptr) {
    NmapiLog(kLogError, "ngNmapiGetAllPhyNic() pPhyList == NULL\r\n");
    return ngNMAPI_INVALID_PARAMETER;
  }
  NmapiState& state = State();
  LibraryLock guard = LockLibrary();
  if (state.referenceCount == 0) {
    guard.unlock();
    NmapiLog(kLogInformation, "ngNmapiGetAllPhyNic() return ngNMAPI_ngNMAPI_NOT_INITIALIZED\r\n");
    return ngNMAPI_NOT_INITIALIZED;
  }
  if (state.adapters.empty()) {
    guard.unlock();
    NmapiLog(kLogInformation, "Adapter list is empty \n");
    return ngNMAPI_NO_ADAPTER;
  }
  // The refresh runs unlocked; the lock is taken only to step along the list.
  size_t position = 0;
  uint32_t handle = state.adapters[0]->key;
  for (uint32_t i = 0; i < count; ++i) {
    guard.unlock();
    ngNmapiGetPhyNic(handle, &array[i]);
    guard.lock();
    if (++position >= state.adapters.size()) break;
    handle = state.adapters[position]->key;
  }
  guard.unlock();
  NmapiLog(kLogInformation, "ngNmapiGetAllPhyNic() return ngNMAPI_OK\r\n");
  return ngNMAPI_OK;
}

NmapiResult ngNmapiGetPhyNic(uint32_t handle, AdapterInfo* record) {
  NmapiLog(kLogInformation, "Enter ngNmapiGetPhyNic()");
  LibraryLock guard = LockLibrary();
  if (State().referenceCount == 0) {
    guard.unlock();
    NmapiLog(kLogInformation, "ngNmapiGetPhyNic() return ngNMAPI_ngNMAPI_NOT_INITIALIZED");
    return ngNMAPI_NOT_INITIALIZED;
  }
  AdapterNode* node = FindNode(handle);
  guard.unlock();
  if (node == nullptr) {
    NmapiLog(kLogInformation, "ngNmapiGetPhyNic(): invald adapter handle");
    return ngNMAPI_INVALID_HANDLE;
  }
  // A missing record pointer gets nothing written, rather than a crash.
  if (record == nullptr) return ngNMAPI_INVALID_PARAMETER;

  AdapterInfo& info = node->info;
  NmapiResult result = ReadDriverGenInfo(*node);
  if (result != ngNMAPI_OK) {
    NmapiLog(kLogError, "ngNmapiGetPhyNic() %s ReadDriverGenInfo() uRet = %d", info.interfaceId,
             static_cast<int>(result));
  }
  ReadTcpipInfoNET(*node);
  ReadVlanId(TextUpToZero(info.interfaceId), info.vlan);
  info.flaggedDeviceId = IsFlaggedDeviceId(info.deviceId) ? 1 : 0;
  GetSriovInfo(node);
  ReadWakeOnMagicPacket(TextUpToZero(info.interfaceId), info.wakeOnMagicPacket);

  *record = info;
  // Probe the diagnostic lock: a session that cannot be had because someone
  // holds the lock marks the copy; one that can is closed again at once.
  NmapiResult probe = ngNmapiInitDiag(handle);
  record->lockHeld = probe == ngNMAPI_LOCK_NIC_FAILED ? 1 : 0;
  if (probe == ngNMAPI_OK) ngNmapiUnInitDiag(handle);
  return ngNMAPI_OK;
}

}  // namespace skyfw
