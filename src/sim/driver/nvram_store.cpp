#include "sim/driver/nvram_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace skyfw::sim {
namespace {

class FileLock {
 public:
  explicit FileLock(const std::string& data_path) {
    std::string lock_path = data_path + ".lock";
    descriptor_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor_ < 0) {
      error_ = "cannot open " + lock_path + ": " + std::strerror(errno);
      return;
    }
    int result;
    do {
      result = ::flock(descriptor_, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
      error_ = "cannot lock " + lock_path + ": " + std::strerror(errno);
      ::close(descriptor_);
      descriptor_ = -1;
    }
  }
  ~FileLock() {
    if (descriptor_ >= 0) ::close(descriptor_);  // closing releases the flock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const { return descriptor_ >= 0; }
  const std::string& error() const { return error_; }

 private:
  int descriptor_ = -1;
  std::string error_;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open NVRAM file " + path + ": " + std::strerror(errno);
    return false;
  }
  bytes.clear();
  uint8_t chunk[65536];
  size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + count);
  }
  if (std::ferror(file.get())) {
    error = "cannot read NVRAM file " + path;
    return false;
  }
  return true;
}

bool LoadUnlocked(const std::string& path, NvramFile& out, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, bytes, error)) return false;
  std::string why;
  if (!DecodeNvramFile(bytes, out, why)) {
    error = "NVRAM file " + path + ": " + why;
    return false;
  }
  return true;
}

bool StoreUnlocked(const std::string& path, const NvramFile& file, std::string& error) {
  std::vector<uint8_t> bytes = EncodeNvramFile(file);
  // Writers hold the lock, so one fixed name serves them all, and what a
  // killed writer left behind is simply overwritten by the next one.
  std::string temporary = path + ".tmp";
  {
    File out(std::fopen(temporary.c_str(), "wb"));
    bool written = out && std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size();
    // fclose flushes; a failing flush means a short file, so it is checked too.
    bool closed = out && std::fclose(out.release()) == 0;
    if (!written || !closed) {
      error = "cannot write " + temporary + ": " + std::strerror(errno);
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot replace " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool UpdateNvramFile(const std::string& path, const std::function<bool(NvramFile&)>& work,
                     std::string& error) {
  FileLock lock(path);
  if (!lock.held()) {
    error = lock.error();
    return false;
  }
  NvramFile file;
  if (!LoadUnlocked(path, file, error)) return false;
  if (!work(file)) return true;
  return StoreUnlocked(path, file, error);
}

bool ReadNvramFile(const std::string& path, NvramFile& out, std::string& error) {
  FileLock lock(path);
  if (!lock.held()) {
    error = lock.error();
    return false;
  }
  return LoadUnlocked(path, out, error);
}

bool WriteNvramFile(const std::string& path, const NvramFile& file, std::string& error) {
  FileLock lock(path);
  if (!lock.held()) {
    error = lock.error();
    return false;
  }
  return StoreUnlocked(path, file, error);
}

bool CreateNvramFileIfMissing(const std::string& path, const NvramFile& initial,
                              std::string& error) {
  FileLock lock(path);
  if (!lock.held()) {
    error = lock.error();
    return false;
  }
  if (std::FILE* existing = std::fopen(path.c_str(), "rb")) {
    std::fclose(existing);
    return true;
  }
  return StoreUnlocked(path, initial, error);
}

}  // namespace skyfw::sim
