#include "update/package_check_cache.h"

#include <filesystem>
#include <map>
#include <memory>
#include <system_error>

#include "os/file_names.h"

namespace skyfw {
namespace {

struct FileStamp {
  uintmax_t size = 0;
  std::filesystem::file_time_type modified{};
  bool operator==(const FileStamp&) const = default;
};

struct CachedFile {
  FileStamp stamp;
  std::unique_ptr<CheckedPackageFile> checked;
};

// The library runs one entry point at a time on the host's thread.
struct CacheState {
  int scopes = 0;
  size_t reads = 0;
  std::map<std::string, CachedFile> files;
};

CacheState& State() {
  static CacheState state;
  return state;
}

FileStamp StampOf(const std::string& path) {
  std::error_code error;
  FileStamp stamp;
  std::filesystem::path file;
  if (!platform::ToFileSystemPath(path, file)) {
    stamp.size = static_cast<uintmax_t>(-1);
    return stamp;
  }
  stamp.size = std::filesystem::file_size(file, error);
  if (error) stamp.size = static_cast<uintmax_t>(-1);
  stamp.modified = std::filesystem::last_write_time(file, error);
  return stamp;
}

}  // namespace

PackageCheckScope::PackageCheckScope() {
  if (State().scopes++ == 0) State().reads = 0;
}

PackageCheckScope::~PackageCheckScope() {
  if (--State().scopes == 0) State().files.clear();
}

CheckedPackageFile* FindCheckedPackageFile(const std::string& path) {
  CacheState& state = State();
  if (state.scopes == 0) return nullptr;
  FileStamp stamp = StampOf(path);
  CachedFile& cached = state.files[path];
  if (cached.checked == nullptr || !(cached.stamp == stamp)) {
    cached.stamp = stamp;
    cached.checked = std::make_unique<CheckedPackageFile>();
    cached.checked->readStatus = ReadPackageFile(path, cached.checked->file);
    ++state.reads;
  }
  return cached.checked.get();
}

size_t CheckedPackageReads() { return State().reads; }

}  // namespace skyfw
