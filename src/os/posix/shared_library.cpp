#include "os/shared_library.h"

#include <dlfcn.h>

namespace skyfw::platform {

namespace {

bool IsBareName(const std::string& path) { return path.find('/') == std::string::npos; }

}  // namespace

bool SharedLibrary::Open(const std::string& path, std::string& error) {
  Close();
  std::string file = IsBareName(path) ? "./" + path : path;
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown error";
    return false;
  }
  return true;
}

void SharedLibrary::Close() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

void* SharedLibrary::Find(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

}  // namespace skyfw::platform
