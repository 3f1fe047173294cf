#include "update/file_helpers.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "diag/trace_log.h"

namespace skyfw {
namespace {

namespace fs = std::filesystem;

bool StatusIs(const std::string& path, fs::file_type type) {
  fs::path file;
  if (!platform::ToFileSystemPath(path, file)) return false;
  std::error_code error;
  fs::file_status status = fs::status(file, error);
  return !error && status.type() == type;
}

bool IsVersionCharacter(char c) { return (c >= '0' && c <= '9') || c == '.'; }

}  // namespace

bool IsDirectory(const std::string& path) { return StatusIs(path, fs::file_type::directory); }

bool IsRegularFile(const std::string& path) { return StatusIs(path, fs::file_type::regular); }

HostResultCode ListFiles(const std::string& path, std::vector<std::string>& files) {
  fs::path folder;
  if (!platform::ToFileSystemPath(path, folder)) return kHostFirmwareFileNotAccessible;
  std::error_code error;
  fs::file_status status = fs::status(folder, error);
  if (error || status.type() == fs::file_type::not_found) return kHostFirmwareFileNotAccessible;
  if (status.type() != fs::file_type::directory) {
    files.assign(1, path);
    return kHostSuccess;
  }

  fs::directory_iterator entry(folder, error);
  if (error) {
    TraceInfo("Path not found: [%s]\n", path.c_str());
    return kHostSuccess;
  }
  // The order of a directory listing is the file system's; sorting makes every
  // choice that depends on it reproducible.
  std::vector<std::string> names;
  for (; entry != fs::directory_iterator(); entry.increment(error)) {
    names.push_back(platform::FromFileSystemPath(entry->path().filename()));
  }
  if (error) TraceInfo("Path not found: [%s]\n", path.c_str());
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    files.push_back(path + kPathSeparator + name);
  }
  return kHostSuccess;
}

bool BaseName(const std::string& path, std::string& out) {
  if (path.empty()) return false;
  size_t separator = path.rfind(kPathSeparator);
  if (separator == std::string::npos || separator + 1 == path.size()) {
    out = path;
    return false;
  }
  out = path.substr(separator + 1);
  return true;
}

std::string VersionTail(std::string_view text) {
  size_t start = text.size();
  while (start > 0 && IsVersionCharacter(text[start - 1])) --start;
  return std::string(text.substr(start));
}

}  // namespace skyfw
