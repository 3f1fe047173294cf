#include "os/file_writer.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "base/unicode.h"
#include "os/temporary_names.h"
#include "os/windows/win32_errors.h"

namespace skyfw::platform {
namespace {

// Open refuses a name that is not UTF-8, so every name met after it converts.
std::wstring Wide(const std::string& path) { return ToWide(path).value_or(std::wstring()); }

// Windows refuses to replace a file while any handle to it is open, even one
// that shares deletion, and other processes (a reader checking the file's
// identity, a virus scanner, the indexer) hold such handles for moments. The
// rename is retried for a little while before the refusal counts; a file
// marked read-only is refused at once.
int ReplaceWith(const std::string& temporary, const std::string& target) {
  constexpr DWORD kMaxWaitMs = 3000;
  DWORD waited = 0;
  DWORD pause = 1;
  for (;;) {
    if (MoveFileExW(Wide(temporary).c_str(), Wide(target).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return 0;
    }
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(Wide(target).c_str());
    const bool read_only =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || read_only ||
        waited >= kMaxWaitMs) {
      return ErrnoFromWin32(error);
    }
    Sleep(pause);
    waited += pause;
    pause = pause < 64 ? pause * 2 : pause;
  }
}

// The final name of an open file, links and junctions resolved.
bool FinalName(HANDLE file, std::string& name) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int tries = 0; tries < 2; ++tries) {
    const DWORD length =
        GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return false;
    if (length < buffer.size()) {
      // A name Windows holds with an unpaired surrogate has no UTF-8 text
      // that would lead back to it.
      if (FromWide(std::wstring_view(buffer.data(), length), name)) return true;
      SetLastError(ERROR_INVALID_NAME);
      return false;
    }
    buffer.assign(length + 1, L'\0');
  }
  return false;
}

std::FILE* StreamOf(HANDLE file) {
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY | _O_RDWR);
  if (descriptor < 0) {
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* stream = _fdopen(descriptor, "w+b");
  if (stream == nullptr) _close(descriptor);
  return stream;
}

}  // namespace

void FileWriter::Discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) DeleteFileW(Wide(temporary_).c_str());
  temporary_.clear();
}

int FileWriter::Open(const std::string& path) {
  Discard();
  // Text that is not UTF-8 names no file here.
  const std::optional<std::wstring> wide_path = ToWide(path);
  if (path.empty() || !wide_path) return ENOENT;
  target_ = path;
  bool exists = false;
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  // Opening for writing is the test of what the caller may do; it follows
  // links to the final file.
  HANDLE existing = CreateFileW(wide_path->c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const DWORD found = GetFileAttributesW(wide_path->c_str());
    if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_DIRECTORY) != 0) return EISDIR;
    if (error != ERROR_FILE_NOT_FOUND) return ErrnoFromWin32(error);
  } else {
    exists = true;
    BY_HANDLE_FILE_INFORMATION information{};
    int refused = 0;
    if (GetFileType(existing) != FILE_TYPE_DISK) {
      refused = kNotRegularFile;
    } else if (!GetFileInformationByHandle(existing, &information) ||
               !FinalName(existing, target_)) {
      refused = ErrnoFromWin32(GetLastError());
    } else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      refused = EISDIR;
    } else if ((information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
      // Windows would refuse the replacement at the end; said here, before
      // anything is written (and the same under Wine run as root, where the
      // attribute stops no open).
      refused = EACCES;
    }
    CloseHandle(existing);
    if (refused != 0) return refused;
    attributes =
        information.dwFileAttributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  }

  const std::string folder = FolderOf(target_);
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD error = ERROR_FILE_EXISTS;
  for (int tries = 0; tries < kTemporaryNameTries && error == ERROR_FILE_EXISTS; ++tries) {
    temporary_ = TemporaryName(folder, GetCurrentProcessId());
    file = CreateFileW(Wide(temporary_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       CREATE_NEW, attributes, nullptr);
    error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  }
  if (file == INVALID_HANDLE_VALUE) {
    temporary_.clear();
    if (!exists || error != ERROR_ACCESS_DENIED) return ErrnoFromWin32(error);
    // The folder is closed to us but the file is not: write it in place.
    file = CreateFileW(Wide(target_).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                       nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ErrnoFromWin32(GetLastError());
  }
  stream_ = StreamOf(file);
  if (stream_ == nullptr) {
    Discard();
    return EIO;
  }
  return 0;
}

int FileWriter::Commit() {
  if (stream_ == nullptr) return EBADF;
  int error = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) error = EIO;
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream_)));
  if (error == 0 && !FlushFileBuffers(file)) error = ErrnoFromWin32(GetLastError());
  if (std::fclose(stream_) != 0 && error == 0) error = EIO;
  stream_ = nullptr;
  if (error == 0 && !temporary_.empty()) error = ReplaceWith(temporary_, target_);
  if (error == 0) temporary_.clear();
  Discard();
  return error;
}

int EmptyStream(std::FILE* stream) {
  if (std::fflush(stream) != 0) return errno != 0 ? errno : EIO;
  if (_chsize_s(_fileno(stream), 0) != 0) return errno != 0 ? errno : EIO;
  return std::fseek(stream, 0, SEEK_SET) == 0 ? 0 : EIO;
}

}  // namespace skyfw::platform
