// The direct driver transport against the simulated machine's firmware
// request interface, with every request recorded on its way.
#include "nvm/direct_transport.h"

#include <gtest/gtest.h>

#include <numeric>
#include <optional>

#include "builders.h"
#include "nvm/sim_machine.h"
#include "update/package_version.h"

namespace skyfw {
namespace {

using testing::kSimAdapter;
using testing::SimMachine;
using testing::SimMachineJson;

namespace layouts = driver_requests;

struct RecordedRequest {
  uint16_t type = 0;
  std::vector<uint8_t> input;
  size_t output_size = 0;

  // The low bytes of a field at least as wide (the data offset spans 8).
  uint32_t U32(layouts::Field field) const {
    uint32_t value = 0;
    EXPECT_GE(field.size, 4u);
    ByteReader(input).U32At(field.offset, value);
    return value;
  }
  uint16_t U16(layouts::Field field) const {
    uint16_t value = 0;
    EXPECT_GE(field.size, 2u);
    ByteReader(input).U16At(field.offset, value);
    return value;
  }
};

struct Recorder {
  std::vector<RecordedRequest> requests;
  int opens = 0;
  std::optional<uint16_t> failing_type;  // I/O control calls of this type fail
  uint32_t failing_error = 0;

  std::vector<RecordedRequest> Of(uint16_t type) const {
    std::vector<RecordedRequest> found;
    for (const auto& request : requests) {
      if (request.type == type) found.push_back(request);
    }
    return found;
  }
};

class RecordingHandle final : public platform::DeviceHandle {
 public:
  RecordingHandle(std::unique_ptr<platform::DeviceHandle> inner, Recorder& recorder)
      : inner_(std::move(inner)), recorder_(recorder) {}
  uint32_t DeviceIoControl(uint32_t control_code, std::span<const uint8_t> input,
                           std::span<uint8_t> output, uint32_t& bytes_returned) override {
    RecordedRequest request;
    ByteReader(input).U16At(layouts::kType.offset, request.type);
    request.input.assign(input.begin(), input.end());
    request.output_size = output.size();
    recorder_.requests.push_back(request);
    if (recorder_.failing_type == request.type) {
      bytes_returned = 0;
      return recorder_.failing_error;
    }
    return inner_->DeviceIoControl(control_code, input, output, bytes_returned);
  }

 private:
  std::unique_ptr<platform::DeviceHandle> inner_;
  Recorder& recorder_;
};

class RecordingDeviceIo final : public platform::DeviceIo {
 public:
  RecordingDeviceIo(platform::DeviceIo& inner, Recorder& recorder)
      : inner_(inner), recorder_(recorder) {}
  uint32_t CreateFile(std::string_view name, uint32_t access, uint32_t share,
                      std::unique_ptr<platform::DeviceHandle>& handle) override {
    std::unique_ptr<platform::DeviceHandle> opened;
    uint32_t error = inner_.CreateFile(name, access, share, opened);
    if (error != platform::ERROR_SUCCESS) return error;
    ++recorder_.opens;
    handle = std::make_unique<RecordingHandle>(std::move(opened), recorder_);
    return error;
  }

 private:
  platform::DeviceIo& inner_;
  Recorder& recorder_;
};

// The simulated machine with its device I/O recorded.
class RecordingPlatform final : public platform::Platform {
 public:
  explicit RecordingPlatform(platform::Platform& inner)
      : inner_(inner), device_io_(inner.deviceIo(), recorder_) {
    platform::Install(this);
  }
  ~RecordingPlatform() override { platform::Install(&inner_); }

  Recorder& recorder() { return recorder_; }

  platform::System& system() override { return inner_.system(); }
  platform::Registry& registry() override { return inner_.registry(); }
  platform::Devices& devices() override { return inner_.devices(); }
  platform::DeviceIo& deviceIo() override { return device_io_; }
  platform::IpHelper& ipHelper() override { return inner_.ipHelper(); }
  platform::Services& services() override { return inner_.services(); }
  platform::Wmi& wmi() override { return inner_.wmi(); }
  platform::EventLog& eventLog() override { return inner_.eventLog(); }
  platform::Mutexes& mutexes() override { return inner_.mutexes(); }

 private:
  platform::Platform& inner_;
  Recorder recorder_;
  RecordingDeviceIo device_io_;
};

class DirectTransportTest : public ::testing::Test {
 protected:
  void Open(const std::string& adapter_extra = "", const std::string& devices_extra = "",
            const std::string& adapters_extra = "") {
    machine_.emplace(SimMachineJson(adapter_extra, "", devices_extra, adapters_extra));
    ASSERT_TRUE(machine_->ok());
    recording_.emplace(machine_->platform());
  }
  void TearDown() override {
    recording_.reset();
    machine_.reset();
  }
  Recorder& recorder() { return recording_->recorder(); }

  std::optional<SimMachine> machine_;
  std::optional<RecordingPlatform> recording_;
};

std::vector<uint8_t> Pattern(size_t length) {
  std::vector<uint8_t> data(length);
  std::iota(data.begin(), data.end(), uint8_t{1});
  return data;
}

std::vector<uint8_t> BuildTestPackage(const std::string& version, size_t data_length) {
  tool::PackagePlan plan;
  plan.version = version;
  tool::PackageItemPlan item;
  item.type = 40;
  item.data = tool::FillerBytes(data_length, 3);
  plan.items.push_back(item);
  std::vector<uint8_t> package;
  EXPECT_EQ(tool::BuildPackage(plan, package), NVCRETVAL_SUCCESS);
  return package;
}

// ---- finding the device ----------------------------------------------------

TEST_F(DirectTransportTest, FindsTheInterfaceByDescriptionIgnoringCase) {
  Open();
  std::vector<std::u16string> interfaces;
  ASSERT_EQ(platform::Current().devices().GetDeviceInterfaceList(kFirmwareCommandInterface, 0,
                                                                 interfaces),
            0u);
  ASSERT_EQ(interfaces.size(), 1u);
  std::optional<std::u16string> path;
  EXPECT_EQ(FindAdapterInterface("SKYLINE \"lab\" \\ s2", path), 0u);
  EXPECT_EQ(path, interfaces[0]);
  EXPECT_EQ(FindAdapterInterface("Skyline S9", path), 0u);
  EXPECT_FALSE(path);
  EXPECT_EQ(OpenAdapterDevice("Skyline S9"), nullptr);
  uint32_t count = 0, length = 0;
  EXPECT_EQ(RequestGetDirInfo(RequestTarget{"Skyline S9"}, count, length), kRequestDeviceNotOpened);
  std::vector<uint8_t> buffer(4);
  EXPECT_EQ(DirectGetItem("Skyline S9", 0, 0, buffer), NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE);
}

TEST_F(DirectTransportTest, TheFirstOfTwoMatchingInterfacesIsUsed) {
  // A second adapter, listed first, whose port carries the same description
  // and whose package log says another version.
  Open("",
       R"(,
    {"adapter": "nx1", "location": {"bus": 4, "device": 0, "function": 0},
     "instance_id": "PCI\\VEN_1D6A&DEV_0B10&SUBSYS_00011D6A&REV_02\\4&99&0&0020",
     "description": "Skyline \"Lab\" \\ S2",
     "class_values": {"NetCfgInstanceId": "{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B99}"},
     "port": {"permanent_mac": "02:0A:3B:1C:2D:99"}})",
       R"(,
    {"id": "nx1",
     "pci": {"vendor_id": "0x1D6A", "device_id": "0x0B10", "subsystem_id": "0x0001",
             "subsystem_vendor_id": "0x1D6A", "revision": "0x02"},
     "nvm_option1": "0x1D6A0B1000A1C3E6",
     "package_log": [["2024-06-02 16:40:10", "nvmupd", "9.9.9", "SKY-S2", "ok"]]})");
  std::vector<std::u16string> interfaces;
  platform::Current().devices().GetDeviceInterfaceList(kFirmwareCommandInterface, 0, interfaces);
  ASSERT_EQ(interfaces.size(), 2u);
  std::optional<std::u16string> path;
  ASSERT_EQ(FindAdapterInterface(kSimAdapter, path), 0u);
  EXPECT_EQ(path, interfaces[0]);
  std::vector<uint8_t> log;
  NvmDirEntry entry;
  ASSERT_EQ(DirectReadPackageLog(kSimAdapter, entry, log), NVCRETVAL_SUCCESS);
  EXPECT_EQ(entry.dir_data_length, log.size());
  std::string version;
  ASSERT_TRUE(PackageLogVersion(log, version));
  EXPECT_EQ(version, "21.6.2");  // nx0's port comes first in the list
}

TEST(DirectTransportDiscoveryTest, AMachineWithoutInterfacesGives24) {
  platform::Install(nullptr);
  std::optional<std::u16string> path;
  EXPECT_EQ(FindAdapterInterface("x", path), platform::ERROR_BAD_LENGTH);
  EXPECT_FALSE(path);
}

// ---- requests and operations -------------------------------------------------

TEST_F(DirectTransportTest, GetDirectoryMatchesTheWmiDirectory) {
  Open();
  std::vector<uint8_t> wmi_raw(4096), direct_raw(4096);
  uint32_t wmi_count = 0, wmi_length = 0, count = 0, length = 0;
  ASSERT_EQ(velonvmGetDirectory(kSimAdapter, wmi_count, wmi_length, wmi_raw), NVCRETVAL_SUCCESS);
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(DirectGetDirectory(kSimAdapter, count, length, direct_raw), NVCRETVAL_SUCCESS);
  std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(count, wmi_count);
  EXPECT_EQ(length, 24u);
  EXPECT_EQ(direct_raw, wmi_raw);
  EXPECT_EQ(printed, "*count = " + std::to_string(count) + " and *entry_size = 24\n");

  ASSERT_EQ(recorder().requests.size(), 2u);
  EXPECT_EQ(recorder().requests[0].type, kNvmGetDirInfo);
  EXPECT_EQ(recorder().requests[0].input.size(), layouts::dir_info::kRequestBytes);
  EXPECT_EQ(recorder().requests[0].output_size, layouts::dir_info::kResponseBytes);
  const RecordedRequest& entries = recorder().requests[1];
  EXPECT_EQ(entries.type, kNvmGetDirEntries);
  EXPECT_EQ(entries.input.size(), layouts::dir_entries::kRequestBytes);
  EXPECT_EQ(entries.U32(layouts::kDataOffset), layouts::dir_entries::kDataAt);
  EXPECT_EQ(entries.output_size, 4112u);  // the 4096-byte directory behind 16 bytes
}

TEST_F(DirectTransportTest, ReadsInChunksOf61440Bytes) {
  Open();
  std::vector<uint8_t> data = Pattern(122881);
  ASSERT_EQ(velonvmWriteItem(kSimAdapter, 40, 0, 0, 0, data), NVCRETVAL_SUCCESS);
  int32_t index = velonvmFindDirEntry(kSimAdapter, 40, 0, 0, nullptr);
  ASSERT_GE(index, 0);

  std::vector<uint8_t> read(data.size());
  ASSERT_EQ(DirectGetItem(kSimAdapter, static_cast<uint32_t>(index), 0, read), NVCRETVAL_SUCCESS);
  EXPECT_EQ(read, data);
  auto reads = recorder().Of(kFwcmdNvmRead);
  ASSERT_EQ(reads.size(), 3u);
  const uint32_t offsets[] = {0, 61440, 122880};
  const uint32_t lengths[] = {61440, 61440, 1};
  namespace read_layout = layouts::nvm_read;
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(reads[i].input.size(), read_layout::kRequestBytes);
    EXPECT_EQ(reads[i].output_size, read_layout::kResponseBytes);
    EXPECT_EQ(reads[i].U32(layouts::kDataOffset), read_layout::kDataAt);
    EXPECT_EQ(reads[i].U16(read_layout::kIndex), index);
    EXPECT_EQ(reads[i].U32(read_layout::kItemOffset), offsets[i]);
    EXPECT_EQ(reads[i].U32(read_layout::kLength), lengths[i]);
  }
  recorder().requests.clear();
  EXPECT_EQ(DirectGetItem(kSimAdapter, static_cast<uint32_t>(index), 0, {}), NVCRETVAL_SUCCESS);
  EXPECT_TRUE(recorder().requests.empty());
}

TEST_F(DirectTransportTest, ModifiesInChunksOf61440BytesThroughOneBlock) {
  Open();
  int32_t index = DirectCreateItem(kSimAdapter, 41, 2, 3, 0, 70000);
  ASSERT_GE(index, 0);
  EXPECT_EQ(velonvmFindDirEntry(kSimAdapter, 41, 2, 3, nullptr), index);
  namespace write_layout = layouts::nvm_write;
  const RecordedRequest create = recorder().Of(kFwcmdNvmWrite).at(0);
  EXPECT_EQ(create.input.size(), write_layout::kRequestBytes);
  EXPECT_EQ(create.U32(layouts::kDataOffset), write_layout::kRequestBytes);
  EXPECT_EQ(create.U16(write_layout::kItemType), 41);
  EXPECT_EQ(create.U16(write_layout::kOrdinal), 2);
  EXPECT_EQ(create.U16(write_layout::kExt), 3);
  EXPECT_EQ(create.U32(write_layout::kItemLength), 70000u);

  std::vector<uint8_t> data = Pattern(61441);
  ASSERT_EQ(DirectModifyItem(kSimAdapter, static_cast<uint16_t>(index), data), NVCRETVAL_SUCCESS);
  namespace modify = layouts::nvm_modify;
  auto modifies = recorder().Of(kFwcmdNvmModify);
  ASSERT_EQ(modifies.size(), 2u);
  EXPECT_EQ(modifies[0].input.size(), modify::kRequestBytes);
  EXPECT_EQ(modifies[0].U32(layouts::kDataOffset), modify::kDataAt);
  EXPECT_EQ(modifies[0].U32(modify::kItemOffset), 0u);
  EXPECT_EQ(modifies[0].U32(modify::kLength), 61440u);
  EXPECT_EQ(modifies[1].U32(modify::kItemOffset), 61440u);
  EXPECT_EQ(modifies[1].U32(modify::kLength), 1u);
  EXPECT_EQ(modifies[1].input[modify::kDataAt], data[61440]);

  std::vector<uint8_t> read(data.size());
  EXPECT_EQ(velonvmReadItem(kSimAdapter, 41, 2, 3, read, nullptr), 61441);
  EXPECT_EQ(read, data);

  recorder().requests.clear();
  ASSERT_EQ(DirectModifyItem(kSimAdapter, static_cast<uint16_t>(index), {}), NVCRETVAL_SUCCESS);
  ASSERT_EQ(recorder().requests.size(), 1u);  // nothing to write still sends one request
  EXPECT_EQ(recorder().requests[0].U32(modify::kLength), 0u);
}

TEST_F(DirectTransportTest, GetOptionDeliversTheValue) {
  Open();
  std::vector<uint8_t> value(8, 0);
  NvmOptionRequest request{1, 64, 1, 0, 0, 0, 0, value};
  ASSERT_EQ(DirectGetOption(kSimAdapter, request), NVCRETVAL_SUCCESS);
  EXPECT_EQ(value[0], 0xE5);
  EXPECT_EQ(value[7], 0x1D);
  namespace get_variable = layouts::get_variable;
  const RecordedRequest& sent = recorder().requests.at(0);
  EXPECT_EQ(sent.type, kFwcmdNvmGetVariable);
  EXPECT_EQ(sent.input.size(), get_variable::kRequestBytes);
  EXPECT_EQ(sent.U16(get_variable::kLength), 64);
  EXPECT_EQ(sent.U16(get_variable::kOptionNum), 1);
  EXPECT_EQ(sent.U16(get_variable::kDimensions), 1);
  EXPECT_EQ(sent.output_size, get_variable::kDataAt + 8);  // the 64-bit value behind 16 bytes
}

TEST_F(DirectTransportTest, AFailedIoControlIsReportedWithTheSystemText) {
  Open();
  recorder().failing_type = kFwcmdNvmRead;
  recorder().failing_error = platform::ERROR_GEN_FAILURE;
  std::vector<uint8_t> response(kDirectTransferBlockBytes);
  std::vector<uint8_t> destination(16);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RequestNvmRead(RequestTarget{kSimAdapter}, 0, 0, destination, response), 31);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "FWCMD_NVM_READ : returned 0x0000001f :"
            "A device attached to the system is not functioning.\r\n");

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(DirectGetItem(kSimAdapter, 0, 0, destination),
            NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE);
  ::testing::internal::GetCapturedStdout();

  ::testing::internal::CaptureStdout();
  ReportRequestError("FWCMD_NVM_READ", 0xE0001234);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "FWCMD_NVM_READ : returned 0xe0001234.\n");
}

TEST_F(DirectTransportTest, InstallsAPackageOnOneHandle) {
  Open();
  // Larger than one chunk, within the 65536-byte update area.
  std::vector<uint8_t> package = BuildTestPackage("23.0.1", 61400);
  ASSERT_GT(package.size(), kDirectChunkBytes);
  int32_t problem = 5;
  uint8_t reset = 0;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(DirectInstallUpdate(kSimAdapter, package, &problem, &reset, 0), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "resp.problem_item = 255 resp.reset_required = 1 resp.result = 0\n");
  EXPECT_EQ(problem, -1);
  EXPECT_EQ(reset, 1);
  EXPECT_EQ(recorder().opens, 1);

  std::vector<uint16_t> types;
  for (const auto& request : recorder().requests) types.push_back(request.type);
  EXPECT_EQ(types, (std::vector<uint16_t>{kFwcmdNvmFindDirEntry, kFwcmdFwSetTime, kFwcmdNvmModify,
                                          kFwcmdNvmModify, kFwcmdNvmInstallUpdate}));
  const RecordedRequest& find = recorder().requests[0];
  EXPECT_EQ(find.input.size(), layouts::find_dir_entry::kRequestBytes);
  EXPECT_EQ(find.U16(layouts::find_dir_entry::kItemType), kUpdateAreaItemType);
  const RecordedRequest& clock = recorder().requests[1];
  EXPECT_EQ(clock.input.size(), layouts::set_time::kRequestBytes);
  EXPECT_GE(clock.U16(layouts::set_time::kYear), 2024);
  EXPECT_EQ(clock.U16(layouts::set_time::kMillisecond), 0);
  EXPECT_EQ(recorder().requests[4].input.size(), layouts::install_update::kRequestBytes);

  char version[256] = {};
  EXPECT_EQ(velonvmGetPackageVersion(kSimAdapter, version), NVCRETVAL_SUCCESS);
  EXPECT_STREQ(version, "23.0.1");
}

TEST_F(DirectTransportTest, AnUpdateAreaTooSmallEndsTheInstallBeforeAnythingIsWritten) {
  Open(R"(, "update_area_length": 4096)");
  std::vector<uint8_t> package(5000, 0);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(DirectInstallUpdate(kSimAdapter, package, nullptr, nullptr, 0),
            NVCRETVAL_INSUFFICIENT_SPACE);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Insufficient update area in nvram: 5000");
  ASSERT_EQ(recorder().requests.size(), 1u);
  EXPECT_EQ(recorder().requests[0].type, kFwcmdNvmFindDirEntry);
}

TEST_F(DirectTransportTest, FirmwareRefusalsAndFailedRequestsBecomeStatuses) {
  Open(R"(, "faults": {"install_refusal": {"result": 235, "problem_item": 0},
                       "calls": [{"call": "FWCMD_NVM_WRITE", "error": 4}]})");
  int32_t problem = 5;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(DirectInstallUpdate(kSimAdapter, BuildTestPackage("23.0.1", 100), &problem, nullptr, 0),
            NVCRETVAL_INVALID_SIGNATURE);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(problem, 0);
  // A failed request's result is no index.
  EXPECT_EQ(DirectCreateItem(kSimAdapter, 42, 0, 0, 0, 64),
            NVCRETVAL_DEVICE_DRIVER_INTERFACE_FAILURE);
}

TEST_F(DirectTransportTest, APositiveResultByteIsARefusalNotAnItemCount) {
  Open(R"(, "faults": {"install_refusal": {"result": 5, "problem_item": 1}})");
  int32_t problem = -1;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(DirectInstallUpdate(kSimAdapter, BuildTestPackage("23.0.1", 100), &problem, nullptr, 0),
            NVCRETVAL_FAILURE);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(problem, 1);
}

// The log's find request holds the device; the read goes through the same
// handle, as a second unshared open of the device is refused meanwhile.
TEST_F(DirectTransportTest, PackageLogIsReadOnTheHandleOfItsFindRequest) {
  Open();
  std::vector<uint8_t> log;
  NvmDirEntry entry;
  ASSERT_EQ(DirectReadPackageLog(kSimAdapter, entry, log), NVCRETVAL_SUCCESS);
  EXPECT_EQ(entry.dir_data_length, log.size());
  EXPECT_EQ(recorder().opens, 1);
  std::string version;
  ASSERT_TRUE(PackageLogVersion(log, version));
  EXPECT_EQ(version, "21.6.2");

  auto held = OpenAdapterDevice(kSimAdapter);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(OpenAdapterDevice(kSimAdapter), nullptr);
}

}  // namespace
}  // namespace skyfw
