#include <gtest/gtest.h>

#include "package/package_format.h"
#include "support/package_builder.h"

namespace skyfw {
namespace {

using testing::Bytes;
using testing::Property;

TEST(Properties, FindAndGet) {
  const Bytes area = testing::Concat({Property(1, testing::TextValue("desc")),
                                      Property(2, {0x34, 0x12}), Property(2, {0x78, 0x56})});
  const Bytes package = testing::EncodePackage(area, {});

  size_t offset = 0;
  EXPECT_EQ(FindProperty(package, 2, offset), 2);  // the first occurrence
  EXPECT_EQ(offset, 12u + 7u + 3u);
  EXPECT_EQ(GetPropertyAreaLength(package), static_cast<NvmStatus>(area.size()));

  uint8_t one[1] = {0xAA};
  EXPECT_EQ(GetProperty(package, 2, one), 2);  // one byte copied, length 2
  EXPECT_EQ(one[0], 0x34);
  uint8_t wide[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(GetProperty(package, 2, wide), 2);
  EXPECT_EQ(wide[2], 0);  // zero-filled behind

  // Bytes that are no package are searched as a bare area.
  EXPECT_EQ(FindProperty(area, 1, offset), 4);
  EXPECT_EQ(offset, 3u);
  // A first byte 0 ends the stream, whatever follows.
  EXPECT_EQ(FindProperty(testing::Concat({{0}, Property(1, {1})}), 1, offset),
            NVCRETVAL_ITEM_NOT_FOUND);
  // A value claiming more than there is.
  const Bytes overlong = {9, 0x10, 0x00, '1', '.', '0'};
  EXPECT_EQ(FindProperty(overlong, 9, offset), 16);
  EXPECT_EQ(GetProperty(overlong, 9, one), NVCRETVAL_INVALID_PROP_LENGTH);
  // A tag with no room for its length is the end of the stream.
  EXPECT_EQ(FindProperty(Bytes{9, 1}, 9, offset), NVCRETVAL_ITEM_NOT_FOUND);
}

TEST(Properties, SetOverwritesInPlaceOrMovesToTheEnd) {
  Bytes area(32, 0);
  ASSERT_EQ(SetProperty(area, 9, Bytes{'1', '2', '3', '4', '5'}), 5);
  ASSERT_EQ(SetProperty(area, 1, Bytes{'x'}), 1);

  // Shorter value: stays in place with the old length, tail zeroed.
  EXPECT_EQ(SetProperty(area, 9, Bytes{'a', 'b', 'c'}), 5);
  EXPECT_EQ(area, testing::Concat(
                      {Property(9, {'a', 'b', 'c', 0, 0}), Property(1, {'x'}), Bytes(32 - 12, 0)}));

  // Longer value: removed and added again behind the others.
  EXPECT_EQ(SetProperty(area, 9, Bytes{'6', '7', '8', '9', '0', '1'}), 6);
  EXPECT_EQ(area, testing::Concat({Property(1, {'x'}), Property(9, {'6', '7', '8', '9', '0', '1'}),
                                   Bytes(32 - 13, 0)}));

  // No room: nothing changes.
  const Bytes before = area;
  EXPECT_EQ(SetProperty(area, 20, Bytes(17, 'z')), NVCRETVAL_INSUFFICIENT_SPACE);
  EXPECT_EQ(area, before);
  EXPECT_EQ(SetProperty(area, 20, Bytes(16, 'z')), 16);  // exactly fits
  EXPECT_EQ(SetProperty(area, 21, Bytes(65536, 'z')), NVCRETVAL_INVALID_PROP_LENGTH);
}

// A longer value for a property that ends exactly at the area's end: the
// move once subscripted one past the area (a bounds-checked library aborts)
// and the refusal then came after the old property had been taken out.
TEST(Properties, SetOfAPropertyEndingAtTheAreasEnd) {
  struct Case {
    const char* what;
    Bytes value;
    NvmStatus result;
    Bytes after;
  };
  const Bytes full = testing::Concat({Property(1, {'x'}), Property(9, {'1', '.', '0'})});
  const Case cases[] = {
      {"longer: no room, nothing changes", Bytes{'1', '0', '.', '0'}, NVCRETVAL_INSUFFICIENT_SPACE,
       full},
      {"same length: in place", Bytes{'2', '.', '0'}, 3,
       testing::Concat({Property(1, {'x'}), Property(9, {'2', '.', '0'})})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes area = full;
    EXPECT_EQ(SetProperty(area, 9, c.value), c.result);
    EXPECT_EQ(area, c.after);
  }
}

TEST(Properties, SetRefusesAValueRunningPastTheArea) {
  Bytes area = {9, 0x20, 0x00, '1', '.', '0', 0, 0};
  const Bytes before = area;
  EXPECT_EQ(SetProperty(area, 9, Bytes{'2'}), NVCRETVAL_INVALID_PROP_STREAM);
  EXPECT_EQ(SetProperty(area, 9, Bytes(40, '2')), NVCRETVAL_INVALID_PROP_STREAM);
  EXPECT_EQ(area, before);
}

TEST(Properties, StringPropertyStoresExactlyTheLength) {
  Bytes area(32, 0);
  EXPECT_EQ(SetStringProperty(area, 1, "root", 4), 4);
  EXPECT_EQ(SetStringProperty(area, 6, std::string_view("ab\0cd", 5), 6), 6);
  EXPECT_EQ(area, testing::Concat({Property(1, testing::TextValue("root")),
                                   Property(6, {'a', 'b', 0, 0, 0, 0}), Bytes(32 - 16, 0)}));
  EXPECT_EQ(SetStringProperty(area, 1, "x", 65536), NVCRETVAL_INVALID_PROP_LENGTH);
}

}  // namespace
}  // namespace skyfw
