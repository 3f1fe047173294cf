#include "scratch_folder.h"

#include <filesystem>
#include <random>
#include <system_error>

#include "os/file_names.h"

namespace skyfw::tool {

ScratchFolder::ScratchFolder() {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) return;
  std::random_device random;
  // create_directory fails on an existing name, so nobody else's folder is taken.
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::filesystem::path candidate = base / ("skyfw-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate, error) && !error) {
      std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace, error);
      path_ = platform::FromFileSystemPath(candidate);
      return;
    }
  }
}

ScratchFolder::~ScratchFolder() {
  if (path_.empty()) return;
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

std::string ScratchFolder::File(const std::string& name) const {
  return platform::FromFileSystemPath(platform::PathFromUtf8(path_) / name);
}

std::string ScratchFolder::EmptyFolder() const {
  const std::filesystem::path folder = platform::PathFromUtf8(path_) / "empty";
  std::error_code error;
  std::filesystem::create_directory(folder, error);
  return platform::FromFileSystemPath(folder);
}

}  // namespace skyfw::tool
