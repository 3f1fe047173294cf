#include "support/machine_builder.h"

#include <gtest/gtest.h>

#include "os/file_names.h"
#include "sim/machine/machine.h"

namespace skyfw::testing {

MachineBuilder::MachineBuilder()
    : description_({{"adapters", Json::array()}, {"devices", Json::array()}}) {}

MachineBuilder MachineBuilder::Demo() { return FromText(std::string(sim::DemoMachineJson())); }

MachineBuilder MachineBuilder::FromText(const std::string& json_text) {
  MachineBuilder builder;
  builder.description_ = Json::parse(json_text);
  return builder;
}

MachineBuilder MachineBuilder::From(const nlohmann::json& description) {
  return FromText(description.dump());
}

MachineBuilder MachineBuilder::From(const Json& description) {
  MachineBuilder builder;
  builder.description_ = description;
  return builder;
}

MachineBuilder& MachineBuilder::AddAdapter(const nlohmann::json& adapter) {
  description_["adapters"].push_back(Json::parse(adapter.dump()));
  return *this;
}

MachineBuilder& MachineBuilder::AddDevice(const nlohmann::json& device) {
  description_["devices"].push_back(Json::parse(device.dump()));
  return *this;
}

MachineBuilder& MachineBuilder::AddPort(const std::string& adapter_id, uint32_t bus,
                                        const std::string& title, const std::string& interface_guid,
                                        const std::string& mac, const nlohmann::json& extra) {
  nlohmann::json device = {{"adapter", adapter_id},
                           {"location", {{"bus", bus}, {"device", 0}, {"function", 0}}},
                           {"description", title},
                           {"class_values", {{"NetCfgInstanceId", interface_guid}}},
                           {"port", {{"permanent_mac", mac}}}};
  for (const auto& [name, value] : extra.items()) {
    if (name == "class_values") {
      device["class_values"].update(value);
    } else {
      device[name] = value;
    }
  }
  return AddDevice(device);
}

MachineBuilder& MachineBuilder::SetFaults(const nlohmann::json& faults) {
  return Set("faults", faults);
}

MachineBuilder& MachineBuilder::Set(const std::string& member, const nlohmann::json& value) {
  description_[member] = Json::parse(value.dump());
  return *this;
}

bool MachineBuilder::WriteTo(const std::string& folder, std::string& error) const {
  return sim::InitMachine(platform::PathFromUtf8(folder), Text(), error);
}

std::string MachineBuilder::Write(const TempDir& directory) const {
  std::string machine = directory.File("machine");
  std::string error;
  EXPECT_TRUE(WriteTo(machine, error)) << "machine description refused: " << error;
  return machine;
}

BuiltMachine::BuiltMachine(const MachineBuilder& builder) {
  std::string error;
  path_ = directory_.File("machine");
  if (!builder.WriteTo(path_, error)) {
    ADD_FAILURE() << "machine description refused: " << error;
    return;
  }
  if (!sim::OpenMachine(platform::PathFromUtf8(path_), platform_, error)) {
    ADD_FAILURE() << "machine not opened: " << error;
  }
}

BuiltMachine::~BuiltMachine() {
  if (installed_) platform::Install(nullptr);
  // The machine goes before its folder: it holds files in it open.
  platform_.reset();
}

void BuiltMachine::Install() {
  if (!platform_) return;
  platform::Install(platform_.get());
  installed_ = true;
}

std::unique_ptr<platform::Platform> BuiltMachine::Reopen() const {
  std::unique_ptr<platform::Platform> platform;
  std::string error;
  EXPECT_TRUE(sim::OpenMachine(platform::PathFromUtf8(path_), platform, error)) << error;
  return platform;
}

std::string BuiltMachine::NvramPath(const std::string& adapter_id) const {
  return path_ + platform::kPathSeparator + "nvram" + platform::kPathSeparator + adapter_id +
         ".nvram";
}

}  // namespace skyfw::testing
