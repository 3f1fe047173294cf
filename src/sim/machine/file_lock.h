// A lock on a lock file of the machine directory, and the change counter the
// lock file carries. Built on os/lockable_file, which holds the operating
// system's calls.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "os/lockable_file.h"

namespace skyfw::sim {

using LockMode = platform::LockableFile::Lock;

// A lock on a lock file, held for the object's life. The lock file is
// created when missing and never removed (removing it would let two
// processes lock two different files of one name).
//
// The lock file also holds a change counter: a writer bumps it, under the
// exclusive lock, before it replaces the file the lock guards. A process that
// keeps that file's contents in memory compares the counter (and the file's
// identity) under the lock and re-reads only when either moved, so it still
// sees every write of another process at once.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& path, LockMode mode = LockMode::kExclusive);
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool locked() const { return file_.is_open(); }
  // Why the lock could not be taken, naming the lock file.
  const std::string& error() const { return error_; }

  // The counter; 0 when it was never bumped.
  uint64_t ChangeCounter() const;
  // Adds one to the counter; needs the exclusive lock. 0 or the errno-style
  // reason it failed.
  int BumpChangeCounter();

 private:
  platform::LockableFile file_;  // open only while locked
  std::string error_;
};

// The change counter's bytes at the start of a lock file, little-endian.
inline constexpr int kChangeCounterBytes = 8;
uint64_t DecodeChangeCounter(const uint8_t (&bytes)[kChangeCounterBytes]);

}  // namespace skyfw::sim
