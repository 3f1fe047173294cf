// The machine's smaller services: IP helper, service control manager,
// event log, and system facts.
#pragma once

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "sim/machine/machine_description.h"

namespace skyfw::sim {

class MachineIpHelper final : public platform::IpHelper {
 public:
  explicit MachineIpHelper(const MachineDescription& description) : description_(description) {}
  uint32_t GetAdaptersInfo(std::vector<platform::IpAdapterInfo>& adapters) override;
  uint32_t GetAdaptersAddresses(uint32_t family, uint32_t flags,
                                std::vector<platform::IpAdapterAddresses>& adapters) override;

 private:
  const MachineDescription& description_;
};

class MachineServices final : public platform::Services {
 public:
  explicit MachineServices(const MachineDescription& description) : description_(description) {}
  uint32_t OpenSCManager(uint32_t access,
                         std::unique_ptr<platform::ServiceManager>& manager) override;

 private:
  const MachineDescription& description_;
};

// Events land in events.jsonl of the machine directory, one JSON object per
// line: {"time", "computer", "log", "source", "type", "category",
// "event_id", "strings", "process"}.
class MachineEventLog final : public platform::EventLog {
 public:
  MachineEventLog(std::filesystem::path directory, std::string computer_name,
                  platform::System& system)
      : path_(directory / "events.jsonl"), computer_(std::move(computer_name)), system_(system) {}
  uint32_t RegisterEventSource(std::string_view source_name,
                               std::unique_ptr<platform::EventSource>& source) override;

 private:
  std::filesystem::path path_;
  std::string computer_;
  platform::System& system_;
};

// System facts of the machine: its computer name, its folders inside the
// machine directory (created on first use), the system libraries it has.
class MachineSystem final : public platform::System {
 public:
  MachineSystem(const MachineDescription& description, const std::filesystem::path& directory);

  void OutputDebugString(std::string_view text) override;
  uint32_t GetCurrentProcessId() override;
  uint32_t GetCurrentThreadId() override;
  uint32_t GetComputerName(std::string& name) override;
  uint32_t GetCommonAppDataFolder(std::string& path) override;
  uint32_t GetSystemDirectory(std::string& path) override;
  uint32_t LibraryExportsFunction(std::string_view library_path,
                                  std::string_view function) override;

 private:
  // A folder of the machine directory, its UTF-8 name made once (a library's
  // folder is compared with the system directory's on most calls).
  class MachineFolder {
   public:
    explicit MachineFolder(std::filesystem::path path);
    // Makes the folder when missing, then names it.
    uint32_t Get(std::string& path) const;
    const std::string& name() const { return name_; }

   private:
    const std::filesystem::path path_;
    const std::string name_;
  };

  const MachineDescription& description_;
  MachineFolder program_data_;
  MachineFolder system32_;
};

}  // namespace skyfw::sim
