// "%ls" converts wide text through the thread's LC_CTYPE. The plug-in must
// not change the host's locale, so formatting borrows a UTF-8 one for its own
// thread only. The locale is made at load and freed at unload.
//
// Windows' C runtime (msvcrt) has no UTF-8 locale: there the scope changes
// nothing and "%ls" follows the host's code page.
#pragma once

namespace skyfw::platform {

void CreateUtf8Formatting();
void DestroyUtf8Formatting();

// While it lives, the calling thread formats "%ls" as UTF-8.
class Utf8FormattingScope {
 public:
  Utf8FormattingScope();
  ~Utf8FormattingScope();
  Utf8FormattingScope(const Utf8FormattingScope&) = delete;
  Utf8FormattingScope& operator=(const Utf8FormattingScope&) = delete;

 private:
  void* previous_ = nullptr;  // the thread's locale before, when it was changed
};

}  // namespace skyfw::platform
