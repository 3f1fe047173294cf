#include "os/file_writer.h"

#include <atomic>
#include <cerrno>
#include <chrono>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "base/unicode.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace skyfw::platform {
namespace {

#if defined(_WIN32)
constexpr char kSeparators[] = "\\/";
#else
constexpr char kSeparators[] = "/";
#endif

// The folder part of path with its separator, or "" for a bare name.
std::string FolderOf(const std::string& path) {
  const size_t separator = path.find_last_of(kSeparators);
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// A short name of this process's own, so that a target whose name is near the
// file system's limit can still be written; created exclusively, so a name
// left by another process is never reused.
std::string TemporaryName(const std::string& folder, unsigned long process_id) {
  static std::atomic<uint64_t> counter{0};
  const auto stamp =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return folder + ".skyfw-" + std::to_string(process_id) + "-" + std::to_string(stamp % 1000000) +
         "-" + std::to_string(counter.fetch_add(1)) + ".new";
}

constexpr int kTemporaryNameTries = 100;

#if defined(_WIN32)

int ErrnoFromWin32(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

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

#else

// Follows symbolic links, as an open for writing would, to the file a write
// through path lands in. A name that cannot be examined is left for the open
// that follows to report.
int ResolveLinks(const std::string& path, std::string& target) {
  constexpr int kMaxLinks = 40;
  target = path;
  for (int links = 0; links < kMaxLinks; ++links) {
    struct stat status {};
    if (::lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return 0;
    std::string link(static_cast<size_t>(status.st_size) + 1, '\0');
    const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
    if (length < 0) return errno;
    // Changed under us: let the next round look again.
    if (static_cast<size_t>(length) == link.size()) continue;
    link.resize(static_cast<size_t>(length));
    target = link.starts_with('/') ? link : FolderOf(target) + link;
  }
  return ELOOP;
}

void SyncFolder(const std::string& folder) {
  // Best effort: some file systems refuse to sync a folder, and the file is
  // already in place by now.
  const int descriptor =
      ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  ::fsync(descriptor);
  ::close(descriptor);
}

#endif

}  // namespace

FileWriter::~FileWriter() { Discard(); }

void FileWriter::Discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) {
#if defined(_WIN32)
    DeleteFileW(Wide(temporary_).c_str());
#else
    ::unlink(temporary_.c_str());
#endif
  }
  temporary_.clear();
}

#if defined(_WIN32)

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

#else

int FileWriter::Open(const std::string& path) {
  Discard();
  if (path.empty()) return ENOENT;
  if (int error = ResolveLinks(path, target_); error != 0) return error;

  bool exists = false;
  struct stat existing {};
  if (::stat(target_.c_str(), &existing) == 0) {
    exists = true;
    // Checked before any open: opening a FIFO could block.
    if (S_ISDIR(existing.st_mode)) return EISDIR;
    if (!S_ISREG(existing.st_mode)) return kNotRegularFile;
    // Opening for writing is the test of what the caller may do.
    const int probe = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) return errno;
    const bool regular = ::fstat(probe, &existing) == 0 && S_ISREG(existing.st_mode);
    ::close(probe);
    if (!regular) return kNotRegularFile;
  }

  const std::string folder = FolderOf(target_);
  int descriptor = -1;
  int error = EEXIST;
  for (int tries = 0; tries < kTemporaryNameTries && error == EEXIST; ++tries) {
    temporary_ = TemporaryName(folder, static_cast<unsigned long>(::getpid()));
    descriptor = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    error = descriptor < 0 ? errno : 0;
  }
  if (descriptor < 0) {
    temporary_.clear();
    if (!exists || (error != EACCES && error != EPERM)) return error;
    // The folder is closed to us but the file is not: write it in place.
    descriptor = ::open(target_.c_str(), O_RDWR | O_TRUNC | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return errno;
  } else if (exists) {
    // Owner first: a change of owner clears the set-user-ID bits that the
    // mode then restores. Only root may give a file away; for others the
    // new file is theirs, as after any rewrite.
    if (::fchown(descriptor, existing.st_uid, existing.st_gid) != 0) {
      // Keep what can be kept; the mode below still applies.
    }
    if (::fchmod(descriptor, existing.st_mode & 07777) != 0) {
      error = errno;
      ::close(descriptor);
      Discard();
      return error;
    }
  }
  stream_ = ::fdopen(descriptor, "w+b");
  if (stream_ == nullptr) {
    error = errno;
    ::close(descriptor);
    Discard();
    return error;
  }
  return 0;
}

int FileWriter::Commit() {
  if (stream_ == nullptr) return EBADF;
  int error = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) error = errno != 0 ? errno : EIO;
  if (error == 0 && ::fsync(::fileno(stream_)) != 0) error = errno;
  if (std::fclose(stream_) != 0 && error == 0) error = errno;
  stream_ = nullptr;
  if (error == 0 && !temporary_.empty()) {
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
      error = errno;
    } else {
      temporary_.clear();
      SyncFolder(FolderOf(target_));
    }
  }
  Discard();
  return error;
}

#endif

int EmptyStream(std::FILE* stream) {
  if (std::fflush(stream) != 0) return errno != 0 ? errno : EIO;
#if defined(_WIN32)
  if (_chsize_s(_fileno(stream), 0) != 0) return errno != 0 ? errno : EIO;
#else
  if (::ftruncate(::fileno(stream), 0) != 0) return errno;
#endif
  return std::fseek(stream, 0, SEEK_SET) == 0 ? 0 : EIO;
}

int WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
  FileWriter writer;
  if (int error = writer.Open(path); error != 0) return error;
  if (!bytes.empty() &&
      std::fwrite(bytes.data(), 1, bytes.size(), writer.stream()) != bytes.size()) {
    return errno != 0 ? errno : EIO;
  }
  return writer.Commit();
}

int WriteWholeFile(const std::string& path, std::string_view bytes) {
  return WriteWholeFile(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace skyfw::platform
