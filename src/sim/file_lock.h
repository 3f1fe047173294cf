// Cross-process locks and whole-file writes for the machine directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace skyfw::sim {

// An exclusive flock on a lock file, held for the object's life. The lock
// file is created when missing and never removed (removing it would let two
// processes lock two different files of one name).
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool locked() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Writes `contents` beside `path` and renames it over `path`, so readers see
// the old file or the new one, never a part. False on any failure (the old
// file stays).
bool WriteFileWhole(const std::filesystem::path& path, std::string_view contents);

// The whole file, or false when it cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& contents);

// Appends one line (a line feed is added) under an exclusive lock of the
// file itself, so lines of several processes never interleave.
bool AppendLine(const std::filesystem::path& path, std::string_view line);

}  // namespace skyfw::sim
