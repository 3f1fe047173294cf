#include "os/file_reader.h"

#include <cerrno>
#include <limits>
#include <new>

namespace skyfw::platform {

namespace {

template <typename Bytes>
int ReadWhole(const std::string& path, Bytes& bytes) {
  int error = 0;
  uint64_t size = 0;
  FileStream file = OpenRegularFile(path, error, &size);
  if (!file) return error;
  if (size > std::numeric_limits<size_t>::max() / 2) return EFBIG;
  bytes.clear();
  try {
    // The size is a hint only: the file may grow or shrink while it is read.
    bytes.reserve(static_cast<size_t>(size));
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
  } catch (const std::bad_alloc&) {
    return ENOMEM;
  } catch (const std::length_error&) {
    return EFBIG;
  }
  return std::ferror(file.get()) != 0 ? EIO : 0;
}

}  // namespace

int ReadRegularFile(const std::string& path, std::string& bytes) { return ReadWhole(path, bytes); }

int ReadRegularFile(const std::string& path, std::vector<uint8_t>& bytes) {
  return ReadWhole(path, bytes);
}

}  // namespace skyfw::platform
