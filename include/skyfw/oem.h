/* skyfw: the firmware-update plug-in for Norvane Skyline network adapters.
 *
 * A vendor's update host loads skyfw.dll (libskyfw.so on Linux) and calls these
 * seven entry points, one at a time. Every path is a zero-terminated UTF-16
 * text; every result is a host result code (oem_text_for_error_code turns one
 * into text).
 */
#ifndef SKYFW_OEM_H
#define SKYFW_OEM_H

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#define SKYFW_OEM_STATIC_ASSERT(condition, message) static_assert(condition, message)
extern "C" {
#else
#include <stddef.h>
#include <stdint.h>
#include <uchar.h>
#define SKYFW_OEM_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

#if defined(_WIN32)
/* The DLL's export map names the entry points; hosts compiled by other
 * compilers than GCC read this header too. */
#define SKYFW_OEM_EXPORT
#else
#define SKYFW_OEM_EXPORT __attribute__((visibility("default")))
#endif

/* The UTF-16 unit of the entry points' texts: WCHAR (wchar_t) on Windows, so a
 * host passes L"..." and WCHAR buffers as they are; char16_t elsewhere. The
 * same 16-bit unit either way. */
#if defined(_WIN32)
typedef wchar_t OemChar16;
#else
typedef char16_t OemChar16;
#endif
SKYFW_OEM_STATIC_ASSERT(sizeof(OemChar16) == 2, "16-bit text unit");

/* One firmware entry of an adapter-information element: 2588 bytes. */
#define OEM_FIRMWARE_ENTRY_SIZE 2588
/* The adapter-information element: 54432 bytes; element i starts at i * 54432. */
#define OEM_ADAPTER_INFO_ELEMENT_SIZE 54432
#define OEM_MAX_FIRMWARE_ENTRIES 20

/* Wide texts are UTF-16 and end with a zero unit when shorter than their field.
 * Numbers are unsigned 32-bit, little-endian. */
typedef struct OemFirmwareEntry {
  OemChar16 firmwareType[256];  /* "nvm" */
  OemChar16 firmwareFile[1024]; /* file name without its directory */
  uint32_t currentMajor;
  uint32_t currentMinor;
  uint32_t currentBuild;
  uint32_t imageMajor;
  uint32_t imageMinor;
  uint32_t imageBuild;
  uint32_t reserved; /* never written */
} OemFirmwareEntry;

typedef struct OemAdapterInfoElement {
  OemChar16 adapterName[1024];
  OemChar16 interfaceText[256]; /* the PCI location text */
  uint32_t vendorId;
  uint32_t deviceId;
  uint32_t subVendorId;
  uint32_t subDeviceId;
  uint32_t segment; /* the bus number shifted right by 8 */
  uint32_t busNumber;
  uint32_t deviceNumber;
  uint32_t functionNumber;
  OemChar16 slotNumber[16]; /* always "00000000" */
  OemChar16 macAddress[20];
  uint32_t firmwareCount;
  OemFirmwareEntry firmware[OEM_MAX_FIRMWARE_ENTRIES];
  uint32_t reserved; /* never written */
} OemAdapterInfoElement;

/* The host reads these bytes directly: the layout must never move. */
SKYFW_OEM_STATIC_ASSERT(sizeof(OemFirmwareEntry) == OEM_FIRMWARE_ENTRY_SIZE, "firmware entry size");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemFirmwareEntry, firmwareType) == 0x000, "firmwareType");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemFirmwareEntry, firmwareFile) == 0x200, "firmwareFile");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemFirmwareEntry, currentMajor) == 0xA00, "currentMajor");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemFirmwareEntry, currentMinor) == 0xA04, "currentMinor");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemFirmwareEntry, currentBuild) == 0xA08, "currentBuild");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemFirmwareEntry, imageMajor) == 0xA0C, "imageMajor");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemFirmwareEntry, imageMinor) == 0xA10, "imageMinor");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemFirmwareEntry, imageBuild) == 0xA14, "imageBuild");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemFirmwareEntry, reserved) == 0xA18, "entry reserved");

SKYFW_OEM_STATIC_ASSERT(sizeof(OemAdapterInfoElement) == OEM_ADAPTER_INFO_ELEMENT_SIZE,
                        "adapter-information element size");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, adapterName) == 0x0000, "adapterName");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, interfaceText) == 0x0800, "interfaceText");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, vendorId) == 0x0A00, "vendorId");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, deviceId) == 0x0A04, "deviceId");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, subVendorId) == 0x0A08, "subVendorId");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, subDeviceId) == 0x0A0C, "subDeviceId");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, segment) == 0x0A10, "segment");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, busNumber) == 0x0A14, "busNumber");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, deviceNumber) == 0x0A18, "deviceNumber");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, functionNumber) == 0x0A1C,
                        "functionNumber");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, slotNumber) == 0x0A20, "slotNumber");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, macAddress) == 0x0A40, "macAddress");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, firmwareCount) == 0x0A68, "firmwareCount");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, firmware) == 0x0A6C, "firmware");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, firmware) +
                                sizeof(OemFirmwareEntry) * OEM_MAX_FIRMWARE_ENTRIES ==
                            0xD49C,
                        "firmware entries end");
SKYFW_OEM_STATIC_ASSERT(offsetof(OemAdapterInfoElement, reserved) == 0xD49C, "element reserved");

/* Writes the discovery document for the adapters found, choosing each one's
 * package from the firmware directory. */
SKYFW_OEM_EXPORT int32_t oem_do_discovery_with_files(const OemChar16* discovery_path,
                                                     const OemChar16* firmware_directory);

/* Installs what the request document asks for (from a firmware directory or a
 * single package file) and writes each item's status back into the document. */
SKYFW_OEM_EXPORT int32_t oem_do_flash_with_file(const OemChar16* request_path,
                                                const OemChar16* firmware_path);

/* Installs one package file on the adapter at the given PCI numbers; the
 * second argument is ignored. */
SKYFW_OEM_EXPORT int32_t oem_do_full_flash_PCI(const OemChar16* package_path, void* ignored,
                                               int32_t segment, int32_t bus, int32_t device,
                                               int32_t function);

/* Stores the number of adapters through device_count and, when adapters is
 * not null, fills one element per adapter. Either pointer may be null. */
SKYFW_OEM_EXPORT int32_t oem_get_adapter_info(OemAdapterInfoElement* adapters,
                                              int32_t* device_count,
                                              const OemChar16* firmware_directory);

/* Switches the trace log on, writing to trace_path from the next call on.
 * Always returns 0. */
SKYFW_OEM_EXPORT int32_t oem_get_debug_info(const OemChar16* trace_path);

/* Backs the NVRAM of the adapter at the given PCI numbers up into a new
 * package file; the second argument is ignored. */
SKYFW_OEM_EXPORT int32_t oem_get_full_flash_dump_PCI(const OemChar16* backup_path, void* ignored,
                                                     int32_t segment, int32_t bus, int32_t device,
                                                     int32_t function);

/* The text of a result code. The result points into one 512-unit buffer of
 * the library: valid until unload, overwritten by the next call. */
SKYFW_OEM_EXPORT const OemChar16* oem_text_for_error_code(int32_t code);

#ifdef __cplusplus
}
#endif

#endif /* SKYFW_OEM_H */
