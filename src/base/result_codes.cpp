#include "base/result_codes.h"

namespace skyfw {

// Hosts print these as they are; code 3 has never had a line end.
const HostResultText kHostResultTexts[] = {
    {kHostSuccess, "The installation of the deliverable was successful.\r\n"},
    {kHostSuccessRebootRequired,
     "The installation of the deliverable was successful. A reboot is required for the "
     "deliverable to be enabled.\r\n"},
    {kHostSameVersion,
     "The installation was not attempted because the version to be installed matches the "
     "version already installed.\r\n"},
    {kHostMiscellaneous, "The installation was not attempted because of Miscellaneous reasons."},
    {kHostHardwareNotAccessible,
     "The installer library entry point could not identify or access the hardware to be "
     "installed.\r\n"},
    {kHostCanceled,
     "The installation was canceled by a user before anything could be installed.\r\n"},
    {kHostUnmetDependency,
     "The installer library entry point could not execute because of an unmet dependency or "
     "installation tool failure.\r\n"},
    {kHostInstallationFailed,
     "The actual installation operation (not the installer library entry point) failed.\r\n"},
    {kHostFirmwareFileNotFound,
     "The installer library entry point could not find the firmware file.\r\n"},
    {kHostFirmwareFileNotAccessible,
     "The installer library entry point could not access the firmware file.\r\n"},
    {kHostDiscoveryFileNotFound,
     "The installer library entry point could not find the discovery XML file.\r\n"},
    {kHostDiscoveryFileNotAccessible,
     "The installer library entry point could not access the discovery XML file.\r\n"},
    {kHostDiscoveryFileNotCreated,
     "The installer library entry point could not create the discovery XML file.\r\n"},
    {kHostNmapiInitFailed, "NMAPI Init Failed.\r\n"},
    {kHostDiscoverDeviceFailed, "The installer library Failed to Discover Device.\r\n"},
    {kHostFirmwareImageInvalid, "Firmware Image Invalid.\r\n"},
    {kHostDeviceNotSupported, "Device Not supported for this operation.\r\n"},
    {kHostDeviceInitializeFailed, "Device Initialize failed.\r\n"},
    {kHostFlashFailed, "Flashing of device with file failed.\r\n"},
    {-1, nullptr},
};

const char* HostResultTextOf(HostResultCode code) {
  for (const HostResultText* entry = kHostResultTexts; entry->code != -1 && entry->text != nullptr;
       ++entry) {
    if (entry->code == code) return entry->text;
  }
  return nullptr;
}

}  // namespace skyfw
