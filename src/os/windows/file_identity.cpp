#include "os/file_identity.h"

#include <windows.h>

namespace skyfw::platform {

FileIdentity IdentifyFile(const std::filesystem::path& path) {
  FileIdentity identity;
  // The path holds the wide name already: no trip through UTF-8.
  HANDLE handle =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return identity;
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileInformationByHandle(handle, &information) != 0) {
    identity.exists = true;
    identity.device = information.dwVolumeSerialNumber;
    identity.file_number = uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
    identity.size = uint64_t{information.nFileSizeHigh} << 32 | information.nFileSizeLow;
    identity.modified =
        static_cast<int64_t>(uint64_t{information.ftLastWriteTime.dwHighDateTime} << 32 |
                             information.ftLastWriteTime.dwLowDateTime);
  }
  ::CloseHandle(handle);
  return identity;
}

GuardedFile::~GuardedFile() = default;

// A file open here could not be removed or replaced by another process, so
// nothing is kept open: every look goes by the name.
FileIdentity GuardedFile::Hold(const std::filesystem::path& path) { return IdentifyFile(path); }

FileIdentity GuardedFile::Identify(const std::filesystem::path& path) const {
  return IdentifyFile(path);
}

}  // namespace skyfw::platform
