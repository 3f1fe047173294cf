// The simulated firmware's own readers: its package reader and installer
// (sim/driver/firmware_package, firmware_install) and the NVRAM file the
// driver keeps per adapter (sim/driver/nvram_file).
//
// The first input byte chooses what the rest is: a package as found in the
// update area, the same with its wrapper, package and item CRCs made right
// (so that mutations get past the checksums to the structure behind them),
// an NVRAM file, or an NVRAM file with its CRC appended.
//
// Checked: a refused package changes nothing but the staged data it
// consumed; an installed one leaves the NVRAM within its flash, each item
// holding what the package carried and the package log ending in the
// package's version; an NVRAM file that decodes encodes to a file that
// decodes to the same.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "sim/driver/firmware_crc32.h"
#include "sim/driver/firmware_install.h"
#include "sim/driver/firmware_package.h"
#include "sim/driver/initial_nvram.h"
#include "sim/driver/nvram_file.h"
#include "sim/driver/package_log.h"

namespace {

using namespace skyfw;
using namespace skyfw::sim;
using Bytes = std::vector<uint8_t>;

enum Mode : uint8_t { kPackage, kPackageChecksumsFixed, kNvramFile, kNvramFileCrcAppended };

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "firmware package: %s\n", what.c_str());
  std::abort();
}

constexpr uint8_t kWrapperId0 = 0xF0;
constexpr size_t kWrapperMinimum = 36;
constexpr size_t kEntrySize = 88;  // descriptor 64, identity 24

// Recomputes, where the fields they depend on can be read, each item's CRC,
// the package CRC and the wrapper CRC, innermost first.
void FixChecksums(Bytes& bytes) {
  size_t start = 0;
  uint16_t wrapper_length = 0;
  const bool wrapped = bytes.size() >= kWrapperMinimum && bytes[0] == kWrapperId0 &&
                       ByteReader(bytes).U16At(17, wrapper_length) && wrapper_length >= 23 &&
                       wrapper_length <= bytes.size();
  if (wrapped) start = wrapper_length;

  std::vector<uint8_t> package(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
  ByteReader reader(package);
  ByteWriter writer(package);
  uint32_t trailer_length = 0;
  uint32_t header_length = 0;
  uint32_t manifest_length = 0;
  uint32_t count = 0;
  if (reader.U32At(4, trailer_length) && reader.U32At(8, header_length) &&
      reader.U32At(size_t{header_length} + 4, manifest_length) &&
      reader.U32At(size_t{header_length} + 8, count)) {
    const size_t entries = size_t{header_length} + manifest_length;
    for (uint32_t k = 0; k < count && k < kMaxPackageItems; ++k) {
      const size_t identity = entries + k * kEntrySize + 64;
      uint32_t data_offset = 0;
      uint32_t data_length = 0;
      ByteView data;
      if (reader.U32At(identity + 8, data_offset) && reader.U32At(identity + 16, data_length) &&
          reader.ViewAt(data_offset, data_length, data)) {
        writer.SetU32At(identity + 20, FirmwareCrc32(data));
      }
    }
  }
  if (trailer_length >= 4 && trailer_length <= package.size()) {
    const size_t data_end = package.size() - trailer_length;
    writer.SetU32At(package.size() - 4, FirmwareCrc32(ByteView(package).first(data_end)));
  }
  std::copy(package.begin(), package.end(), bytes.begin() + static_cast<std::ptrdiff_t>(start));
  if (wrapped) {
    ByteWriter(bytes).SetU32At(wrapper_length - 4u,
                               FirmwareCrc32(ByteView(bytes).first(wrapper_length - 4u)));
  }
}

// A small factory NVRAM: VPD, a package log, an empty update area, a boot image.
const NvramImage& FactoryNvram() {
  static const NvramImage nvram = [] {
    AdapterDescription adapter;
    adapter.id = "fuzz";
    adapter.vpd = VpdDescription{"Skyline", {{"PN", "SKY"}, {"SN", "1"}}, {}, 16};
    adapter.package_log = {"2024-06-02 16:40:10\tnvmupd\t21.6.2"};
    adapter.package_log_length = 512;
    adapter.update_area_length = 65536;
    adapter.nvram_items = {{3, 0, 0, 0, 1024, {'B', 'O', 'O', 'T'}}};
    return BuildInitialNvram(adapter).nvram;
  }();
  return nvram;
}

Bytes Encoded(const NvramImage& nvram) { return EncodeNvramFile(NvramFile{nvram, {}}); }

std::string WithoutControlBytes(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return text;
}

void CheckInstalled(const NvramImage& nvram, const FirmwarePackage& package) {
  if (AllocatedBytes(nvram) > nvram.capacity) Fail("installed items exceed the flash");
  for (const FirmwarePackageItem& item : package.items) {
    const bool log_or_staging =
        (item.type == kItemTypePackageLog || item.type == kItemTypeUpdateArea) &&
        item.ordinal == 0 && item.ext == 0;
    if (log_or_staging) continue;
    std::optional<size_t> index = FindItem(nvram, item.type, item.ordinal, item.ext);
    if (!index) Fail("installed item missing");
    const std::vector<uint8_t>& data = nvram.items[*index].data;
    if (!std::equal(data.begin(), data.end(), item.data.begin(), item.data.end())) {
      Fail("installed item differs from the package");
    }
  }
  std::optional<size_t> log = FindItem(nvram, kItemTypePackageLog, 0, 0);
  if (!log ||
      LastPackageLogVersion(nvram.items[*log].data) != WithoutControlBytes(package.version)) {
    Fail("package log does not end in the installed version");
  }
}

void InstallPackage(ByteView bytes) {
  FirmwarePackage package;
  const PackageProblem problem = ReadFirmwarePackage(bytes, package);

  NvramImage nvram = FactoryNvram();
  const std::optional<size_t> staged = FindItem(nvram, kItemTypeUpdateArea, 0, 0);
  if (!staged || bytes.size() > nvram.items[*staged].item_length) return;
  nvram.items[*staged].data.assign(bytes.begin(), bytes.end());
  const InstallOutcome outcome = InstallStagedPackage(nvram, 0, FirmwareTime{0, 2026, 1, 2});

  // Reading may pass and installing still fail (no room), never the reverse.
  if (problem.error != kDriverOk && outcome.result == 0) Fail("installed a refused package");
  if (outcome.result != 0) {
    NvramImage consumed = FactoryNvram();
    if (Encoded(nvram) != Encoded(consumed)) Fail("refused package changed the NVRAM");
    return;
  }
  CheckInstalled(nvram, package);
}

void DecodeNvram(ByteView bytes) {
  NvramFile file;
  std::string error;
  if (!DecodeNvramFile(bytes, file, error)) {
    if (error.empty()) Fail("NVRAM file refused without a reason");
    return;
  }
  const Bytes encoded = EncodeNvramFile(file);
  NvramFile again;
  if (!DecodeNvramFile(encoded, again, error)) Fail("re-encoded NVRAM file refused: " + error);
  if (EncodeNvramFile(again) != encoded) Fail("NVRAM file changed between encodings");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Bytes bytes(data + 1, data + size);
  switch (data[0] & 3) {
    case kPackage:
      InstallPackage(bytes);
      break;
    case kPackageChecksumsFixed:
      FixChecksums(bytes);
      InstallPackage(bytes);
      break;
    case kNvramFile:
      DecodeNvram(bytes);
      break;
    case kNvramFileCrcAppended: {
      const uint32_t crc = FirmwareCrc32(bytes);
      ByteWriter(bytes).PutU32(crc);
      DecodeNvram(bytes);
      break;
    }
  }
  return 0;
}
