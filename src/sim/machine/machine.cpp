#include "sim/machine/machine.h"

#include <optional>
#include <string>

#include "os/environment.h"
#include "os/file_names.h"
#include "os/file_reader.h"
#include "os/file_writer.h"
#include "sim/machine/driver_interface.h"
#include "sim/machine/file_lock.h"
#include "sim/machine/machine_devices.h"
#include "sim/machine/machine_mutexes.h"
#include "sim/machine/machine_registry.h"
#include "sim/machine/machine_services.h"
#include "sim/machine/machine_wmi.h"

namespace skyfw::sim {
namespace {

// One opened machine. Members are built in order: the description first,
// the driver after the system it reads its clock from.
class MachinePlatform final : public platform::Platform {
 public:
  MachinePlatform(std::filesystem::path directory, MachineDescription description)
      : directory_(std::move(directory)),
        description_(std::move(description)),
        system_(description_, directory_),
        driver_(CreateDriver(MachineContext{directory_, &description_, &system_})),
        registry_(description_, directory_),
        devices_(description_),
        device_io_(description_, driver_.devices.get()),
        ip_helper_(description_),
        services_(description_),
        wmi_(description_, driver_.wmi.get()),
        event_log_(directory_, description_.computer_name, system_),
        mutexes_(directory_, system_) {}

  platform::System& system() override { return system_; }
  platform::Registry& registry() override { return registry_; }
  platform::Devices& devices() override { return devices_; }
  platform::DeviceIo& deviceIo() override { return device_io_; }
  platform::IpHelper& ipHelper() override { return ip_helper_; }
  platform::Services& services() override { return services_; }
  platform::Wmi& wmi() override { return wmi_; }
  platform::EventLog& eventLog() override { return event_log_; }
  platform::Mutexes& mutexes() override { return mutexes_; }

 private:
  std::filesystem::path directory_;
  MachineDescription description_;
  MachineSystem system_;
  Driver driver_;
  MachineRegistry registry_;
  MachineDevices devices_;
  MachineDeviceIo device_io_;
  MachineIpHelper ip_helper_;
  MachineServices services_;
  MachineWmi wmi_;
  MachineEventLog event_log_;
  MachineMutexes mutexes_;
};

std::filesystem::path DescriptionPath(const std::filesystem::path& directory) {
  return directory / "machine.json";
}

}  // namespace

bool InitMachine(const std::filesystem::path& directory, std::string_view machine_json,
                 std::string& error) {
  MachineDescription description;
  if (!ParseMachineDescription(machine_json, description, error)) return false;
  std::error_code failure;
  if (std::filesystem::exists(DescriptionPath(directory), failure)) {
    error =
        platform::FromFileSystemPath(DescriptionPath(directory)) + ": a machine is already there";
    return false;
  }
  std::filesystem::create_directories(directory, failure);
  if (failure) {
    error = platform::FromFileSystemPath(directory) +
            ": cannot create the directory: " + failure.message();
    return false;
  }
  if (platform::WriteWholeFile(platform::FromFileSystemPath(DescriptionPath(directory)),
                               machine_json) != 0) {
    error = platform::FromFileSystemPath(DescriptionPath(directory)) + ": cannot write it";
    return false;
  }
  return true;
}

bool OpenMachine(const std::filesystem::path& directory,
                 std::unique_ptr<platform::Platform>& platform, std::string& error) {
  std::string text;
  if (platform::ReadRegularFile(platform::FromFileSystemPath(DescriptionPath(directory)), text) !=
      0) {
    error = platform::FromFileSystemPath(DescriptionPath(directory)) +
            ": cannot read it (no machine there?)";
    return false;
  }
  MachineDescription description;
  if (!ParseMachineDescription(text, description, error)) {
    error = platform::FromFileSystemPath(DescriptionPath(directory)) + ": " + error;
    return false;
  }
  std::error_code failure;
  std::filesystem::path absolute = std::filesystem::absolute(directory, failure);
  platform =
      std::make_unique<MachinePlatform>(failure ? directory : absolute, std::move(description));
  return true;
}

namespace {

// A variable's value as a path; nothing when it is unset, empty or no name.
std::optional<std::filesystem::path> PathFromEnvironment(const char* name) {
  std::optional<std::string> value = platform::GetEnvironmentText(name);
  std::filesystem::path path;
  if (!value || value->empty() || !platform::ToFileSystemPath(*value, path)) return std::nullopt;
  return path;
}

}  // namespace

std::filesystem::path DefaultMachineDirectory() {
  if (auto machine = PathFromEnvironment("SKYFW_MACHINE")) return *machine;
  std::optional<std::filesystem::path> base = PathFromEnvironment("XDG_STATE_HOME");
  // Windows keeps a user's state under the local application-data folder.
  if (const char* local_state = platform::LocalStateFolderVariable(); !base && local_state) {
    base = PathFromEnvironment(local_state);
  }
  if (!base) {
    std::optional<std::filesystem::path> home = PathFromEnvironment("HOME");
    base = home.value_or(std::filesystem::path(".")) / ".local" / "state";
  }
  return *base / "skyfw" / "machine";
}

bool OpenDefaultMachine(std::unique_ptr<platform::Platform>& platform, std::string& error) {
  std::filesystem::path directory = DefaultMachineDirectory();
  std::optional<std::string> machine = platform::GetEnvironmentText("SKYFW_MACHINE");
  bool named = machine && !machine->empty();
  std::error_code failure;
  if (!named && !std::filesystem::exists(DescriptionPath(directory), failure)) {
    // First use: several processes may get here at once; one writes.
    FileLock lock(directory.parent_path() / "machine.init.lock");
    if (!std::filesystem::exists(DescriptionPath(directory), failure) &&
        !InitMachine(directory, DemoMachineJson(), error)) {
      return false;
    }
  }
  return OpenMachine(directory, platform, error);
}

}  // namespace skyfw::sim
