// The package log item as both of its readers meet it: the library's
// installed-version reader (versions/package_version) and the simulated
// firmware's own (sim/driver/package_log), which appends the records.
//
// Input: capacity (2 bytes), version length (1), version text, then the log.
// Checked: the two readers agree on every log (the library cuts the version
// to 255 bytes), and after the firmware appends a record the log fits its
// capacity and both readers find that record's version.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "sim/driver/package_log.h"
#include "update/package_version.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "package log: %s\n", what);
  std::abort();
}

void CheckReadersAgree(skyfw::ByteView log) {
  std::string library;
  const bool found = skyfw::PackageLogVersion(log, library);
  const std::optional<std::string> firmware = skyfw::sim::LastPackageLogVersion(log);
  if (found != firmware.has_value()) Fail("one reader finds a version, the other none");
  if (found && firmware->substr(0, skyfw::kPackageLogFieldBytes) != library) {
    Fail("the readers find different versions");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyfw;
  ByteReader reader(ByteView(data, size));
  uint16_t capacity = 0;
  uint8_t version_length = 0;
  ByteView version;
  if (!reader.ReadU16(capacity) || !reader.ReadU8(version_length) ||
      !reader.ReadView(version_length, version)) {
    return 0;
  }
  ByteView log_bytes;
  reader.ReadView(reader.remaining(), log_bytes);
  CheckReadersAgree(log_bytes);

  sim::PackageLogRecord record;
  record.version.assign(version.begin(), version.end());
  record.description = "fuzz";
  const std::string line = sim::FormatPackageLogRecord(record);
  std::vector<uint8_t> log(log_bytes.begin(), log_bytes.end());
  if (!sim::AppendPackageLogRecord(log, line, capacity)) return 0;
  if (log.size() > capacity) Fail("appended log exceeds its capacity");
  CheckReadersAgree(log);

  // Control bytes in the version became blanks when the record was formatted.
  std::string expected = record.version;
  for (char& c : expected) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  if (sim::LastPackageLogVersion(log) != expected) Fail("appended version not found last");
  return 0;
}
