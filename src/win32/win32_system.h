// System facts, debugger output and the thread's last error from Windows.
#pragma once

#include "platform/platform.h"

namespace skyfw::win32 {

class Win32System final : public platform::System {
 public:
  void OutputDebugString(std::string_view text) override;
  uint32_t GetCurrentProcessId() override;
  uint32_t GetCurrentThreadId() override;
  uint32_t GetTickCount() override;
  void Sleep(uint32_t milliseconds) override;
  uint32_t GetComputerName(std::string& name) override;
  uint32_t GetCommonAppDataFolder(std::string& path) override;
  uint32_t GetSystemDirectory(std::string& path) override;
  uint32_t LibraryExportsFunction(std::string_view library_path,
                                  std::string_view function) override;
  uint32_t GetModuleFileName(std::string& path) override;
  void SetLastError(uint32_t error) override;
  bool FormatMessage(uint32_t code, std::string& text) override;
};

}  // namespace skyfw::win32
