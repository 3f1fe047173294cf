// Seeded mutations of well-formed inputs: the firmware's package reader and
// the NVRAM file decoder must refuse or accept each one without reading
// outside the bytes (the sanitizer build checks the reads).
#include <gtest/gtest.h>

#include <random>

#include "sim/driver/firmware_package.h"
#include "sim/driver/nvram_file.h"
#include "support/package_builder.h"

namespace skyfw::sim {
namespace {

std::vector<uint8_t> Mutate(const std::vector<uint8_t>& original, std::mt19937& random) {
  std::vector<uint8_t> bytes = original;
  switch (random() % 4) {
    case 0:  // flip a few bytes
      for (int i = 0; i < 4 && !bytes.empty(); ++i) {
        bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
      }
      break;
    case 1:  // cut the tail
      bytes.resize(random() % (bytes.size() + 1));
      break;
    case 2: {  // a length or offset field set to something large
      if (bytes.size() >= 4) {
        size_t at = random() % (bytes.size() - 3);
        ByteWriter(bytes).SetU32At(at, static_cast<uint32_t>(random()));
      }
      break;
    }
    default:  // extra bytes
      bytes.insert(bytes.begin() + static_cast<long>(random() % (bytes.size() + 1)), random() % 64,
                   static_cast<uint8_t>(random()));
  }
  return bytes;
}

TEST(MalformedInput, FirmwarePackageReaderSurvivesMutations) {
  testing::TestPackage package;
  package.version = "1.2.3";
  package.description = "mutation seed";
  package.items = {{0, 0x20, 0, 0, 0, 0, testing::Bytes("first item data")},
                   {0, 5, 0, 0, 1, 64, testing::Bytes("vpd")},
                   {3, 0x30, 0, 0, 0, 0, {}}};
  const std::vector<uint8_t> seeds[] = {testing::BuildPackage(package),
                                        testing::WrapPackage(testing::BuildPackage(package))};
  std::mt19937 random(20261210);
  int accepted = 0;
  for (const std::vector<uint8_t>& seed : seeds) {
    for (int round = 0; round < 3000; ++round) {
      std::vector<uint8_t> bytes = Mutate(seed, random);
      // Resealed half the time, so mutations also get past the package CRC.
      if (round % 2 == 0 && bytes.size() >= 16) testing::ResealPackage(bytes);
      FirmwarePackage parsed;
      if (ReadFirmwarePackage(bytes, parsed).error == kDriverOk) {
        ++accepted;
        for (const FirmwarePackageItem& item : parsed.items) {
          ASSERT_LE(item.data.size(), item.item_length);
          ASSERT_TRUE(item.data.empty() ||
                      (item.data.data() >= bytes.data() &&
                       item.data.data() + item.data.size() <= bytes.data() + bytes.size()));
        }
      }
    }
  }
  EXPECT_GT(accepted, 0);  // the mutations are not all trivially refused
}

TEST(MalformedInput, NvramFileDecoderSurvivesMutations) {
  NvramFile file;
  file.nvram.items.push_back({5, 0, 0, 0, 64, testing::Bytes("vpd bytes")});
  file.nvram.items.push_back({1, 0, 0, 0, 128, testing::Bytes("a\tb\t1.0\n")});
  file.driver.method_calls["Read"] = 2;
  const std::vector<uint8_t> seed = EncodeNvramFile(file);
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> bytes = Mutate(seed, random);
    if (round % 2 == 0 && bytes.size() >= 4) {
      // Reseal with the file's own CRC so the structure checks are reached.
      std::vector<uint8_t> body(bytes.begin(), bytes.end() - 4);
      std::vector<uint8_t> sealed = body;
      ByteWriter(sealed).PutU32(testing::BitwiseCrc32(body));
      bytes = sealed;
    }
    NvramFile back;
    std::string error;
    if (DecodeNvramFile(bytes, back, error)) {
      for (const NvramItem& item : back.nvram.items) ASSERT_LE(item.data.size(), item.item_length);
    } else {
      ASSERT_FALSE(error.empty());
    }
  }
}

}  // namespace
}  // namespace skyfw::sim
