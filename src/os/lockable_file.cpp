#include "os/lockable_file.h"

#include <atomic>
#include <utility>

namespace skyfw::platform {
namespace {

// Another process may write the mapped bytes at any moment: each is read
// once, and what follows is not read before them.
long CopyMapped(const volatile uint8_t* mapped, uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) bytes[i] = mapped[i];
  std::atomic_thread_fence(std::memory_order_acquire);
  return static_cast<long>(length);
}

}  // namespace

LockableFile::LockableFile(LockableFile&& other) noexcept
    : file_(std::exchange(other.file_, kNoFile)),
      mapped_(std::exchange(other.mapped_, nullptr)),
      mapped_length_(std::exchange(other.mapped_length_, 0)) {}

LockableFile& LockableFile::operator=(LockableFile&& other) noexcept {
  if (this != &other) {
    Close();
    file_ = std::exchange(other.file_, kNoFile);
    mapped_ = std::exchange(other.mapped_, nullptr);
    mapped_length_ = std::exchange(other.mapped_length_, 0);
  }
  return *this;
}

bool LockableFile::is_open() const { return file_ != kNoFile; }

bool LockableFile::ReadContent(std::string& text, size_t max_bytes) const {
  text.resize(max_bytes);
  long length = ReadPrefix(reinterpret_cast<uint8_t*>(text.data()), max_bytes);
  if (length < 0) {
    text.clear();
    return false;
  }
  text.resize(static_cast<size_t>(length));
  return true;
}

long LockableFile::ReadPrefix(uint8_t* bytes, size_t length) const {
  if (mapped_ != nullptr && length <= mapped_length_) return CopyMapped(mapped_, bytes, length);
  if (file_ == kNoFile) return -1;
  return ReadFromFile(bytes, length);
}

}  // namespace skyfw::platform
