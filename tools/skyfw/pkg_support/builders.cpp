#include "builders.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "integrity/crc32.h"
#include "integrity/signed_image.h"
#include "package/item_types.h"
#include "package/package_writer.h"
#include "package/vpd.h"

namespace skyfw::tool {

namespace {

void AppendCrc(Bytes& image) { ByteWriter(image).PutU32(Crc32(kCrc32Seed, image)); }

void PutKeyword(ByteWriter& writer, const std::string& name, ByteView value) {
  writer.PutFixedText(name, 2);
  writer.PutU8(static_cast<uint8_t>(value.size()));
  writer.PutBytes(value);
}

ByteView TextBytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

Bytes FillerBytes(size_t length, uint32_t seed) {
  Bytes bytes(length);
  uint32_t state = seed * 2654435761u + 1;
  for (uint8_t& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

Bytes BuildHeaderSignedImage(const ImageSigner& signer, uint8_t image_code, ByteView payload) {
  Bytes image;
  ByteWriter writer(image);
  writer.PutBytes(ByteView(kSignedHeaderMagic, 4));
  writer.PutU8(0);
  writer.PutU8(image_code);
  writer.PutU8(kSignedHeaderFormat);
  writer.PutU8(0);
  writer.PutU32(static_cast<uint32_t>(payload.size()));
  writer.PutZeros(20);
  writer.PutBytes(payload);
  writer.PutBytes(signer.Sign(image));
  AppendCrc(image);
  return image;
}

Bytes BuildTrailerSignedImage(const ImageSigner& signer, uint16_t item_type, ByteView payload,
                              const std::string& version) {
  Bytes image(payload.begin(), payload.end());
  ByteWriter writer(image);
  writer.PutBytes(signer.Sign(image));
  writer.PutFixedText(version, kTrailerItemTypeOffset);
  writer.PutU16(item_type);
  writer.PutU16(static_cast<uint16_t>(kSignedTrailerAreaLength));
  writer.PutBytes(ByteView(kTrailerMagic, 4));
  AppendCrc(image);
  return image;
}

std::optional<uint8_t> ImageCodeForType(uint16_t item_type) {
  static constexpr std::pair<uint8_t, uint16_t> kCodes[] = {
      {5, 4}, {7, 10}, {15, 11}, {17, 12}, {18, 13}, {19, 14}, {20, 15}, {21, 3}, {22, 66}};
  for (auto [code, type] : kCodes) {
    if (type == item_type) return code;
  }
  return std::nullopt;
}

Bytes BuildMarkedBlock(uint16_t item_type, size_t length) {
  const size_t start = item_type == 61 ? 256 : 0;
  Bytes block = FillerBytes(std::max(length, start + 64), item_type);
  ByteWriter writer(block);
  writer.SetU32At(start, 0xA5A5A5A5);
  writer.SetU32At(start + 60, 0x45F2D99A);
  return block;
}

Bytes BuildVpd(const std::string& identifier, const std::vector<VpdKeyword>& read_only,
               size_t rv_reserve, const std::vector<VpdKeyword>* read_write, size_t rw_free) {
  Bytes vpd;
  ByteWriter writer(vpd);
  writer.PutU8(0x82);
  writer.PutU16(static_cast<uint16_t>(identifier.size()));
  writer.PutText(identifier);

  size_t section_length = 3 + rv_reserve;
  for (const VpdKeyword& keyword : read_only) section_length += 3 + keyword.value.size();
  writer.PutU8(0x90);
  writer.PutU16(static_cast<uint16_t>(section_length));
  for (const VpdKeyword& keyword : read_only)
    PutKeyword(writer, keyword.name, TextBytes(keyword.value));
  writer.PutText("RV");
  writer.PutU8(static_cast<uint8_t>(rv_reserve));
  const size_t checksum_at = vpd.size();
  writer.PutZeros(rv_reserve);

  if (read_write != nullptr) {
    size_t write_length = 3 + rw_free;
    for (const VpdKeyword& keyword : *read_write) write_length += 3 + keyword.value.size();
    writer.PutU8(0x91);
    writer.PutU16(static_cast<uint16_t>(write_length));
    for (const VpdKeyword& keyword : *read_write) {
      PutKeyword(writer, keyword.name, TextBytes(keyword.value));
    }
    writer.PutText("RW");
    writer.PutU8(static_cast<uint8_t>(rw_free));
    writer.PutZeros(rw_free);
  }
  writer.PutU8(0x78);
  if (rv_reserve > 0) {
    unsigned sum = 0;
    for (size_t i = 0; i < checksum_at; ++i) sum += vpd[i];
    vpd[checksum_at] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
  }
  return vpd;
}

NvmStatus BuildPropertyArea(const PackagePlan& plan, Bytes& area) {
  size_t length = 0;
  auto room = [&length](size_t value_length) { length += 3 + value_length; };
  if (!plan.description.empty()) room(plan.description.size());
  if (!plan.device_ids.empty()) room(plan.device_ids.size() * 2);
  if (plan.lowest_revision) room(1);
  if (plan.highest_revision) room(1);
  if (!plan.version.empty()) room(plan.version.size());
  if (plan.subsystem_vendor) room(2);
  if (plan.subsystem_id) room(2);
  if (!plan.prerequisite.empty()) room(plan.prerequisite.size());
  area.assign(length, 0);

  auto put = [&area](uint8_t tag, ByteView value) {
    NvmStatus status = SetProperty(area, tag, value);
    return status < 0 ? status : NVCRETVAL_SUCCESS;
  };
  auto u16 = [](uint16_t value) {
    return Bytes{static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  };
  NvmStatus status = NVCRETVAL_SUCCESS;
  if (!plan.description.empty() && status == 0) {
    status = put(kPropertyDescription, TextBytes(plan.description));
  }
  if (!plan.device_ids.empty() && status == 0) {
    Bytes ids;
    for (uint16_t id : plan.device_ids) {
      Bytes one = u16(id);
      ids.insert(ids.end(), one.begin(), one.end());
    }
    status = put(kPropertyDeviceIds, ids);
  }
  if (plan.lowest_revision && status == 0) {
    status = put(kPropertyLowestRevision, Bytes{*plan.lowest_revision});
  }
  if (plan.highest_revision && status == 0) {
    status = put(kPropertyHighestRevision, Bytes{*plan.highest_revision});
  }
  if (!plan.version.empty() && status == 0) status = put(kPropertyVersion, TextBytes(plan.version));
  if (plan.subsystem_vendor && status == 0) {
    status = put(kPropertySubsystemVendor, u16(*plan.subsystem_vendor));
  }
  if (plan.subsystem_id && status == 0) status = put(kPropertySubsystemId, u16(*plan.subsystem_id));
  if (!plan.prerequisite.empty() && status == 0) {
    status = put(kPropertyPrerequisite, TextBytes(plan.prerequisite));
  }
  return status;
}

NvmStatus BuildPackage(const PackagePlan& plan, Bytes& package, int32_t* failing_index) {
  Bytes area;
  NvmStatus status = BuildPropertyArea(plan, area);
  if (status != NVCRETVAL_SUCCESS) return status;

  std::vector<PackageItemEntry> records(plan.items.size());
  std::vector<ByteView> data(plan.items.size());
  for (size_t i = 0; i < plan.items.size(); ++i) {
    const PackageItemPlan& item = plan.items[i];
    PackageItemEntry& record = records[i];
    record.set_directive(item.directive);
    record.set_dir_type(item.type);
    record.set_dir_ordinal(item.ordinal);
    record.set_dir_ext(item.ext);
    record.set_dir_attr(item.attr);
    record.set_data_length(static_cast<uint32_t>(item.data.size()));
    record.set_dir_item_length(item.item_length != 0 ? item.item_length
                                                     : static_cast<uint32_t>(item.data.size()));
    data[i] = item.data;
  }

  std::unique_ptr<std::FILE, FileCloser> file(std::tmpfile());
  if (!file) return NVCRETVAL_FILE_OPEN_FAILURE;
  status = WritePackage(file.get(), area, area.size(), records, data, failing_index, true);
  if (status != NVCRETVAL_SUCCESS) return status;
  std::fseek(file.get(), 0, SEEK_END);
  const long size = std::ftell(file.get());
  if (size < 0) return NVCRETVAL_FILE_SEEK_FAILURE;
  std::rewind(file.get());
  package.resize(static_cast<size_t>(size));
  if (std::fread(package.data(), 1, package.size(), file.get()) != package.size()) {
    return NVCRETVAL_FILE_READ_FAILURE;
  }
  return NVCRETVAL_SUCCESS;
}

Bytes WrapPackage(ByteView package) {
  Bytes wrapped;
  ByteWriter writer(wrapped);
  writer.PutBytes(ByteView(kWrapperIdentifier, 16));
  writer.PutU8(kWrapperVersion);
  const uint16_t wrapper_length = 40;
  writer.PutU16(wrapper_length);
  writer.PutZeros(wrapper_length - 4 - wrapped.size());
  writer.PutU32(Crc32(kCrc32Seed, wrapped));
  writer.PutBytes(package);
  return wrapped;
}

}  // namespace skyfw::tool
