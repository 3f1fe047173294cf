#include "nmapi/driver_info.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "nmapi/adapter_class.h"
#include "nmapi/chip_identity.h"
#include "base/fixed_text.h"
#include "nmapi/library_state.h"
#include "nmapi/nmapi_log.h"
#include "nmapi/registry_values.h"
#include "base/byte_reader.h"
#include "platform/platform.h"

namespace skyfw {

using namespace platform;

namespace {

constexpr size_t kQueryBuffer = 260;
constexpr size_t kLinkStateBuffer = 40;
constexpr size_t kPciPropertiesBuffer = 52;
constexpr uint32_t kMediumIeee8023 = 14;
constexpr uint32_t kMediumValueSix = 6;
constexpr uint32_t kDriverVersionLimit = 40;
constexpr uint32_t kFlowControlLimit = 255;

struct LinkSpeed {
  uint32_t reported;
  uint32_t mbps;
};
constexpr LinkSpeed kLinkSpeeds[] = {
    {100000, 10},       {1000000, 100},     {10000000, 1000},   {25000000, 2500},
    {100000000, 10000}, {250000000, 25000}, {400000000, 40000}, {500000000, 50000},
};

// One IOCTL_NDIS_QUERY_GLOBAL_STATS request for `oid` on an open device.
uint32_t QueryOid(DeviceHandle& device, uint32_t oid, std::span<uint8_t> output,
                  uint32_t& bytesReturned) {
  std::vector<uint8_t> input;
  ByteWriter(input).PutU32(oid);
  bytesReturned = 0;
  return device.DeviceIoControl(IOCTL_NDIS_QUERY_GLOBAL_STATS, input, output, bytesReturned);
}

std::string MacText(ByteView bytes) {
  char text[13];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", bytes[0], bytes[1], bytes[2],
                bytes[3], bytes[4], bytes[5]);
  return text;
}

void ReadMacAddress(DeviceHandle& device, uint32_t oid, std::span<uint8_t> buffer,
                    char (&field)[20], bool permanent, uint32_t& bytesReturned) {
  uint32_t error = QueryOid(device, oid, buffer, bytesReturned);
  if (error != ERROR_SUCCESS) {
    if (permanent) {
      NmapiLog(kLogWarning, "DeviceIoControl() OID_802_3_PERMANENT_ADDRESS failed(%lu)\r\n",
               static_cast<unsigned long>(error));
    } else {
      NmapiLog(kLogWarning, "DeviceIoControl() OID_802_3_CURRENT_ADDRESS failed(%lu)\r\n",
               static_cast<unsigned long>(error));
    }
    return;
  }
  if (bytesReturned != 6) {
    if (permanent) {
      NmapiLog(kLogWarning, "invalid permanent address length(%lu)\r\n",
               static_cast<unsigned long>(bytesReturned));
    } else {
      NmapiLog(kLogWarning, "invalid MAC address length(%lu)\r\n",
               static_cast<unsigned long>(bytesReturned));
    }
    return;
  }
  CopyFixedText(field, MacText(ByteView(buffer.data(), 6)));
}

std::string DeviceName(const AdapterNode& node) {
  std::string_view interfaceId = TextUpToZero(node.info.interfaceId);
  const std::string& prefix = State().deviceNamePrefix;
  if (StartsWithNoCase(interfaceId, "\\\\?\\")) {
    return "\\\\?\\" + prefix + std::string(interfaceId.substr(4));
  }
  return "\\\\.\\" + prefix + std::string(interfaceId);
}

}  // namespace

uint32_t LinkSpeedMbps(uint32_t reported) {
  for (const LinkSpeed& entry : kLinkSpeeds) {
    if (entry.reported == reported) return entry.mbps;
  }
  return 0;
}

NmapiResult DoNicIOCTL(AdapterNode& node, uint32_t controlCode, std::span<const uint8_t> input,
                       std::span<uint8_t> output, uint32_t& outputSize, uint32_t& error) {
  error = ERROR_SUCCESS;
  if (outputSize < output.size()) output = output.first(outputSize);
  DeviceHandle* device = node.sessionDevice.get();
  std::unique_ptr<DeviceHandle> ownDevice;
  if (device == nullptr) {
    uint32_t openError =
        Current().deviceIo().CreateFile(DeviceName(node), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, ownDevice);
    if (openError != ERROR_SUCCESS || !ownDevice) {
      node.info.deviceOpen = 0;
      NmapiLog(kLogError, "DoNicIOCTL(): CreateFile() failed(%lu)(%s)\r\n",
               static_cast<unsigned long>(openError), node.info.interfaceId);
      return ngNMAPI_DRIVER_NOT_LOADED;
    }
    node.info.deviceOpen = 1;
    device = ownDevice.get();
  }
  uint32_t bytesReturned = 0;
  uint32_t requestError = device->DeviceIoControl(controlCode, input, output, bytesReturned);
  outputSize = bytesReturned;
  if (requestError != ERROR_SUCCESS) {
    error = requestError;
    NmapiLog(kLogError, "DoNicIOCTL(): DeviceIoControl() failed(%lu)\r\n",
             static_cast<unsigned long>(requestError));
    return ngNMAPI_IOCTL_FAILED;
  }
  return ngNMAPI_OK;
}

NmapiResult ReadDriverGenInfo(AdapterNode& node) {
  AdapterInfo& info = node.info;
  info.deviceOpen = 0;
  if (info.interfaceId[0] == '\0') {
    NmapiLog(kLogWarning, "ReadDriverGenInfo() no service name\r\n");
    return ngNMAPI_OK;
  }

  ReadBaseAddresses(node);

  std::string name =
      "\\\\.\\" + State().deviceNamePrefix + std::string(TextUpToZero(info.interfaceId));
  std::unique_ptr<DeviceHandle> device;
  uint32_t error = Current().deviceIo().CreateFile(name, GENERIC_READ | GENERIC_WRITE,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE, device);
  if (error != ERROR_SUCCESS || !device) {
    NmapiLog(kLogWarning, "CreateFile failed(%lu), driver not loaded(%s)\r\n",
             static_cast<unsigned long>(error), info.interfaceId);
    return ngNMAPI_OK;
  }
  info.driverLoaded = 1;
  info.deviceOpen = 1;
  NmapiLog(kLogInformation, "ReadDriverGenInfo(), driver is loaded(%s)\r\n", info.title);

  std::array<uint8_t, kQueryBuffer> buffer{};
  uint32_t bytes = 0;
  ReadMacAddress(*device, OID_802_3_CURRENT_ADDRESS, buffer, info.currentMac, false, bytes);
  ReadMacAddress(*device, OID_802_3_PERMANENT_ADDRESS, buffer, info.permanentMac, true, bytes);

  uint32_t valueType = REG_NONE;
  std::string driverVersion;
  uint32_t limit = kDriverVersionLimit;
  if (ReadAdapterClassValue(TextUpToZero(info.interfaceId), kNetClassKey, "DriverVersion", valueType,
                            driverVersion, limit) == ngNMAPI_OK) {
    CopyFixedText(info.driverVersion, driverVersion);
  } else {
    NmapiLog(kLogWarning, "invalid driver version length(%lu)\r\n",
             static_cast<unsigned long>(bytes));
  }

  ByteReader reader(buffer);
  error = QueryOid(*device, OID_GEN_DRIVER_VERSION, buffer, bytes);
  if (error != ERROR_SUCCESS) {
    device.reset();
    NmapiLog(kLogError, "DeviceIoControl() OID_GEN_DRIVER_VERSION failed(%lu)\r\n",
             static_cast<unsigned long>(error));
    return ngNMAPI_IOCTL_FAILED;
  }
  uint16_t ndisVersion = 0;
  if (bytes != 2 || !reader.U16At(0, ndisVersion)) {
    NmapiLog(kLogWarning, "invalid NDIS version length(%lu)\r\n",
             static_cast<unsigned long>(bytes));
  } else {
    node.ndisMajor = static_cast<uint8_t>(ndisVersion >> 8);
    node.ndisMinor = static_cast<uint8_t>(ndisVersion & 0xFF);
  }

  auto failedQuery = [&device](uint32_t queryError) {
    device.reset();
    NmapiLog(kLogError, "DeviceIoControl failed(%lu)\r\n", static_cast<unsigned long>(queryError));
    return ngNMAPI_IOCTL_FAILED;
  };

  uint32_t value = 0;
  error = QueryOid(*device, OID_GEN_MEDIA_CONNECT_STATUS, buffer, bytes);
  if (error != ERROR_SUCCESS) return failedQuery(error);
  if (bytes == 4 && reader.U32At(0, value)) {
    info.linkUp = value == 0 ? 1 : 0;  // NdisMediaStateConnected
  } else {
    NmapiLog(kLogWarning, "invalid driver version length(%lu)\r\n",
             static_cast<unsigned long>(bytes));
  }

  error = QueryOid(*device, OID_GEN_PHYSICAL_MEDIUM_EX, buffer, bytes);
  if (error != ERROR_SUCCESS) return failedQuery(error);
  if (bytes == 4 && reader.U32At(0, value)) {
    info.medium = value == kMediumIeee8023 ? 1 : value == kMediumValueSix ? 4 : -1;
  } else {
    NmapiLog(kLogWarning, "invalid driver version length(%lu)\r\n",
             static_cast<unsigned long>(bytes));
  }

  uint32_t speed = 0;
  if (info.linkUp == 1) {
    error = QueryOid(*device, OID_GEN_LINK_SPEED, buffer, bytes);
    if (error != ERROR_SUCCESS) return failedQuery(error);
    if (bytes == 4 && reader.U32At(0, value)) {
      speed = LinkSpeedMbps(value);
    } else {
      NmapiLog(kLogWarning, "invalid link speed length(%lu)\r\n",
               static_cast<unsigned long>(bytes));
    }
  }
  info.linkSpeedMbps = speed;

  bool linkStateRead = false;
  if (node.ndisMajor >= 6) {
    std::array<uint8_t, kLinkStateBuffer> linkState{};
    error = QueryOid(*device, OID_GEN_LINK_STATE, linkState, bytes);
    if (error != ERROR_SUCCESS) {
      NmapiLog(kLogError, "DeviceIoControl failed(%lu)\r\n", static_cast<unsigned long>(error));
    } else {
      linkStateRead = true;
      std::string flowControl;
      uint32_t flowLimit = kFlowControlLimit;
      if (ReadAdapterClassValue(TextUpToZero(info.interfaceId), kNetClassKey, "*FlowControl",
                                valueType, flowControl, flowLimit) == ngNMAPI_OK) {
        info.flowControl = DecimalNumber(flowControl);
      }
      std::array<uint8_t, kPciPropertiesBuffer> pci{};
      error = QueryOid(*device, OID_GEN_PCI_DEVICE_CUSTOM_PROPERTIES, pci, bytes);
      if (error != ERROR_SUCCESS) {
        NmapiLog(kLogError, "DeviceIoControl failed(%lu)\r\n", static_cast<unsigned long>(error));
      } else {
        ByteReader pciReader(pci);
        pciReader.U32At(28, info.pcieLinkWidth);
        pciReader.U32At(24, info.pcieLinkSpeed);
      }
      // NDIS_LINK_STATE: header, connect state, duplex state, alignment,
      // transmit and receive speeds.
      ByteReader stateReader(linkState);
      uint32_t duplex = 0;
      stateReader.U32At(8, duplex);
      stateReader.U64At(16, info.xmitLinkSpeed);
      stateReader.U64At(24, info.rcvLinkSpeed);
      info.duplex = (duplex == 1 || duplex == 2) ? duplex : 0;
    }
  }
  if (!linkStateRead) {
    info.xmitLinkSpeed = ~uint64_t{0};
    info.rcvLinkSpeed = ~uint64_t{0};
    info.duplex = 0;
  }
  device.reset();

  std::array<uint8_t, 4> frameSize{};
  std::vector<uint8_t> oid;
  ByteWriter(oid).PutU32(OID_GEN_MAXIMUM_FRAME_SIZE);
  uint32_t frameBytes = frameSize.size();
  uint32_t systemError = 0;
  NmapiResult result =
      DoNicIOCTL(node, IOCTL_NDIS_QUERY_GLOBAL_STATS, oid, frameSize, frameBytes, systemError);
  if (result != ngNMAPI_OK) {
    NmapiLog(kLogError, "ReadDriverGenInfo() DoNicIOCTL() failed %lu\r\n",
             static_cast<unsigned long>(systemError));
    return result;
  }
  ByteReader(frameSize).U32At(0, info.maxFrameSize);
  return ngNMAPI_OK;
}

}  // namespace skyfw
