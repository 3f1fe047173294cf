// nrvn_qv_eventlog.dll as an event viewer reads it: a message table with
// the category and the four events, each showing its insertion string.
#include <gtest/gtest.h>

#include <string>

#include "win32/owned_handles.h"
#include "win32/wide_text.h"
#include "win32/windows_api.h"

namespace skyfw::win32 {
namespace {

// The viewer's call: the message of `id` from the file, with one insertion.
bool ViewerText(HMODULE file, DWORD id, const wchar_t* insertion, std::wstring& text) {
  wchar_t* message = nullptr;
  DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(insertion)};
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
      file, id, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), reinterpret_cast<wchar_t*>(&message), 0,
      reinterpret_cast<va_list*>(arguments));
  OwnedLocal owned(message);
  if (length == 0) return false;
  text.assign(message, length);
  return true;
}

TEST(EventMessageFile, HoldsTheCategoryAndTheFourEvents) {
  std::wstring path = platform::ToWide(SKYFW_EVENT_MESSAGE_FILE).value();
  OwnedLibrary file(::LoadLibraryExW(path.c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(file) << "cannot load " << SKYFW_EVENT_MESSAGE_FILE;

  std::wstring text;
  ASSERT_TRUE(ViewerText(file.get(), 1, nullptr, text));
  EXPECT_EQ(text.substr(0, 15), L"Firmware update");

  const wchar_t* insertion = L"Skyline NX firmware 1.2.3 installed \u00E9";
  for (DWORD id : {0xC0000101u, 0xC0000102u, 0xC0000103u, 0x00020100u}) {
    SCOPED_TRACE(id);
    ASSERT_TRUE(ViewerText(file.get(), id, insertion, text));
    // The whole text is the one insertion string, then the line end.
    EXPECT_EQ(text.substr(0, text.find_last_not_of(L"\r\n") + 1), insertion);
  }
  EXPECT_FALSE(ViewerText(file.get(), 0xC0000104u, insertion, text));
}

}  // namespace
}  // namespace skyfw::win32
