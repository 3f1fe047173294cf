// The entry points' text unit (OemChar16: WCHAR on Windows, char16_t
// elsewhere) and the library's char16_t hold the same UTF-16 units; these
// views cross between them, for the exports and for hosts written in char16_t.
#pragma once

#include "skyfw/oem.h"

namespace skyfw {

inline const char16_t* FromOemText(const OemChar16* text) {
  return reinterpret_cast<const char16_t*>(text);
}

inline const OemChar16* ToOemText(const char16_t* text) {
  return reinterpret_cast<const OemChar16*>(text);
}

}  // namespace skyfw
