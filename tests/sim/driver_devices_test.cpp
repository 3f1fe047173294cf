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

namespace layouts = driver_requests;

// A request block as the direct transport lays it out.
std::vector<uint8_t> Request(uint16_t type, size_t size) {
  std::vector<uint8_t> block(size, 0);
  ByteWriter(block).SetU16At(layouts::kType.offset, type);
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
    ByteReader(response).U16At(layouts::kStatus.offset, status);
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
    namespace layout = layouts::find_dir_entry;
    std::vector<uint8_t> request = Request(kFwcmdNvmFindDirEntry, layout::kRequestBytes);
    ByteWriter(request).SetU16At(layout::kItemType.offset, type);
    std::vector<uint8_t> response;
    EXPECT_EQ(Send(request, layout::kResponseBytes, response), ERROR_SUCCESS);
    index = U16(response, layout::kIndex.offset);
    item_length = U32(response, layout::kItemLength.offset);
    return Status(response);
  }
  uint16_t Modify(uint16_t index, uint32_t offset, ByteView data) {
    namespace layout = layouts::nvm_modify;
    std::vector<uint8_t> request = Request(kFwcmdNvmModify, layout::kRequestBytes);
    ByteWriter writer(request);
    writer.SetU32At(layouts::kDataOffset.offset, layout::kDataAt);
    writer.SetU16At(layout::kIndex.offset, index);
    writer.SetU32At(layout::kItemOffset.offset, offset);
    writer.SetU32At(layout::kLength.offset, static_cast<uint32_t>(data.size()));
    writer.SetBytesAt(layout::kDataAt, data);
    std::vector<uint8_t> response;
    EXPECT_EQ(Send(request, layout::kResponseBytes, response), ERROR_SUCCESS);
    return Status(response);
  }
  uint16_t Read(uint16_t index, uint32_t offset, uint32_t length, std::vector<uint8_t>& data) {
    namespace layout = layouts::nvm_read;
    std::vector<uint8_t> request = Request(kFwcmdNvmRead, layout::kRequestBytes);
    ByteWriter writer(request);
    writer.SetU32At(layouts::kDataOffset.offset, layout::kDataAt);
    writer.SetU16At(layout::kIndex.offset, index);
    writer.SetU32At(layout::kItemOffset.offset, offset);
    writer.SetU32At(layout::kLength.offset, length);
    std::vector<uint8_t> response;
    EXPECT_EQ(Send(request, layout::kResponseBytes, response), ERROR_SUCCESS);
    EXPECT_EQ(response.size(), layout::kResponseBytes);
    data.assign(response.begin() + layout::kDataAt, response.begin() + layout::kDataAt + length);
    return Status(response);
  }
};

TEST_F(DirectRequestTest, DirectoryInfoAndEntries) {
  namespace info = layouts::dir_info;
  std::vector<uint8_t> response;
  ASSERT_EQ(Send(Request(kNvmGetDirInfo, info::kRequestBytes), info::kResponseBytes, response),
            ERROR_SUCCESS);
  EXPECT_EQ(response.size(), info::kResponseBytes);
  EXPECT_EQ(Status(response), 0);
  EXPECT_EQ(U32(response, info::kCount.offset), 3u);
  EXPECT_EQ(U32(response, info::kEntryLength.offset), 24u);

  namespace entries = layouts::dir_entries;
  std::vector<uint8_t> request = Request(kNvmGetDirEntries, entries::kRequestBytes);
  ByteWriter(request).SetU32At(layouts::kDataOffset.offset, entries::kDataAt);
  ASSERT_EQ(Send(request, 4096 + entries::kDataAt, response), ERROR_SUCCESS);
  EXPECT_EQ(Status(response), 0);
  // Entries of 24 bytes, each starting with its item type.
  EXPECT_EQ(U16(response, entries::kDataAt), 5);       // entry 0: VPD
  EXPECT_EQ(U16(response, entries::kDataAt + 24), 1);  // entry 1: package log
  EXPECT_EQ(U16(response, entries::kDataAt + 72), 0);  // nothing behind the three entries
}

TEST_F(DirectRequestTest, FindCreateModifyReadRoundTrip) {
  uint16_t index = 0;
  uint32_t item_length = 0;
  ASSERT_EQ(Find(2, index, item_length), 0);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(item_length, 65536u);
  EXPECT_EQ(Find(0x44, index, item_length), kDriverItemNotFound);

  namespace write_layout = layouts::nvm_write;
  std::vector<uint8_t> request = Request(kFwcmdNvmWrite, write_layout::kRequestBytes);
  ByteWriter writer(request);
  writer.SetU32At(layouts::kDataOffset.offset, write_layout::kRequestBytes);
  writer.SetU16At(write_layout::kItemType.offset, 0x44);
  writer.SetU16At(write_layout::kOrdinal.offset, 1);
  writer.SetU16At(write_layout::kExt.offset, 0);
  writer.SetU16At(write_layout::kAttributes.offset, 0);
  writer.SetU32At(write_layout::kItemLength.offset, 128000);
  std::vector<uint8_t> response;
  ASSERT_EQ(Send(request, write_layout::kResponseBytes, response), ERROR_SUCCESS);
  ASSERT_EQ(Status(response), 0);
  uint16_t created = U16(response, write_layout::kIndex.offset);
  EXPECT_EQ(created, 3);

  // Three chunks of at most 61440 bytes, as the direct transport sends them.
  std::vector<uint8_t> data(122881);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 251);
  for (uint32_t at = 0; at < data.size(); at += kDirectChunkBytes) {
    uint32_t length =
        std::min<uint32_t>(kDirectChunkBytes, static_cast<uint32_t>(data.size()) - at);
    ASSERT_EQ(Modify(created, at, ByteView(data).subspan(at, length)), 0);
  }
  std::vector<uint8_t> back, chunk;
  for (uint32_t at = 0; at < data.size(); at += kDirectChunkBytes) {
    uint32_t length =
        std::min<uint32_t>(kDirectChunkBytes, static_cast<uint32_t>(data.size()) - at);
    ASSERT_EQ(Read(created, at, length, chunk), 0);
    back.insert(back.end(), chunk.begin(), chunk.end());
  }
  EXPECT_EQ(back, data);
  // More than one request may carry is refused with a status.
  EXPECT_EQ(Read(created, 0, kDirectChunkBytes + 1, chunk), kDriverInvalidLengthParameter);
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

  namespace set_time = layouts::set_time;
  std::vector<uint8_t> time = Request(kFwcmdFwSetTime, set_time::kRequestBytes);
  ByteWriter clock(time);
  clock.SetU16At(set_time::kYear.offset, 2026);
  clock.SetU8At(set_time::kMonth.offset, 12);
  clock.SetU8At(set_time::kDay.offset, 10);
  clock.SetU8At(set_time::kHour.offset, 23);
  clock.SetU8At(set_time::kMinute.offset, 59);
  clock.SetU8At(set_time::kSecond.offset, 58);
  std::vector<uint8_t> response;
  ASSERT_EQ(Send(time, set_time::kResponseBytes, response), ERROR_SUCCESS);
  ASSERT_EQ(Status(response), 0);

  namespace install = layouts::install_update;
  ASSERT_EQ(Send(Request(kFwcmdNvmInstallUpdate, install::kRequestBytes), install::kResponseBytes,
                 response),
            ERROR_SUCCESS);
  ASSERT_EQ(Status(response), 0);
  EXPECT_EQ(U32(response, install::kInstalledItems0.offset), 1u);
  EXPECT_EQ(U32(response, install::kInstalledItems1.offset), 0u);
  EXPECT_EQ(response[install::kResult.offset], 0);
  EXPECT_EQ(response[install::kProblemItem.offset], 0xFF);  // none
  EXPECT_EQ(response[install::kResetRequired.offset], 1);

  uint16_t log = 0;
  uint32_t log_length = 0;
  ASSERT_EQ(Find(1, log, log_length), 0);
  std::vector<uint8_t> text;
  ASSERT_EQ(Read(log, 0, log_length, text), 0);
  std::string log_text(text.begin(), text.end());
  EXPECT_NE(log_text.find("2026-12-10 23:59:58Z\tinstall\t22.0.1\t"), std::string::npos);
}

TEST_F(DirectRequestTest, OptionValueFromTheGetVariableRequest) {
  namespace layout = layouts::get_variable;
  std::vector<uint8_t> request = Request(kFwcmdNvmGetVariable, layout::kRequestBytes);
  ByteWriter writer(request);
  writer.SetU32At(layouts::kDataOffset.offset, layout::kDataAt);
  writer.SetU16At(layout::kLength.offset, 64);
  writer.SetU16At(layout::kOptionNum.offset, 1);
  writer.SetU16At(layout::kDimensions.offset, 1);
  std::vector<uint8_t> response;
  ASSERT_EQ(Send(request, layout::kDataAt + 8, response), ERROR_SUCCESS);
  ASSERT_EQ(Status(response), 0);
  EXPECT_EQ(U16(response, layout::kReturnedLength.offset), 64);
  EXPECT_EQ(std::vector<uint8_t>(response.begin() + layout::kDataAt, response.end()),
            (std::vector<uint8_t>{0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));
}

TEST_F(DirectRequestTest, MalformedRequestsAndSmallBuffers) {
  std::vector<uint8_t> response;
  namespace info = layouts::dir_info;
  namespace find = layouts::find_dir_entry;
  // Request blocks shorter than their layout, a response buffer shorter than the answer.
  EXPECT_EQ(Send(Request(kNvmGetDirInfo, 8), info::kResponseBytes, response),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Send(Request(kFwcmdNvmFindDirEntry, 24), find::kResponseBytes, response),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Send(Request(kNvmGetDirInfo, info::kRequestBytes), 16, response),
            ERROR_INSUFFICIENT_BUFFER);
  // A modify whose data would run past the request block: 40 + 61 > 100.
  namespace modify_layout = layouts::nvm_modify;
  std::vector<uint8_t> modify = Request(kFwcmdNvmModify, 100);
  ByteWriter(modify).SetU32At(layouts::kDataOffset.offset, modify_layout::kDataAt);
  ByteWriter(modify).SetU32At(modify_layout::kLength.offset, 61);
  ASSERT_EQ(Send(modify, modify_layout::kResponseBytes, response), ERROR_SUCCESS);
  EXPECT_EQ(Status(response), kDriverInvalidLengthParameter);
  ASSERT_EQ(
      Send(Request(0x1234, layouts::kRequestHeaderBytes), layouts::kStatusResponseBytes, response),
      ERROR_SUCCESS);
  EXPECT_EQ(Status(response), kDriverUnsupportedCommand);
  uint32_t returned = 0;
  EXPECT_EQ(driver_.devices->DeviceIoControl({DeviceKind::kFirmwareCommand, 0, 0}, 0x170002,
                                             Request(kNvmGetDirInfo, info::kRequestBytes), response,
                                             returned),
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
