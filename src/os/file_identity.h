// Telling one version of a file from another without reading it.
#pragma once

#include <cstdint>
#include <filesystem>

namespace skyfw::platform {

// Device, file number, size, modification time and (POSIX) the inode's
// change time, which moves when the file is renamed or linked. A file that
// is replaced (written beside, then renamed over) gets a new identity; a
// missing file has one too.
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

// A file kept open between looks, where the platform lets a file that is
// open be removed or replaced (POSIX): its identity is then read from the
// open file, without looking its name up at every look. A file removed or
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
  // The descriptor held; kNone when nothing is (always, where nothing is
  // kept open).
  static constexpr int kNone = -1;
  int held_ = kNone;
};

}  // namespace skyfw::platform
