#include "package/package_verifier.h"

#include <gtest/gtest.h>

#include "builders.h"
#include "integrity/crc32.h"
#include "support/package_builder.h"

namespace skyfw {
namespace {

using testing::Bytes;
using testing::PackageItem;
using testing::Property;

class VerifierTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    signer_ = tool::ImageSigner::Development().release();
    header_image_ = new Bytes(tool::BuildHeaderSignedImage(*signer_, 7, tool::FillerBytes(700, 1)));
    trailer_image_ =
        new Bytes(tool::BuildTrailerSignedImage(*signer_, 8, tool::FillerBytes(600, 2), "20.1.0"));
  }
  static void TearDownTestSuite() {
    delete signer_;
    delete header_image_;
    delete trailer_image_;
  }

  // A valid package of every item class: header-signed image (type 10),
  // trailer-signed image (type 8), marked block (62), VPD (5), plain data.
  static tool::PackagePlan FullPlan() {
    tool::PackagePlan plan;
    plan.description = "test package";
    plan.version = "21.6.2";
    plan.prerequisite = "20.1.0";
    plan.device_ids = {0x1657, 0x165F};
    plan.subsystem_vendor = 0x14E4;
    plan.lowest_revision = 1;
    plan.highest_revision = 3;
    Bytes vpd_item = {0, 0, 0, 0};
    const Bytes vpd = tool::BuildVpd("Skyline 25G", {{"PN", "N1"}, {"SN", "S1"}});
    vpd_item.insert(vpd_item.end(), vpd.begin(), vpd.end());
    plan.items = {
        {.type = 10, .data = *header_image_},
        {.type = 8, .data = *trailer_image_},
        {.type = 62, .data = tool::BuildMarkedBlock(62, 100)},
        {.type = 5, .data = vpd_item},
        {.type = 0x30, .ordinal = 2, .item_length = 64, .data = tool::FillerBytes(33, 3)},
    };
    return plan;
  }

  static Bytes Build(const tool::PackagePlan& plan) {
    Bytes package;
    EXPECT_EQ(tool::BuildPackage(plan, package), NVCRETVAL_SUCCESS);
    return package;
  }

  static tool::ImageSigner* signer_;
  static Bytes* header_image_;
  static Bytes* trailer_image_;
};

tool::ImageSigner* VerifierTest::signer_ = nullptr;
Bytes* VerifierTest::header_image_ = nullptr;
Bytes* VerifierTest::trailer_image_ = nullptr;

TEST_F(VerifierTest, WrittenPackagePasses) {
  const Bytes package = Build(FullPlan());
  int32_t index = 7;
  EXPECT_EQ(VerifyPackage(package, &index), NVCRETVAL_SUCCESS);
  EXPECT_EQ(index, -1);
}

// Acceptance: any changed byte of an item's data fails, naming that item.
TEST_F(VerifierTest, EveryFlippedItemByteIsCaughtWithItsIndex) {
  const Bytes package = Build(FullPlan());
  PackageItemEntry entries[5];
  ASSERT_EQ(ReadPackageItems(package, 0, entries), 5);
  for (int32_t item = 0; item < 5; ++item) {
    const PackageItemEntry& entry = entries[item];
    const size_t length = entry.data_length();
    for (size_t at : {size_t{0}, length / 3, length / 2, length - 5, length - 1}) {
      Bytes damaged = package;
      damaged[entry.data_offset() + at] ^= 0x40;
      testing::ResealPackage(damaged);  // so the item check, not the package CRC, speaks
      int32_t index = -1;
      EXPECT_EQ(VerifyPackage(damaged, &index), NVCRETVAL_INVALID_CHECKSUM)
          << "item " << item << " byte " << at;
      EXPECT_EQ(index, item);
    }
  }
}

// With the item CRC turned off (dir_attr bit 0) the deeper checks speak.
TEST_F(VerifierTest, ItemChecksBehindTheChecksum) {
  auto item_status = [](uint16_t type, uint16_t attr, const Bytes& data) {
    PackageItemEntry entry;
    entry.set_dir_type(type);
    entry.set_dir_attr(attr | kAttrNoChecksum);
    entry.set_data_length(static_cast<uint32_t>(data.size()));
    return VerifyPackageItem(entry, data);
  };
  Bytes damaged_header = *header_image_;
  damaged_header[100] ^= 1;
  Bytes marked = tool::BuildMarkedBlock(61, 400);
  Bytes marked_bad = marked;
  marked_bad[256 + 60] ^= 1;
  const Bytes vpd = tool::BuildVpd("X", {{"PN", "1"}});
  Bytes vpd_item = testing::Concat({Bytes(4, 0), vpd});
  Bytes vpd_bad = vpd_item;
  vpd_bad.back() = 0x79;

  struct Case {
    const char* name;
    uint16_t type;
    uint16_t attr;
    Bytes data;
    NvmStatus expected;
  } const cases[] = {
      {"header image, bad CRC", 10, 0, damaged_header, NVCRETVAL_INVALID_CHECKSUM},
      {"header image typed 4 as 18", 18, 0,
       [&] {
         Bytes image = tool::BuildHeaderSignedImage(*signer_, 5, tool::FillerBytes(50, 1));
         return image;
       }(),
       NVCRETVAL_SUCCESS},
      {"header image typed 4 as 10", 10, 0,
       tool::BuildHeaderSignedImage(*signer_, 5, tool::FillerBytes(50, 1)),
       NVCRETVAL_INVALID_TYPE_PARAMETER},
      {"trailer image without attr bit 4", 8, 0, *trailer_image_, NVCRETVAL_TRAILER_NOT_FOUND},
      {"trailer image as type 9", 9, kAttrSignedTrailer, *trailer_image_,
       NVCRETVAL_INVALID_TYPE_PARAMETER},
      {"marked block 61", 61, 0, marked, NVCRETVAL_SUCCESS},
      {"marked block 61, bad end word", 61, 0, marked_bad, NVCRETVAL_INVALID_SIGNATURE},
      {"marked block too short", 63, 0, Bytes(63, 0xA5), NVCRETVAL_INVALID_SIGNATURE},
      {"VPD", 5, 0, vpd_item, NVCRETVAL_SUCCESS},
      {"VPD of 4 bytes", 5, 0, Bytes(4, 0), NVCRETVAL_INVALID_DATA_LENGTH},
      {"VPD without end tag", 5, 0, vpd_bad, NVCRETVAL_END_TAG_NOT_FOUND},
      {"plain data", 0x40, 0, Bytes(3, 1), NVCRETVAL_SUCCESS},
  };
  for (const Case& c : cases) EXPECT_EQ(item_status(c.type, c.attr, c.data), c.expected) << c.name;
}

TEST_F(VerifierTest, PackageLevelFaults) {
  const Bytes version = Property(9, testing::TextValue("1.2.3"));
  const PackageItem plain{.type = 0x30, .data = {1, 2, 3, 4}};

  Bytes crc_only = testing::EncodePackage(version, {plain});
  crc_only.back() ^= 1;
  Bytes bad_magic = testing::EncodePackage(version, {plain});
  bad_magic[0] = 'Q';
  Bytes stream_past_h = testing::EncodePackage(version, {plain});
  stream_past_h[10 + 3 + 1] = 0;  // property area says 8 bytes, header still 20
  ByteWriter(stream_past_h).SetU16At(12 + 1, 6);
  Bytes zero_tag_cut = testing::EncodePackage(Bytes{0, 0}, {plain});  // end tag needs 3 bytes
  Bytes manifest_beyond = testing::EncodePackage(version, {plain});
  ByteWriter(manifest_beyond).SetU32At(20 + 8, 5);  // N = 5 entries do not fit
  // D = I = 0: every one of the 2^32 - 1 entries lies at the same place and
  // fits, so only the first entry's refusal may end the walk (the look-ahead
  // of the image digests went through all of them: minutes for 44 bytes).
  Bytes empty_entries = testing::EncodePackage(version, {});
  ByteWriter(empty_entries).SetU32At(20 + 8, 0xFFFFFFFF);
  ByteWriter(empty_entries).SetU32At(20 + 12, 0);
  ByteWriter(empty_entries).SetU32At(20 + 16, 0);
  testing::ResealPackage(empty_entries);

  struct Case {
    const char* name;
    Bytes package;
    NvmStatus expected;
    int32_t index;
  } const cases[] = {
      {"only the package CRC wrong", crc_only, NVCRETVAL_INVALID_CHECKSUM, -1},
      {"bad magic", bad_magic, NVCRETVAL_INVALID_FILE_HEADER, -1},
      {"property overruns H", stream_past_h, NVCRETVAL_INVALID_PROP_STREAM, -1},
      {"end tag cut by H", zero_tag_cut, NVCRETVAL_INVALID_PROP_STREAM, -1},
      {"prerequisite equal to version",
       testing::EncodePackage(testing::Concat({version, Property(20, testing::TextValue("1.2.3"))}),
                              {}),
       NVCRETVAL_INVALID_PREREQUISITE, -1},
      {"prerequisite shorter than version",
       testing::EncodePackage(testing::Concat({version, Property(20, testing::TextValue("1.2"))}),
                              {}),
       NVCRETVAL_INVALID_PREREQUISITE, -1},
      {"prerequisite below version",
       testing::EncodePackage(testing::Concat({version, Property(20, testing::TextValue("1.2.0"))}),
                              {plain}),
       NVCRETVAL_SUCCESS, -1},
      {"entries beyond the trailer", manifest_beyond, NVCRETVAL_INVALID_MANIFEST, 1},
      {"2^32 - 1 entries of no length", empty_entries, NVCRETVAL_ZERO_LENGTH_ITEM, 0},
      {"directive 4 on a firmware image",
       testing::EncodePackage(version,
                              {plain, PackageItem{.directive = 4, .type = 10, .data = {1}}}),
       NVCRETVAL_INVALID_DIRECTIVE, 1},
      {"zero item length",
       testing::EncodePackage(version, {PackageItem{.type = 0x30, .item_length = 0, .data = {}}}),
       NVCRETVAL_ZERO_LENGTH_ITEM, 0},
      {"zero item length with directive 3",
       testing::EncodePackage(
           version, {PackageItem{.directive = 3, .type = 0x30, .item_length = 0, .data = {}}}),
       NVCRETVAL_SUCCESS, -1},
      {"data longer than the item",
       testing::EncodePackage(version,
                              {PackageItem{.type = 0x30, .item_length = 1, .data = {1, 2}}}),
       NVCRETVAL_INVALID_DATA_LENGTH, 0},
      {"same key, different data, same directive",
       testing::EncodePackage(version, {plain, PackageItem{.type = 0x30, .data = {9, 9}}}),
       NVCRETVAL_DUPLICATE_ITEM, 1},
      {"same key, different directive",
       testing::EncodePackage(version,
                              {plain, PackageItem{.directive = 3, .type = 0x30, .data = {9}}}),
       NVCRETVAL_SUCCESS, -1},
  };
  for (const Case& c : cases) {
    int32_t index = 99;
    EXPECT_EQ(VerifyPackage(c.package, &index), c.expected) << c.name;
    EXPECT_EQ(index, c.index) << c.name;
  }
}

// Images are digested ahead in pairs; a bad signature must still be found
// and named, in any position of an odd number of images.
TEST_F(VerifierTest, SignatureFailuresNameTheItem) {
  auto forged = [](Bytes image) {
    image[40] ^= 0x01;  // a signed byte
    ByteWriter(image).SetU32At(image.size() - 4,
                               Crc32(kCrc32Seed, ByteView(image).first(image.size() - 4)));
    return image;
  };
  for (int32_t bad = 0; bad < 3; ++bad) {
    std::vector<PackageItem> items = {
        PackageItem{.type = 10, .ordinal = 0, .data = *header_image_},
        PackageItem{.type = 8, .attr = kAttrSignedTrailer, .data = *trailer_image_},
        PackageItem{.type = 10, .ordinal = 1, .data = *header_image_},
    };
    items[bad].data = forged(items[bad].data);
    const Bytes package = testing::EncodePackage({}, items);
    int32_t index = -1;
    EXPECT_EQ(VerifyPackage(package, &index), NVCRETVAL_INVALID_RSA_SIGNATURE) << bad;
    EXPECT_EQ(index, bad);
  }
}

// The package CRC reuses item CRCs; every byte outside item data must still
// count, whatever the order or overlap of the items.
TEST_F(VerifierTest, PackageCrcCoversEveryByte) {
  const Bytes version = Property(9, testing::TextValue("1.0"));
  const Bytes x = tool::FillerBytes(5, 1);
  Bytes package =
      testing::EncodePackage(version, {PackageItem{.type = 0x30, .data = x},
                                       PackageItem{.type = 0x31, .data = tool::FillerBytes(9, 2)},
                                       PackageItem{.type = 0x32, .data = x}});
  const size_t entries = 12 + version.size() + 20;
  // Entries out of data order (swap the first two), and the third sharing
  // the first one's data.
  std::swap_ranges(package.begin() + entries, package.begin() + entries + 88,
                   package.begin() + entries + 88);
  uint32_t first_offset = 0;
  ByteReader(package).U32At(entries + 88 + 64 + 8, first_offset);
  ByteWriter(package).SetU32At(entries + 2 * 88 + 64 + 8, first_offset);
  testing::ResealPackage(package);
  ASSERT_EQ(VerifyPackage(package), NVCRETVAL_SUCCESS);

  // Uninterpreted descriptor bytes and padding are only guarded by the CRC.
  for (size_t at : {entries + 5, entries + 88 + 63, first_offset + size_t{5}, package.size() - 6}) {
    Bytes damaged = package;
    damaged[at] ^= 0x04;
    int32_t index = 0;
    EXPECT_EQ(VerifyPackage(damaged, &index), NVCRETVAL_INVALID_CHECKSUM) << at;
    EXPECT_EQ(index, -1) << at;
  }
}

TEST_F(VerifierTest, ItemDataOutsideThePackage) {
  Bytes package = testing::EncodePackage({}, {PackageItem{.type = 0x30, .data = {1, 2, 3, 4}}});
  const size_t entry = 12 + 20;
  for (uint32_t bad_offset :
       {uint32_t(package.size() - 4 - 3), uint32_t(package.size()), uint32_t{0xFFFFFFFE}}) {
    Bytes moved = package;
    ByteWriter(moved).SetU32At(entry + 64 + 8, bad_offset);
    testing::ResealPackage(moved);
    int32_t index = -1;
    EXPECT_EQ(VerifyPackage(moved, &index), NVCRETVAL_INVALID_MANIFEST) << bad_offset;
    EXPECT_EQ(index, 0);
  }
}

TEST_F(VerifierTest, Applicability) {
  const Bytes package = Build(FullPlan());  // IDs 1657/165F, SSVID 14E4, revisions 1..3
  struct Case {
    const char* name;
    uint16_t device;
    uint16_t subsystem_vendor;
    uint16_t subsystem;
    int revision;
    NvmStatus expected;
  } const cases[] = {
      {"listed device", 0x165F, 0x14E4, 0x1234, 2, NVCRETVAL_SUCCESS},
      {"unlisted device", 0x1658, 0x14E4, 0x1234, 2, NVCRETVAL_UNSUPPORTED_DEVICE_ID},
      {"revision below", 0x1657, 0x14E4, 0x1234, 0, NVCRETVAL_UNSUPPORTED_CHIP_REV},
      {"revision above", 0x1657, 0x14E4, 0x1234, 4, NVCRETVAL_UNSUPPORTED_CHIP_REV},
      {"revision unknown", 0x1657, 0x14E4, 0x1234, -1, NVCRETVAL_SUCCESS},
      {"other subsystem vendor", 0x1657, 0x1028, 0x1234, 2, NVCRETVAL_UNSUPPORTED_SUBSYS_VENDOR},
      {"device accepts any vendor", 0x1657, 0xFFFF, 0x1234, 2, NVCRETVAL_SUCCESS},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckPackageApplicability(package, 0x14E4, c.device, c.subsystem_vendor, c.subsystem,
                                        c.revision),
              c.expected)
        << c.name;
  }

  const Bytes bare = testing::EncodePackage({}, {});
  EXPECT_EQ(CheckPackageApplicability(bare, 1, 2, 3, 4, 200), NVCRETVAL_SUCCESS);
  const Bytes any_vendor = testing::EncodePackage(
      testing::Concat({Property(10, {0xFF, 0xFF}), Property(11, {0x22, 0x11})}), {});
  EXPECT_EQ(CheckPackageApplicability(any_vendor, 1, 2, 0x1028, 0x1122, 5), NVCRETVAL_SUCCESS);
  EXPECT_EQ(CheckPackageApplicability(any_vendor, 1, 2, 0x1028, 0x1123, 5),
            NVCRETVAL_UNSUPPORTED_SUBSYS_ID);
  EXPECT_EQ(CheckPackageApplicability(Bytes{'n', 'o'}, 1, 2, 3, 4, 5), NVCRETVAL_SUCCESS);
}

TEST_F(VerifierTest, Prerequisite) {
  const Bytes package =
      testing::EncodePackage(testing::Concat({Property(9, testing::TextValue("10.1.0")),
                                              Property(20, testing::TextValue("10.0.0"))}),
                             {});
  struct Case {
    const char* current;
    bool met;
  } const cases[] = {
      {"10.0.0", true}, {"10.0.1", true}, {"20.1.5", true}, {"9.0.0", false},  // not byte-wise
      {"9.9.9", false}, {"", false},      {"10.0", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPrerequisiteMet(package, c.current), c.met) << c.current;

  std::string prerequisite;
  EXPECT_TRUE(IsPrerequisiteMet(package, "11.0.0", &prerequisite));
  EXPECT_EQ(prerequisite, "10.0.0");

  const Bytes cut_number = testing::EncodePackage(Property(20, testing::TextValue("20.1.2")), {});
  EXPECT_TRUE(IsPrerequisiteMet(cut_number, "20.1.15"));
  EXPECT_TRUE(IsPrerequisiteMet(testing::EncodePackage({}, {}), "0"));
  EXPECT_TRUE(IsPrerequisiteMet(testing::EncodePackage(Property(20, {}), {}), "0"));
}

}  // namespace
}  // namespace skyfw
