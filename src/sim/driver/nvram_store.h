// Access to an adapter's NVRAM file shared by every process that uses the
// machine.
//
// Each access holds an exclusive flock on "<file>.lock" (the NVRAM file itself
// is replaced on every write, so it cannot carry the lock), and every write
// lands whole: the new contents go to a file beside it that is then renamed
// over it. A reader therefore sees the old or the new NVRAM, never a mixture.
#pragma once

#include <functional>
#include <string>

#include "sim/driver/nvram_file.h"

namespace skyfw::sim {

// Reads the file, lets `work` look at and change it, and writes it back when
// `work` returns true. False (with `error`) when the file is missing or
// damaged or cannot be written; `work` is not called then, or its change is
// not kept.
bool UpdateNvramFile(const std::string& path, const std::function<bool(NvramFile&)>& work,
                     std::string& error);

bool ReadNvramFile(const std::string& path, NvramFile& out, std::string& error);

// Writes `file` whole, replacing what is there.
bool WriteNvramFile(const std::string& path, const NvramFile& file, std::string& error);

// Writes `initial` unless the file exists already; the check and the write
// happen under the lock, so a process that starts late never overwrites what
// an earlier one has changed.
bool CreateNvramFileIfMissing(const std::string& path, const NvramFile& initial,
                              std::string& error);

}  // namespace skyfw::sim
