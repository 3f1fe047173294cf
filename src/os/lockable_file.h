// A small file that processes lock and read to agree on something: a
// whole-file lock, shared or exclusive, that belongs to this open file and
// vanishes when it is closed or its process dies (flock on Linux, LockFileEx
// on Windows), and a few bytes of content beside it, which a watcher may map
// to read them without a system call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace skyfw::platform {

class LockableFile {
 public:
  enum class Access { kReadWrite, kReadOnly };
  enum class Lock { kShared, kExclusive };
  enum class Outcome { kLocked, kBusy, kFailed };

  LockableFile() = default;
  ~LockableFile() { Close(); }
  LockableFile(LockableFile&& other) noexcept;
  LockableFile& operator=(LockableFile&& other) noexcept;
  LockableFile(const LockableFile&) = delete;
  LockableFile& operator=(const LockableFile&) = delete;

  // kReadWrite creates the file when missing; kReadOnly needs it to exist.
  // 0, or the errno-style reason it cannot be opened.
  int Open(const std::filesystem::path& path, Access access = Access::kReadWrite);
  bool is_open() const;
  void Close();

  // Waits for the lock, or with wait false answers kBusy when another open
  // file holds a conflicting one. Taking a lock of the other kind while
  // holding one is not portable: Unlock first.
  // On kFailed, `reason` (when given) gets the errno-style reason.
  Outcome TakeLock(Lock kind, bool wait, int* reason = nullptr);
  void Unlock();

  // The file's first bytes (at most max_bytes); false on a read error. The
  // content is not covered by the lock, so a holder's neighbours can read it.
  bool ReadContent(std::string& text, size_t max_bytes) const;

  // Maps the content's first `length` bytes into memory, so that ReadPrefix
  // of at most that many needs no system call. False (nothing mapped) when
  // the file is shorter. The file must not shrink below them while it stays
  // open: only for files whose content is never cut.
  bool MapPrefix(size_t length);
  // Copies the content's first bytes (at most `length`) to `bytes`: the
  // number copied, or -1 on a read error.
  long ReadPrefix(uint8_t* bytes, size_t length) const;
  // Overwrites the content's first bytes without cutting what follows, so
  // that a watcher's mapping stays valid. 0 or the errno-style reason.
  int WritePrefix(std::string_view bytes);

 private:
  void Unmap();
  // The content's first bytes read through the file, as ReadPrefix counts.
  long ReadFromFile(uint8_t* bytes, size_t length) const;

  // The platform's file handle or descriptor, kNoFile when closed.
  static constexpr intptr_t kNoFile = -1;
  intptr_t file_ = kNoFile;
  const volatile uint8_t* mapped_ = nullptr;
  size_t mapped_length_ = 0;
};

}  // namespace skyfw::platform
