#include "sim/machine_mutexes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace skyfw::sim {
namespace {

using platform::ERROR_SUCCESS;

constexpr size_t kMaxEscapedName = 200;

std::string EscapeName(std::string_view name) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string escaped;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_' || c == '.' || c == '{' || c == '}';
    if (plain) {
      escaped.push_back(c);
    } else {
      auto byte = static_cast<uint8_t>(c);
      escaped.push_back('%');
      escaped.push_back(kDigits[byte >> 4]);
      escaped.push_back(kDigits[byte & 15]);
    }
  }
  return escaped;
}

std::string UnescapeName(std::string_view escaped) {
  std::string name;
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '%' && i + 2 < escaped.size() && digit(escaped[i + 1]) >= 0 &&
        digit(escaped[i + 2]) >= 0) {
      name.push_back(static_cast<char>(digit(escaped[i + 1]) << 4 | digit(escaped[i + 2])));
      i += 2;
    } else {
      name.push_back(escaped[i]);
    }
  }
  return name;
}

int OpenLockFile(const std::filesystem::path& path) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

int Flock(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

uint32_t ReadOwnerPid(int fd) {
  char text[16] = {};
  ssize_t length = ::pread(fd, text, sizeof text - 1, 0);
  if (length <= 0) return 0;
  return static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
}

void WriteOwnerPid(int fd, uint32_t pid) {
  std::string text = pid == 0 ? "" : std::to_string(pid);
  if (::ftruncate(fd, 0) != 0) return;
  if (!text.empty() && ::pwrite(fd, text.data(), text.size(), 0) < 0) return;
}

}  // namespace

// What this process knows of one mutex name.
struct MachineMutexes::Shared {
  std::filesystem::path owner_path;
  std::mutex mutex;
  int owner_fd = -1;  // open while any handle of this process is
  uint32_t owner_thread = 0;
  uint32_t recursion = 0;
  uint32_t handles = 0;
};

namespace {

class MachineNamedMutex final : public platform::NamedMutex {
 public:
  MachineNamedMutex(std::shared_ptr<MachineMutexes::Shared> shared, int handle_fd,
                    platform::System& system)
      : shared_(std::move(shared)), handle_fd_(handle_fd), system_(system) {}

  ~MachineNamedMutex() override {
    {
      std::lock_guard<std::mutex> guard(shared_->mutex);
      if (--shared_->handles == 0) {
        // The process's last handle: an ownership still held is abandoned
        // (the owner file keeps the pid, which tells the next owner).
        if (shared_->owner_fd >= 0) ::close(shared_->owner_fd);
        shared_->owner_fd = -1;
        shared_->owner_thread = 0;
        shared_->recursion = 0;
      }
    }
    ::close(handle_fd_);
  }

  uint32_t Wait(uint32_t timeout_ms) override {
    uint32_t me = system_.GetCurrentThreadId();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      {
        std::lock_guard<std::mutex> guard(shared_->mutex);
        if (shared_->owner_thread == me) {
          ++shared_->recursion;
          return platform::WAIT_OBJECT_0;
        }
        if (shared_->owner_thread == 0) {
          if (shared_->owner_fd < 0) return platform::WAIT_FAILED;
          if (Flock(shared_->owner_fd, LOCK_EX | LOCK_NB) == 0) {
            bool abandoned = ReadOwnerPid(shared_->owner_fd) != 0;
            WriteOwnerPid(shared_->owner_fd, system_.GetCurrentProcessId());
            shared_->owner_thread = me;
            shared_->recursion = 1;
            return abandoned ? platform::WAIT_ABANDONED : platform::WAIT_OBJECT_0;
          }
          if (errno != EWOULDBLOCK) return platform::WAIT_FAILED;
        }
      }
      if (timeout_ms != platform::INFINITE && std::chrono::steady_clock::now() >= deadline) {
        return platform::WAIT_TIMEOUT;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  uint32_t Release() override {
    std::lock_guard<std::mutex> guard(shared_->mutex);
    if (shared_->owner_thread != system_.GetCurrentThreadId() || shared_->recursion == 0) {
      return platform::ERROR_NOT_OWNER;
    }
    if (--shared_->recursion == 0) {
      WriteOwnerPid(shared_->owner_fd, 0);
      Flock(shared_->owner_fd, LOCK_UN);
      shared_->owner_thread = 0;
    }
    return ERROR_SUCCESS;
  }

  // Takes the ownership of a mutex just created (nobody else can hold it).
  bool TakeInitialOwnership() { return Wait(0) == platform::WAIT_OBJECT_0; }

 private:
  std::shared_ptr<MachineMutexes::Shared> shared_;
  int handle_fd_;
  platform::System& system_;
};

}  // namespace

uint32_t MachineMutexes::CreateMutex(const platform::SecurityAttributes*, bool initial_owner,
                                     std::string_view name,
                                     std::unique_ptr<platform::NamedMutex>& mutex) {
  if (name.empty()) return platform::ERROR_INVALID_NAME;
  std::string escaped = EscapeName(name);
  if (escaped.size() > kMaxEscapedName) return platform::ERROR_INVALID_NAME;
  std::error_code error;
  std::filesystem::create_directories(locks_, error);
  std::filesystem::path base = locks_ / ("mutex-" + escaped);

  std::lock_guard<std::mutex> names_guard(mutex_);
  int guard_fd = OpenLockFile(base.string() + ".guard");
  if (guard_fd < 0) return platform::ERROR_ACCESS_DENIED;
  if (Flock(guard_fd, LOCK_EX) != 0) {
    ::close(guard_fd);
    return platform::ERROR_ACCESS_DENIED;
  }
  int handle_fd = OpenLockFile(base.string() + ".handles");
  bool created = handle_fd >= 0 && Flock(handle_fd, LOCK_EX | LOCK_NB) == 0;
  bool ok = handle_fd >= 0 && Flock(handle_fd, LOCK_SH) == 0;

  std::shared_ptr<Shared>& shared = names_[escaped];
  if (!shared) {
    shared = std::make_shared<Shared>();
    shared->owner_path = base.string() + ".owner";
  }
  std::unique_ptr<MachineNamedMutex> handle;
  if (ok) {
    std::lock_guard<std::mutex> guard(shared->mutex);
    if (shared->owner_fd < 0) shared->owner_fd = OpenLockFile(shared->owner_path);
    ok = shared->owner_fd >= 0;
    // A new mutex starts unowned, whatever a dead owner left in the file.
    if (ok && created) WriteOwnerPid(shared->owner_fd, 0);
    if (ok) ++shared->handles;
  }
  if (ok) {
    handle = std::make_unique<MachineNamedMutex>(shared, handle_fd, system_);
    handle_fd = -1;
  }
  ::close(guard_fd);  // drops the guard
  if (handle_fd >= 0) ::close(handle_fd);
  if (!ok) return platform::ERROR_ACCESS_DENIED;

  if (created && initial_owner) handle->TakeInitialOwnership();
  mutex = std::move(handle);
  return created ? ERROR_SUCCESS : platform::ERROR_ALREADY_EXISTS;
}

std::vector<MutexState> ListMutexes(const std::filesystem::path& machine_directory) {
  std::vector<MutexState> states;
  std::error_code error;
  std::filesystem::path locks = machine_directory / "locks";
  for (const auto& entry : std::filesystem::directory_iterator(locks, error)) {
    std::string file = entry.path().filename().string();
    constexpr std::string_view kPrefix = "mutex-";
    constexpr std::string_view kSuffix = ".handles";
    if (file.size() <= kPrefix.size() + kSuffix.size() || file.rfind(kPrefix, 0) != 0 ||
        file.compare(file.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
      continue;
    }
    std::string escaped =
        file.substr(kPrefix.size(), file.size() - kPrefix.size() - kSuffix.size());
    MutexState state;
    state.name = UnescapeName(escaped);
    // Probing takes the guard, so it never makes a creation believe the
    // mutex already exists.
    int guard = OpenLockFile(locks / ("mutex-" + escaped + ".guard"));
    int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (guard >= 0 && fd >= 0 && Flock(guard, LOCK_EX) == 0) {
      state.exists = Flock(fd, LOCK_EX | LOCK_NB) != 0;
    }
    if (fd >= 0) ::close(fd);
    if (guard >= 0) ::close(guard);
    int owner = ::open((locks / ("mutex-" + escaped + ".owner")).c_str(), O_RDONLY | O_CLOEXEC);
    if (owner >= 0) {
      state.owned = Flock(owner, LOCK_EX | LOCK_NB) != 0;
      if (state.owned) state.owner_process = ReadOwnerPid(owner);
      ::close(owner);
    }
    states.push_back(state);
  }
  std::sort(states.begin(), states.end(),
            [](const MutexState& a, const MutexState& b) { return a.name < b.name; });
  return states;
}

}  // namespace skyfw::sim
