// End-to-end tests load the built plug-in as a vendor's host does, against a demo machine in a
// temporary directory. The plug-in picks its machine when it is loaded, so one test program uses
// one machine; the adapters' NVRAM is put back to its first state before every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "base/text_conversion.h"
#include "os/environment.h"
#include "sim/machine/machine.h"
#include "skyfw/oem.h"
#include "support/plugin_api.h"
#include "support/temp_dir.h"

namespace skyfw::testing {

inline std::u16string U16(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

inline std::string DemoFirmware() { return SKYFW_BINARY_DIR "/bin/firmware"; }
inline std::string DemoCatalogueFirmware() { return SKYFW_BINARY_DIR "/bin/firmware-catalogue"; }

// The machine and the loaded plug-in, for the whole test program.
class PluginHost {
 public:
  static PluginHost& Get() {
    static PluginHost* host = new PluginHost();
    return *host;
  }
  const PluginApi& api() const { return api_; }
  const std::string& machine() const { return machine_; }

  // Puts every adapter's NVRAM back as it was after the plug-in's load.
  void RestoreNvram() {
    for (const auto& [path, bytes] : nvram_) WriteFile(path, bytes);
  }

 private:
  PluginHost() {
    std::string error;
    machine_ = machine_dir_.path() + "/machine";
    if (!sim::InitMachine(machine_, sim::DemoMachineJson(), error)) {
      ADD_FAILURE() << "demo machine: " << error;
      return;
    }
    platform::SetEnvironmentText("SKYFW_MACHINE", machine_);
    if (!LoadPluginApi(SKYFW_PLUGIN_PATH, plugin_, api_)) return;
    for (const auto& entry : std::filesystem::directory_iterator(machine_ + "/nvram")) {
      if (entry.path().extension() == ".nvram") {
        nvram_[entry.path().string()] = ReadFile(entry.path().string());
      }
    }
  }

  TempDir machine_dir_;
  std::string machine_;
  platform::SharedLibrary plugin_;
  PluginApi api_;
  std::map<std::string, std::string> nvram_;
};

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = &PluginHost::Get();
    ASSERT_NE(host_->api().discover, nullptr);
    host_->RestoreNvram();
  }
  const PluginApi& api() const { return host_->api(); }

  int32_t Discover(const std::string& document, const std::string& firmware) {
    return api().discover(U16(document).c_str(), U16(firmware).c_str());
  }
  int32_t Flash(const std::string& document, const std::string& firmware) {
    return api().flash(U16(document).c_str(), U16(firmware).c_str());
  }

  PluginHost* host_ = nullptr;
  TempDir dir_;
};

}  // namespace skyfw::testing
