#include "os/file_names.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/unicode.h"

namespace skyfw::platform {

bool ToFileSystemPath(std::string_view utf8, std::filesystem::path& out) {
  std::optional<std::wstring> wide = ToWide(utf8);
  if (!wide) return false;
  out = std::filesystem::path(std::move(*wide));
  return true;
}

std::string FromFileSystemPath(const std::filesystem::path& path) {
  return FromWide(path.native());
}

namespace {

// The C runtime's open flags for an fopen mode, for the create-new case that
// its fopen cannot express.
int OpenFlagsOf(std::string_view mode, bool inherited) {
  int flags = _O_CREAT | _O_EXCL | (inherited ? 0 : _O_NOINHERIT);
  flags |= mode.find('+') != std::string_view::npos ? _O_RDWR : _O_WRONLY;
  if (mode.front() == 'a') flags |= _O_APPEND;
  flags |= mode.find('t') != std::string_view::npos ? _O_TEXT : _O_BINARY;
  return flags;
}

}  // namespace

std::FILE* OpenFile(const std::string& utf8_path, const char* mode) {
  std::filesystem::path path;
  std::string_view requested = mode != nullptr ? mode : "";
  if (requested.empty() || std::strchr("rwa", requested.front()) == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  if (!ToFileSystemPath(utf8_path, path)) {
    errno = ENOENT;
    return nullptr;
  }
  // msvcrt knows "N" (not inherited) for glibc's "e", and nothing for "x".
  std::wstring wide_mode;
  bool exclusive = false;
  bool inherited = true;
  for (char letter : requested) {
    if (letter == 'x') {
      exclusive = true;
    } else if (letter == 'e') {
      inherited = false;
    } else {
      wide_mode.push_back(static_cast<wchar_t>(letter));
    }
  }
  if (!exclusive) {
    if (!inherited) wide_mode.push_back(L'N');
    return _wfopen(path.c_str(), wide_mode.c_str());
  }
  if (requested.front() == 'r') {
    errno = EINVAL;
    return nullptr;
  }
  int descriptor = -1;
  if (_wsopen_s(&descriptor, path.c_str(), OpenFlagsOf(requested, inherited), _SH_DENYNO,
                _S_IREAD | _S_IWRITE) != 0) {
    return nullptr;
  }
  std::FILE* stream = _wfdopen(descriptor, wide_mode.c_str());
  if (stream == nullptr) _close(descriptor);
  return stream;
}

}  // namespace skyfw::platform
