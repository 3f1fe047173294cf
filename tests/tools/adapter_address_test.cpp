// The spellings of a PCI location and a MAC the program accepts, and the one
// it shows.
#include "adapter_address.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace skyfw::tool {
namespace {

struct PciCase {
  const char* text;
  std::optional<PciLocation> expected;  // nullopt: refused
};

TEST(PciLocationTest, AcceptsThreeSpellingsWithEveryFieldInRange) {
  const PciCase cases[] = {
      {"0000:03:00.0", PciLocation{0, 3, 0, 0}},
      {"03:00.0", PciLocation{0, 3, 0, 0}},       // BUS:DEV.FN, segment 0
      {"0000:03:00:0", PciLocation{0, 3, 0, 0}},  // the discovery document's
      {"FFFF:FF:1F.7", PciLocation{0xFFFF, 0xFF, 0x1F, 7}},
      {"1:3b:2.1", PciLocation{1, 0x3B, 2, 1}},  // short fields
      {"0000:03:00.0x", std::nullopt},           // trailing garbage
      {"-1:03:00.0", std::nullopt},              // sign
      {"0000:03:00.9", std::nullopt},            // function past 7
      {"0000:03:00.8", std::nullopt},
      {"0000:03:20.0", std::nullopt},    // device past 1f
      {"0000:100:00.0", std::nullopt},   // bus past ff
      {"10000:03:00.0", std::nullopt},   // segment past ffff
      {"0000:03:00", std::nullopt},      // no function
      {"0000:03:00:0.0", std::nullopt},  // two spellings at once
      {"0000:03:00.", std::nullopt},
      {"0000::00.0", std::nullopt},
      {" 0000:03:00.0", std::nullopt},
      {"0000:03:00.0 ", std::nullopt},
      {"0x00:03:00.0", std::nullopt},
      {"", std::nullopt},
      {"all", std::nullopt},
  };
  for (const PciCase& c : cases) {
    EXPECT_EQ(ParsePciLocation(c.text), c.expected) << "'" << c.text << "'";
  }
}

TEST(PciLocationTest, ShownInOneSpelling) {
  EXPECT_EQ(FormatPciLocation({0, 3, 0, 0}), "0000:03:00.0");
  EXPECT_EQ(FormatPciLocation({0xABCD, 0x3B, 0x1F, 7}), "abcd:3b:1f.7");
  // Every accepted spelling of one location shows as the same text.
  for (const char* text : {"0000:3B:00:1", "3b:00.1", "0:3b:0.1"}) {
    EXPECT_EQ(FormatPciLocation(*ParsePciLocation(text)), "0000:3b:00.1") << text;
  }
}

TEST(MacAddressTest, BareOrSeparatedInAnyCaseAndNothingElse) {
  const MacAddress demo{0x02, 0x0A, 0x3B, 0x1C, 0x2D, 0x4E};
  for (const char* text :
       {"020A3B1C2D4E", "020a3b1c2d4e", "02:0a:3b:1c:2d:4e", "02-0A-3B-1C-2D-4E"}) {
    EXPECT_EQ(ParseMacAddress(text), demo) << text;
  }
  for (const char* text : {"020A3B1C2D4", "020A3B1C2D4E0", "02:0a:3b:1c:2d-4e", "02:0a:3b:1c:2d:4g",
                           "020A3B1C2D4G", "02:0a:3b:1c:2d:4e:", "", "0000:03:00.0"}) {
    EXPECT_EQ(ParseMacAddress(text), std::nullopt) << text;
  }
  EXPECT_EQ(FormatMacAddress(demo), "02:0a:3b:1c:2d:4e");
}

}  // namespace
}  // namespace skyfw::tool
