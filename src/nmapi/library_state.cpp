#include "nmapi/library_state.h"

#include "base/nmapi_result.h"

namespace skyfw {

AdapterNode::AdapterNode() : info{} { info.driverKind = kDriverKindOther; }

NmapiState& State() {
  static NmapiState state;
  return state;
}

AdapterNode* FindNode(uint32_t handle) {
  for (const auto& node : State().adapters) {
    if (node->key == handle) return node.get();
  }
  return nullptr;
}

const char* NmapiResultName(NmapiResult code) {
  switch (code) {
    case ngNMAPI_OK:
      return "ngNMAPI_OK";
    case ngNMAPI_SYSTEM_FAILED:
      return "ngNMAPI_SYSTEM_FAILED";
    case ngNMAPI_BUFFER_TOO_SMALL:
      return "ngNMAPI_BUFFER_TOO_SMALL";
    case ngNMAPI_INVALID_HANDLE:
      return "ngNMAPI_INVALID_HANDLE";
    case ngNMAPI_INVALID_PARAMETER:
      return "ngNMAPI_INVALID_PARAMETER";
    case ngNMAPI_NO_INTERFACE_ID:
      return "ngNMAPI_NO_INTERFACE_ID";
    case ngNMAPI_DRIVER_NOT_LOADED:
      return "ngNMAPI_DRIVER_NOT_LOADED";
    case ngNMAPI_IOCTL_FAILED:
      return "ngNMAPI_IOCTL_FAILED";
    case ngNMAPI_MUTEX_FAILED:
      return "ngNMAPI_MUTEX_FAILED";
    case ngNMAPI_NOT_INITIALIZED:
      return "ngNMAPI_NOT_INITIALIZED";
    case ngNMAPI_NO_ADAPTER:
      return "ngNMAPI_NO_ADAPTER";
    case ngNMAPI_SCM_LOCKED:
      return "ngNMAPI_SCM_LOCKED";
    case ngNMAPI_VERSION_MISMATCH:
      return "ngNMAPI_VERSION_MISMATCH";
    case ngNMAPI_LOCK_NIC_FAILED:
      return "ngNMAPI_LOCK_NIC_FAILED";
    case ngNMAPI_LOG_FILE_FAILED:
      return "ngNMAPI_LOG_FILE_FAILED";
    case ngNMAPI_WMI_FAILED:
      return "ngNMAPI_WMI_FAILED";
    case ngNMAPI_REGISTRY_NOT_FOUND:
      return "ngNMAPI_REGISTRY_NOT_FOUND";
    default:
      return nullptr;
  }
}

}  // namespace skyfw
