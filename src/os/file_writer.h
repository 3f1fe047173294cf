// The one writer of every file skyfw and its tools produce.
//
// A file lands whole: it is written to a temporary file of its own in the
// target's folder, synced, then moved over the target, and the folder is
// synced. The writer never does what the caller could not: an existing target
// the caller may not write is refused, a symbolic link is written through to
// its target, a target that is no regular file is refused (kNotRegularFile,
// or EISDIR for a folder), and an existing file keeps its mode. When the file
// is writable but its folder is not, the file is written in place (emptied,
// then written), as a plain open for writing would. A failed write leaves the
// old file, or no file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "os/file_error.h"

namespace skyfw::platform {

class FileWriter {
 public:
  FileWriter() = default;
  // Without a successful Commit the temporary file is removed, whatever
  // the way out.
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // 0, or the errno-style reason the target cannot be written. On success
  // stream() is open for writing and reading, empty.
  int Open(const std::string& path);
  std::FILE* stream() const { return stream_; }
  // Flushes, syncs and puts the file in place. 0 or the reason; on failure
  // the old file stays (or none), except when written in place.
  int Commit();

 private:
  void Discard();

  std::FILE* stream_ = nullptr;
  std::string target_;     // the final file, symbolic links followed
  std::string temporary_;  // empty when writing in place or after Commit
};

// Cuts an open stream to length 0 and rewinds it. 0 or the reason.
int EmptyStream(std::FILE* stream);

// Writes bytes as the whole new content of path through FileWriter. 0 or the
// reason it failed.
int WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes);
int WriteWholeFile(const std::string& path, std::string_view bytes);

}  // namespace skyfw::platform
