#include "package/vpd.h"

#include <gtest/gtest.h>

#include "builders.h"
#include "support/package_builder.h"

namespace skyfw {
namespace {

using testing::Bytes;

// Recomputes the RV checksum after a test changed bytes in front of it.
Bytes WithChecksum(Bytes vpd) {
  EXPECT_EQ(UpdateVpdChecksum(vpd), NVCRETVAL_SUCCESS);
  return vpd;
}

TEST(Vpd, Validation) {
  const Bytes good = tool::BuildVpd("Skyline 25G Adapter", {{"PN", "N123"}, {"SN", "S9"}});
  Bytes trailing = good;
  trailing.push_back(0);
  Bytes bad_string = good;
  bad_string[4] = 0x80;
  Bytes off_by_one = good;
  const size_t rv_checksum = good.size() - 1 - 8;
  off_by_one[rv_checksum] += 1;
  Bytes no_rv = good;
  no_rv[no_rv.size() - 1 - 11] = 'X';  // "RV" becomes "XV"

  struct Case {
    const char* name;
    Bytes vpd;
    NvmStatus expected;
  } const cases[] = {
      {"well formed", good, NVCRETVAL_SUCCESS},
      {"only an end tag", {0x78}, NVCRETVAL_SUCCESS},
      {"end tag and one more byte", {0x78, 0x00}, NVCRETVAL_INVALID_END_TAG},
      {"bytes after the end tag", trailing, NVCRETVAL_INVALID_END_TAG},
      {"empty", {}, NVCRETVAL_END_TAG_NOT_FOUND},
      {"no end tag", Bytes(good.begin(), good.end() - 1), NVCRETVAL_END_TAG_NOT_FOUND},
      {"identifier with 0x80", bad_string, NVCRETVAL_INVALID_STRING},
      {"checksum off by one", off_by_one, NVCRETVAL_INVALID_CHECKSUM},
      {"VPD-R without RV", no_rv, NVCRETVAL_CHECKSUM_NOT_FOUND},
      {"two PN", tool::BuildVpd("X", {{"PN", "1"}, {"PN", "2"}}), NVCRETVAL_DUPLICATE_ITEM},
      {"empty PN", tool::BuildVpd("X", {{"PN", ""}}), NVCRETVAL_ZERO_LENGTH_ITEM},
      {"RV of length 0", tool::BuildVpd("X", {{"PN", "1"}}, 0), NVCRETVAL_INVALID_LENGTH},
      {"section longer than the VPD",
       {0x90, 0xFF, 0x00, 'R', 'V', 1, 0, 0x78},
       NVCRETVAL_END_TAG_NOT_FOUND},
  };
  for (const Case& c : cases) EXPECT_EQ(ValidateVpd(c.vpd), c.expected) << c.name;

  // Reserved RV bytes are not looked at.
  Bytes reserved = good;
  reserved[rv_checksum + 3] = 0x55;
  EXPECT_EQ(ValidateVpd(WithChecksum(reserved)), NVCRETVAL_SUCCESS);

  const std::vector<tool::VpdKeyword> rw = {{"V1", "a"}, {"V1", "b"}};
  EXPECT_EQ(ValidateVpd(tool::BuildVpd("X", {{"PN", "1"}}, 4, &rw)), NVCRETVAL_DUPLICATE_ITEM);
}

// Found by fuzzing: a VPD-R section of 9 bytes (VPD offsets 7 to 15) whose
// keyword RV starts at section offset 6 and claims 0x78 = 120 value bytes.
// Its value, and so its checksum byte, would start at section offset 9: the
// end of the section and of the 16-byte VPD. Summing "through the checksum
// byte" read one byte past the VPD. An RV running past its section is now an
// invalid length, for validation and for the checksum update alike.
TEST(Vpd, RvRunningPastItsSection) {
  Bytes vpd = {0x51, 0x3a, 0x00, 0x00, 0x90, 0x09, 0x00, 0x56,
               0x01, 0x00, 0x90, 0x04, 0x00, 0x52, 0x56, 0x78};
  EXPECT_EQ(ValidateVpd(vpd), NVCRETVAL_INVALID_LENGTH);
  const Bytes before = vpd;
  EXPECT_EQ(UpdateVpdChecksum(vpd), NVCRETVAL_INVALID_LENGTH);
  EXPECT_EQ(vpd, before);
}

TEST(Vpd, FindResource) {
  const Bytes vpd = tool::BuildVpd("ID", {{"PN", "1"}});
  size_t offset = 0;
  EXPECT_EQ(FindVpdResource(vpd, kVpdIdentifierString, offset), 2);
  EXPECT_EQ(offset, 3u);
  EXPECT_EQ(FindVpdResource(vpd, kVpdReadOnly, offset), 4 + 3 + 8);
  EXPECT_EQ(FindVpdResource(vpd, kVpdEndTag, offset), 0);
  EXPECT_EQ(FindVpdResource(vpd, kVpdReadWrite, offset), NVCRETVAL_RESOURCE_NOT_FOUND);
  // Nothing behind the end tag is found.
  Bytes behind = {0x78, 0x91, 0x03, 0x00, 'R', 'W', 0};
  EXPECT_EQ(FindVpdResource(behind, kVpdReadWrite, offset), NVCRETVAL_RESOURCE_NOT_FOUND);
  EXPECT_EQ(FindVpdResource(Bytes{0x90, 0x10, 0x00, 1}, kVpdReadOnly, offset),
            NVCRETVAL_INVALID_LENGTH);
}

TEST(Vpd, ReadIdentity) {
  const std::vector<tool::VpdKeyword> rw = {{"SN", "from-w"}, {"EC", "E1"}};
  const Bytes vpd = tool::BuildVpd(
      "Skyline", {{"pn", "lower"}, {"MN", "M1"}, {"SN", "from-r"}, {"VA", std::string("a\0b", 3)}},
      4, &rw);
  VpdIdentity identity;
  ReadVpdIdentity(vpd, identity);
  EXPECT_EQ(identity.identifier, "Skyline");
  EXPECT_EQ(identity.pn, "lower");
  EXPECT_EQ(identity.mn, "M1");
  EXPECT_EQ(identity.sn, "from-w");  // the later section wins
  EXPECT_EQ(identity.ec, "E1");
  EXPECT_EQ(identity.va, "a");  // stops at a zero byte

  const Bytes long_value = tool::BuildVpd("X", {{"PN", std::string(200, 'p')}});
  ReadVpdIdentity(long_value, identity);
  EXPECT_EQ(identity.pn, std::string(127, 'p'));

  // A keyword reaching past its section is reported and skipped.
  Bytes overrun = {0x90, 0x08, 0x00, 'M', 'N', 2, 'm', '1', 'P', 'N', 9, 0x78};
  std::vector<std::string> messages;
  ReadVpdIdentity(overrun, identity, [&](const std::string& text) { messages.push_back(text); });
  EXPECT_EQ(identity.mn, "m1");
  EXPECT_EQ(identity.pn, "");
  EXPECT_EQ(messages, std::vector<std::string>{"Invalid length: 9\n"});
}

TEST(Vpd, SetKeywordUsesTheReserveOfRv) {
  Bytes vpd = tool::BuildVpd("X", {{"PN", "N1"}, {"SN", "S1"}}, 10);
  ASSERT_EQ(SetVpdKeyword(vpd, kVpdReadOnly, "SN", testing::TextValue("S12345")),
            NVCRETVAL_SUCCESS);
  ASSERT_EQ(UpdateVpdChecksum(vpd), NVCRETVAL_SUCCESS);
  EXPECT_EQ(ValidateVpd(vpd), NVCRETVAL_SUCCESS);
  VpdIdentity identity;
  ReadVpdIdentity(vpd, identity);
  EXPECT_EQ(identity.sn, "S12345");
  EXPECT_EQ(identity.pn, "N1");
  size_t section = 0;
  ASSERT_EQ(FindVpdResource(vpd, kVpdReadOnly, section), 5 + 5 + 3 + 10);
  EXPECT_EQ(vpd[section + 5 + 9 + 2], 6);  // RV shrank from 10 to 6 bytes

  // Appending a new keyword, then one that no longer fits.
  ASSERT_EQ(SetVpdKeyword(vpd, kVpdReadOnly, "EC", testing::TextValue("A")), NVCRETVAL_SUCCESS);
  const Bytes before = vpd;
  EXPECT_EQ(SetVpdKeyword(vpd, kVpdReadOnly, "MN", testing::TextValue("M")),
            NVCRETVAL_INSUFFICIENT_SPACE);
  EXPECT_EQ(vpd, before);
  EXPECT_EQ(SetVpdKeyword(vpd, kVpdReadOnly, "MN", Bytes(256, 'm')), NVCRETVAL_INVALID_DATA_LENGTH);
}

// Without a VPD-R section there is nowhere a reader would look: nothing is
// written, not even behind the end tag.
TEST(Vpd, SetKeywordWithoutSectionChangesNothing) {
  Bytes vpd = {0x82, 0x01, 0x00, 'X', 0x78, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes before = vpd;
  EXPECT_EQ(SetVpdKeyword(vpd, kVpdReadOnly, "SN", testing::TextValue("1")),
            NVCRETVAL_RESOURCE_NOT_FOUND);
  EXPECT_EQ(vpd, before);
  EXPECT_EQ(UpdateVpdChecksum(vpd), NVCRETVAL_RESOURCE_NOT_FOUND);
}

TEST(Vpd, SetKeywordInReadWriteSection) {
  const std::vector<tool::VpdKeyword> rw = {{"V1", "a"}};
  Bytes vpd = tool::BuildVpd("X", {{"PN", "1"}}, 4, &rw, 10);
  ASSERT_EQ(SetVpdKeyword(vpd, kVpdReadWrite, "V2", testing::TextValue("hello")),
            NVCRETVAL_SUCCESS);
  EXPECT_EQ(ValidateVpd(vpd), NVCRETVAL_SUCCESS);  // VPD-W is outside the checksum
  size_t section = 0;
  ASSERT_EQ(FindVpdResource(vpd, kVpdReadWrite, section), 4 + 3 + 10);
  EXPECT_EQ(Bytes(vpd.begin() + section, vpd.begin() + section + 17),
            testing::Concat({testing::TextValue("V1"),
                             {1, 'a'},
                             testing::TextValue("V2"),
                             {5},
                             testing::TextValue("hello"),
                             testing::TextValue("RW"),
                             {2},
                             {0, 0}}));
}

}  // namespace
}  // namespace skyfw
