#include "sim/machine/file_lock.h"

#include <cerrno>
#include <string_view>
#include <system_error>

#include "os/file_error.h"
#include "os/file_names.h"

namespace skyfw::sim {
namespace {

using platform::LockableFile;

void StoreCounter(uint64_t value, uint8_t (&bytes)[kChangeCounterBytes]) {
  for (uint8_t& byte : bytes) {
    byte = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

}  // namespace

uint64_t DecodeChangeCounter(const uint8_t (&bytes)[kChangeCounterBytes]) {
  uint64_t value = 0;
  for (int i = kChangeCounterBytes - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

FileLock::FileLock(const std::filesystem::path& path, LockMode mode) {
  int reason = file_.Open(path);
  if (reason == ENOENT) {
    // Only the first lock of a folder makes it.
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    reason = file_.Open(path);
  }
  if (reason != 0) {
    error_ = "cannot open " + platform::FromFileSystemPath(path) + ": " +
             platform::FileErrorText(reason);
    return;
  }
  if (file_.TakeLock(mode, /*wait=*/true, &reason) != LockableFile::Outcome::kLocked) {
    error_ = "cannot lock " + platform::FromFileSystemPath(path) + ": " +
             platform::FileErrorText(reason);
    file_.Close();
    return;
  }
  // Watchers map the counter's bytes, which must therefore be there. Should
  // this fail, they read the counter through the file instead.
  uint8_t counter[kChangeCounterBytes];
  const long length = file_.ReadPrefix(counter, sizeof counter);
  if (length >= 0 && length < kChangeCounterBytes) {
    [[maybe_unused]] const int ignored = file_.WritePrefix(std::string(kChangeCounterBytes, '\0'));
  }
}

uint64_t FileLock::ChangeCounter() const {
  uint8_t bytes[kChangeCounterBytes] = {};
  if (file_.ReadPrefix(bytes, sizeof bytes) != kChangeCounterBytes) return 0;
  return DecodeChangeCounter(bytes);
}

int FileLock::BumpChangeCounter() {
  if (!locked()) return EBADF;
  uint8_t bytes[kChangeCounterBytes];
  StoreCounter(ChangeCounter() + 1, bytes);
  return file_.WritePrefix(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

}  // namespace skyfw::sim
