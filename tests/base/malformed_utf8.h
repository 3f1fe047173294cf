// Malformed UTF-8, one table for every conversion from UTF-8: each one must
// notice all of these.
#pragma once

#include <cstddef>

namespace skyfw::testing {

struct MalformedUtf8 {
  const char* bytes;
  std::size_t bad_at;  // where the first fault is; the bytes before it are ASCII
};

inline constexpr MalformedUtf8 kMalformedUtf8[] = {
    {"name-\xFF.pkg", 5},     // a byte that is never part of UTF-8
    {"\xFF", 0},              // the same, alone
    {"\x80", 0},              // a continuation without its lead byte
    {"\xC3(", 0},             // a lead byte without its continuation
    {"\xE2\x82", 0},          // cut at the end
    {"\xC0\xAF", 0},          // overlong '/'
    {"\xE0\x80\xAF", 0},      // overlong '/' in three bytes
    {"\xED\xA0\x80", 0},      // an encoded surrogate
    {"\xF4\x90\x80\x80", 0},  // past U+10FFFF
};

}  // namespace skyfw::testing
