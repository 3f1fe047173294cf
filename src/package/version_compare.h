// Ordering of firmware version texts, shared by every layer that compares
// versions (prerequisites, version choice, the installer).
#pragma once

#include <string_view>

namespace skyfw {

// Compares two version texts: runs of decimal digits by their numeric value
// (leading zeros ignored, so "9" < "10" and "07" == "7"), every other byte
// by its unsigned value (so a letter sorts after a digit, and a digit after
// "."). A text that is a prefix of the other sorts first.
// Returns a negative value, 0 or a positive value.
//   CompareVersions("9.0.0", "10.0.0") < 0
//   CompareVersions("21.6.2", "21.10.1") < 0
//   CompareVersions("1.2a", "1.29") > 0
int CompareVersions(std::string_view left, std::string_view right);

}  // namespace skyfw
