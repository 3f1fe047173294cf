#include "pkg_describe.h"

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "command_output.h"
#include "integrity/crc32.h"
#include "integrity/signed_image.h"
#include "package/item_types.h"
#include "package/package_format.h"
#include "package/package_verifier.h"
#include "pkg_common.h"

namespace skyfw::tool {

namespace {

using nlohmann::json;

const char* PropertyName(uint8_t tag) {
  switch (tag) {
    case kPropertyDescription:
      return "description";
    case kPropertyDeviceIds:
      return "device IDs";
    case kPropertyLowestRevision:
      return "lowest revision";
    case kPropertyHighestRevision:
      return "highest revision";
    case kPropertyCreator:
      return "creator";
    case kPropertyCreationTime:
      return "created";
    case kPropertyVersion:
      return "version";
    case kPropertySubsystemVendor:
      return "subsystem vendor";
    case kPropertySubsystemId:
      return "subsystem ID";
    case kPropertyPrerequisite:
      return "prerequisite";
    default:
      return "unknown";
  }
}

std::string Hex16(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

std::string Hex32(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// A property value shown by its meaning.
std::string DecodeProperty(uint8_t tag, ByteView value) {
  ByteReader reader(value);
  switch (tag) {
    case kPropertyDeviceIds: {
      std::string ids;
      for (size_t i = 0; i + 2 <= value.size(); i += 2) {
        uint16_t id = 0;
        reader.U16At(i, id);
        ids += (ids.empty() ? "" : " ") + Hex16(id);
      }
      return ids;
    }
    case kPropertyLowestRevision:
    case kPropertyHighestRevision:
      return value.empty() ? "" : std::to_string(value[0]);
    case kPropertySubsystemVendor:
    case kPropertySubsystemId: {
      uint16_t id = 0;
      return reader.U16At(0, id) ? (id == 0xFFFF ? Hex16(id) + " (any)" : Hex16(id)) : "";
    }
    default: {
      std::string text;
      for (uint8_t byte : value) {
        if (byte >= 0x20 && byte < 0x7F) {
          text += static_cast<char>(byte);
        } else {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
          text += escaped;
        }
      }
      return text;
    }
  }
}

const char* ItemClass(uint16_t type) {
  if (IsHeaderSignedType(type)) return "image, signed header";
  if (IsTrailerSignedType(type)) return "image, signed trailer";
  if (IsMarkedBlockType(type)) return "marked block";
  if (type == kVpdItemType) return "VPD";
  return "data";
}

// The signature status of an item's data, when its type carries one.
std::string SignatureStatus(const PackageItemEntry& entry, ByteView data) {
  if (IsHeaderSignedType(entry.dir_type())) return NvmStatusText(VerifyHeaderSignedImage(data));
  if (IsTrailerSignedType(entry.dir_type()) || (entry.dir_attr() & kAttrSignedTrailer)) {
    return NvmStatusText(VerifyTrailerSignedImage(data));
  }
  return "-";
}

json InspectItems(ByteView package, uint64_t trailer_start) {
  json items = json::array();
  uint32_t count = 0;
  if (GetPackageItemCount(package, count) != NVCRETVAL_SUCCESS) return items;
  PackageItemEntry entry;
  for (uint32_t k = 0; k < count; ++k) {
    NvmStatus status = ReadPackageItem(package, k, entry);
    if (status != 1) {
      items.push_back({{"index", k + 1}, {"error", NvmStatusText(status)}});
      break;
    }
    json item = {{"index", k + 1},
                 {"type", entry.dir_type()},
                 {"class", ItemClass(entry.dir_type())},
                 {"ordinal", entry.dir_ordinal()},
                 {"ext", entry.dir_ext()},
                 {"attr", Hex16(entry.dir_attr())},
                 {"directive", entry.directive()},
                 {"offset", entry.data_offset()},
                 {"item_length", entry.dir_item_length()},
                 {"data_length", entry.data_length()},
                 {"crc", Hex32(entry.checksum())}};
    ByteView data;
    if (entry.data_length() == 0) {
      item["crc_status"] = "-";
      item["signature"] = "-";
    } else if (entry.data_offset() > trailer_start ||
               !ByteReader(package.first(trailer_start))
                    .ViewAt(entry.data_offset(), entry.data_length(), data)) {
      item["crc_status"] = "outside the package";
      item["signature"] = "-";
    } else {
      const bool crc_ok = Crc32(kCrc32Seed, data) == entry.checksum();
      item["crc_status"] = (entry.dir_attr() & kAttrNoChecksum) ? (crc_ok ? "ok" : "not checked")
                                                                : (crc_ok ? "ok" : "WRONG");
      item["signature"] = SignatureStatus(entry, data);
      if (uint16_t declared = GetImageType(data); declared != 0) item["declared_type"] = declared;
    }
    items.push_back(item);
  }
  return items;
}

void PrintText(const json& report) {
  std::printf(
      "File:        %s (%s bytes%s)\n", report["file"].get<std::string>().c_str(),
      std::to_string(report["size"].get<uint64_t>()).c_str(),
      report["wrapper_length"].get<uint64_t>() != 0
          ? (", wrapper of " + std::to_string(report["wrapper_length"].get<uint64_t>()) + " bytes")
                .c_str()
          : "");
  const json& header = report["header"];
  std::printf("Header:      PKG0, trailer length %u, header length %u\n",
              header["trailer_length"].get<unsigned>(), header["header_length"].get<unsigned>());
  std::printf("Properties:  %zu\n", report["properties"].size());
  for (const json& property : report["properties"]) {
    std::printf("  %3u  %-17s %s%s\n", property["tag"].get<unsigned>(),
                property["name"].get<std::string>().c_str(),
                property["value"].get<std::string>().c_str(),
                property.contains("error") ? "  [runs past the end]" : "");
  }
  if (report.contains("manifest_error")) {
    std::printf("Manifest:    %s\n", report["manifest_error"].get<std::string>().c_str());
  } else {
    std::printf("Manifest:    %zu items\n", report["items"].size());
    std::printf("  %3s  %5s %-22s %4s %4s %6s %3s %10s %10s %10s  %-10s  %-19s %s\n", "#", "type",
                "class", "ord", "ext", "attr", "dir", "offset", "item len", "data len", "crc",
                "crc status", "signature");
    for (const json& item : report["items"]) {
      if (item.contains("error")) {
        std::printf("  %3u  %s\n", item["index"].get<unsigned>(),
                    item["error"].get<std::string>().c_str());
        continue;
      }
      std::printf("  %3u  %5u %-22s %4u %4u %6s %3u %10u %10u %10u  %-10s  %-19s %s\n",
                  item["index"].get<unsigned>(), item["type"].get<unsigned>(),
                  item["class"].get<std::string>().c_str(), item["ordinal"].get<unsigned>(),
                  item["ext"].get<unsigned>(), item["attr"].get<std::string>().c_str(),
                  item["directive"].get<unsigned>(), item["offset"].get<unsigned>(),
                  item["item_length"].get<unsigned>(), item["data_length"].get<unsigned>(),
                  item["crc"].get<std::string>().c_str(),
                  item["crc_status"].get<std::string>().c_str(),
                  item["signature"].get<std::string>().c_str());
    }
  }
  if (report.contains("package_crc")) {
    std::printf("Package CRC: %s (%s)\n",
                report["package_crc"]["stored"].get<std::string>().c_str(),
                report["package_crc"]["status"].get<std::string>().c_str());
  }
  const json& verify = report["verify"];
  std::printf("Verify:      %s", verify["name"].get<std::string>().c_str());
  if (verify.contains("item")) std::printf(", item %u", verify["item"].get<unsigned>());
  std::printf("\n");
}

}  // namespace

int RunInspect(const GlobalOptions& global_options, const InspectArguments& arguments) {
  GlobalOptions options = global_options;
  options.json = options.json || arguments.json;
  std::error_code missing;
  if (!std::filesystem::exists(arguments.file, missing)) {
    return Fail(options, kExitFileNotFound, arguments.file + ": no such file",
                {{"file", arguments.file}});
  }
  NvmPackage package;
  NvmStatus status = ReadPackageFile(arguments.file, package);
  if (status != NVCRETVAL_SUCCESS) {
    return Fail(options, kExitFailure,
                arguments.file + ": cannot read package: " + StatusText(status),
                {{"file", arguments.file},
                 {"read", {{"status", status}, {"name", NvmStatusText(status)}}}});
  }
  const ByteView bytes = package.package();
  PackageHeader header;
  CheckPackageHeader(bytes, header);
  const uint64_t trailer_start = bytes.size() - header.trailer_length;

  json report = {
      {"file", arguments.file},
      {"size", package.file().size()},
      {"wrapper_length", package.wrapper_length()},
      {"header",
       {{"trailer_length", header.trailer_length}, {"header_length", header.header_length}}}};
  json properties = json::array();
  const ByteView area =
      bytes.subspan(kPackageHeaderLength, header.header_length - kPackageHeaderLength);
  ForEachProperty(area, [&](uint8_t tag, size_t offset, uint16_t length) {
    json property = {{"tag", tag}, {"name", PropertyName(tag)}, {"length", length}};
    ByteView value;
    // Values may reach into the manifest (the verifier refuses that); show
    // what lies within the package.
    if (ByteReader(bytes).ViewAt(kPackageHeaderLength + offset, length, value)) {
      property["value"] = DecodeProperty(tag, value);
    } else {
      property["value"] = "";
      property["error"] = "value runs past the end of the package";
    }
    properties.push_back(property);
    return true;
  });
  report["properties"] = properties;

  ManifestHeader manifest;
  status = ReadManifestHeader(bytes, manifest);
  if (status != NVCRETVAL_SUCCESS) {
    report["manifest_error"] = NvmStatusText(status);
  } else {
    report["manifest"] = {{"item_count", manifest.item_count},
                          {"descriptor_length", manifest.descriptor_length},
                          {"identity_length", manifest.identity_length}};
    report["items"] = InspectItems(bytes, trailer_start);
  }
  if (header.trailer_length >= 4) {
    uint32_t stored = 0;
    ByteReader(bytes).U32At(bytes.size() - 4, stored);
    const bool ok = Crc32(kCrc32Seed, bytes.first(trailer_start)) == stored;
    report["package_crc"] = {{"stored", Hex32(stored)}, {"status", ok ? "ok" : "WRONG"}};
  }
  int32_t index = -1;
  status = VerifyPackage(bytes, &index);
  report["verify"] = {{"status", status}, {"name", NvmStatusText(status)}};
  if (index >= 0) report["verify"]["item"] = index + 1;

  if (options.json) {
    EmitJson(options, report, kExitOk);
  } else {
    PrintText(report);
  }
  return kExitOk;
}

}  // namespace skyfw::tool
