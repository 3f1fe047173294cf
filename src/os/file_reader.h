// Opening a named file for reading: only regular files are opened, so a
// FIFO, a device or a folder under a file's name neither blocks nor is read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "os/file_error.h"

namespace skyfw::platform {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileStream = std::unique_ptr<std::FILE, FileCloser>;

// The open file (binary, read only) and its size, or null with the
// errno-style reason in `error` (kNotRegularFile, EISDIR, ENOENT ...).
FileStream OpenRegularFile(const std::string& path, int& error, uint64_t* size = nullptr);

// The whole content of a regular file. 0, or the reason (EIO for a failed
// read, EFBIG when it does not fit in memory).
int ReadRegularFile(const std::string& path, std::string& bytes);
int ReadRegularFile(const std::string& path, std::vector<uint8_t>& bytes);

}  // namespace skyfw::platform
