// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "os/file_names.h"

namespace skyfw::testing {

// A new, empty directory in `base` (the system's temporary folder when
// empty) whose name begins with prefix; an empty path when none can be made.
// Creating the directory is what claims a name, so two processes never share
// one (mkdtemp's way, on every platform).
inline std::filesystem::path MakeTempDirectory(const std::string& prefix,
                                               std::filesystem::path base = {}) {
  static std::random_device seed;
  static std::mt19937_64 names(seed());
  std::error_code error;
  if (base.empty()) base = std::filesystem::temp_directory_path(error);
  if (error) return {};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = base / (prefix + std::to_string(names() % 1000000007));
    if (std::filesystem::create_directory(candidate, error)) return candidate;
  }
  return {};
}

// Paths are UTF-8. On Windows a std::filesystem::path made from narrow text
// reads it in the ANSI code page, so paths are made by platform::PathFromUtf8.

// Removes a tree, each entry once. Not std::filesystem::remove_all: with
// mingw's library on Wine it never returns while a file in the tree is still
// open elsewhere (a plug-in that stays loaded until the process ends holds
// its lock files), since the deleted file stays listed until its last handle
// closes. What cannot go yet is left behind.
inline void RemoveTree(const std::filesystem::path& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(std::filesystem::symlink_status(path, ignored))) {
    std::vector<std::filesystem::path> children;
    for (std::filesystem::directory_iterator it(path, ignored), end; !ignored && it != end;
         it.increment(ignored)) {
      children.push_back(it->path());
    }
    for (const std::filesystem::path& child : children) RemoveTree(child);
  }
  std::filesystem::remove(path, ignored);
}

class TempDir {
 public:
  TempDir() : path_(MakeTempDirectory("skyfw-test-").string()) {
    if (path_.empty()) throw std::runtime_error("no temporary directory");
  }
  ~TempDir() { RemoveTree(platform::PathFromUtf8(path_)); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const {
    return path_ + platform::kPathSeparator + name;
  }

 private:
  std::string path_;
};

// A file in a directory of its own: test cases run as parallel processes, so
// a fixed name under the shared temporary folder would be written by several.
class TempFile {
 public:
  explicit TempFile(const std::string& name) : path_(directory_.File(name)) {}
  const std::string& path() const { return path_; }
  void Write(const std::vector<uint8_t>& bytes) const;

 private:
  TempDir directory_;
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(platform::PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline void TempFile::Write(const std::vector<uint8_t>& bytes) const {
  WriteFile(path_, std::string(bytes.begin(), bytes.end()));
}

}  // namespace skyfw::testing
