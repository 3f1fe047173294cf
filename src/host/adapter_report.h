// The adapter report of oem_get_adapter_info: one fixed-layout element per
// inventory record, filled for the host's array.
#pragma once

#include <cstddef>

#include "update/device_record.h"
#include "skyfw/oem.h"

namespace skyfw {

// Fills element index of the host's array from the record and writes the
// same information to the trace log (and the adapter line to standard
// output). Only the fields of the layout are written; at most
// OEM_MAX_FIRMWARE_ENTRIES firmware entries, never past the element.
void FillAdapterReport(const DeviceRecord& record, size_t index, OemAdapterInfoElement* array);

}  // namespace skyfw
