// skyfw pkg: make firmware images and packages, inspect and verify packages.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "builders.h"
#include "command_output.h"
#include "command_registry.h"
#include "host_session.h"
#include "image_signer.h"
#include "os/file_names.h"
#include "os/file_reader.h"
#include "os/file_writer.h"
#include "package/item_types.h"
#include "package/package_format.h"
#include "package/package_verifier.h"
#include "pkg_common.h"
#include "pkg_describe.h"

namespace skyfw::tool {
namespace {

// --- verify ---------------------------------------------------------------

struct DeviceIdentity {
  uint16_t vendor = 0;
  uint16_t device = 0;
  uint16_t subsystem_vendor = 0;
  uint16_t subsystem = 0;
  int revision = -1;
};

// VID:DID:SVID:SSID[:REV], IDs in hex, REV a number.
std::optional<DeviceIdentity> ParseDevice(const std::string& text) {
  const std::vector<std::string> parts = Split(text, ':');
  if (parts.size() != 4 && parts.size() != 5) return std::nullopt;
  uint16_t ids[4];
  for (size_t i = 0; i < 4; ++i) {
    auto value = ParseHexNumber(parts[i], 0xFFFF);
    if (!value) return std::nullopt;
    ids[i] = static_cast<uint16_t>(*value);
  }
  DeviceIdentity device{ids[0], ids[1], ids[2], ids[3], -1};
  if (parts.size() == 5) {
    auto revision = ParseNumber(parts[4], 255);
    if (!revision) return std::nullopt;
    device.revision = static_cast<int>(*revision);
  }
  return device;
}

struct VerifyArguments {
  std::string file;
  std::string device;
  std::string current_version;
  bool json = false;
};

int RunVerify(const GlobalOptions& global_options, const VerifyArguments& arguments) {
  GlobalOptions options = global_options;
  options.json = options.json || arguments.json;
  std::optional<DeviceIdentity> device;
  if (!arguments.device.empty()) {
    device = ParseDevice(arguments.device);
    if (!device) {
      return Fail(options, kExitUsage,
                  "--device wants VID:DID:SVID:SSID[:REV] (IDs in hex), not " + arguments.device);
    }
  }
  std::error_code missing;
  if (!std::filesystem::exists(arguments.file, missing)) {
    return Fail(options, kExitFileNotFound, arguments.file + ": no such file",
                {{"file", arguments.file}});
  }

  nlohmann::json report = {{"file", arguments.file}};
  NvmPackage package;
  NvmStatus status = ReadPackageFile(arguments.file, package);
  report["read"] = {{"status", status}, {"name", NvmStatusText(status)}};
  int32_t index = -1;
  if (status == NVCRETVAL_SUCCESS) {
    status = VerifyPackage(package.package(), &index);
    report["verify"] = {{"status", status}, {"name", NvmStatusText(status)}};
    if (index >= 0) report["verify"]["item"] = index + 1;
  }
  NvmStatus applicability = NVCRETVAL_SUCCESS;
  if (status == NVCRETVAL_SUCCESS && device) {
    applicability =
        CheckPackageApplicability(package.package(), device->vendor, device->device,
                                  device->subsystem_vendor, device->subsystem, device->revision);
    report["applicability"] = {{"status", applicability}, {"name", NvmStatusText(applicability)}};
  }
  bool prerequisite_met = true;
  std::string prerequisite;
  if (status == NVCRETVAL_SUCCESS && !arguments.current_version.empty()) {
    prerequisite_met =
        IsPrerequisiteMet(package.package(), arguments.current_version, &prerequisite);
    report["prerequisite"] = {{"current", arguments.current_version},
                              {"required", prerequisite},
                              {"met", prerequisite_met}};
  }
  const bool ok =
      status == NVCRETVAL_SUCCESS && applicability == NVCRETVAL_SUCCESS && prerequisite_met;
  report["valid"] = ok;

  if (options.json) {
    CommandError error;
    error.message = arguments.file + ": " +
                    (!report.contains("verify") ? "cannot read package: " + StatusText(status)
                                                : "does not verify");
    EmitJson(options, report, ok ? kExitOk : kExitFailure, &error);
  } else if (!report.contains("verify")) {
    std::printf("%s: cannot read package: %s\n", arguments.file.c_str(),
                StatusText(status).c_str());
  } else {
    std::printf("%s: verify %s", arguments.file.c_str(), StatusText(status).c_str());
    if (index >= 0) std::printf(", item %d", index + 1);
    std::printf("\n");
    if (report.contains("applicability")) {
      std::printf("%s: applicability to %s %s\n", arguments.file.c_str(), arguments.device.c_str(),
                  StatusText(applicability).c_str());
    }
    if (report.contains("prerequisite")) {
      std::printf("%s: prerequisite %s %s by %s\n", arguments.file.c_str(),
                  prerequisite.empty() ? "(none)" : prerequisite.c_str(),
                  prerequisite_met ? "met" : "NOT met", arguments.current_version.c_str());
    }
  }
  return ok ? kExitOk : kExitFailure;
}

// --- make-image -----------------------------------------------------------

struct ImageArguments {
  std::string output;
  std::string type;
  std::string framing;
  std::string code;
  std::string size = "4096";
  std::string seed = "1";
  std::string payload_file;
  std::string version;
  std::string key_file;
};

// The key file given, or the development key installed with the program
// (never compiled into it), with a warning that it protects nothing.
std::unique_ptr<ImageSigner> LoadSigner(const GlobalOptions& options, const std::string& key_file,
                                        std::string& error) {
  std::string path = key_file;
  if (path.empty()) {
    path = platform::FromFileSystemPath(platform::PathFromUtf8(DataFolder()) /
                                        "dev_signing_private.pem");
    Warn(options, "signing with the development key " + path +
                      " (published with the sources: for development and tests only; give "
                      "--key for real firmware)");
  }
  auto signer = ImageSigner::FromFile(path, error);
  if (!signer) error = path + ": " + error;
  return signer;
}

// What a pkg command that wrote a file answers.
int Written(const GlobalOptions& options, const std::string& file, size_t size,
            const std::string& description) {
  if (options.json) {
    EmitJson(options, {{"file", file}, {"size", size}}, kExitOk);
  } else {
    std::printf("%s: %s, %zu bytes\n", file.c_str(), description.c_str(), size);
  }
  return kExitOk;
}

int RunMakeImage(const GlobalOptions& options, const ImageArguments& arguments) {
  auto type = ParseNumber(arguments.type, 0xFFFF);
  auto size = ParseNumber(arguments.size, 64u * 1024 * 1024);
  auto seed = ParseNumber(arguments.seed, 0xFFFFFFFF);
  if (!type || !size || !seed) {
    return Fail(options, kExitUsage,
                "--type, --size and --seed want numbers (--size at most 64 MiB)");
  }
  const uint16_t item_type = static_cast<uint16_t>(*type);
  std::string framing = arguments.framing;
  if (framing.empty()) {
    if (IsHeaderSignedType(item_type)) framing = "header";
    if (IsTrailerSignedType(item_type)) framing = "trailer";
  }
  if (framing != "header" && framing != "trailer") {
    return Fail(options, kExitUsage,
                "type " + arguments.type +
                    " is not a signed image type; give --framing header or --framing trailer");
  }
  if (framing == "trailer" && arguments.version.size() > 20) {
    return Fail(options, kExitUsage, "--version holds at most 20 characters in a trailer");
  }

  Bytes payload;
  if (!arguments.payload_file.empty()) {
    if (int reason = platform::ReadRegularFile(arguments.payload_file, payload); reason != 0) {
      return Fail(options, kExitFailure,
                  "cannot read " + arguments.payload_file + ": " + platform::FileErrorText(reason));
    }
  } else {
    payload = FillerBytes(static_cast<size_t>(*size), static_cast<uint32_t>(*seed));
  }
  std::string key_error;
  auto signer = LoadSigner(options, arguments.key_file, key_error);
  if (!signer) return Fail(options, kExitFailure, key_error);

  Bytes image;
  if (framing == "header") {
    uint8_t code = ImageCodeForType(item_type).value_or(0);
    if (!arguments.code.empty()) {
      auto given = ParseNumber(arguments.code, 255);
      if (!given) {
        return Fail(options, kExitUsage, "--code wants a number from 0 to 255");
      }
      code = static_cast<uint8_t>(*given);
    }
    image = BuildHeaderSignedImage(*signer, code, payload);
  } else {
    image = BuildTrailerSignedImage(*signer, item_type, payload, arguments.version);
  }
  if (int reason = platform::WriteWholeFile(arguments.output, image); reason != 0) {
    return Fail(options, kExitFailure,
                "cannot write " + arguments.output + ": " + platform::FileErrorText(reason));
  }
  return Written(options, arguments.output, image.size(),
                 framing + "-signed image of type " + std::to_string(item_type));
}

// --- make-vpd -------------------------------------------------------------

struct VpdArguments {
  std::string output;
  std::string identifier = "Norvane Skyline Adapter";
  std::vector<std::string> read_only;
  std::vector<std::string> read_write;
  std::string reserve = "32";
};

std::optional<std::vector<VpdKeyword>> ParseKeywords(const std::vector<std::string>& texts) {
  std::vector<VpdKeyword> keywords;
  for (const std::string& text : texts) {
    const size_t equals = text.find('=');
    if (equals != 2 || text.size() - 3 > 255) return std::nullopt;
    keywords.push_back({text.substr(0, 2), text.substr(3)});
  }
  return keywords;
}

// The value length of a keyword section: its keywords, then RV or RW with
// `closing_bytes` after its 3-byte head.
size_t SectionLength(const std::vector<VpdKeyword>& keywords, size_t closing_bytes) {
  size_t length = 3 + closing_bytes;
  for (const VpdKeyword& keyword : keywords) length += 3 + keyword.value.size();
  return length;
}

int RunMakeVpd(const GlobalOptions& options, const VpdArguments& arguments) {
  auto read_only = ParseKeywords(arguments.read_only);
  auto read_write = ParseKeywords(arguments.read_write);
  auto reserve = ParseNumber(arguments.reserve, 255);
  if (!read_only || !read_write || !reserve || *reserve < 1) {
    return Fail(options, kExitUsage,
                "keywords are XX=VALUE (up to 255 bytes); --rv-reserve is 1 to 255");
  }
  // A resource's length is a 16-bit field: a longer one would be written cut
  // and the VPD malformed.
  constexpr size_t kMaxResourceLength = 0xFFFF;
  constexpr size_t kRwFreeBytes = 16;  // BuildVpd's free area behind RW
  if (arguments.identifier.size() > kMaxResourceLength ||
      SectionLength(*read_only, static_cast<size_t>(*reserve)) > kMaxResourceLength ||
      SectionLength(*read_write, kRwFreeBytes) > kMaxResourceLength) {
    return Fail(options, kExitUsage,
                "the identifier and each keyword section hold at most 65535 bytes");
  }
  Bytes item(4, 0);  // the item's uninterpreted prefix
  const Bytes vpd = BuildVpd(arguments.identifier, *read_only, static_cast<size_t>(*reserve),
                             read_write->empty() ? nullptr : &*read_write);
  item.insert(item.end(), vpd.begin(), vpd.end());
  if (int reason = platform::WriteWholeFile(arguments.output, item); reason != 0) {
    return Fail(options, kExitFailure,
                "cannot write " + arguments.output + ": " + platform::FileErrorText(reason));
  }
  return Written(options, arguments.output, item.size(), "VPD item");
}

// --- build ----------------------------------------------------------------

struct BuildArguments {
  std::string output;
  std::string description;
  std::string version;
  std::string prerequisite;
  std::vector<std::string> device_ids;
  std::string subsystem_vendor;
  std::string subsystem_id;
  std::string revisions;
  std::vector<std::string> items;
  bool wrap = false;
};

// TYPE[:ORDINAL[:EXT[:ATTR[:DIRECTIVE[:ITEM_LENGTH]]]]]=FILE
bool ParseItem(const std::string& text, PackageItemPlan& item, std::string& error) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals + 1 == text.size()) {
    error = "--item wants TYPE[:ORDINAL[:EXT[:ATTR[:DIRECTIVE[:LENGTH]]]]]=FILE, not " + text;
    return false;
  }
  const std::vector<std::string> fields = Split(text.substr(0, equals), ':');
  const uint64_t maxima[] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFF, 0xFFFFFFFF};
  uint64_t values[6] = {};
  if (fields.size() > 6) {
    error = "too many fields in --item " + text;
    return false;
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    auto value = ParseNumber(fields[i], maxima[i]);
    if (!value) {
      error = "bad number '" + fields[i] + "' in --item " + text;
      return false;
    }
    values[i] = *value;
  }
  if (values[0] == 0) {
    error = "item type 0 marks an unused record; give a type from 1 to 65535";
    return false;
  }
  item.type = static_cast<uint16_t>(values[0]);
  item.ordinal = static_cast<uint16_t>(values[1]);
  item.ext = static_cast<uint16_t>(values[2]);
  item.attr = static_cast<uint16_t>(values[3]);
  item.directive = static_cast<uint8_t>(values[4]);
  item.item_length = static_cast<uint32_t>(values[5]);
  const std::string file = text.substr(equals + 1);
  if (int reason = platform::ReadRegularFile(file, item.data); reason != 0) {
    error = "cannot read " + file + ": " + platform::FileErrorText(reason);
    return false;
  }
  return true;
}

int RunBuild(const GlobalOptions& options, const BuildArguments& arguments) {
  PackagePlan plan;
  plan.description = arguments.description;
  plan.version = arguments.version;
  plan.prerequisite = arguments.prerequisite;
  std::string error;
  for (const std::string& id : arguments.device_ids) {
    for (const std::string& part : Split(id, ',')) {
      auto value = ParseHexNumber(part, 0xFFFF);
      if (!value) {
        return Fail(options, kExitUsage,
                    "--device-id wants hexadecimal PCI device IDs, not " + part);
      }
      plan.device_ids.push_back(static_cast<uint16_t>(*value));
    }
  }
  for (auto [text, target] : {std::pair{&arguments.subsystem_vendor, &plan.subsystem_vendor},
                              std::pair{&arguments.subsystem_id, &plan.subsystem_id}}) {
    if (text->empty()) continue;
    auto value = ParseHexNumber(*text, 0xFFFF);
    if (!value) {
      return Fail(options, kExitUsage, "subsystem IDs are hexadecimal, not " + *text);
    }
    *target = static_cast<uint16_t>(*value);
  }
  if (!arguments.revisions.empty()) {
    const std::vector<std::string> bounds = Split(arguments.revisions, ':');
    auto low = bounds.size() == 2 ? ParseNumber(bounds[0], 255) : std::nullopt;
    auto high = bounds.size() == 2 ? ParseNumber(bounds[1], 255) : std::nullopt;
    if (!low || !high || *low > *high) {
      return Fail(options, kExitUsage, "--revisions wants LOW:HIGH, numbers from 0 to 255");
    }
    plan.lowest_revision = static_cast<uint8_t>(*low);
    plan.highest_revision = static_cast<uint8_t>(*high);
  }
  if (!plan.prerequisite.empty() && plan.prerequisite.size() != plan.version.size()) {
    return Fail(options, kExitUsage,
                "the prerequisite must have as many characters as the version (pad with zeros: "
                "9.0.0 -> 09.0.0)");
  }
  for (const std::string& text : arguments.items) {
    PackageItemPlan item;
    if (!ParseItem(text, item, error)) {
      return Fail(options, kExitUsage, error);
    }
    plan.items.push_back(std::move(item));
  }

  Bytes package;
  int32_t index = -1;
  NvmStatus status = BuildPackage(plan, package, &index);
  if (status != NVCRETVAL_SUCCESS) {
    if (index >= 0) {
      return Fail(options, kExitFailure,
                  "item " + std::to_string(index + 1) + " (" + arguments.items[index] +
                      "): " + StatusText(status));
    }
    return Fail(options, kExitFailure, "cannot build the package: " + StatusText(status));
  }
  if (arguments.wrap) package = WrapPackage(package);
  if (int reason = platform::WriteWholeFile(arguments.output, package); reason != 0) {
    return Fail(options, kExitFailure,
                "cannot write " + arguments.output + ": " + platform::FileErrorText(reason));
  }
  return Written(options, arguments.output, package.size(),
                 "package of " + std::to_string(plan.items.size()) + " items");
}

// --- registration ---------------------------------------------------------

void AddPkgCommands(CLI::App& app, GlobalOptions& options, int& exit_code) {
  auto* pkg = app.add_subcommand("pkg", "Make, inspect and verify NVM firmware packages");
  pkg->require_subcommand(1);

  auto inspect = std::make_shared<InspectArguments>();
  auto* inspect_command = pkg->add_subcommand(
      "inspect", "Show a package: header, properties, manifest with CRC and signature status");
  inspect_command->add_option("FILE", inspect->file, "Package file")->required();
  inspect_command->add_flag("--json", inspect->json, "Pure JSON on standard output");
  inspect_command->callback(
      [&options, &exit_code, inspect] { exit_code = RunInspect(options, *inspect); });

  auto verify = std::make_shared<VerifyArguments>();
  auto* verify_command = pkg->add_subcommand(
      "verify", "Verify a package as the installer would (exit 1 when it fails)");
  verify_command->add_option("FILE", verify->file, "Package file")->required();
  verify_command->add_option("--device", verify->device,
                             "Also check applicability to VID:DID:SVID:SSID[:REV] (hex IDs)");
  verify_command->add_option("--current-version", verify->current_version,
                             "Also check the prerequisite against this installed version");
  verify_command->add_flag("--json", verify->json, "Pure JSON on standard output");
  verify_command->callback(
      [&options, &exit_code, verify] { exit_code = RunVerify(options, *verify); });

  auto build = std::make_shared<BuildArguments>();
  auto* build_command = pkg->add_subcommand("build", "Build a package from item files");
  build_command->add_option("-o,--output", build->output, "Package file to write")->required();
  build_command
      ->add_option("--item", build->items,
                   "TYPE[:ORDINAL[:EXT[:ATTR[:DIRECTIVE[:LENGTH]]]]]=FILE, once per item")
      ->required();
  build_command->add_option("--version", build->version, "Package version (property 9)");
  build_command->add_option("--prerequisite", build->prerequisite,
                            "Lowest installed version it may go on (same length as --version)");
  build_command->add_option("--device-id", build->device_ids, "PCI device ID(s), hex, comma list");
  build_command->add_option("--subsystem-vendor", build->subsystem_vendor, "Subsystem vendor, hex");
  build_command->add_option("--subsystem-id", build->subsystem_id, "Subsystem ID, hex");
  build_command->add_option("--revisions", build->revisions, "Chip revision range LOW:HIGH");
  build_command->add_option("--description", build->description, "Description (property 1)");
  build_command->add_flag("--wrap", build->wrap, "Put the package in the outer wrapper");
  build_command->callback([&options, &exit_code, build] { exit_code = RunBuild(options, *build); });

  auto image = std::make_shared<ImageArguments>();
  auto* image_command =
      pkg->add_subcommand("make-image", "Make a signed firmware image with the key of --key");
  image_command->add_option("-o,--output", image->output, "Image file to write")->required();
  image_command->add_option("--type", image->type, "NVM directory type of the image")->required();
  image_command->add_option("--framing", image->framing,
                            "header or trailer (default: the type's own framing)");
  image_command->add_option("--code", image->code, "Image code of a signed header");
  image_command->add_option("--size", image->size, "Payload bytes (default 4096)");
  image_command->add_option("--seed", image->seed, "Seed of the generated payload");
  image_command->add_option("--payload", image->payload_file, "Take the payload from FILE");
  image_command->add_option("--version", image->version, "Version text of a trailer (<= 20)");
  image_command->add_option("--key", image->key_file,
                            "PEM RSA-2048 private key (default: the development key, with a "
                            "warning)");
  image_command->callback(
      [&options, &exit_code, image] { exit_code = RunMakeImage(options, *image); });

  auto vpd = std::make_shared<VpdArguments>();
  auto* vpd_command =
      pkg->add_subcommand("make-vpd", "Make a VPD item (type 5) with a valid checksum");
  vpd_command->add_option("-o,--output", vpd->output, "Item file to write")->required();
  vpd_command->add_option("--id", vpd->identifier, "Identifier string");
  vpd_command->add_option("--ro", vpd->read_only, "Read-only keyword XX=VALUE (repeatable)");
  vpd_command->add_option("--rw", vpd->read_write, "Read-write keyword XX=VALUE (repeatable)");
  vpd_command->add_option("--rv-reserve", vpd->reserve, "Bytes of RV, room for later edits");
  vpd_command->callback([&options, &exit_code, vpd] { exit_code = RunMakeVpd(options, *vpd); });
}

[[maybe_unused]] const bool registered = RegisterCommandGroup("pkg", AddPkgCommands);

}  // namespace
}  // namespace skyfw::tool
