#include "host/file_helpers.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "diag/trace_log.h"
#include "platform/platform.h"

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

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

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

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

std::string TemporaryPathBeside(const std::string& path) {
  static std::atomic<uint64_t> counter{0};
  const uint64_t stamp =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  const size_t separator = path.rfind(kPathSeparator);
  const std::string folder = separator == std::string::npos ? "" : path.substr(0, separator + 1);
  return folder + ".skyfw-" + std::to_string(platform::Current().system().GetCurrentProcessId()) +
         "-" + std::to_string(stamp) + "-" + std::to_string(counter.fetch_add(1)) + ".new";
}

bool WriteFileWhole(const std::string& path, std::string_view bytes) {
  // No temporary file goes into the current folder for a path that names
  // nothing.
  if (path.empty()) return false;
  const std::string temporary = TemporaryPathBeside(path);
  std::FILE* file = std::fopen(temporary.c_str(), "wbx");
  if (file == nullptr) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  written = std::fflush(file) == 0 && written;
  written = std::fclose(file) == 0 && written;
  if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  std::remove(temporary.c_str());
  return false;
}

}  // namespace skyfw
