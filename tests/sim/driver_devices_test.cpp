// The driver's device side: direct firmware requests on the firmware-command
// interface and NDIS statistics queries on the NDIS device.
#include <gtest/gtest.h>

#include "driver_fixture.h"
#include "platform/device_io.h"
#include "sim/driver/firmware_requests.h"
#include "sim/driver/ndis_queries.h"
#include "support/package_builder.h"

namespace skyfw::sim {
namespace {

using platform::ERROR_INSUFFICIENT_BUFFER;
using platform::ERROR_INVALID_PARAMETER;
using platform::ERROR_NOT_SUPPORTED;
using platform::ERROR_SUCCESS;

// A request block as the direct transport lays it out.
std::vector<uint8_t> Request(uint16_t type, size_t size) {
  std::vector<uint8_t> block(size, 0);
  ByteWriter(block).SetU16At(0, type);
  return block;
}

class DirectRequestTest : public testing::DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    StartDriver();
  }

  // Sends the block; returns the Win32 result, the response in `response`.
  uint32_t Send(const std::vector<uint8_t>& request, size_t response_size,
                std::vector<uint8_t>& response) {
    response.assign(response_size, 0xCC);
    uint32_t returned = 0;
    uint32_t result =
        driver_.devices->DeviceIoControl({DeviceKind::kFirmwareCommand, 0, 1},
                                         platform::IOCTL_NRVN_FWCMD, request, response, returned);
    response.resize(returned);
    return result;
  }
  static uint16_t Status(const std::vector<uint8_t>& response) {
    uint16_t status = 0xFFFF;
    ByteReader(response).U16At(0, status);
    return status;
  }
  static uint32_t U32(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t value = 0;
    EXPECT_TRUE(ByteReader(bytes).U32At(at, value));
    return value;
  }
  static uint16_t U16(const std::vector<uint8_t>& bytes, size_t at) {
    uint16_t value = 0;
    EXPECT_TRUE(ByteReader(bytes).U16At(at, value));
    return value;
  }

  // FWCMD_NVM_FIND_DIR_ENTRY: status, index, item length.
  uint16_t Find(uint16_t type, uint16_t& index, uint32_t& item_length) {
    std::vector<uint8_t> request = Request(kRequestFindDirEntry, 32);
    ByteWriter(request).SetU16At(22, type);
    std::vector<uint8_t> response;
    EXPECT_EQ(Send(request, 32, response), ERROR_SUCCESS);
    index = U16(response, 22);
    item_length = U32(response, 8);
    return Status(response);
  }
  uint16_t Modify(uint16_t index, uint32_t offset, ByteView data) {
    std::vector<uint8_t> request = Request(kRequestNvmModify, 65536);
    ByteWriter writer(request);
    writer.SetU32At(16, 40);
    writer.SetU16At(24, index);
    writer.SetU32At(28, offset);
    writer.SetU32At(32, static_cast<uint32_t>(data.size()));
    writer.SetBytesAt(40, data);
    std::vector<uint8_t> response;
    EXPECT_EQ(Send(request, 16, response), ERROR_SUCCESS);
    return Status(response);
  }
  uint16_t Read(uint16_t index, uint32_t offset, uint32_t length, std::vector<uint8_t>& data) {
    std::vector<uint8_t> request = Request(kRequestNvmRead, 40);
    ByteWriter writer(request);
    writer.SetU32At(16, 16);
    writer.SetU16At(24, index);
    writer.SetU32At(28, offset);
    writer.SetU32At(32, length);
    std::vector<uint8_t> response;
    EXPECT_EQ(Send(request, 65536, response), ERROR_SUCCESS);
    EXPECT_EQ(response.size(), 65536u);
    data.assign(response.begin() + 16, response.begin() + 16 + length);
    return Status(response);
  }
};

TEST_F(DirectRequestTest, DirectoryInfoAndEntries) {
  std::vector<uint8_t> response;
  ASSERT_EQ(Send(Request(kRequestGetDirInfo, 16), 24, response), ERROR_SUCCESS);
  EXPECT_EQ(response.size(), 24u);
  EXPECT_EQ(Status(response), 0);
  EXPECT_EQ(U32(response, 8), 3u);
  EXPECT_EQ(U32(response, 12), 24u);

  std::vector<uint8_t> request = Request(kRequestGetDirEntries, 24);
  ByteWriter(request).SetU32At(16, 16);
  ASSERT_EQ(Send(request, 4096 + 16, response), ERROR_SUCCESS);
  EXPECT_EQ(Status(response), 0);
  EXPECT_EQ(U16(response, 16), 5);       // entry 0: VPD
  EXPECT_EQ(U16(response, 16 + 24), 1);  // entry 1: package log
  EXPECT_EQ(U16(response, 16 + 72), 0);  // nothing behind the three entries
}

TEST_F(DirectRequestTest, FindCreateModifyReadRoundTrip) {
  uint16_t index = 0;
  uint32_t item_length = 0;
  ASSERT_EQ(Find(2, index, item_length), 0);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(item_length, 65536u);
  EXPECT_EQ(Find(0x44, index, item_length), kDriverItemNotFound);

  std::vector<uint8_t> request = Request(kRequestNvmWrite, 48);
  ByteWriter writer(request);
  writer.SetU32At(16, 48);
  writer.SetU16At(24, 0x44);
  writer.SetU16At(26, 1);
  writer.SetU16At(28, 0);
  writer.SetU16At(30, 0);
  writer.SetU32At(40, 128000);
  std::vector<uint8_t> response;
  ASSERT_EQ(Send(request, 16, response), ERROR_SUCCESS);
  ASSERT_EQ(Status(response), 0);
  uint16_t created = U16(response, 12);
  EXPECT_EQ(created, 3);

  // Three chunks of at most 61440 bytes, as the direct transport sends them.
  std::vector<uint8_t> data(122881);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 251);
  for (uint32_t at = 0; at < data.size(); at += kMaxRequestData) {
    uint32_t length = std::min<uint32_t>(kMaxRequestData, static_cast<uint32_t>(data.size()) - at);
    ASSERT_EQ(Modify(created, at, ByteView(data).subspan(at, length)), 0);
  }
  std::vector<uint8_t> back, chunk;
  for (uint32_t at = 0; at < data.size(); at += kMaxRequestData) {
    uint32_t length = std::min<uint32_t>(kMaxRequestData, static_cast<uint32_t>(data.size()) - at);
    ASSERT_EQ(Read(created, at, length, chunk), 0);
    back.insert(back.end(), chunk.begin(), chunk.end());
  }
  EXPECT_EQ(back, data);
  // More than one request may carry is refused with a status.
  EXPECT_EQ(Read(created, 0, kMaxRequestData + 1, chunk), kDriverInvalidLengthParameter);
}

TEST_F(DirectRequestTest, InstallSequenceOnTheDeviceInterface) {
  testing::TestPackage package;
  package.version = "22.0.1";
  package.items = {{0, 0x20, 0, 0, 0, 0, testing::Bytes("image bytes")}};
  std::vector<uint8_t> bytes = testing::BuildPackage(package);
  uint16_t area = 0;
  uint32_t area_length = 0;
  ASSERT_EQ(Find(2, area, area_length), 0);
  ASSERT_EQ(Modify(area, 0, bytes), 0);

  std::vector<uint8_t> time = Request(kRequestSetTime, 32);
  ByteWriter clock(time);
  clock.SetU16At(16, 2026);
  clock.SetU8At(18, 12);
  clock.SetU8At(19, 10);
  clock.SetU8At(20, 23);
  clock.SetU8At(21, 59);
  clock.SetU8At(22, 58);
  std::vector<uint8_t> response;
  ASSERT_EQ(Send(time, 16, response), ERROR_SUCCESS);
  ASSERT_EQ(Status(response), 0);

  ASSERT_EQ(Send(Request(kRequestInstallUpdate, 24), 24, response), ERROR_SUCCESS);
  ASSERT_EQ(Status(response), 0);
  EXPECT_EQ(U32(response, 8), 1u);
  EXPECT_EQ(U32(response, 12), 0u);
  EXPECT_EQ(response[16], 0);     // result
  EXPECT_EQ(response[17], 0xFF);  // no problem item
  EXPECT_EQ(response[18], 1);     // reset required

  uint16_t log = 0;
  uint32_t log_length = 0;
  ASSERT_EQ(Find(1, log, log_length), 0);
  std::vector<uint8_t> text;
  ASSERT_EQ(Read(log, 0, log_length, text), 0);
  std::string log_text(text.begin(), text.end());
  EXPECT_NE(log_text.find("2026-12-10 23:59:58Z\tinstall\t22.0.1\t"), std::string::npos);
}

TEST_F(DirectRequestTest, OptionValueFromTheGetVariableRequest) {
  std::vector<uint8_t> request = Request(kRequestGetVariable, 40);
  ByteWriter writer(request);
  writer.SetU32At(16, 16);
  writer.SetU16At(24, 64);
  writer.SetU16At(26, 1);
  writer.SetU16At(28, 1);
  std::vector<uint8_t> response;
  ASSERT_EQ(Send(request, 8 + 16, response), ERROR_SUCCESS);
  ASSERT_EQ(Status(response), 0);
  EXPECT_EQ(U16(response, 8), 64);
  EXPECT_EQ(std::vector<uint8_t>(response.begin() + 16, response.end()),
            (std::vector<uint8_t>{0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));
}

TEST_F(DirectRequestTest, MalformedRequestsAndSmallBuffers) {
  std::vector<uint8_t> response;
  EXPECT_EQ(Send(Request(kRequestGetDirInfo, 8), 24, response), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Send(Request(kRequestFindDirEntry, 24), 32, response), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Send(Request(kRequestGetDirInfo, 16), 16, response), ERROR_INSUFFICIENT_BUFFER);
  // A modify whose data would run past the request block.
  std::vector<uint8_t> modify = Request(kRequestNvmModify, 100);
  ByteWriter(modify).SetU32At(16, 40);
  ByteWriter(modify).SetU32At(32, 61);
  ASSERT_EQ(Send(modify, 16, response), ERROR_SUCCESS);
  EXPECT_EQ(Status(response), kDriverInvalidLengthParameter);
  ASSERT_EQ(Send(Request(0x1234, 16), 16, response), ERROR_SUCCESS);
  EXPECT_EQ(Status(response), kDriverUnsupportedCommand);
  uint32_t returned = 0;
  EXPECT_EQ(driver_.devices->DeviceIoControl({DeviceKind::kFirmwareCommand, 0, 0}, 0x170002,
                                             Request(kRequestGetDirInfo, 16), response, returned),
            platform::ERROR_INVALID_FUNCTION);
}

TEST_F(DirectRequestTest, FaultsNameDirectRequestsToo) {
  description_.adapters[0].faults.calls = {{"FWCMD_NVM_READ", 31, 0}};
  StartDriver();
  std::vector<uint8_t> data;
  EXPECT_EQ(Read(0, 0, 4, data), 31);
}

// ---- NDIS ------------------------------------------------------------------------

class NdisQueryTest : public testing::DriverTest {
 protected:
  uint32_t Query(uint32_t oid, size_t capacity, std::vector<uint8_t>& value, size_t port = 0) {
    StartDriver();
    std::vector<uint8_t> input;
    ByteWriter(input).PutU32(oid);
    value.assign(capacity, 0);
    uint32_t returned = 0;
    uint32_t result = driver_.devices->DeviceIoControl({DeviceKind::kNdis, 0, port},
                                                       platform::IOCTL_NDIS_QUERY_GLOBAL_STATS,
                                                       input, value, returned);
    value.resize(returned);
    return result;
  }
  PortDescription& port() { return description_.adapters[0].ports[0]; }
};

TEST_F(NdisQueryTest, AnswersTheStandardOids) {
  port().current_mac = {0x02, 0x0A, 0x3B, 0x1C, 0x2D, 0x99};
  port().link_speed_bps = 25'000'000'000;
  port().max_frame_size = 9000;
  port().pcie_link_width = 16;
  std::vector<uint8_t> value;
  ASSERT_EQ(Query(OID_802_3_PERMANENT_ADDRESS, 260, value), ERROR_SUCCESS);
  EXPECT_EQ(value, (std::vector<uint8_t>{0x02, 0x0A, 0x3B, 0x1C, 0x2D, 0x4E}));
  ASSERT_EQ(Query(OID_802_3_CURRENT_ADDRESS, 260, value), ERROR_SUCCESS);
  EXPECT_EQ(value[5], 0x99);
  ASSERT_EQ(Query(OID_GEN_DRIVER_VERSION, 260, value), ERROR_SUCCESS);
  EXPECT_EQ(value, (std::vector<uint8_t>{82, 6}));  // 0x0652: NDIS 6.82
  ASSERT_EQ(Query(OID_GEN_MEDIA_CONNECT_STATUS, 260, value), ERROR_SUCCESS);
  EXPECT_EQ(value, (std::vector<uint8_t>{0, 0, 0, 0}));  // connected
  ASSERT_EQ(Query(OID_GEN_LINK_SPEED, 260, value), ERROR_SUCCESS);
  uint32_t speed = 0;
  ByteReader(value).U32At(0, speed);
  EXPECT_EQ(speed, 250000000u);
  ASSERT_EQ(Query(OID_GEN_PHYSICAL_MEDIUM_EX, 260, value), ERROR_SUCCESS);
  EXPECT_EQ(value[0], 14);
  ASSERT_EQ(Query(OID_GEN_MAXIMUM_FRAME_SIZE, 4, value), ERROR_SUCCESS);
  EXPECT_EQ(value, (std::vector<uint8_t>{0x28, 0x23, 0, 0}));

  ASSERT_EQ(Query(OID_GEN_LINK_STATE, 40, value), ERROR_SUCCESS);
  ASSERT_EQ(value.size(), 40u);
  uint32_t duplex = 0;
  uint64_t xmit = 0;
  ByteReader(value).U32At(8, duplex);
  ByteReader(value).U64At(16, xmit);
  EXPECT_EQ(duplex, 2u);
  EXPECT_EQ(xmit, 10'000'000'000u);
  ASSERT_EQ(Query(OID_GEN_PCI_DEVICE_CUSTOM_PROPERTIES, 52, value), ERROR_SUCCESS);
  ASSERT_EQ(value.size(), 52u);
  uint32_t width = 0;
  ByteReader(value).U32At(28, width);
  EXPECT_EQ(width, 16u);
}

TEST_F(NdisQueryTest, LinkDownOlderNdisAndRefusals) {
  port().link_up = false;
  port().ndis_major = 5;
  port().ndis_minor = 1;
  std::vector<uint8_t> value;
  ASSERT_EQ(Query(OID_GEN_MEDIA_CONNECT_STATUS, 260, value), ERROR_SUCCESS);
  EXPECT_EQ(value, (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(Query(OID_GEN_LINK_STATE, 40, value), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(Query(OID_GEN_PCI_DEVICE_CUSTOM_PROPERTIES, 52, value), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(Query(0x00010999, 260, value), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(Query(OID_802_3_CURRENT_ADDRESS, 5, value), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_TRUE(value.empty());
  ASSERT_EQ(Query(OID_802_3_PERMANENT_ADDRESS, 260, value, 1), ERROR_SUCCESS);
  EXPECT_EQ(value[5], 0x4F);  // the second port's own address
}

}  // namespace
}  // namespace skyfw::sim
