// Whether installing a firmware version over the current one is an upgrade,
// a downgrade or a rewrite.
#pragma once

#include <string_view>

namespace skyfw {

inline constexpr const char* kActionUpgrade = "upgrade";
inline constexpr const char* kActionDowngrade = "downgrade";
inline constexpr const char* kActionRewrite = "rewrite";

// Compares the versions with CompareVersions, so that 21.6.2 -> 21.10.1 and
// 9.1 -> 10.0 are upgrades: current greater gives "downgrade", equal
// "rewrite", current smaller "upgrade". An empty current version is smaller
// than any other; a current version with letters before its digits (a VPD
// "VA" value) sorts after a purely numeric one.
const char* ChooseFirmwareAction(std::string_view current_version, std::string_view new_version);

}  // namespace skyfw
