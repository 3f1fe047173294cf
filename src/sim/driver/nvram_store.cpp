#include "sim/driver/nvram_store.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "os/appending_file.h"
#include "os/file_identity.h"
#include "os/file_names.h"
#include "os/file_reader.h"
#include "os/file_writer.h"
#include "os/lockable_file.h"
#include "sim/driver/firmware_crc32.h"
#include "sim/machine/change_stamp.h"
#include "sim/machine/file_lock.h"

namespace skyfw::sim {
namespace {

// By its UTF-8 name: a std::string would be taken for the code page's on
// Windows, and name another file outside ASCII.
std::filesystem::path LockPathOf(const std::string& path) {
  return platform::PathFromUtf8(path + ".lock");
}

// Records are folded into a new snapshot once they outgrow it (and this
// floor, so that a small NVRAM is not rewritten every few calls): a reader
// that opens the file replays at most about one snapshot's worth.
constexpr size_t kLogFloor = 256 * 1024;

std::string ReadError(const std::string& path, int reason) {
  return "cannot read NVRAM file " + path + ": " + std::strerror(reason);
}

// The caller holds the file's lock (shared or exclusive).
bool LoadWhileLocked(const std::string& path, NvramFile& out, NvramFileLayout& layout,
                     std::string& error) {
  std::vector<uint8_t> bytes;
  if (int reason = platform::ReadRegularFile(path, bytes); reason != 0) {
    error = ReadError(path, reason);
    return false;
  }
  std::string why;
  if (!DecodeNvramFile(bytes, out, why, &layout)) {
    error = "NVRAM file " + path + ": " + why;
    return false;
  }
  return true;
}

// The records appended after `known`, provided the file still holds the
// snapshot `known` describes: a file number alone can come back, since a
// folded file gets a new one and the old one is freed.
bool ReadNewRecords(const std::string& path, const NvramFileLayout& known,
                    std::vector<uint8_t>& bytes) {
  int reason = 0;
  uint64_t size = 0;
  platform::FileStream stream = platform::OpenRegularFile(path, reason, &size);
  uint8_t seal[4];
  if (!stream || known.log_end > size || known.log_end > LONG_MAX ||
      std::fseek(stream.get(), static_cast<long>(known.snapshot_end - 4), SEEK_SET) != 0 ||
      std::fread(seal, 1, 4, stream.get()) != 4) {
    return false;
  }
  uint32_t crc = 0;
  ByteReader(seal).U32At(0, crc);
  if (crc != known.snapshot_crc) return false;
  bytes.resize(static_cast<size_t>(size - known.log_end));
  return std::fseek(stream.get(), static_cast<long>(known.log_end), SEEK_SET) == 0 &&
         std::fread(bytes.data(), 1, bytes.size(), stream.get()) == bytes.size();
}

// The caller holds the exclusive lock. The counter moves first, so that a writer killed
// between the two steps costs the others a needless re-read, never a missed
// change.
bool StoreWhileLocked(FileLock& lock, const std::string& path, const NvramFile& file,
                      NvramFileLayout* layout, std::string& error) {
  std::vector<uint8_t> bytes = EncodeNvramFile(file);
  int reason = lock.BumpChangeCounter();
  if (reason == 0) reason = platform::WriteWholeFile(path, bytes);
  if (reason != 0) {
    error = "cannot write NVRAM file " + path + ": " + platform::FileErrorText(reason);
    return false;
  }
  if (layout != nullptr) {
    *layout = {};
    layout->snapshot_end = layout->log_end = bytes.size();
    ByteReader(bytes).U32At(bytes.size() - 4, layout->snapshot_crc);
  }
  return true;
}

}  // namespace

struct NvramStore::Cache {
  std::mutex mutex;   // one call at a time in this process, as across processes
  ChangeStamp stamp;  // of `file`; invalid when nothing is cached
  NvramFile file;
  NvramFileLayout layout;
  std::vector<std::optional<uint32_t>> checksums;
  platform::LockableFile watch;  // the lock file held open, to see unlocked that nothing changed
  platform::GuardedFile held;    // the NVRAM file as last stamped, looked at without its name
  // Made once: every call looks at both.
  std::filesystem::path file_path;
  std::filesystem::path lock_path;
};

NvramStore::NvramStore(std::string path) : path_(std::move(path)), cache_(new Cache) {
  cache_->file_path = platform::PathFromUtf8(path_);
  cache_->lock_path = LockPathOf(path_);
}
NvramStore::~NvramStore() = default;
NvramStore::NvramStore(NvramStore&&) noexcept = default;
NvramStore& NvramStore::operator=(NvramStore&&) noexcept = default;

// Brings the memory up to the file: nothing to do while the stamp holds;
// only the records appended since when another store appended to the same
// file; else the whole file.
bool NvramStore::Refresh(const ChangeStamp& stamp, std::string& error) {
  Cache& cache = *cache_;
  if (cache.stamp.valid && stamp == cache.stamp) return true;
  const bool appended = cache.stamp.valid && stamp.counter != cache.stamp.counter &&
                        stamp.identity.exists &&
                        stamp.identity.device == cache.stamp.identity.device &&
                        stamp.identity.file_number == cache.stamp.identity.file_number &&
                        stamp.identity.size >= cache.layout.log_end;
  cache.stamp = {};
  cache.checksums.clear();
  if (appended) {
    std::vector<uint8_t> tail;
    size_t used = 0;
    std::string why;
    if (ReadNewRecords(path_, cache.layout, tail) &&
        ApplyNvramRecords(tail, cache.file, used, why)) {
      cache.layout.log_end += used;
      cache.stamp = stamp;
      return true;
    }
    // Read whole instead, which also reports damage if there is some.
  }
  if (!LoadWhileLocked(path_, cache.file, cache.layout, error)) return false;
  cache.stamp = stamp;
  return true;
}

bool NvramStore::Update(const std::function<bool(NvramFile&)>& work, std::string& error) {
  return Update(
      [&](NvramFile& file, NvramChanges& changes) {
        changes.All();
        return work(file);
      },
      error);
}

bool NvramStore::Update(const std::function<bool(NvramFile&, NvramChanges&)>& work,
                        std::string& error) {
  Cache& cache = *cache_;
  std::lock_guard<std::mutex> guard(cache.mutex);
  NvramChanges changes;
  // Most calls change nothing, and when nothing changed since the NVRAM was
  // last seen they can run on it without the lock: no write has begun since.
  const bool unlocked = cache.stamp.valid && cache.watch.is_open() &&
                        PeekStamp(cache.watch, cache.file_path, &cache.held) == cache.stamp;
  if (unlocked && !work(cache.file, changes)) return true;
  FileLock lock(cache.lock_path);
  if (!lock.locked()) {
    error = lock.error();
    if (unlocked) cache.stamp = {};  // the memory holds a change that was not kept
    return false;
  }
  if (!cache.watch.is_open()) WatchChangeCounter(cache.watch, cache.lock_path);
  const ChangeStamp stamp = StampOf(lock, cache.file_path, &cache.held);
  if (unlocked && stamp == cache.stamp) {
    // The change was made on the NVRAM as it still is: keep it.
  } else {
    // Changed elsewhere in the meantime: the work runs again on the new NVRAM.
    if (unlocked) cache.stamp = {};
    if (!Refresh(stamp, error)) return false;
    changes = {};
    if (!work(cache.file, changes)) return true;
  }
  // Whatever happens next, the memory no longer matches a known file.
  cache.stamp = {};
  if (changes.everything) {
    cache.checksums.clear();
  } else {
    for (const NvramChanges::Change& change : changes.changes) {
      if (change.index < cache.checksums.size()) cache.checksums[change.index].reset();
    }
  }
  std::vector<uint8_t> record;
  if (!changes.everything) {
    record = EncodeNvramRecord(cache.file, changes);
    const size_t log_length = cache.layout.log_end - cache.layout.snapshot_end + record.size();
    if (log_length > std::max(cache.layout.snapshot_end, kLogFloor)) record.clear();
  }
  if (record.empty()) {
    if (!StoreWhileLocked(lock, path_, cache.file, &cache.layout, error)) return false;
  } else {
    // The record goes where the last whole one ends, over whatever a killed
    // writer left behind it.
    int reason = lock.BumpChangeCounter();
    if (reason == 0) {
      reason = platform::WriteFileTail(
          cache.file_path, cache.layout.log_end,
          std::string_view(reinterpret_cast<const char*>(record.data()), record.size()));
    }
    if (reason != 0) {
      error = "cannot write NVRAM file " + path_ + ": " + platform::FileErrorText(reason);
      return false;
    }
    cache.layout.log_end += record.size();
  }
  cache.stamp = StampOf(lock, cache.file_path, &cache.held);
  return true;
}

uint32_t NvramStore::ItemChecksum(size_t index) {
  std::vector<std::optional<uint32_t>>& checksums = cache_->checksums;
  if (checksums.size() != cache_->file.nvram.items.size()) {
    checksums.resize(cache_->file.nvram.items.size());
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
  NvramFileLayout layout;
  return LoadWhileLocked(path, out, layout, error);
}

bool WriteNvramFile(const std::string& path, const NvramFile& file, std::string& error) {
  FileLock lock(LockPathOf(path));
  if (!lock.locked()) {
    error = lock.error();
    return false;
  }
  return StoreWhileLocked(lock, path, file, nullptr, error);
}

bool CreateNvramFileIfMissing(const std::string& path,
                              const std::function<NvramFile()>& make_initial, std::string& error) {
  FileLock lock(LockPathOf(path));
  if (!lock.locked()) {
    error = lock.error();
    return false;
  }
  if (platform::IdentifyFile(platform::PathFromUtf8(path)).exists) return true;
  return StoreWhileLocked(lock, path, make_initial(), nullptr, error);
}

}  // namespace skyfw::sim
