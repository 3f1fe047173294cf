#include "diag/event_log.h"

#include <memory>
#include <vector>

#include "diag/trace_log.h"
#include "os/file_names.h"
#include "platform/platform.h"

namespace skyfw {
namespace {

constexpr char kSeparator = platform::kPathSeparator;
constexpr uint16_t kEventCategory = 1;
// The loader's module name buffer.
constexpr size_t kModuleNameBytes = 1024;

// The same two texts serve every value of the key.
void TraceValueResult(uint32_t error) {
  if (error != platform::ERROR_SUCCESS) {
    TraceReport(TraceLevel::DEBUG, "Could not set registry key CategoryCount\tERROR: %d\n",
                static_cast<int>(error));
  } else {
    TraceReport(TraceLevel::INFORMATION, "Success: CategoryCount Key value is set\n");
  }
}

}  // namespace

bool RegisterEventSourceKey(const std::string& key, const std::string& category_message_file,
                            const std::string& event_message_file) {
  platform::Registry& registry = platform::Current().registry();
  std::unique_ptr<platform::RegistryKey> handle;
  uint32_t error = registry.OpenKey(key, platform::KEY_ALL_ACCESS, handle);
  if (error != platform::ERROR_SUCCESS) {
    TraceReport(TraceLevel::DEBUG, "Could not open registry key %s \tERROR: %d\n", key.c_str(),
                static_cast<int>(error));
    handle.reset();
    error = registry.CreateKey(key, platform::KEY_ALL_ACCESS, handle, nullptr);
    if (error != platform::ERROR_SUCCESS) {
      TraceReport(TraceLevel::DEBUG, "Could not create registry key %s\tERROR: %d\n", key.c_str(),
                  static_cast<int>(error));
      handle.reset();
    } else {
      TraceReport(TraceLevel::INFORMATION, "%s Key created successfully\n", key.c_str());
    }
  }

  // Without a key every write fails as RegSetKeyValue on a null key would.
  auto set_value = [&handle](const char* name, const platform::RegistryValue& value) {
    return handle ? handle->SetValue(name, value) : platform::ERROR_INVALID_HANDLE;
  };
  uint32_t count_error = set_value("CategoryCount", platform::RegistryValue::Dword(1));
  if (count_error != platform::ERROR_SUCCESS) {
    TraceReport(TraceLevel::DEBUG, " Could not set registry key CategoryCount\tERROR: %d\n",
                static_cast<int>(count_error));
  } else {
    TraceReport(TraceLevel::INFORMATION, "Success: CategoryCount Key value is set\n");
  }
  TraceValueResult(
      set_value("CategoryMessageFile",
                platform::RegistryValue::Text(category_message_file, platform::REG_EXPAND_SZ)));
  TraceValueResult(set_value("EventMessageFile", platform::RegistryValue::Text(
                                                     event_message_file, platform::REG_EXPAND_SZ)));
  return true;
}

std::string EventMessageFilePath(std::string_view module_path) {
  std::string folder(module_path.substr(0, kModuleNameBytes - 1));
  size_t separator = folder.rfind(kSeparator);
  // A bare file name lies in the current folder; a file in the root folder
  // keeps the root's separator.
  if (separator == std::string::npos) return kEventMessageFileName;
  folder.resize(separator);
  return folder + kSeparator + kEventMessageFileName;
}

void RegisterEventSourceAtLoad() {
  std::string module_path;
  uint32_t error = platform::Current().system().GetModuleFileName(module_path);
  if (error != platform::ERROR_SUCCESS) {
    TraceReport(TraceLevel::DEBUG, "GetModuleHandle returned %d\n", static_cast<int>(error));
    module_path.clear();
  }
  TraceReport(TraceLevel::INFORMATION, "DLL attached to the process \n");
  std::string message_file = EventMessageFilePath(module_path);
  RegisterEventSourceKey(kEventSourceKey, message_file, message_file);
}

bool EventLogReport(const std::string& text, uint32_t event_id) {
  std::unique_ptr<platform::EventSource> source;
  if (platform::Current().eventLog().RegisterEventSource(kEventSourceName, source) !=
          platform::ERROR_SUCCESS ||
      !source) {
    return false;
  }
  // Every event is an information event, whatever its identifier says.
  source->ReportEvent(platform::EVENTLOG_INFORMATION_TYPE, kEventCategory, event_id,
                      std::vector<std::string>{text});
  return source->Deregister() == platform::ERROR_SUCCESS;
}

}  // namespace skyfw
