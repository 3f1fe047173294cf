#include "package/vpd.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/text.h"

namespace skyfw {

namespace {

inline constexpr size_t kKeywordHeadLength = 3;  // two name characters, length
inline constexpr size_t kRvReserve = 4;          // "RV", length, checksum byte
inline constexpr size_t kRwReserve = 3;          // "RW", length
inline constexpr size_t kMaximumKeywordValue = 255;

struct Resource {
  uint8_t name = 0;
  size_t value_offset = 0;
  size_t length = 0;
};

// The resource at `position`; false when its head or value does not fit.
bool ReadResource(ByteView vpd, size_t position, Resource& resource) {
  ByteReader reader(vpd);
  uint8_t tag = 0;
  if (!reader.U8At(position, tag)) return false;
  if (tag & 0x80) {
    uint16_t length = 0;
    if (!reader.U16At(position + 1, length)) return false;
    resource = {static_cast<uint8_t>(tag & 0x7F), position + 3, length};
  } else {
    resource = {static_cast<uint8_t>((tag >> 3) & 0x0F), position + 1, size_t{tag & 0x07u}};
  }
  return RangeFits(vpd.size(), resource.value_offset, resource.length);
}

struct Keyword {
  char name[2];
  size_t value_offset;  // within the section
  uint8_t length;
};

// Keywords of a section from its start: the head must fit; `value_fits`
// tells whether the value does too.
bool ReadKeyword(ByteView section, size_t position, Keyword& keyword, bool& value_fits) {
  ByteReader reader(section);
  uint8_t first = 0;
  uint8_t second = 0;
  uint8_t length = 0;
  if (!reader.U8At(position, first) || !reader.U8At(position + 1, second) ||
      !reader.U8At(position + 2, length)) {
    return false;
  }
  keyword = {{static_cast<char>(first), static_cast<char>(second)}, position + 3, length};
  value_fits = RangeFits(section.size(), keyword.value_offset, length);
  return true;
}

bool NameIs(const Keyword& keyword, const char* name) {
  return keyword.name[0] == name[0] && keyword.name[1] == name[1];
}

enum class RvSearch { kFound, kMissing, kCutShort };

// The RV keyword of a VPD-R section, searched keyword by keyword. An RV whose
// value runs past the section is cut short: its checksum byte may lie
// outside the section, or outside the VPD.
RvSearch FindRv(ByteView section, Keyword& rv) {
  size_t position = 0;
  Keyword keyword;
  bool value_fits = false;
  while (ReadKeyword(section, position, keyword, value_fits)) {
    if (NameIs(keyword, "RV")) {
      rv = keyword;
      return value_fits ? RvSearch::kFound : RvSearch::kCutShort;
    }
    if (!value_fits) return RvSearch::kMissing;
    position = keyword.value_offset + keyword.length;
  }
  return RvSearch::kMissing;
}

// One editable keyword: name, length, value (a slot of 258 bytes).
struct KeywordSlot {
  char name[2];
  uint8_t length;
  uint8_t value[kMaximumKeywordValue];
};

// The keywords before RV (VPD-R) or RW (VPD-W), before a keyword whose first
// byte is 0, or up to the end of the section.
NvmStatus ListKeywords(ByteView section, uint8_t section_name, std::vector<KeywordSlot>& list) {
  const char* closing = section_name == kVpdReadOnly ? "RV" : "RW";
  size_t position = 0;
  Keyword keyword;
  bool value_fits = false;
  while (ReadKeyword(section, position, keyword, value_fits)) {
    if (keyword.name[0] == 0 || NameIs(keyword, closing)) break;
    // A keyword reaching past its section would make us copy foreign bytes.
    if (!value_fits) return NVCRETVAL_INVALID_LENGTH;
    KeywordSlot slot{};
    slot.name[0] = keyword.name[0];
    slot.name[1] = keyword.name[1];
    slot.length = keyword.length;
    std::memcpy(slot.value, section.data() + keyword.value_offset, keyword.length);
    try {
      list.push_back(slot);
    } catch (const std::bad_alloc&) {
      return NVCRETVAL_MALLOC_FAILURE;
    }
    position = keyword.value_offset + keyword.length;
  }
  return NVCRETVAL_SUCCESS;
}

NvmStatus CheckKeywords(ByteView section, uint8_t section_name) {
  std::vector<KeywordSlot> list;
  NvmStatus status = ListKeywords(section, section_name, list);
  if (status != NVCRETVAL_SUCCESS) return status;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].length == 0) return NVCRETVAL_ZERO_LENGTH_ITEM;
    for (size_t j = 0; j < i; ++j) {
      if (std::memcmp(list[i].name, list[j].name, 2) == 0) return NVCRETVAL_DUPLICATE_ITEM;
    }
  }
  return NVCRETVAL_SUCCESS;
}

bool IsIdentifierByte(uint8_t byte) {
  return (byte >= 0x09 && byte <= 0x0D) || (byte >= 0x20 && byte <= 0x7E);
}

uint8_t ByteSum(ByteView bytes) {
  unsigned sum = 0;
  for (uint8_t byte : bytes) sum += byte;
  return static_cast<uint8_t>(sum);
}

// Copies a keyword value the way a bounded C copy would: up to the first zero
// byte, at most `capacity` bytes.
std::string BoundedText(ByteView value, size_t capacity) {
  size_t length = 0;
  while (length < value.size() && length < capacity && value[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(value.data()), length);
}

}  // namespace

NvmStatus FindVpdResource(ByteView vpd, uint8_t name, size_t& value_offset) {
  size_t position = 0;
  Resource resource;
  while (position < vpd.size()) {
    if (!ReadResource(vpd, position, resource)) {
      // Only a resource we were asked for is worth reporting as cut short.
      Resource head;
      ByteReader reader(vpd);
      uint8_t tag = 0;
      reader.U8At(position, tag);
      head.name =
          (tag & 0x80) ? static_cast<uint8_t>(tag & 0x7F) : static_cast<uint8_t>((tag >> 3) & 0x0F);
      return head.name == name ? NVCRETVAL_INVALID_LENGTH : NVCRETVAL_RESOURCE_NOT_FOUND;
    }
    if (resource.name == name) {
      value_offset = resource.value_offset;
      return static_cast<NvmStatus>(resource.length);
    }
    if (resource.name == kVpdEndTag) break;
    position = resource.value_offset + resource.length;
  }
  return NVCRETVAL_RESOURCE_NOT_FOUND;
}

NvmStatus ValidateVpd(ByteView vpd) {
  if (vpd.empty()) return NVCRETVAL_END_TAG_NOT_FOUND;
  size_t position = 0;
  Resource resource;
  while (ReadResource(vpd, position, resource)) {
    const ByteView value = vpd.subspan(resource.value_offset, resource.length);
    const size_t end = resource.value_offset + resource.length;
    switch (resource.name) {
      case kVpdIdentifierString:
        if (!std::all_of(value.begin(), value.end(), IsIdentifierByte)) {
          return NVCRETVAL_INVALID_STRING;
        }
        break;
      case kVpdReadOnly: {
        Keyword rv;
        const RvSearch search = FindRv(value, rv);
        if (search == RvSearch::kMissing) return NVCRETVAL_CHECKSUM_NOT_FOUND;
        if (search == RvSearch::kCutShort || rv.length == 0) return NVCRETVAL_INVALID_LENGTH;
        // Through the checksum byte, the first byte of RV's value.
        if (ByteSum(vpd.first(resource.value_offset + rv.value_offset + 1)) != 0) {
          return NVCRETVAL_INVALID_CHECKSUM;
        }
        if (NvmStatus status = CheckKeywords(value, kVpdReadOnly); status != NVCRETVAL_SUCCESS) {
          return status;
        }
        break;
      }
      case kVpdReadWrite:
        if (NvmStatus status = CheckKeywords(value, kVpdReadWrite); status != NVCRETVAL_SUCCESS) {
          return status;
        }
        break;
      case kVpdEndTag:
        return end == vpd.size() ? NVCRETVAL_SUCCESS : NVCRETVAL_INVALID_END_TAG;
      default:
        break;
    }
    position = end;
  }
  return NVCRETVAL_END_TAG_NOT_FOUND;
}

void ReadVpdIdentity(ByteView vpd, VpdIdentity& identity,
                     const std::function<void(const std::string&)>& diagnostic) {
  identity = VpdIdentity{};
  struct Field {
    const char* name;
    std::string* value;
  };
  const Field fields[] = {{"VA", &identity.va},
                          {"PN", &identity.pn},
                          {"MN", &identity.mn},
                          {"SN", &identity.sn},
                          {"EC", &identity.ec}};
  size_t position = 0;
  Resource resource;
  while (ReadResource(vpd, position, resource)) {
    const ByteView value = vpd.subspan(resource.value_offset, resource.length);
    if (resource.name == kVpdIdentifierString) {
      identity.identifier = BoundedText(value, kVpdIdentifierCapacity);
    } else if (resource.name == kVpdReadOnly || resource.name == kVpdReadWrite) {
      size_t at = 0;
      Keyword keyword;
      bool value_fits = false;
      while (ReadKeyword(value, at, keyword, value_fits)) {
        if (keyword.name[0] == 0 && keyword.name[1] == 0 && keyword.length == 0) break;
        if (!value_fits) {
          if (diagnostic) diagnostic("Invalid length: " + std::to_string(keyword.length) + "\n");
        } else {
          for (const Field& field : fields) {
            if (AsciiUpper(keyword.name[0]) == field.name[0] &&
                AsciiUpper(keyword.name[1]) == field.name[1]) {
              *field.value = BoundedText(value.subspan(keyword.value_offset, keyword.length),
                                         kVpdKeywordCapacity);
            }
          }
        }
        at = keyword.value_offset + keyword.length;
      }
    }
    position = resource.value_offset + resource.length;
  }
}

NvmStatus SetVpdKeyword(std::span<uint8_t> vpd, uint8_t section_name, std::string_view keyword,
                        ByteView value) {
  if (value.size() > kMaximumKeywordValue) return NVCRETVAL_INVALID_DATA_LENGTH;
  if (keyword.size() != 2 || (section_name != kVpdReadOnly && section_name != kVpdReadWrite)) {
    return NVCRETVAL_INVALID_PARAMETER;
  }
  size_t section_offset = 0;
  NvmStatus section_length = FindVpdResource(vpd, section_name, section_offset);
  // Without the section there is nowhere a reader would look: change nothing.
  if (section_length < 0) return section_length;
  const std::span<uint8_t> section = vpd.subspan(section_offset, section_length);

  std::vector<KeywordSlot> list;
  NvmStatus status = ListKeywords(section, section_name, list);
  if (status != NVCRETVAL_SUCCESS) return status;

  auto same = std::find_if(list.begin(), list.end(), [&](const KeywordSlot& slot) {
    return slot.name[0] == keyword[0] && slot.name[1] == keyword[1];
  });
  if (same == list.end()) {
    KeywordSlot slot{};
    slot.name[0] = keyword[0];
    slot.name[1] = keyword[1];
    try {
      list.push_back(slot);
    } catch (const std::bad_alloc&) {
      return NVCRETVAL_MALLOC_FAILURE;
    }
    same = list.end() - 1;
  }
  same->length = static_cast<uint8_t>(value.size());
  std::memset(same->value, 0, sizeof same->value);
  if (!value.empty()) std::memcpy(same->value, value.data(), value.size());

  size_t needed = section_name == kVpdReadOnly ? kRvReserve : kRwReserve;
  for (const KeywordSlot& slot : list) needed += kKeywordHeadLength + slot.length;
  if (needed > section.size()) return NVCRETVAL_INSUFFICIENT_SPACE;

  std::fill(section.begin(), section.end(), uint8_t{0});
  size_t at = 0;
  for (const KeywordSlot& slot : list) {
    section[at++] = static_cast<uint8_t>(slot.name[0]);
    section[at++] = static_cast<uint8_t>(slot.name[1]);
    section[at++] = slot.length;
    std::memcpy(&section[at], slot.value, slot.length);
    at += slot.length;
  }
  section[at++] = 'R';
  section[at++] = section_name == kVpdReadOnly ? 'V' : 'W';
  section[at] = static_cast<uint8_t>(std::min(section.size() - at - 1, kMaximumKeywordValue));
  return NVCRETVAL_SUCCESS;
}

NvmStatus UpdateVpdChecksum(std::span<uint8_t> vpd) {
  size_t section_offset = 0;
  NvmStatus section_length = FindVpdResource(vpd, kVpdReadOnly, section_offset);
  if (section_length < 0) return section_length;
  Keyword rv;
  const RvSearch search = FindRv(ByteView(vpd).subspan(section_offset, section_length), rv);
  if (search == RvSearch::kMissing) return NVCRETVAL_CHECKSUM_NOT_FOUND;
  // The checksum byte is RV's first value byte; an empty RV has none.
  if (search == RvSearch::kCutShort || rv.length == 0) return NVCRETVAL_INVALID_LENGTH;
  const size_t checksum_at = section_offset + rv.value_offset;
  vpd[checksum_at] = static_cast<uint8_t>(0x100 - ByteSum(ByteView(vpd).first(checksum_at)));
  return NVCRETVAL_SUCCESS;
}

}  // namespace skyfw
