// Access to an adapter's NVRAM file shared by every process that uses the
// machine.
//
// Each access holds an exclusive lock on "<file>.lock" (the NVRAM file itself
// is replaced now and then, so it cannot carry the lock). A change lands
// whole in one of two ways: a record of the bytes it changed, appended and
// synced (a record cut short by a killed writer is ignored), or a new whole
// file written beside and renamed over the old one, which also folds the
// records in once they outgrow the snapshot. A reader therefore sees the old
// or the new NVRAM, never a mixture.
//
// A process keeps the NVRAM it last read in memory (NvramStore) and reads the
// file again only when it changed: a writer bumps the lock file's change
// counter before it touches the file, and the file's identity changes with
// every write, so both are compared under the lock at every access. When
// another process only appended records, just those are read.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/driver/nvram_file.h"

namespace skyfw::sim {

struct ChangeStamp;

class NvramStore {
 public:
  explicit NvramStore(std::string path);
  ~NvramStore();
  NvramStore(NvramStore&&) noexcept;
  NvramStore& operator=(NvramStore&&) noexcept;

  const std::string& path() const { return path_; }

  // Lets `work` look at and change the current NVRAM under the lock, and
  // writes it back before the lock is released when `work` returns true
  // (`work` must leave it untouched when it returns false). False (with
  // `error`) when the file is missing or damaged or cannot be written; `work`
  // is not called then, or its change is not kept.
  // Every change is then written as a new whole file.
  bool Update(const std::function<bool(NvramFile&)>& work, std::string& error);
  // The same, for work that says what it changed: only that is written, as a
  // record appended to the file (folded into a new whole file now and then).
  // While nothing changed the file since this store last saw it, `work` runs
  // without the lock; should it then change something after another process
  // did, it runs once more on the new NVRAM, under the lock. So `work` must
  // depend on nothing but the NVRAM it is given.
  bool Update(const std::function<bool(NvramFile&, NvramChanges&)>& work, std::string& error);

  // The CRC-32 of item `index`'s data, remembered until the NVRAM changes
  // (a directory listing would otherwise checksum every item each time). Only
  // inside `work`.
  uint32_t ItemChecksum(size_t index);

 private:
  struct Cache;
  bool Refresh(const ChangeStamp& stamp, std::string& error);

  std::string path_;
  std::unique_ptr<Cache> cache_;
};

// Reads the file, lets `work` look at and change it, and writes it back when
// `work` returns true. False (with `error`) when the file is missing or
// damaged or cannot be written; `work` is not called then, or its change is
// not kept.
bool UpdateNvramFile(const std::string& path, const std::function<bool(NvramFile&)>& work,
                     std::string& error);

bool ReadNvramFile(const std::string& path, NvramFile& out, std::string& error);

// Writes `file` whole, replacing what is there.
bool WriteNvramFile(const std::string& path, const NvramFile& file, std::string& error);

// Writes what `make_initial` gives unless the file exists already; the check
// and the write happen under the lock, so a process that starts late never
// overwrites what an earlier one has changed (nor builds a factory image it
// does not need).
bool CreateNvramFileIfMissing(const std::string& path,
                              const std::function<NvramFile()>& make_initial, std::string& error);

}  // namespace skyfw::sim
