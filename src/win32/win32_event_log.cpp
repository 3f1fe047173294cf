#include "win32/win32_event_log.h"

#include <utility>
#include <vector>

#include "win32/wide_text.h"
#include "win32/windows_api.h"

namespace skyfw::win32 {

namespace {

class Win32EventSource final : public platform::EventSource {
 public:
  explicit Win32EventSource(HANDLE source) : source_(source) {}
  Win32EventSource(const Win32EventSource&) = delete;
  Win32EventSource& operator=(const Win32EventSource&) = delete;
  ~Win32EventSource() override { Deregister(); }

  uint32_t ReportEvent(uint16_t type, uint16_t category, uint32_t event_id,
                       const std::vector<std::string>& strings) override {
    if (source_ == nullptr) return ERROR_INVALID_HANDLE;
    std::vector<std::wstring> wide;
    wide.reserve(strings.size());
    // Message text, not a name: a bad byte shows as U+FFFD.
    for (const std::string& text : strings) wide.push_back(Widen(Utf8ToUtf16(text)));
    std::vector<LPCWSTR> pointers;
    pointers.reserve(wide.size());
    for (const std::wstring& text : wide) pointers.push_back(text.c_str());
    if (!::ReportEventW(source_, type, category, event_id, nullptr,
                        static_cast<WORD>(pointers.size()), 0,
                        pointers.empty() ? nullptr : pointers.data(), nullptr)) {
      return ::GetLastError();
    }
    return ERROR_SUCCESS;
  }

  uint32_t Deregister() override {
    if (source_ == nullptr) return ERROR_INVALID_HANDLE;
    HANDLE source = std::exchange(source_, nullptr);
    return ::DeregisterEventSource(source) ? ERROR_SUCCESS : ::GetLastError();
  }

 private:
  HANDLE source_;
};

}  // namespace

uint32_t Win32EventLog::RegisterEventSource(std::string_view source_name,
                                            std::unique_ptr<platform::EventSource>& source) {
  const std::optional<std::wstring> name = platform::ToWide(source_name);
  if (!name) return ERROR_NO_UNICODE_TRANSLATION;
  HANDLE handle = ::RegisterEventSourceW(nullptr, name->c_str());
  if (handle == nullptr) return ::GetLastError();
  source = std::make_unique<Win32EventSource>(handle);
  return ERROR_SUCCESS;
}

}  // namespace skyfw::win32
