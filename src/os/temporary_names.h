// What the one writer's bodies for each platform share: where a file's
// temporary twin goes, and its name.
#pragma once

#include <string>

namespace skyfw::platform {

// The folder part of path with its separator, or "" for a bare name.
std::string FolderOf(const std::string& path);

// A short name of this process's own, so that a target whose name is near the
// file system's limit can still be written; created exclusively, so a name
// left by another process is never reused.
std::string TemporaryName(const std::string& folder, unsigned long process_id);

// How many names are tried before the writer gives up.
inline constexpr int kTemporaryNameTries = 100;

}  // namespace skyfw::platform
