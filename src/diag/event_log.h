// The library's source in the Application event log ("Norvane").
//
// At load the source is registered in the registry, pointing the event viewer
// at the message file that lies beside the library; the installer then
// reports one event per step of an installation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace skyfw {

inline constexpr const char* kEventSourceName = "Norvane";
inline constexpr const char* kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\services\\eventlog\\Application\\Norvane";
inline constexpr const char* kEventMessageFileName = "nrvn_qv_eventlog.dll";

// Event identifiers of an installation.
inline constexpr uint32_t kEventCurrentVersion = 0xC0000102;
inline constexpr uint32_t kEventAction = 0xC0000103;
inline constexpr uint32_t kEventInstallSucceeded = 0x00020100;
inline constexpr uint32_t kEventInstallFailed = 0xC0000101;

// Creates or opens `key` below HKEY_LOCAL_MACHINE and sets CategoryCount (1),
// CategoryMessageFile and EventMessageFile. Failures go to the trace log
// only; always true.
bool RegisterEventSourceKey(const std::string& key, const std::string& category_message_file,
                            const std::string& event_message_file);

// The message file path for a library at `module_path`: its folder (up to
// the last separator) followed by the separator and the message file's
// name; for a bare file name, the message file's name alone.
std::string EventMessageFilePath(std::string_view module_path);

// What the library does when a process attaches: finds its own file and
// registers the event source with the message file beside it. Never stops
// the loading.
void RegisterEventSourceAtLoad();

// Reports `text` as the single insertion string of an information event
// (category 1) with `event_id`. True when the source could be opened and
// closed again; false when it could not be opened (nothing is reported).
bool EventLogReport(const std::string& text, uint32_t event_id);

}  // namespace skyfw
