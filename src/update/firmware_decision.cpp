#include "update/firmware_decision.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "base/text_conversion.h"
#include "diag/trace_log.h"
#include "update/file_helpers.h"
#include "update/firmware_action.h"
#include "update/installer.h"

namespace skyfw {
namespace {

constexpr std::u16string_view kFirmwareTypeNvm = u"nvm";

// Reads up to four "%u" numbers separated by dots, as sscanf with
// "%u.%u.%u.%u" would: numbers the text does not supply stay 0, and reading
// stops at the first mismatch. A number too large for strtoul saturates
// instead of being undefined.
std::array<uint32_t, 4> ParseVersionNumbers(const std::string& text) {
  std::array<uint32_t, 4> numbers{};
  const char* position = text.c_str();
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) {
      if (*position != '.') break;
      ++position;
    }
    // strtoul accepts what %u accepts: blanks, a sign, then digits.
    const char* start = position;
    while (*start == ' ' || (*start >= '\t' && *start <= '\r')) ++start;
    if (*start == '+' || *start == '-') ++start;
    if (*start < '0' || *start > '9') break;
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(position, &end, 10);
    numbers[i] = errno == ERANGE ? UINT32_MAX : static_cast<uint32_t>(value);
    position = end;
  }
  return numbers;
}

}  // namespace

void DecideFirmwareAction(DeviceRecord& device, const std::vector<std::string>& candidates,
                          const FirmwareCatalogue* catalogue) {
  FirmwareItem item;
  std::string unused_version;
  std::string unused_action;
  ProcessPackage(device, std::string(), unused_version, item.activeVersion, true, unused_action,
                 false);

  if (catalogue != nullptr && catalogue->IsLoaded()) {
    if (catalogue->FindNvmPackage(device.deviceId, device.subDeviceId, item.file, item.version) &&
        !item.version.empty()) {
      item.action = ChooseFirmwareAction(item.activeVersion, item.version);
    }
  } else {
    for (const std::string& candidate : candidates) {
      std::string package_version;
      std::string current_version;
      std::string action;
      if (ProcessPackage(device, candidate, package_version, current_version, false, action,
                         false)) {
        item.file = candidate;
        item.version = package_version;
        item.action = action;
        break;
      }
    }
  }
  device.firmwareItems.push_back(std::move(item));
}

void ReportVersionNumbers(const FirmwareItem& item, OemFirmwareEntry& entry) {
  PutTextField(entry.firmwareType, kFirmwareTypeNvm);
  if (!item.file.empty()) {
    std::string file_name;
    BaseName(item.file, file_name);
    std::u16string wide;
    Utf8ToUtf16(file_name, wide);
    PutTextField(entry.firmwareFile, wide);
  }
  TraceInfo("FW TYPE : %ls\n", TextFieldForTrace(entry.firmwareType).c_str());
  TraceInfo("FW FILE : %ls\n", TextFieldForTrace(entry.firmwareFile).c_str());

  const std::array<uint32_t, 4> current = ParseVersionNumbers(VersionTail(item.activeVersion));
  const std::array<uint32_t, 4> image = ParseVersionNumbers(item.version);
  entry.currentMajor = current[0];
  entry.currentMinor = current[1];
  entry.currentBuild = current[2];
  entry.imageMajor = image[0];
  entry.imageMinor = image[1];
  entry.imageBuild = image[2];
  TraceInfo("CURRENT MAJOR: %u %u %u\n", current[0], current[1], current[2]);
  TraceInfo("IMG MAJOR: %u %u %u\n", image[0], image[1], image[2]);
}

}  // namespace skyfw
