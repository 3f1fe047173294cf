#include "host/host_path.h"

#include "base/text_conversion.h"

namespace skyfw {

bool ConvertHostPath(const char16_t* path, std::string& out) {
  out.clear();
  if (path == nullptr) return false;
  // Every unit takes at least one byte, so a longer text cannot fit; reading
  // stops there whatever the host passed.
  std::u16string_view text = TextUpToZero(path, kHostPathBytes);
  if (text.size() == kHostPathBytes) return false;
  std::string converted;
  if (!Utf16ToUtf8(text, converted) || converted.size() >= kHostPathBytes) return false;
  out = std::move(converted);
  return true;
}

}  // namespace skyfw
