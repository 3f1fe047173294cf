#include "update/firmware_action.h"

#include "package/version_compare.h"

namespace skyfw {

const char* ChooseFirmwareAction(std::string_view current_version, std::string_view new_version) {
  int order = CompareVersions(current_version, new_version);
  if (order > 0) return kActionDowngrade;
  if (order == 0) return kActionRewrite;
  return kActionUpgrade;
}

}  // namespace skyfw
