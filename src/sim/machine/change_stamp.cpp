#include "sim/machine/change_stamp.h"

#include <cstring>

namespace skyfw::sim {

using platform::GuardedFile;
using platform::LockableFile;

ChangeStamp StampOf(const FileLock& lock, const std::filesystem::path& guarded, GuardedFile* held) {
  ChangeStamp stamp;
  stamp.valid = lock.locked();
  stamp.counter = lock.ChangeCounter();
  stamp.identity = held != nullptr ? held->Hold(guarded) : platform::IdentifyFile(guarded);
  return stamp;
}

bool WatchChangeCounter(LockableFile& lock_file, const std::filesystem::path& lock_path) {
  if (lock_file.Open(lock_path, LockableFile::Access::kReadOnly) != 0) return false;
  // Unmapped (a lock file too short), the counter is read through the file.
  lock_file.MapPrefix(kChangeCounterBytes);
  return true;
}

ChangeStamp PeekStamp(const LockableFile& lock_file, const std::filesystem::path& guarded,
                      const GuardedFile* held) {
  ChangeStamp stamp;
  uint8_t counter[kChangeCounterBytes] = {};
  long length = lock_file.ReadPrefix(counter, sizeof counter);
  if (length < 0) return stamp;
  if (length != sizeof counter) std::memset(counter, 0, sizeof counter);
  stamp.valid = true;
  stamp.counter = DecodeChangeCounter(counter);
  stamp.identity = held != nullptr ? held->Identify(guarded) : platform::IdentifyFile(guarded);
  return stamp;
}

}  // namespace skyfw::sim
