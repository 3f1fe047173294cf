#include "nmapi/product_data.h"

#include <algorithm>

namespace skyfw {

bool IsFlaggedDeviceId(uint16_t deviceId) {
  return std::find(kFlaggedDeviceIds.begin(), kFlaggedDeviceIds.end(), deviceId) !=
         kFlaggedDeviceIds.end();
}

bool IsInSriovFixedList(uint16_t vendorId, uint16_t deviceId) {
  return vendorId == kSriovFixedVendorId &&
         std::find(kSriovFixedDeviceIds.begin(), kSriovFixedDeviceIds.end(), deviceId) !=
             kSriovFixedDeviceIds.end();
}

}  // namespace skyfw
