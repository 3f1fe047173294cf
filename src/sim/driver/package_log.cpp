#include "sim/driver/package_log.h"

#include <cstdio>

namespace skyfw::sim {
namespace {

std::string Flatten(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return out;
}

size_t EndWithoutFiller(ByteView log) {
  size_t end = log.size();
  while (end > 0 && log[end - 1] == 0) --end;
  return end;
}

}  // namespace

std::string FormatPackageLogRecord(const PackageLogRecord& record) {
  char mask[24];
  std::snprintf(mask, sizeof mask, "%016llx",
                static_cast<unsigned long long>(record.installed_mask));
  return FormatFirmwareTime(record.time) + "\t" + Flatten(record.event) + "\t" +
         Flatten(record.version) + "\t" + mask + "\t" + Flatten(record.description) + "\n";
}

bool AppendPackageLogRecord(std::vector<uint8_t>& log, std::string_view record, uint32_t capacity) {
  if (record.size() > capacity) return false;
  log.resize(EndWithoutFiller(log));
  if (!log.empty() && log.back() != '\n') log.push_back('\n');
  log.insert(log.end(), record.begin(), record.end());
  // Drop whole records from the front until the log fits its item again.
  size_t start = 0;
  while (log.size() - start > capacity) {
    size_t line_end = start;
    while (line_end < log.size() && log[line_end] != '\n') ++line_end;
    start = line_end + 1;
  }
  log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(start));
  return true;
}

std::optional<std::string> LastPackageLogVersion(ByteView log) {
  size_t end = EndWithoutFiller(log);
  if (end == 0) return std::nullopt;
  // A line feed at the very end closes the last record rather than opening
  // an empty one.
  size_t last_end = log[end - 1] == '\n' ? end - 1 : end;
  size_t start = last_end;
  while (start > 0 && log[start - 1] != '\n') --start;
  int field = 0;
  size_t field_start = start;
  for (size_t i = start; i <= last_end; ++i) {
    if (i == last_end || log[i] == '\t') {
      if (field == 2) {
        return std::string(reinterpret_cast<const char*>(log.data()) + field_start,
                           i - field_start);
      }
      ++field;
      field_start = i + 1;
    }
  }
  return std::nullopt;
}

}  // namespace skyfw::sim
