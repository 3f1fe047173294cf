// Cross-process locks, change stamps and whole-file writes for the machine
// directory. The operating-system calls behind them live in file_lock.cpp
// only, once for POSIX and once for Win32.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "os/lockable_file.h"

namespace skyfw::sim {

using LockMode = LockableFile::Lock;

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
  // Adds one to the counter; needs the exclusive lock.
  bool BumpChangeCounter();

 private:
  LockableFile file_;  // open only while locked
  std::string error_;
};

// What tells one version of a file from another without reading it: device,
// file number, size, modification time and (POSIX) the inode's change time,
// which moves when the file is renamed or linked. A file that is replaced
// (written beside, then renamed over) gets a new identity; a missing file has
// one too.
struct FileIdentity {
  bool exists = false;
  uint64_t device = 0;
  uint64_t file_number = 0;
  uint64_t size = 0;
  int64_t modified = 0;  // nanoseconds, or the platform's finest unit
  int64_t changed = 0;   // nanoseconds; 0 where the platform has no such time

  bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentifyFile(const std::filesystem::path& path);

// A guarded file kept open between looks, where the platform lets a file
// that is open be removed or replaced (POSIX): its identity is then read from
// the open file, without looking its name up at every look. A file removed or
// renamed over has no name left, which shows at once; one renamed away keeps
// its name elsewhere but gets a new change time, which shows once the file
// system's clock has ticked since the file last changed (a few milliseconds).
// Either way the name is then looked up again. Elsewhere every look goes by
// the name.
class GuardedFile {
 public:
  GuardedFile() = default;
  ~GuardedFile();
  GuardedFile(const GuardedFile&) = delete;
  GuardedFile& operator=(const GuardedFile&) = delete;

  // The identity of the file at `path` now (under the lock that guards it);
  // that file is the one kept open from here on.
  FileIdentity Hold(const std::filesystem::path& path);
  // The identity of the file at `path`, as IdentifyFile gives it while
  // the file held is still the one there.
  FileIdentity Identify(const std::filesystem::path& path) const;

 private:
#ifndef _WIN32
  int fd_ = -1;
#endif
};

// A change counter and the guarded file's identity, read under the lock:
// while both stay the same, nothing changed the file.
struct ChangeStamp {
  bool valid = false;  // false: nothing cached yet
  uint64_t counter = 0;
  FileIdentity identity;

  bool operator==(const ChangeStamp&) const = default;
};
// With `held`, the guarded file is also held from now on.
ChangeStamp StampOf(const FileLock& lock, const std::filesystem::path& guarded,
                    GuardedFile* held = nullptr);

// Opens `lock_file` on the lock file at `lock_path` (which a FileLock has
// made) to read its counter without the lock, from memory where it can be
// mapped. False when it cannot be opened.
bool WatchChangeCounter(LockableFile& lock_file, const std::filesystem::path& lock_path);

// StampOf's stamp, read without taking the lock: the counter through
// `lock_file`, a handle of the lock file kept open, and the identity through
// `held`, the guarded file as StampOf held it. Since a writer bumps the
// counter before it touches the guarded file, and the counter is read first
// here, a stamp equal to one taken under the lock means no write has begun
// since: a cache may then answer without the lock. Invalid when the counter
// cannot be read.
ChangeStamp PeekStamp(const LockableFile& lock_file, const std::filesystem::path& guarded,
                      const GuardedFile* held = nullptr);

// Writes `contents` through the one writer (beside `path`, synced, then moved
// over it), so readers see the old file or the new one, never a part; the
// folder is made when missing. False on any failure (the old file stays).
bool WriteFileWhole(const std::filesystem::path& path, std::string_view contents);

// Cuts the existing file at `offset`, writes `bytes` there and syncs the
// file before returning, for logs that grow by whole records. False on any
// failure: the file then ends somewhere from `offset` on, with a part of
// `bytes` at most.
bool WriteFileTail(const std::filesystem::path& path, uint64_t offset, std::string_view bytes);

// The whole file, or false when it cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& contents);

// Appends one line (a line feed is added) under an exclusive lock of the
// file itself, so lines of several processes never interleave.
bool AppendLine(const std::filesystem::path& path, std::string_view line);

}  // namespace skyfw::sim
