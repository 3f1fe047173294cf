// The discovery document: which adapters the library found, the firmware
// each runs and the package it would install with which action. The host
// edits it and hands it back as the request document.
#pragma once

#include <string>

#include "update/device_record.h"

namespace skyfw {

// The installer version of the host's package descriptor: the first entry of
// the current directory whose name begins with "KB" and that carries ".xml",
// root "kbx_package", its version child's "value" followed by its
// "revision". Empty when there is none or it cannot be read.
std::string FindInstallerVersion();

// The document text for the inventory, lines ending in CR LF. Values are
// XML-escaped; texts without special characters come out unchanged.
std::string FormatDiscoveryDocument(const DeviceInventory& inventory, bool deferred,
                                    const std::string& installer_version);

// Marks every firmware item of the inventory as "nvm", then writes the
// document for it to path whole (beside, then renamed). False when the file
// could not be written; an existing file is then left as it was.
bool WriteDiscoveryDocument(const std::string& path, bool deferred);

}  // namespace skyfw
