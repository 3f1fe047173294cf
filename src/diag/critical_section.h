// The trace log's lock: a critical-section object on the framework's small
// synchronization-object base. The virtual operations keep their slot order
// (Lock, Unlock, Dump, destructor, probe) so the class reads as the one the
// host-side tools know.
#pragma once

#include <cstdint>
#include <mutex>

namespace skyfw {

class CSyncObject {
 public:
  CSyncObject() = default;
  CSyncObject(const CSyncObject&) = delete;
  CSyncObject& operator=(const CSyncObject&) = delete;

  virtual bool Lock(uint32_t timeout) = 0;
  virtual bool Unlock() = 0;
  virtual void Dump(const char* prefix) const;
  // There is no kernel object behind m_hObject on this platform, so there is
  // nothing to close; the member stays null for the layout Dump describes.
  virtual ~CSyncObject() = default;
  // True when the object is held elsewhere (a Lock(0) probe).
  virtual bool IsLocked();

 protected:
  void* m_hObject = nullptr;
};

class NMCCriticalSection final : public CSyncObject {
 public:
  NMCCriticalSection() = default;

  // Waits without limit; the timeout is ignored as on the original platform.
  bool Lock(uint32_t timeout) override;
  bool Unlock() override;
  void Dump(const char* prefix) const override;
  ~NMCCriticalSection() override = default;

 private:
  // Critical sections are re-entrant for their owning thread.
  std::recursive_mutex m_sect;
};

// Holds a CSyncObject for one scope.
class SyncObjectGuard {
 public:
  explicit SyncObjectGuard(CSyncObject& object) : object_(object) { locked_ = object_.Lock(0); }
  ~SyncObjectGuard() {
    if (locked_) object_.Unlock();
  }
  SyncObjectGuard(const SyncObjectGuard&) = delete;
  SyncObjectGuard& operator=(const SyncObjectGuard&) = delete;

 private:
  CSyncObject& object_;
  bool locked_ = false;
};

}  // namespace skyfw
