#include "display_width.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace skyfw::tool {
namespace {

struct Range {
  char32_t first;
  char32_t last;
};

// Characters that take no column: combining marks, zero-width spaces and
// joiners, variation selectors.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD},   {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},   {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064},   {0x20D0, 0x20FF}, {0xFE00, 0xFE0F},
    {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

// East Asian wide and fullwidth characters.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <size_t N>
bool InRanges(const Range (&ranges)[N], char32_t c) {
  auto found =
      std::upper_bound(std::begin(ranges), std::end(ranges), c,
                       [](char32_t value, const Range& range) { return value < range.first; });
  return found != std::begin(ranges) && c <= std::prev(found)->last;
}

// Decodes one character at text[at]; advances at. Invalid bytes come back as
// U+FFFD, one byte at a time.
char32_t NextCharacter(std::string_view text, size_t& at) {
  const auto lead = static_cast<uint8_t>(text[at]);
  size_t length = lead < 0x80           ? 1
                  : (lead >> 5) == 0x6  ? 2
                  : (lead >> 4) == 0xE  ? 3
                  : (lead >> 3) == 0x1E ? 4
                                        : 0;
  if (length == 0 || text.size() - at < length) {
    ++at;
    return 0xFFFD;
  }
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<uint8_t>(text[at + i]);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return 0xFFFD;
    }
    c = (c << 6) | (next & 0x3F);
  }
  at += length;
  return c;
}

}  // namespace

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t at = 0; at < text.size();) {
    char32_t c = NextCharacter(text, at);
    if (InRanges(kZeroWidth, c)) continue;
    width += InRanges(kWide, c) ? 2 : 1;
  }
  return width;
}

std::string PadToWidth(const std::string& text, size_t width) {
  size_t used = DisplayWidth(text);
  return used >= width ? text : text + std::string(width - used, ' ');
}

}  // namespace skyfw::tool
