#include "nmapi/diag_session.h"

#include <memory>

#include "base/fixed_text.h"
#include "nmapi/library_state.h"
#include "nmapi/nmapi.h"
#include "nmapi/nmapi_log.h"
#include "nmapi/registry_values.h"
#include "platform/platform.h"

namespace skyfw {

using namespace platform;

namespace {

std::string_view InterfaceIdWithoutPrefix(const AdapterNode& node) {
  std::string_view interfaceId = TextUpToZero(node.info.interfaceId);
  if (StartsWithNoCase(interfaceId, "\\\\?\\")) interfaceId.remove_prefix(4);
  return interfaceId;
}

}  // namespace

std::string DiagnosticLockName(const AdapterNode& node) {
  return State().deviceNamePrefix + kInstanceMutexGuid +
         std::string(InterfaceIdWithoutPrefix(node));
}

bool IsNICEnabled(const AdapterNode& node) {
  const char* instanceId = node.instanceId.c_str();
  NmapiLog(kLogInformation, "IsNICEnabled() title(%s) pnp_id(%s)\r\n", node.info.title, instanceId);
  Devices& devices = Current().devices();
  uint32_t devInst = 0;
  uint32_t result = devices.LocateDevNode(node.instanceId, CM_LOCATE_DEVNODE_NORMAL, devInst);
  if (result != CR_SUCCESS) {
    NmapiLog(kLogWarning, "Failed to locate device node %s, 0x%08lX\r\n", instanceId,
             static_cast<unsigned long>(result));
    return false;
  }
  uint32_t status = 0;
  uint32_t problem = 0;
  result = devices.GetDevNodeStatus(devInst, status, problem);
  if (result != CR_SUCCESS) {
    NmapiLog(kLogWarning, "Failed to get device node status %s, 0x%08lX\r\n", instanceId,
             static_cast<unsigned long>(result));
    return false;
  }
  NmapiLog(kLogInformation, "Device node %s, status 0x%08lX, problem 0x%08lX\r\n", instanceId,
           static_cast<unsigned long>(status), static_cast<unsigned long>(problem));
  if ((status & DN_STARTED) == 0) {
    NmapiLog(kLogWarning, "Device node %s is not started\r\n", instanceId);
    return false;
  }
  if (problem == CM_PROB_DISABLED) {
    NmapiLog(kLogWarning, "Device node %s is disabled\r\n", instanceId);
    return false;
  }
  return true;
}

NmapiResult InitDiag(AdapterNode& node) {
  if (!IsNICEnabled(node)) {
    NmapiLog(kLogError, "InitDiag() IsNICEnabled() driver not loaded (%s)\r\n",
             node.info.interfaceId);
    return ngNMAPI_DRIVER_NOT_LOADED;
  }

  SecurityDescriptor descriptor;
  SecurityAttributes attributes;
  MakeOpenSecurity(descriptor, attributes, OpenSecurityUse::kDiagnosticLock);
  std::unique_ptr<NamedMutex> lock;
  uint32_t error =
      Current().mutexes().CreateMutex(&attributes, true, DiagnosticLockName(node), lock);
  if (error == ERROR_ALREADY_EXISTS) {
    lock.reset();
    NmapiLog(kLogError, "InitDiag() mutex exist, return ngNMAPI_LOCK_NIC_FAILED\r\n");
    return ngNMAPI_LOCK_NIC_FAILED;
  }
  if (error != ERROR_SUCCESS || !lock) {
    NmapiLog(kLogError, "InitDiag() CreateMutex() failed (%lu)\r\n",
             static_cast<unsigned long>(error));
    return ngNMAPI_LOCK_NIC_FAILED;
  }

  System& system = Current().system();
  std::string name =
      "\\\\.\\" + State().deviceNamePrefix + std::string(InterfaceIdWithoutPrefix(node));
  std::unique_ptr<DeviceHandle> device;
  for (uint32_t attempt = 0; attempt < kInitDiagTries; ++attempt) {
    if (attempt != 0) system.Sleep(kInitDiagRetryMs);
    error = Current().deviceIo().CreateFile(name, GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, device);
    if (error == ERROR_SUCCESS && device) break;
    device.reset();
    NmapiLog(kLogError, "InitDiag() CreateFile() failed 0x%08lX(%s)\r\n",
             static_cast<unsigned long>(error), node.info.interfaceId);
  }
  if (!device) {
    NmapiLog(kLogError, "InitDiag() CreateFile() failed after %u tries(%s)\r\n", kInitDiagTries,
             node.info.interfaceId);
    LibraryLock guard = LockLibrary();
    node.info.deviceOpen = 0;
    return ngNMAPI_DRIVER_NOT_LOADED;  // `lock` closes here: the adapter is not left locked
  }

  {
    LibraryLock guard = LockLibrary();
    node.info.deviceOpen = 1;
    node.sessionDevice = std::move(device);
    node.sessionLock = std::move(lock);
    node.ownerProcessId = system.GetCurrentProcessId();
    node.ownerThreadId = system.GetCurrentThreadId();
  }
  NmapiLog(kLogInformation, "InitDiag() return ngNMAPI_OK (%s)\r\n", node.info.title);
  return ngNMAPI_OK;
}

NmapiResult UnInitDiag(AdapterNode& node) {
  {
    LibraryLock guard = LockLibrary();
    node.sessionDevice.reset();
    if (node.sessionLock) {
      node.sessionLock.reset();  // closing the handle releases the adapter
      node.ownerProcessId = 0;
      node.ownerThreadId = 0;
    }
  }
  NmapiLog(kLogInformation, "UnInitDiag() return ngNMAPI_OK (%s)\r\n", node.info.title);
  return ngNMAPI_OK;
}

NmapiResult ngNmapiInitDiag(uint32_t handle) {
  NmapiLog(kLogInformation, "Enter ngNmapiInitDiag()");
  LibraryLock guard = LockLibrary();
  if (State().referenceCount == 0) {
    guard.unlock();
    NmapiLog(kLogInformation, "ngNmapiInitDiag() return ngNMAPI_ngNMAPI_NOT_INITIALIZED");
    return ngNMAPI_NOT_INITIALIZED;
  }
  AdapterNode* node = FindNode(handle);
  if (node == nullptr) {
    guard.unlock();
    NmapiLog(kLogError, "ngNmapiInitDiag(): invalid adapter handle");
    return ngNMAPI_INVALID_HANDLE;
  }
  NmapiResult result = InitDiag(*node);
  guard.unlock();
  if (result != ngNMAPI_OK) {
    NmapiLog(kLogInformation, "ngNmapiInitDiag() InitDiag() return %u\r\n", result);
    return result;
  }
  NmapiLog(kLogInformation, "ngNmapiInitDiag() return ngNMAPI_OK");
  return ngNMAPI_OK;
}

NmapiResult ngNmapiUnInitDiag(uint32_t handle) {
  NmapiLog(kLogInformation, "Enter ngNmapiUnInitDiag()");
  LibraryLock guard = LockLibrary();
  if (State().referenceCount == 0) {
    guard.unlock();
    NmapiLog(kLogInformation, "ngNmapiUnInitDiag() return ngNMAPI_ngNMAPI_NOT_INITIALIZED");
    return ngNMAPI_NOT_INITIALIZED;
  }
  AdapterNode* node = FindNode(handle);
  if (node == nullptr) {
    guard.unlock();
    NmapiLog(kLogError, "ngNmapiUnInitDiag(): invalid adapter handle");
    return ngNMAPI_INVALID_HANDLE;
  }
  UnInitDiag(*node);
  guard.unlock();
  NmapiLog(kLogInformation, "ngNmapiUnInitDiag() return ngNMAPI_OK");
  return ngNMAPI_OK;
}

}  // namespace skyfw
