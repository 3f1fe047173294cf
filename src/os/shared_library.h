// A shared library loaded as a host loads the plug-in: dlopen on Linux,
// LoadLibraryW (by the library's wide-character name) on Windows.
#pragma once

#include <string>

namespace skyfw::platform {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Loads the library at the UTF-8 path, unloading one loaded before. A bare
  // file name means the file in the current folder, not a search of the
  // system's library path. False with the reason in error on failure.
  bool Open(const std::string& path, std::string& error);
  // Unloads the library (nothing when none is loaded).
  void Close();
  // The exported symbol, or null.
  void* Find(const char* name) const;
  bool loaded() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
};

// The folder of the running program (no trailing separator); empty when it
// cannot be found.
std::string ProgramFolder();

}  // namespace skyfw::platform
