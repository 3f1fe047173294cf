// Files that grow by whole records: logs several processes write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace skyfw::platform {

// Cuts the existing file at `offset`, writes `bytes` there and syncs the
// file before returning. 0, or the errno-style reason it failed: the file
// then ends somewhere from `offset` on, with a part of `bytes` at most.
int WriteFileTail(const std::filesystem::path& path, uint64_t offset, std::string_view bytes);

// Appends one line (a line feed is added) under an exclusive lock of the
// file itself, so lines of several processes never interleave; the file and
// its folder are made when missing. 0 or the reason it failed.
int AppendLine(const std::filesystem::path& path, std::string_view line);

}  // namespace skyfw::platform
