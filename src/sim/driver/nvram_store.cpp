#include "sim/driver/nvram_store.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/driver/firmware_crc32.h"
#include "sim/file_lock.h"

namespace skyfw::sim {
namespace {

std::string LockPathOf(const std::string& path) { return path + ".lock"; }

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary | std::ios::ate);
  if (!in) {
    error = "cannot open NVRAM file " + path + ": " + std::strerror(errno);
    return false;
  }
  std::streamoff size = in.tellg();
  bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
  in.seekg(0);
  if (size < 0 || !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
    error = "cannot read NVRAM file " + path;
    return false;
  }
  return true;
}

bool LoadUnlocked(const std::string& path, NvramFile& out, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, bytes, error)) return false;
  std::string why;
  if (!DecodeNvramFile(bytes, out, why)) {
    error = "NVRAM file " + path + ": " + why;
    return false;
  }
  return true;
}

// Under the exclusive lock: the counter moves first, so that a writer killed
// between the two steps costs the others a needless re-read, never a missed
// change.
bool StoreUnlocked(FileLock& lock, const std::string& path, const NvramFile& file,
                   std::string& error) {
  std::vector<uint8_t> bytes = EncodeNvramFile(file);
  if (!lock.BumpChangeCounter() ||
      !WriteFileWhole(
          path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
    error = "cannot write NVRAM file " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

struct NvramStore::Cache {
  std::mutex mutex;   // one call at a time in this process, as across processes
  ChangeStamp stamp;  // of `file`; invalid when nothing is cached
  NvramFile file;
  std::vector<std::optional<uint32_t>> checksums;
};

NvramStore::NvramStore(std::string path) : path_(std::move(path)), cache_(new Cache) {}
NvramStore::~NvramStore() = default;
NvramStore::NvramStore(NvramStore&&) noexcept = default;
NvramStore& NvramStore::operator=(NvramStore&&) noexcept = default;

bool NvramStore::Update(const std::function<bool(NvramFile&)>& work, std::string& error) {
  std::lock_guard<std::mutex> guard(cache_->mutex);
  FileLock lock(LockPathOf(path_));
  if (!lock.locked()) {
    error = lock.error();
    return false;
  }
  ChangeStamp stamp = StampOf(lock, path_);
  if (!cache_->stamp.valid || stamp != cache_->stamp) {
    cache_->stamp = {};
    cache_->checksums.clear();
    if (!LoadUnlocked(path_, cache_->file, error)) return false;
    cache_->stamp = stamp;
  }
  if (!work(cache_->file)) return true;
  cache_->checksums.clear();
  // Whatever happens next, the memory no longer matches a known file.
  cache_->stamp = {};
  if (!StoreUnlocked(lock, path_, cache_->file, error)) return false;
  cache_->stamp = StampOf(lock, path_);
  return true;
}

uint32_t NvramStore::ItemChecksum(size_t index) {
  std::vector<std::optional<uint32_t>>& checksums = cache_->checksums;
  if (checksums.size() != cache_->file.nvram.items.size()) {
    checksums.assign(cache_->file.nvram.items.size(), std::nullopt);
  }
  if (!checksums[index]) checksums[index] = FirmwareCrc32(cache_->file.nvram.items[index].data);
  return *checksums[index];
}

bool UpdateNvramFile(const std::string& path, const std::function<bool(NvramFile&)>& work,
                     std::string& error) {
  return NvramStore(path).Update(work, error);
}

bool ReadNvramFile(const std::string& path, NvramFile& out, std::string& error) {
  FileLock lock(LockPathOf(path));
  if (!lock.locked()) {
    error = lock.error();
    return false;
  }
  return LoadUnlocked(path, out, error);
}

bool WriteNvramFile(const std::string& path, const NvramFile& file, std::string& error) {
  FileLock lock(LockPathOf(path));
  if (!lock.locked()) {
    error = lock.error();
    return false;
  }
  return StoreUnlocked(lock, path, file, error);
}

bool CreateNvramFileIfMissing(const std::string& path,
                              const std::function<NvramFile()>& make_initial, std::string& error) {
  FileLock lock(LockPathOf(path));
  if (!lock.locked()) {
    error = lock.error();
    return false;
  }
  if (IdentifyFile(path).exists) return true;
  return StoreUnlocked(lock, path, make_initial(), error);
}

}  // namespace skyfw::sim
