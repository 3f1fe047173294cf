#include "os/file_writer.h"

#include <atomic>
#include <cerrno>
#include <chrono>

#include "os/file_names.h"
#include "os/temporary_names.h"

namespace skyfw::platform {

std::string FolderOf(const std::string& path) {
  // Windows takes '/' as well as its own separator; elsewhere the two are one.
  constexpr char kSeparators[] = {kPathSeparator, '/', '\0'};
  const size_t separator = path.find_last_of(kSeparators);
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string TemporaryName(const std::string& folder, unsigned long process_id) {
  static std::atomic<uint64_t> counter{0};
  const auto stamp =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return folder + ".skyfw-" + std::to_string(process_id) + "-" + std::to_string(stamp % 1000000) +
         "-" + std::to_string(counter.fetch_add(1)) + ".new";
}

FileWriter::~FileWriter() { Discard(); }

int WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
  FileWriter writer;
  if (int error = writer.Open(path); error != 0) return error;
  if (!bytes.empty() &&
      std::fwrite(bytes.data(), 1, bytes.size(), writer.stream()) != bytes.size()) {
    return errno != 0 ? errno : EIO;
  }
  return writer.Commit();
}

int WriteWholeFile(const std::string& path, std::string_view bytes) {
  return WriteWholeFile(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace skyfw::platform
