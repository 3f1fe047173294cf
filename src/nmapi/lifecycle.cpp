// Starting and stopping the library: ngNmapiInitialize, ngNmapiUninitialize.
#include "nmapi/lifecycle.h"

#include <string>

#include "nmapi/enumeration.h"
#include "nmapi/library_state.h"
#include "nmapi/nmapi.h"
#include "nmapi/nmapi_log.h"
#include "platform/platform.h"

namespace skyfw {

using namespace platform;

namespace {

// A named mutex with open security: the handle, or null when creation
// failed. `error` receives CreateMutex's result.
std::unique_ptr<NamedMutex> CreateOpenMutex(const std::string& name, bool initialOwner,
                                            uint32_t& error) {
  SecurityDescriptor descriptor;
  SecurityAttributes attributes;
  MakeOpenSecurity(descriptor, attributes);
  std::unique_ptr<NamedMutex> mutex;
  error = Current().mutexes().CreateMutex(&attributes, initialOwner, name, mutex);
  if (error != ERROR_SUCCESS && error != ERROR_ALREADY_EXISTS) mutex.reset();
  return mutex;
}

// A start that fails lets go of the machine-wide mutexes it took, so that
// none stays held (the instance mutex owned) after the host's call. The log
// stays open until the next start or stop, which still log their lines.
void ReleaseStartMutexes() {
  NmapiState& state = State();
  state.instanceMutex.reset();
  state.logMutex.reset();
}

}  // namespace

void FreeInternalData() {
  NmapiState& state = State();
  // Destroying a node closes its session device and lock, if any.
  state.adapters.clear();
  state.nextHandle = 0;
}

NmapiResult ngNmapiInitializeEx() {
  NmapiState& state = State();
  uint32_t error = ERROR_SUCCESS;
  state.instanceMutex =
      CreateOpenMutex(std::string(kGlobalPrefix) + kInstanceMutexGuid, true, error);
  if (error == ERROR_SUCCESS && state.instanceMutex) return ngNMAPI_OK;
  // Another initialized library holds it: ours is given up again.
  state.instanceMutex.reset();
  NmapiLog(kLogError, "ngNmapiInitializeEx() get mutex failed(%lu)\r\n",
           static_cast<unsigned long>(error));
  return ngNMAPI_MUTEX_FAILED;
}

NmapiResult InitInternalData() {
  NmapiState& state = State();
  NmapiLog(kLogInformation, "Enter InitInternalData()");
  state.nextHandle = 1;
  state.adapters.clear();
  NmapiResult result = ReadConfig();
  if (result != ngNMAPI_OK) {
    FreeInternalData();
    NmapiLog(kLogError, "InitInternalData(): read configuration failed(%lu)",
             static_cast<unsigned long>(result));
    return result;
  }
  NmapiLog(kLogInformation, "InitInternalData() return ngNMAPI_OK");
  return ngNMAPI_OK;
}

NmapiResult ngNmapiInitialize(uint32_t a, uint32_t b, uint32_t c) {
  if (a != kNmapiVersionA || b != kNmapiVersionB || c != kNmapiVersionC) {
    return ngNMAPI_VERSION_MISMATCH;
  }
  NmapiState& state = State();
  {
    // A start that was never stopped is replaced: what it held is released.
    LibraryLock guard = LockLibrary();
    FreeInternalData();
    state.deviceNamePrefix.clear();
    state.referenceCount = 0;
    state.instanceMutex.reset();
  }

  state.logMutex.reset();
  state.logFile.reset();
  state.levelMask = 0;
  uint32_t error = ERROR_SUCCESS;
  state.logMutex = CreateOpenMutex(std::string(kGlobalPrefix) + kLogMutexGuid, false, error);

  NmapiResult result = InitializeLogFile();
  if (result == ngNMAPI_LOG_FILE_FAILED) {
    ReleaseStartMutexes();
    return result;
  }

  ngNmapiInitializeEx();

  LibraryLock guard = LockLibrary();
  result = InitInternalData();
  if (result != ngNMAPI_OK) {
    guard.unlock();
    NmapiLog(kLogInformation, "ngNmapiInitialize(): initialize failed(%lu)",
             static_cast<unsigned long>(result));
    ReleaseStartMutexes();
    return result;
  }
  state.referenceCount = 1;
  guard.unlock();
  NmapiLog(kLogInformation, "ngNmapiInitialize() return ngNMAPI_OK");
  return ngNMAPI_OK;
}

NmapiResult ngNmapiUninitialize() {
  NmapiState& state = State();
  NmapiLog(kLogInformation, "Enter ngNmapiUninitialize()");
  LibraryLock guard = LockLibrary();
  NmapiLog(kLogInformation, "ngNmapiUninitialize(): refcnt(%lu)",
           static_cast<unsigned long>(state.referenceCount));
  if (state.referenceCount == 0) {
    guard.unlock();
    NmapiLog(kLogInformation, "ngNmapiUninitialize(): NMAPI had already uninitialized");
    return ngNMAPI_OK;
  }
  if (--state.referenceCount > 0) {
    guard.unlock();
    NmapiLog(kLogInformation, "ngNmapiUninitialize(): reference count is not 0");
    return ngNMAPI_OK;
  }
  FreeInternalData();
  state.referenceCount = 0;
  guard.unlock();
  NmapiLog(kLogInformation, "ngNmapiUninitialize() return ngNMAPI_OK");

  state.instanceMutex.reset();
  state.logMutex.reset();
  UnInitializeLogFile();
  return ngNMAPI_OK;
}

}  // namespace skyfw
