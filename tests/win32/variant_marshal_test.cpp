// The seam's Variant to a VARIANT and back, and what comes from WMI in
// forms the seam only partly carries.
#include "win32/variant_marshal.h"

#include <gtest/gtest.h>

#include "win32/owned_handles.h"

namespace skyfw::win32 {
namespace {

using platform::Variant;

TEST(VariantMarshal, EverySeamTypeRoundTrips) {
  Variant null_bstr = Variant::Bstr(u"");
  null_bstr.null_bstr = true;
  Variant i8;
  i8.vt = platform::VT_I8;
  i8.bits = static_cast<uint64_t>(-5);
  Variant ui8;
  ui8.vt = platform::VT_UI8;
  ui8.bits = 0xFEDCBA9876543210u;
  Variant i1;
  i1.vt = platform::VT_I1;
  i1.bits = static_cast<uint64_t>(-2);
  const struct {
    const char* name;
    Variant value;
  } cases[] = {
      {"empty", Variant::Empty()},
      {"null", Variant::Null()},
      {"i1", i1},
      {"i2", Variant::I2(-300)},
      {"i4", Variant::I4(-70000)},
      {"ui1", Variant::UI1(0xFE)},
      {"ui2", Variant::UI2(0xFFFE)},
      {"ui4", Variant::UI4(0xFFFFFFFE)},
      {"i8", i8},
      {"ui8", ui8},
      {"true", Variant::Bool(true)},
      {"false", Variant::Bool(false)},
      {"bstr", Variant::Bstr(u"Skyline \u00E9\U0001F600")},
      {"empty bstr", Variant::Bstr(u"")},
      {"null bstr", null_bstr},
      {"bytes", Variant::ByteArray({0, 1, 0xFF})},
      {"no bytes", Variant::ByteArray({})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OwnedVariant native;
    ASSERT_EQ(ToVariant(c.value, *native.Get()), S_OK);
    EXPECT_EQ(native.Get()->vt, c.value.vt);
    Variant back;
    ASSERT_EQ(FromVariant(*native.Get(), back), S_OK);
    EXPECT_EQ(back.vt, c.value.vt);
    EXPECT_EQ(back.bits, c.value.bits);
    EXPECT_EQ(back.text, c.value.text);
    EXPECT_EQ(back.null_bstr, c.value.null_bstr);
    EXPECT_EQ(back.bytes, c.value.bytes);
  }
}

TEST(VariantMarshal, ABstrKeepsEmbeddedZerosAndItsLength) {
  std::u16string text(u"a\0b", 3);
  OwnedVariant native;
  ASSERT_EQ(ToVariant(Variant::Bstr(text), *native.Get()), S_OK);
  EXPECT_EQ(::SysStringLen(native.Get()->bstrVal), 3u);
  Variant back;
  ASSERT_EQ(FromVariant(*native.Get(), back), S_OK);
  EXPECT_EQ(back.text, text);
}

TEST(VariantMarshal, TypesTheSeamDoesNotSendAreRefused) {
  Variant real;
  real.vt = VT_R8;
  OwnedVariant native;
  EXPECT_EQ(ToVariant(real, *native.Get()), DISP_E_BADVARTYPE);
  EXPECT_EQ(native.Get()->vt, VT_EMPTY);
}

TEST(VariantMarshal, OtherScalarsKeepTheirValueFieldBits) {
  // GetUInt32 reads the first 32 bits of any VARIANT's value field.
  OwnedVariant native;
  native.Get()->vt = VT_R4;
  native.Get()->fltVal = 1.0f;  // 0x3F800000
  Variant read;
  ASSERT_EQ(FromVariant(*native.Get(), read), S_OK);
  EXPECT_EQ(read.vt, VT_R4);
  EXPECT_EQ(read.Low32(), 0x3F800000u);
}

// A SAFEARRAY of bytes with the given bounds, owned by the VARIANT.
void ByteArrayWithBounds(VARIANT& variant, LONG lower, ULONG count) {
  SAFEARRAYBOUND bound{count, lower};
  variant.vt = VT_ARRAY | VT_UI1;
  variant.parray = ::SafeArrayCreate(VT_UI1, 1, &bound);
  ASSERT_NE(variant.parray, nullptr);
  for (ULONG i = 0; i < count; ++i) {
    LONG index = lower + static_cast<LONG>(i);
    uint8_t byte = static_cast<uint8_t>(0x10 + i);
    ASSERT_EQ(::SafeArrayPutElement(variant.parray, &index, &byte), S_OK);
  }
}

TEST(VariantMarshal, ByteArraysAreReadFromTheirLowerToTheirUpperBound) {
  OwnedVariant native;
  ByteArrayWithBounds(*native.Get(), 5, 3);
  Variant read;
  ASSERT_EQ(FromVariant(*native.Get(), read), S_OK);
  EXPECT_EQ(read.bytes, (std::vector<uint8_t>{0x10, 0x11, 0x12}));
}

TEST(VariantMarshal, ByteArraysThatCannotBeReadFail) {
  OwnedVariant null_array;
  null_array.Get()->vt = VT_ARRAY | VT_UI1;
  null_array.Get()->parray = nullptr;
  Variant read = Variant::UI4(7);
  EXPECT_TRUE(FAILED(FromVariant(*null_array.Get(), read)));
  EXPECT_EQ(read.vt, platform::VT_UI4);  // untouched on failure

  OwnedVariant two_dimensions;
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  two_dimensions.Get()->vt = VT_ARRAY | VT_UI1;
  two_dimensions.Get()->parray = ::SafeArrayCreate(VT_UI1, 2, bounds);
  ASSERT_NE(two_dimensions.Get()->parray, nullptr);
  EXPECT_TRUE(FAILED(FromVariant(*two_dimensions.Get(), read)));
}

}  // namespace
}  // namespace skyfw::win32
